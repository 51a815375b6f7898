// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/alarmfeed.h"

#include "core/alarms.h"
#include "gui/alarmview.h"
#include "gui/servertabs.h"
#include "gui/serverview.h"

AlarmFeed::AlarmFeed(const AlarmBook* book, const ServerTabs* tabs, ActiveAlarmsView* panel, QObject* parent)
    : QObject(parent)
    , book(book)
    , tabs(tabs)
    , panel(panel)
{
    connect(book, &AlarmBook::alarmsChanged, this, &AlarmFeed::onAlarmsChanged);
}

void AlarmFeed::treeShown(const QString& serverId)
{
    describeAnew(serverId, false);
}

// A server that stops answering: its rows are what it said last, drawn as old; and current again once it answers.
void AlarmFeed::statusShown(const ServerView* view)
{
    const QString& id = view->entry.id;
    if (view->unreachable == staleServers.contains(id))
        return;
    if (view->unreachable)
        staleServers.insert(id);
    else
        staleServers.remove(id);
    describeAnew(id, true);
}

void AlarmFeed::forget(const QString& serverId)
{
    staleServers.remove(serverId);
}

// An open alarm as the panel shows it: with what its server's tree shows of it.
ActiveAlarm AlarmFeed::rowOf(const OpenAlarm& alarm) const
{
    ActiveAlarm row {
        alarm.key, alarm.serverId, alarm.status, alarm.label, alarm.host, alarm.item, {}, {}, alarm.target, false};
    if (const ServerView* v = tabs->view(alarm.serverId)) {
        v->describe(row, alarm);
        // The server's own alarm is what is so now; its other rows are what it said last.
        row.stale = v->unreachable && !alarm.serverDown();
    }
    return row;
}

void AlarmFeed::onAlarmsChanged(const AlarmChanges& changes)
{
    QList<ActiveAlarm> rows;
    for (const QStringList* keys : {&changes.came, &changes.changed}) {
        for (const QString& key : *keys) {
            if (const std::optional<OpenAlarm> alarm = book->alarm(key))
                rows.append(rowOf(*alarm));
        }
    }
    panel->update(rows, changes.went);
}

// The server's alarms whose rows the last tree changed, or all of them; and its own alarm, whose text is its
// banner's.
void AlarmFeed::describeAnew(const QString& serverId, bool all)
{
    const ServerView* v = tabs->view(serverId);
    QList<ActiveAlarm> rows;
    for (const OpenAlarm& alarm : book->openAlarmsOf(serverId)) {
        if (all || alarm.serverDown() || (v && v->describedAnew(alarm.target)))
            rows.append(rowOf(alarm));
    }
    panel->update(rows, {});
}
