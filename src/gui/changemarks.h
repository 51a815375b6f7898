// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QStandardItem;

// What changed while the operator was not looking, in one server's tree: the rows whose status word changed, by
// node key, each with the time of its latest change, and the groups and hosts with such rows below them. Kept by
// node key, so that polls that move rows keep the marks. GUI thread only.
class ChangeMarks {
public:
    // Marks a row of the tree's model (its first cell) as changed at a moment.
    void mark(const QStandardItem* row, const QDateTime& at);
    // Takes a row's mark away; whether it had one.
    bool unmark(const QString& key);
    void clear();
    // Drops the marks of rows a tree no longer has, and finds the rows above the others anew (rows moved). Whether
    // any mark was dropped.
    bool follow(const std::function<const QStandardItem*(const QString& key)>& rowOf);

    int count() const { return int(marks.size()); }
    bool isEmpty() const { return marks.isEmpty(); }
    std::optional<QDateTime> markedAt(const QString& key) const;
    // Whether a group or host has a marked row below it.
    bool markedBelow(const QString& key) const { return below.value(key) > 0; }

private:
    struct Mark {
        QDateTime at;
        QStringList above; // the keys of the rows above it, when it was marked
    };

    QHash<QString, Mark> marks;
    QHash<QString, int> below; // marked rows below each group and host (none, once they are seen, until clear())
};
