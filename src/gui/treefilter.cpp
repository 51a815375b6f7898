// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/treefilter.h"

#include "core/icons.h"
#include "gui/changemarks.h"
#include "tree/rowtexts.h"
#include "tree/treemodel.h"

#include <QBrush>
#include <QDate>
#include <QFont>

namespace {

constexpr int FlagsColumn = 4;

// "● ändrad 14:05" for a change today, with the date before today.
QString changedText(const QDateTime& at)
{
    const QDateTime local = at.toLocalTime();
    return QStringLiteral("● ändrad %1")
        .arg(local.toString(
            local.date() == QDate::currentDate() ? QStringLiteral("hh:mm") : QStringLiteral("yyyy-MM-dd hh:mm")));
}

} // namespace

TreeFilter::TreeFilter(const ChangeMarks* marks, QObject* parent)
    : QSortFilterProxyModel(parent)
    , marks(marks)
{ }

void TreeFilter::setProblemsOnly(bool on)
{
    problemsOnly = on;
    invalidateFilter();
}

void TreeFilter::setChangedOnly(bool on)
{
    changedOnly = on;
    invalidateFilter();
}

void TreeFilter::setOld(const QColor& color)
{
    old = color;
    oldDot = color.isValid() ? icons::dotIcon(color, 12) : QIcon();
}

QVariant TreeFilter::data(const QModelIndex& index, int role) const
{
    if (role == Qt::AccessibleTextRole && index.column() == FlagsColumn)
        return treemodel::spokenFlags(data(index, Qt::DisplayRole).toString());
    if (old.isValid() && role == Qt::ForegroundRole)
        return QBrush(old);
    if (old.isValid() && role == Qt::DecorationRole && index.column() == 0)
        return oldDot;
    // A marked row shows its name in bold and when it changed after its flags; a row with marked rows below it,
    // its name in bold.
    const bool font = role == Qt::FontRole && index.column() == 0;
    const bool flags = role == Qt::DisplayRole && index.column() == FlagsColumn;
    if (marks->isEmpty() || !(font || flags))
        return QSortFilterProxyModel::data(index, role);
    const QString key = index.siblingAtColumn(0).data(treemodel::KeyRole).toString();
    const std::optional<QDateTime> at = marks->markedAt(key);
    if (font && (at || marks->markedBelow(key))) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    const QString text = QSortFilterProxyModel::data(index, role).toString();
    if (flags && at)
        return text.isEmpty() ? changedText(*at) : text + QStringLiteral(" \u00b7 ") + changedText(*at);
    return QSortFilterProxyModel::data(index, role);
}

bool TreeFilter::filterAcceptsRow(int row, const QModelIndex& parent) const
{
    const QModelIndex first = sourceModel()->index(row, 0, parent);
    if (problemsOnly && !treemodel::isAlarming(first.data(treemodel::StatusRole).toString()))
        return false;
    if (changedOnly && !marks->markedAt(first.data(treemodel::KeyRole).toString()))
        return false;
    return QSortFilterProxyModel::filterAcceptsRow(row, parent);
}
