#include "treediff.h"

#include <QHash>
#include <QSet>
#include <QStack>

#include <algorithm>
#include <utility>

namespace treemodel {

namespace {

bool hasDuplicateKeys(const Tree& tree, const QList<int>& nodes)
{
    QSet<QString> seen;
    seen.reserve(nodes.size());
    for (const int n : nodes) {
        const Node& node = tree.nodes.at(n);
        if (!node.foreign && !Q_UNLIKELY(seen.contains(node.key)))
            seen.insert(node.key);
        else if (!node.foreign)
            return true;
    }
    return false;
}

// A row that did not change takes the texts of the earlier tree, so that two trees in a row and the model's cells
// hold one copy of each.
void shareTexts(Node& now, const Node& before)
{
    for (auto field :
        {&Node::key, &Node::name, &Node::status, &Node::output, &Node::lastOk, &Node::flags, &Node::targetName})
        now.*field = before.*field;
}

// The comparison itself. With a writable tree, matched rows share the earlier tree's texts.
TreeUpdatePtr compare(const std::shared_ptr<const Tree>& base, const std::shared_ptr<const Tree>& tree, Tree* writable)
{
    auto update = std::make_shared<TreeUpdate>();
    update->base = base;
    update->tree = tree;
    if (!base || base->nodes.isEmpty()) {
        update->previous = QList<int>(tree->nodes.size(), -1);
        if (!tree->nodes.isEmpty() || base)
            update->reordered.append(-1);
        return update;
    }
    QList<int> previous(tree->nodes.size(), -1);
    bool reshaped = false;
    QStack<QPair<int, int>> pending {{{-1, -1}}}; // matched parents: in base, in the new tree
    auto match = [&](int before, int now) {
        previous[now] = before;
        const Node& earlier = base->nodes.at(before);
        if (!tree->nodes.at(now).sameRow(earlier))
            update->changed.append(now);
        else if (writable)
            shareTexts(writable->nodes[now], earlier);
        if (earlier.size > 1 || tree->nodes.at(now).size > 1)
            pending.push({before, now});
    };
    auto endOf
        = [](const Tree& t, int parent) { return parent < 0 ? int(t.nodes.size()) : parent + t.nodes.at(parent).size; };
    while (!pending.isEmpty()) {
        const auto [before, now] = pending.pop();
        const int oldEnd = endOf(*base, before);
        const int newEnd = endOf(*tree, now);
        // The usual case, the same children in the same order, is walked without making lists.
        int o = before + 1;
        int n = now + 1;
        while (
            o < oldEnd && n < newEnd && !base->nodes.at(o).foreign && base->nodes.at(o).key == tree->nodes.at(n).key) {
            o += base->nodes.at(o).size;
            n += tree->nodes.at(n).size;
        }
        if (o >= oldEnd && n >= newEnd) {
            for (o = before + 1, n = now + 1; o < oldEnd; o += base->nodes.at(o).size, n += tree->nodes.at(n).size)
                match(o, n);
            continue;
        }
        const QList<int> old = base->children(before);
        const QList<int> fresh = tree->children(now);
        reshaped = true;
        update->reordered.append(now);
        // Siblings that share a key cannot be told apart: their parent's children are made anew.
        if (hasDuplicateKeys(*base, old) || hasDuplicateKeys(*tree, fresh))
            continue;
        QHash<QString, int> byKey;
        byKey.reserve(old.size());
        for (const int o : old) {
            if (!base->nodes.at(o).foreign)
                byKey.insert(base->nodes.at(o).key, o);
        }
        for (const int f : fresh) {
            if (const int o = byKey.value(tree->nodes.at(f).key, -1); o >= 0)
                match(o, f);
        }
    }
    if (reshaped)
        update->previous = std::move(previous);
    std::sort(update->reordered.begin(), update->reordered.end());
    return update;
}

} // namespace

TreeUpdatePtr diffTrees(const std::shared_ptr<const Tree>& base, const std::shared_ptr<Tree>& tree)
{
    return compare(base, tree, tree.get());
}

TreeUpdatePtr compareTrees(const std::shared_ptr<const Tree>& base, const std::shared_ptr<const Tree>& tree)
{
    return compare(base, tree, nullptr);
}

} // namespace treemodel
