// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QIcon>
#include <QSortFilterProxyModel>

class ChangeMarks;

// Between a server tab's model and its tree view: the operator's search text, "Bara problem" (alarming rows only)
// and "Bara ändrade" (rows changed while the operator was away). A row must pass each filter in force; the
// ancestors of a row that passes show as well (recursive filtering, on while a filter is in force). It also draws
// what the model does not hold: rows drawn as old, and the marks of rows that changed unseen. GUI thread only.
class TreeFilter : public QSortFilterProxyModel {
public:
    TreeFilter(const ChangeMarks* marks, QObject* parent);

    void setProblemsOnly(bool on);
    void setChangedOnly(bool on);
    // Rows drawn as old: every text, status word and dot in this colour; an invalid colour draws them as they are.
    void setOld(const QColor& color);

    QVariant data(const QModelIndex& index, int role) const override;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    const ChangeMarks* marks;
    bool problemsOnly = false;
    bool changedOnly = false;
    QColor old;
    QIcon oldDot;
};
