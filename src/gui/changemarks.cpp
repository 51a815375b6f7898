// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/changemarks.h"

#include "tree/treemodel.h"

#include <QStandardItem>

namespace {

QString keyOf(const QStandardItem* row)
{
    return row->data(treemodel::KeyRole).toString();
}

QStringList aboveOf(const QStandardItem* row)
{
    QStringList keys;
    for (const QStandardItem* parent = row->parent(); parent; parent = parent->parent())
        keys.append(keyOf(parent));
    return keys;
}

} // namespace

void ChangeMarks::mark(const QStandardItem* row, const QDateTime& at)
{
    const QString key = keyOf(row);
    unmark(key);
    Mark made {at, aboveOf(row)};
    for (const QString& above : std::as_const(made.above))
        ++below[above];
    marks.insert(key, made);
}

bool ChangeMarks::unmark(const QString& key)
{
    const auto found = marks.constFind(key);
    if (found == marks.cend())
        return false;
    for (const QString& above : found->above)
        --below[above];
    marks.erase(found);
    return true;
}

void ChangeMarks::clear()
{
    marks.clear();
    below.clear();
}

bool ChangeMarks::follow(const std::function<const QStandardItem*(const QString& key)>& rowOf)
{
    const QHash<QString, Mark> before = std::exchange(marks, {});
    below.clear();
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (const QStandardItem* row = rowOf(it.key()))
            mark(row, it->at);
    }
    return marks.size() != before.size();
}

std::optional<QDateTime> ChangeMarks::markedAt(const QString& key) const
{
    const auto found = marks.constFind(key);
    return found == marks.cend() ? std::nullopt : std::optional<QDateTime>(found->at);
}
