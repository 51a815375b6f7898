// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class ActiveAlarmsView;
class AlarmBook;
class ServerTabs;
class ServerView;
struct ActiveAlarm;
struct AlarmChanges;
struct OpenAlarm;

// Feeds "Aktiva larm" by change: the alarms the book says came, changed or went, each with what its server's tree
// shows of it; after a tree, the alarms whose rows it changed; after a server stops or starts answering, its alarms,
// drawn as old or current. Owned by the main window. GUI thread only.
class AlarmFeed : public QObject {
    Q_OBJECT
public:
    AlarmFeed(const AlarmBook* book, const ServerTabs* tabs, ActiveAlarmsView* panel, QObject* parent);

    // A server's tab has shown a tree, or a status: what the panel shows of its alarms may have changed.
    void treeShown(const QString& serverId);
    void statusShown(const ServerView* view);
    // Rows of a server's tree were marked as changed unseen, or seen.
    void marksChanged(const QString& serverId) { describeAnew(serverId, true); }
    // A server's tab has closed.
    void forget(const QString& serverId);

private:
    ActiveAlarm rowOf(const OpenAlarm& alarm) const;
    void onAlarmsChanged(const AlarmChanges& changes);
    void describeAnew(const QString& serverId, bool all);

    const AlarmBook* book;
    const ServerTabs* tabs;
    ActiveAlarmsView* panel;
    QSet<QString> staleServers; // the servers whose rows the panel draws as old
};
