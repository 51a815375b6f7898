// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/actions.h"
#include "tree/treediff.h"

#include <QMetaObject>
#include <QSet>
#include <QString>

#include <functional>

class ChangeMarks;
class QModelIndex;
class QStandardItemModel;
class QTreeView;
class TreeFilter;
namespace treemodel {
class LiveTree;
}

// What the operator has made of a server tab's tree, kept across every poll: the nodes left open, the current row,
// the row at the top of the viewport, and the filter (the search text and "Bara problem"), which sits between the
// model and the view. Owned by the server tab; GUI thread only.
class TreeState {
public:
    TreeState(QTreeView* tree, QStandardItemModel* model, treemodel::LiveTree* live, const ChangeMarks* marks);
    ~TreeState();
    TreeState(const TreeState&) = delete;
    TreeState& operator=(const TreeState&) = delete;

    // Shows a tree in place: rows change where the tree changed; the viewport, the current row, the expansion and
    // the filter stay as the operator left them.
    void show(const treemodel::TreeUpdatePtr& update);
    void applyFilter(const QString& text);
    void setProblemsOnly(bool on);
    // "Bara ändrade": only rows marked as changed unseen, and their ancestors; combines with the other filters.
    void setChangedOnly(bool on);
    // The marks have changed: they are drawn, and filtered by, anew. Rows the operator has just seen stay under
    // "Bara ändrade" (`seen`) until it filters next, so that the row being read does not vanish.
    void marksChanged(bool seen = false);
    // Makes the row of a check or port current, its ancestors open, and gives the tree the focus. False when the
    // tree shows no such row (it is not there, or a filter hides it).
    bool showRow(const treemodel::Target& target);
    // Draws every row as old, in the disabled colour (the server does not answer), or as it is.
    void setOld(bool on);

    QString keyAt(const QModelIndex& index) const;
    // Whether the tree's current row is being put back after a poll: not the operator's choice.
    bool restoringCurrent() const { return restoring; }
    // What the row of an index of the view stands for, and its status word.
    treemodel::Target targetAt(const QModelIndex& index) const;
    actions::RowState stateAt(const QModelIndex& index) const;

private:
    void rememberExpanded(const QModelIndex& index);
    void forgetExpanded(const QModelIndex& index);
    void restoreExpanded();
    void restoreCurrent(const QString& key);
    bool filtering() const;
    void refilter(const std::function<void()>& change);
    void expandInserted(const QModelIndex& index);

    QTreeView* tree;
    QStandardItemModel* model;
    treemodel::LiveTree* live;
    TreeFilter* filter; // the tree's child
    QSet<QString> expandedKeys;
    QString filterText;
    bool problemsOnly = false;
    bool changedOnly = false;
    bool restoring = false; // expansion done here is not the operator's
    QMetaObject::Connection expandedWatch;
    QMetaObject::Connection collapsedWatch;
};
