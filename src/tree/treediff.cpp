// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/treediff.h"

#include <QHash>
#include <QSet>
#include <QStack>

#include <algorithm>
#include <utility>

namespace treemodel {

namespace {

bool hasDuplicateKeys(const TreeShape& shape, const QList<int>& nodes)
{
    QSet<size_t> seen;
    seen.reserve(nodes.size());
    for (const int n : nodes) {
        const Place& node = shape.nodes.at(n);
        if (node.foreign)
            continue;
        if (Q_UNLIKELY(seen.contains(node.key)))
            return true;
        seen.insert(node.key);
    }
    return false;
}

} // namespace

TreeUpdate compareTrees(const std::shared_ptr<const TreeShape>& base, const std::shared_ptr<const TreeShape>& shape)
{
    TreeUpdate update;
    update.base = base;
    update.shape = shape;
    update.previous = QList<int>(shape->nodes.size(), -1);
    update.rows = Rows(int(shape->nodes.size()));
    if (!base || base->nodes.isEmpty()) {
        if (!shape->nodes.isEmpty() || base)
            update.reordered.append(-1);
        return update;
    }
    const auto& before = base->nodes;
    const auto& now = shape->nodes;
    QStack<QPair<int, int>> pending {{{-1, -1}}}; // matched parents: in base, in the new tree
    auto match = [&](int b, int n) {
        update.previous[n] = b;
        // A hash of 0 is not known: such a row is compared by its cells.
        if (before.at(b).cells != now.at(n).cells || now.at(n).cells == 0)
            update.changed.append(n);
        if (before.at(b).size > 1 || now.at(n).size > 1)
            pending.push({b, n});
    };
    while (!pending.isEmpty()) {
        const auto [parentBefore, parentNow] = pending.pop();
        const int oldEnd = base->end(parentBefore);
        const int newEnd = shape->end(parentNow);
        // The usual case, the same children in the same order, is walked without making lists.
        int o = parentBefore + 1;
        int n = parentNow + 1;
        while (o < oldEnd && n < newEnd && !before.at(o).foreign && before.at(o).key == now.at(n).key) {
            o += before.at(o).size;
            n += now.at(n).size;
        }
        if (o >= oldEnd && n >= newEnd) {
            for (o = parentBefore + 1, n = parentNow + 1; o < oldEnd; o += before.at(o).size, n += now.at(n).size)
                match(o, n);
            continue;
        }
        const QList<int> old = base->children(parentBefore);
        const QList<int> fresh = shape->children(parentNow);
        update.reordered.append(parentNow);
        // Siblings that share a key cannot be told apart: their parent's children are made anew.
        if (hasDuplicateKeys(*base, old) || hasDuplicateKeys(*shape, fresh))
            continue;
        QHash<size_t, int> byKey;
        byKey.reserve(old.size());
        for (const int b : old) {
            if (!before.at(b).foreign)
                byKey.insert(before.at(b).key, b);
        }
        for (const int f : fresh) {
            if (const int b = byKey.value(now.at(f).key, -1); b >= 0)
                match(b, f);
        }
    }
    std::sort(update.changed.begin(), update.changed.end());
    std::sort(update.reordered.begin(), update.reordered.end());
    return update;
}

TreeUpdatePtr TreeDiff::next(const TreeReader& reader)
{
    auto update = std::make_shared<TreeUpdate>(compareTrees(last, reader.shape()));
    if (!taken || !taken->load()) {
        reader.addAllRows(update->rows);
    } else {
        QList<int> drawn = update->changed;
        for (int n = 0; n < update->previous.size(); ++n) {
            if (update->previous.at(n) < 0)
                drawn.append(n);
        }
        reader.addRows(update->rows, drawn);
    }
    update->taken = std::make_shared<std::atomic<bool>>(false);
    last = update->shape;
    taken = update->taken;
    return update;
}

} // namespace treemodel
