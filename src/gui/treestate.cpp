// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/treestate.h"

#include "gui/treefilter.h"
#include "tree/livetree.h"
#include "tree/treemodel.h"

#include <QSortFilterProxyModel>
#include <QStack>
#include <QStandardItemModel>
#include <QTreeView>

namespace {

// Visits every item of column 0 below an item, depth first, rows in order, without recursion.
template <typename Visit> void forEachRow(QStandardItem* top, Visit visit)
{
    QStack<QStandardItem*> pending;
    pending.push(top);
    while (!pending.isEmpty()) {
        QStandardItem* parent = pending.pop();
        for (int r = parent->rowCount() - 1; r >= 0; --r) {
            if (QStandardItem* child = parent->child(r, 0))
                pending.push(child);
        }
        if (parent != top && !visit(parent))
            return;
    }
}

} // namespace

TreeState::TreeState(QTreeView* tree, QStandardItemModel* model, treemodel::LiveTree* live, const ChangeMarks* marks)
    : tree(tree)
    , model(model)
    , live(live)
    , filter(new TreeFilter(marks, tree))
{
    filter->setSourceModel(model);
    // Recursive filtering (off until then) re-examines every ancestor of a changed row, up to the top, and a dynamic
    // filter every changed row: only worth it while a filter is in force (applyFilter).
    filter->setDynamicSortFilter(false);
    filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    filter->setFilterKeyColumn(0);
    tree->setModel(filter);
    expandedWatch = QObject::connect(
        tree, &QTreeView::expanded, tree, [this](const QModelIndex& index) { rememberExpanded(index); });
    collapsedWatch = QObject::connect(
        tree, &QTreeView::collapsed, tree, [this](const QModelIndex& index) { forgetExpanded(index); });
}

TreeState::~TreeState()
{
    // The view outlives this: what it does later is no longer the operator's work on this tree.
    QObject::disconnect(expandedWatch);
    QObject::disconnect(collapsedWatch);
}

void TreeState::show(const treemodel::TreeUpdatePtr& update)
{
    const QString key = keyAt(tree->currentIndex());
    // The row at the top of the viewport is the operator's place in the tree: it stays at the top.
    const QModelIndex top = tree->indexAt(QPoint(1, 1));
    const QString topKey = keyAt(top);
    const int topOffset = top.isValid() ? tree->visualRect(top).top() : 0;
    QList<QPersistentModelIndex> inserted;
    const QMetaObject::Connection watch = QObject::connect(filter, &QAbstractItemModel::rowsInserted, tree,
        [this, &inserted](const QModelIndex& parent, int first, int last) {
            for (int r = first; r <= last; ++r)
                inserted.append(filter->index(r, 0, parent));
        });
    // Rows a poll takes away move the current row: not the operator's choice.
    restoring = true;
    live->apply(update);
    restoring = false;
    QObject::disconnect(watch);
    // Rows that are new to the view (new nodes, moved nodes, rows the filter lets through now) open as the
    // operator left their nodes, or all of them under a filter.
    restoring = true;
    for (const QPersistentModelIndex& index : std::as_const(inserted))
        expandInserted(index);
    restoring = false;
    if (!key.isEmpty() && keyAt(tree->currentIndex()) != key)
        restoreCurrent(key);
    if (!topKey.isEmpty()) {
        const QStandardItem* item = live->find(topKey);
        const QModelIndex now = item ? filter->mapFromSource(item->index()) : QModelIndex();
        if (now.isValid() && tree->visualRect(now).top() != topOffset)
            tree->scrollTo(now, QAbstractItemView::PositionAtTop);
    }
}

void TreeState::expandInserted(const QModelIndex& proxyIndex)
{
    if (!proxyIndex.isValid())
        return;
    if (filtering()) {
        tree->expandRecursively(proxyIndex);
        return;
    }
    if (expandedKeys.isEmpty())
        return;
    QStandardItem* top = model->itemFromIndex(filter->mapToSource(proxyIndex).siblingAtColumn(0));
    if (!top)
        return;
    auto expandKnown = [this](QStandardItem* item) {
        if (expandedKeys.contains(item->data(treemodel::KeyRole).toString())) {
            const QModelIndex index = filter->mapFromSource(item->index());
            if (index.isValid())
                tree->expand(index);
        }
        return true;
    };
    expandKnown(top);
    forEachRow(top, expandKnown);
}

QString TreeState::keyAt(const QModelIndex& index) const
{
    return index.siblingAtColumn(0).data(treemodel::KeyRole).toString();
}

treemodel::Target TreeState::targetAt(const QModelIndex& index) const
{
    return treemodel::Target::of(index.siblingAtColumn(0).data(treemodel::TargetRole).toMap());
}

actions::RowState TreeState::stateAt(const QModelIndex& index) const
{
    const QModelIndex first = index.siblingAtColumn(0);
    return {first.data(treemodel::StatusRole).toString(), first.data(treemodel::AcknowledgedRole).toBool()};
}

void TreeState::rememberExpanded(const QModelIndex& index)
{
    if (restoring)
        return;
    const QString key = keyAt(index);
    if (!key.isEmpty())
        expandedKeys.insert(key);
}

void TreeState::forgetExpanded(const QModelIndex& index)
{
    if (restoring)
        return;
    expandedKeys.remove(keyAt(index));
}

void TreeState::restoreExpanded()
{
    restoring = true;
    if (!expandedKeys.isEmpty()) {
        forEachRow(model->invisibleRootItem(), [this](QStandardItem* item) {
            if (expandedKeys.contains(item->data(treemodel::KeyRole).toString())) {
                const QModelIndex index = filter->mapFromSource(item->index());
                if (index.isValid())
                    tree->expand(index);
            }
            return true;
        });
    }
    restoring = false;
}

// Makes the row with this key current again without scrolling to it: a poll never moves the viewport. A row that
// vanished leaves no current row.
void TreeState::restoreCurrent(const QString& key)
{
    const QStandardItem* found = live->find(key);
    const QModelIndex index = found ? filter->mapFromSource(found->index()) : QModelIndex();
    restoring = true;
    if (index.isValid())
        tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else
        tree->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    restoring = false;
}

void TreeState::applyFilter(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == filterText)
        return;
    filterText = trimmed;
    refilter([this] { filter->setFilterFixedString(filterText); });
}

void TreeState::setProblemsOnly(bool on)
{
    if (on == problemsOnly)
        return;
    problemsOnly = on;
    refilter([this] { filter->setProblemsOnly(problemsOnly); });
}

void TreeState::setChangedOnly(bool on)
{
    if (on == changedOnly)
        return;
    changedOnly = on;
    refilter([this] { filter->setChangedOnly(changedOnly); });
}

void TreeState::marksChanged(bool seen)
{
    if (changedOnly && !seen)
        refilter([this] { filter->invalidate(); });
    else
        tree->viewport()->update();
}

bool TreeState::filtering() const
{
    return !filterText.isEmpty() || problemsOnly || changedOnly;
}

// Under a filter every row that passes shows, the whole tree open; without one, the operator's own expansion.
void TreeState::refilter(const std::function<void()>& change)
{
    filter->setRecursiveFilteringEnabled(filtering());
    filter->setDynamicSortFilter(filtering());
    // Rows the filter takes away move the current row: not the operator's choice either.
    restoring = true;
    change();
    if (filtering())
        tree->expandAll();
    else
        tree->collapseAll();
    restoring = false;
    if (!filtering())
        restoreExpanded();
}

bool TreeState::showRow(const treemodel::Target& target)
{
    const treemodel::LiveTree::Row row = live->findTarget(target);
    const QModelIndex index = row.item ? filter->mapFromSource(row.item->index()) : QModelIndex();
    if (!index.isValid())
        return false;
    // Not a restore: the ancestors opened here stay open, as if the operator had opened them.
    for (QModelIndex ancestor = index.parent(); ancestor.isValid(); ancestor = ancestor.parent())
        tree->expand(ancestor);
    tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree->scrollTo(index);
    tree->setFocus(Qt::OtherFocusReason);
    return true;
}

void TreeState::setOld(bool on)
{
    filter->setOld(on ? tree->palette().color(QPalette::Disabled, QPalette::Text) : QColor());
    tree->viewport()->update();
}
