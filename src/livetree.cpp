#include "livetree.h"

#include "icons.h"
#include "treecells.h"
#include "treemodel.h"

#include <QSet>
#include <QSignalBlocker>
#include <QStack>
#include <QStandardItemModel>

#include <algorithm>
#include <utility>

namespace treemodel {

namespace {

// The rows of a model as a tree, with their first cells; rows that no payload made are foreign nodes, whose
// children are not read.
std::shared_ptr<const Tree> readModel(QStandardItemModel* model, QList<QStandardItem*>& items, bool dark)
{
    auto tree = std::make_shared<Tree>();
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
                tree->nodes[top.place].size = int(tree->nodes.size()) - top.place;
            stack.pop();
            continue;
        }
        const int row = top.row++;
        QStandardItem* first = top.parent->child(row, 0);
        const int place = int(tree->nodes.size());
        items.append(first);
        if (!first || !isTreeRow(top.parent, row)) {
            Node node;
            node.foreign = true;
            tree->nodes.append(node);
            continue;
        }
        const auto* head = static_cast<const HeadCell*>(first);
        Node node;
        node.key = head->head.key;
        node.status = head->head.status;
        node.targetName = head->head.targetName;
        node.hostId = head->head.hostId;
        node.id = head->head.id;
        node.instanceId = head->head.instanceId;
        node.kind = head->head.kind;
        node.handled = head->head.handled;
        node.foreign = head->head.foreign;
        node.name = head->text;
        const auto* status = static_cast<const StatusCell*>(top.parent->child(row, 1));
        const Look expected {
            QIcon(), QBrush(icons::statusColor(node.status, node.handled, dark)), node.status.toUpper()};
        node.output = static_cast<const Cell*>(top.parent->child(row, 2))->text;
        node.lastOk = static_cast<const Cell*>(top.parent->child(row, 3))->text;
        node.flags = static_cast<const Cell*>(top.parent->child(row, 4))->text;
        // A row drawn in another look, or whose status cell does not match its status, is to be drawn again.
        node.redraw = head->dark != dark || status->text != expected.upper || status->brush != expected.brush;
        tree->nodes.append(node);
        if (first->hasChildren())
            stack.push({first, 0, place});
    }
    return tree;
}
} // namespace

// Applies one update to the model: the changed cells first, then the parents whose children are placed anew.
class LiveTree::Applier {
public:
    Applier(LiveTree& live, const TreeUpdate& update, bool redrawAll)
        : live(live)
        , update(update)
        , tree(*update.tree)
        , looks(icons::darkLook())
        , redrawAll(redrawAll)
    { }

    void run()
    {
        const bool reshaped = !update.reordered.isEmpty();
        const QList<QStandardItem*>& before = live.items;
        auto itemOf = [&](int node) -> QStandardItem* {
            const int b = reshaped ? update.previous.at(node) : node;
            return b >= 0 ? before.at(b) : nullptr;
        };
        // A poll changes thousands of cells (every "Senast OK" moves on): they are set silently, and the model then
        // tells of them once per parent, as one range of rows and columns.
        {
            const QSignalBlocker quiet(live.model);
            if (redrawAll) {
                for (int n = 0; n < tree.nodes.size(); ++n) {
                    if (QStandardItem* item = itemOf(n))
                        redraw(item, tree.nodes.at(n));
                }
            } else {
                for (const int n : update.changed)
                    redraw(itemOf(n), tree.nodes.at(n));
            }
        }
        for (auto it = changedRanges.cbegin(); it != changedRanges.cend(); ++it) {
            const QModelIndex parent = it.key() == live.model->invisibleRootItem() ? QModelIndex() : it.key()->index();
            const Range& r = it.value();
            Q_EMIT live.model->dataChanged(live.model->index(r.firstRow, r.firstColumn, parent),
                live.model->index(r.lastRow, r.lastColumn, parent));
        }
        if (!reshaped)
            return;

        created = QList<QStandardItem*>(tree.nodes.size(), nullptr);
        for (const int parent : update.reordered) {
            QStandardItem* parentItem = parent < 0 ? live.model->invisibleRootItem() : itemOf(parent);
            place(parentItem, tree.children(parent), itemOf);
        }
        QList<QStandardItem*> after(tree.nodes.size(), nullptr);
        for (int n = 0; n < tree.nodes.size(); ++n)
            after[n] = created.at(n) ? created.at(n) : itemOf(n);
        live.items = std::move(after);
    }

private:
    // Sets the cells of a row that changed and notes them for the notification.
    void redraw(QStandardItem* first, const Node& node)
    {
        const Look& look = looks.of(node.status, node.handled);
        QStandardItem* parent = first->parent() ? first->parent() : live.model->invisibleRootItem();
        const int row = first->row();
        const bool changed[Columns] = {static_cast<HeadCell*>(first)->assign(node, look, live.dark),
            static_cast<StatusCell*>(parent->child(row, 1))->assign(look),
            static_cast<Cell*>(parent->child(row, 2))->assign(node.output),
            static_cast<Cell*>(parent->child(row, 3))->assign(node.lastOk),
            static_cast<Cell*>(parent->child(row, 4))->assign(node.flags)};
        for (int c = 0; c < Columns; ++c) {
            if (!changed[c])
                continue;
            auto range = changedRanges.find(parent);
            if (range == changedRanges.end())
                range = changedRanges.insert(parent, {row, row, c, c});
            range->firstRow = std::min(range->firstRow, row);
            range->lastRow = std::max(range->lastRow, row);
            range->firstColumn = std::min(range->firstColumn, c);
            range->lastColumn = std::max(range->lastColumn, c);
        }
    }

    struct Range {
        int firstRow, lastRow, firstColumn, lastColumn;
    };

    QList<QStandardItem*> makeRow(const Node& node)
    {
        const Look& look = looks.of(node.status, node.handled);
        return {new HeadCell(node, look, live.dark), new StatusCell(look), new Cell(node.output), new Cell(node.lastOk),
            new Cell(node.flags)};
    }

    // The row of a new node with its whole subtree, made before it joins the model.
    QList<QStandardItem*> makeSubtree(int top)
    {
        QList<QStandardItem*> topRow = makeRow(tree.nodes.at(top));
        created[top] = topRow.first();
        QStack<QPair<int, QStandardItem*>> pending {{{top, topRow.first()}}};
        while (!pending.isEmpty()) {
            const auto [node, item] = pending.pop();
            for (const int child : tree.children(node)) {
                QList<QStandardItem*> row = makeRow(tree.nodes.at(child));
                created[child] = row.first();
                item->appendRow(row);
                if (tree.nodes.at(child).size > 1)
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
    const Tree& tree;
    Looks looks;
    const bool redrawAll;
    QList<QStandardItem*> created;
    QHash<QStandardItem*, Range> changedRanges; // by parent
};

LiveTree::LiveTree(QStandardItemModel* model)
    : model(model)
    , dark(icons::darkLook())
{
    shown = readModel(model, items, dark);
}

LiveTree::~LiveTree() = default;

void LiveTree::apply(const TreeUpdatePtr& update)
{
    TreeUpdatePtr effective = update;
    if (update->base != shown)
        effective = compareTrees(shown, update->tree);
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
    Applier(*this, *effective, redrawAll).run();
    shown = effective->tree;
    byTarget.clear();
}

QStandardItem* LiveTree::find(const QString& key) const
{
    if (!shown)
        return nullptr;
    for (int n = 0; n < shown->nodes.size(); ++n) {
        if (shown->nodes.at(n).key == key && !shown->nodes.at(n).foreign)
            return items.at(n);
    }
    return nullptr;
}

LiveTree::Row LiveTree::findTarget(const Target& target) const
{
    if (!shown)
        return {};
    // A check by its host, check and instance; a switch port by its port id alone, as the status payload names them.
    auto id = [](bool port, int hostId, int id, int instanceId) {
        return port ? TargetId {true, 0, id, 0} : TargetId {false, hostId, id, std::max(instanceId, 0)};
    };
    if (byTarget.isEmpty()) {
        byTarget.reserve(shown->nodes.size());
        for (int n = int(shown->nodes.size()) - 1; n >= 0; --n) { // backwards: the first row of an id wins
            const Node& node = shown->nodes.at(n);
            if ((node.kind == Node::Plugin || node.kind == Node::Port) && !node.foreign)
                byTarget.insert(id(node.kind == Node::Port, node.hostId, node.id, node.instanceId), n);
        }
    }
    const bool port = target.kind == QLatin1String("port");
    const int n
        = byTarget.value(id(port, target.hostId, port ? target.portId : target.pluginId, target.instanceId), -1);
    return n < 0 ? Row {} : Row {&shown->nodes.at(n), items.at(n)};
}

} // namespace treemodel
