// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/livetree.h"

#include "core/icons.h"
#include "tree/nodekeys.h"
#include "tree/treecells.h"
#include "tree/treemodel.h"

#include <QSet>
#include <QStack>
#include <QStandardItemModel>

#include <algorithm>
#include <utility>

namespace treemodel {

namespace {

// The shape of the rows a model holds, with their first cells. What their cells are made of is not known, so each
// row that matches a node of the next tree is compared with it cell by cell. Rows that no payload made are foreign
// nodes, whose children are not read.
std::shared_ptr<const TreeShape> readModel(QStandardItemModel* model, QList<QStandardItem*>& items)
{
    auto shape = std::make_shared<TreeShape>();
    items.clear();
    struct Open {
        QStandardItem* parent;
        int row;
        int place;
    };
    QStack<Open> stack;
    stack.push({model->invisibleRootItem(), 0, -1});
    while (!stack.isEmpty()) {
        Open& top = stack.top();
        if (top.row >= top.parent->rowCount()) {
            if (top.place >= 0)
                shape->nodes[top.place].size = int(shape->nodes.size()) - top.place;
            stack.pop();
            continue;
        }
        const int row = top.row++;
        QStandardItem* first = top.parent->child(row, 0);
        const int place = int(shape->nodes.size());
        items.append(first);
        if (!first || !isTreeRow(top.parent, row)) {
            shape->nodes.append({0, 0, 1, true});
            continue;
        }
        const Head& head = static_cast<const HeadCell*>(first)->head;
        shape->nodes.append({nodeKeyHash(head.key), 0, 1, false});
        if (first->hasChildren())
            stack.push({first, 0, place});
    }
    return shape;
}

// What a row of the model shows.
Node rowOf(QStandardItem* first)
{
    const auto* head = static_cast<const HeadCell*>(first);
    QStandardItem* parent = first->parent() ? first->parent() : first->model()->invisibleRootItem();
    const int row = first->row();
    auto text = [&](int column) { return static_cast<const Cell*>(parent->child(row, column))->text; };
    return {head->head.key, head->text, head->head.status, text(2), text(3), text(4), head->head.targetName,
        head->head.hostId, head->head.id, head->head.instanceId, head->head.kind, head->head.handled,
        head->head.acknowledged};
}

} // namespace

// Applies one update to the model: the changed rows first, then the parents whose children are placed anew.
class LiveTree::Applier {
public:
    Applier(LiveTree& live, const TreeUpdate& update, const Rows& rows, bool redrawAll)
        : live(live)
        , update(update)
        , rows(rows)
        , shape(*update.shape)
        , looks(icons::darkLook())
        , redrawAll(redrawAll)
    { }

    void run()
    {
        auto itemOf = [&](int node) -> QStandardItem* {
            const int b = update.previous.at(node);
            return b >= 0 ? live.items.at(b) : nullptr;
        };
        if (redrawAll) {
            for (int n = 0; n < shape.nodes.size(); ++n) {
                if (QStandardItem* item = itemOf(n))
                    redraw(n, item, rows.find(n));
            }
        } else {
            for (const int n : update.changed)
                redraw(n, itemOf(n), rows.find(n));
        }
        announce();
        if (update.reordered.isEmpty())
            return;
        live.allChanged = true;

        created = QList<QStandardItem*>(shape.nodes.size(), nullptr);
        for (const int parent : update.reordered) {
            QStandardItem* parentItem = parent < 0 ? live.model->invisibleRootItem() : itemOf(parent);
            place(parentItem, shape.children(parent), itemOf);
        }
        QList<QStandardItem*> after(shape.nodes.size(), nullptr);
        for (int n = 0; n < shape.nodes.size(); ++n)
            after[n] = created.at(n) ? created.at(n) : itemOf(n);
        live.items = std::move(after);
        live.byTarget.clear();
    }

private:
    // Sets the cells of a row to a node's, or only draws it in the current look when the update does not carry the
    // node (it did not change). The cells are set together, and the row is announced once, for the cells that
    // changed.
    void redraw(int n, QStandardItem* first, const Node* node)
    {
        auto* head = static_cast<HeadCell*>(first);
        QStandardItem* parent = first->parent() ? first->parent() : live.model->invisibleRootItem();
        const int row = first->row();
        auto* status = static_cast<StatusCell*>(parent->child(row, 1));
        auto cell = [&](int column) { return static_cast<Cell*>(parent->child(row, column)); };
        bool changed[Columns] = {};
        if (!node) {
            Q_ASSERT_X(redrawAll, "LiveTree::apply", "an update without a changed row's cells");
            const Look& look = looks.of(head->head.status, head->head.handled);
            changed[0] = head->relook(look, live.dark);
            changed[1] = status->assign(look);
        } else {
            const Look& look = looks.of(node->status, node->handled);
            const bool sameIds = head->head.kind == node->kind && head->head.hostId == node->hostId
                && head->head.id == node->id && head->head.instanceId == node->instanceId;
            if (head->head.status != node->status && head->head.key == node->key)
                live.statusChanged.append(first);
            changed[0] = head->assign(*node, look, live.dark);
            changed[1] = status->assign(look);
            changed[2] = cell(2)->assign(node->output);
            changed[3] = cell(3)->assign(node->lastOk);
            changed[4] = cell(4)->assign(node->flags);
            if (changed[2] || changed[3])
                live.textsChanged.setBit(n);
            if (!sameIds)
                live.byTarget.clear();
        }
        int firstColumn = -1;
        int lastColumn = -1;
        for (int c = 0; c < Columns; ++c) {
            if (!changed[c])
                continue;
            if (firstColumn < 0)
                firstColumn = c;
            lastColumn = c;
        }
        if (firstColumn < 0)
            return;
        if (!changedRows.isEmpty() && changedRows.last().parent == parent && changedRows.last().lastRow == row - 1) {
            Changed& run = changedRows.last();
            run.lastRow = row;
            run.firstColumn = std::min(run.firstColumn, firstColumn);
            run.lastColumn = std::max(run.lastColumn, lastColumn);
        } else {
            changedRows.append({parent, row, row, firstColumn, lastColumn});
        }
    }

    // Tells the views of the changed rows: rows next to each other under one parent (a host's checks, which
    // change together) in one announcement, which the filter and the view take in one go.
    void announce()
    {
        for (const Changed& c : std::as_const(changedRows)) {
            Q_EMIT live.model->dataChanged(live.model->indexFromItem(c.parent->child(c.firstRow, c.firstColumn)),
                live.model->indexFromItem(c.parent->child(c.lastRow, c.lastColumn)));
        }
    }

    QList<QStandardItem*> makeRow(int n)
    {
        static const Node none;
        const Node* found = rows.find(n);
        Q_ASSERT_X(found, "LiveTree::apply", "an update without a new row's cells");
        const Node& node = found ? *found : none;
        const Look& look = looks.of(node.status, node.handled);
        return {new HeadCell(node, look, live.dark), new StatusCell(look), new Cell(node.output), new Cell(node.lastOk),
            new Cell(node.flags)};
    }

    // The row of a new node with its whole subtree, made before it joins the model.
    QList<QStandardItem*> makeSubtree(int top)
    {
        QList<QStandardItem*> topRow = makeRow(top);
        created[top] = topRow.first();
        QStack<QPair<int, QStandardItem*>> pending {{{top, topRow.first()}}};
        while (!pending.isEmpty()) {
            const auto [node, item] = pending.pop();
            for (const int child : shape.children(node)) {
                QList<QStandardItem*> row = makeRow(child);
                created[child] = row.first();
                item->appendRow(row);
                if (shape.nodes.at(child).size > 1)
                    pending.push({child, row.first()});
            }
        }
        return topRow;
    }

    // Gives a parent exactly the wanted children in order: rows it no longer has are removed, kept rows are moved
    // where they belong, and new rows are inserted with their subtrees.
    template <typename ItemOf> void place(QStandardItem* parent, const QList<int>& wanted, ItemOf itemOf)
    {
        QSet<QStandardItem*> kept;
        for (const int child : wanted) {
            if (QStandardItem* item = itemOf(child))
                kept.insert(item);
        }
        for (int r = parent->rowCount() - 1; r >= 0; --r) {
            if (!kept.contains(parent->child(r, 0)))
                parent->removeRow(r);
        }
        for (int i = 0; i < wanted.size(); ++i) {
            QStandardItem* item = itemOf(wanted.at(i));
            if (!item) {
                parent->insertRow(i, makeSubtree(wanted.at(i)));
                continue;
            }
            const int at = item->row();
            if (at != i)
                parent->insertRow(i, parent->takeRow(at));
        }
        // A fresh build gives every parent five columns and every leaf none.
        const int columns = parent->hasChildren() || parent == live.model->invisibleRootItem() ? Columns : 0;
        if (parent->columnCount() != columns)
            parent->setColumnCount(columns);
    }

    LiveTree& live;
    const TreeUpdate& update;
    const Rows& rows;
    const TreeShape& shape;
    Looks looks;
    const bool redrawAll;
    QList<QStandardItem*> created;
    struct Changed { // rows next to each other under one parent, and the columns that changed in any of them
        QStandardItem* parent;
        int firstRow;
        int lastRow;
        int firstColumn;
        int lastColumn;
    };
    QList<Changed> changedRows;
};

LiveTree::LiveTree(QStandardItemModel* model)
    : model(model)
    , dark(icons::darkLook())
{
    shown = readModel(model, items);
}

LiveTree::~LiveTree() = default;

void LiveTree::apply(const TreeUpdatePtr& update)
{
    const TreeUpdate* effective = update.get();
    TreeUpdate compared;
    if (update->base != shown) {
        compared = compareTrees(shown, update->shape);
        effective = &compared;
    }
    const bool nowDark = icons::darkLook();
    const bool redrawAll = nowDark != dark;
    dark = nowDark;
    if (model->columnCount() != Columns || model->horizontalHeaderItem(Columns - 1) == nullptr) {
        model->setColumnCount(Columns);
        model->setHorizontalHeaderLabels(headers());
    } else {
        for (int c = 0; c < Columns; ++c) {
            if (model->horizontalHeaderItem(c)->text() != headers().at(c)) {
                model->setHorizontalHeaderLabels(headers());
                break;
            }
        }
    }
    textsChanged.fill(false, int(effective->shape->nodes.size()));
    statusChanged.clear();
    allChanged = false;
    Applier(*this, *effective, update->rows, redrawAll).run();
    shown = update->shape;
    if (update->taken)
        update->taken->store(true);
}

QStandardItem* LiveTree::find(const QString& key) const
{
    const size_t hash = nodeKeyHash(key);
    for (int n = 0; n < shown->nodes.size(); ++n) {
        const Place& node = shown->nodes.at(n);
        if (node.key == hash && !node.foreign && static_cast<const HeadCell*>(items.at(n))->head.key == key)
            return items.at(n);
    }
    return nullptr;
}

bool LiveTree::textsChangedOf(const Target& target) const
{
    if (allChanged)
        return true;
    const int n = nodeOf(target);
    return n >= 0 && textsChanged.testBit(n);
}

int LiveTree::nodeOf(const Target& target) const
{
    if (byTarget.isEmpty()) {
        byTarget.reserve(shown->nodes.size());
        for (int n = int(shown->nodes.size()) - 1; n >= 0; --n) { // backwards: the first row of an item wins
            if (shown->nodes.at(n).foreign)
                continue;
            const Head& head = static_cast<const HeadCell*>(items.at(n))->head;
            if (head.kind == Kind::Port)
                byTarget.insert({Kind::Port, head.hostId, 0, head.id, 0, {}}, n);
            else if (head.kind == Kind::Plugin)
                byTarget.insert({Kind::Plugin, head.hostId, head.id, 0, head.instanceId, {}}, n);
        }
    }
    return byTarget.value(target, -1);
}

LiveTree::Row LiveTree::findTarget(const Target& target) const
{
    const int n = nodeOf(target);
    if (n < 0)
        return {};
    return {rowOf(items.at(n)), items.at(n)};
}

} // namespace treemodel
