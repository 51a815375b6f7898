// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The monitored network as the stand-in Norv server keeps it: groups, hosts, checks and switch ports with their
// states, silences, the alarm log and metric definitions. Plain values; the server guards them with its lock.
namespace standin {

struct Group {
    int id = 0;
    QString name;
    int parentId = 0;
    bool dnd = false;
};

struct Host {
    int id = 0;
    QString name;
    QString address;
    int groupId = 0; // 0: outside any group (sent as null)
    bool dnd = false;
};

// What a check and a switch port have in common: a state the server evaluates and the operator's marks on it.
struct Item {
    QString kind; // what is measured ("ping", "disk", "port", ...), for the simulator's texts
    int hostId = 0;
    QString name;
    QString status = QStringLiteral("ok");
    QString output;
    QString lastOk;
    bool acknowledged = false;
    QString acknowledgedBy;
    QString ackComment;
    bool dnd = false;
    QString suppressedReason;
    bool hard = true;
    int consecutiveFailures = 0;
    int maxAttempts = 3;
    QString unit; // unit of its metrics
    QStringList metrics; // metric labels
    double baseline = 1; // typical metric value, for the series
    bool recheckRequested = false;
    qint64 nextRun = 0; // when the simulator runs the check next, in ms since the epoch
};

struct Check : Item {
    int pluginId = 0;
    int instanceId = 0;
    QString key;
};

struct Port : Item {
    int portId = 0;
};

struct Silence {
    int id = 0;
    QString scope;
    int hostId = 0;
    int pluginId = 0;
    int portId = 0;
    int instanceId = 0;
    int minutes = 0;
    QString reason;
    QString createdBy;
    QDateTime createdAt;
};

struct Alarm {
    int id = 0;
    QString status;
    QString hostName;
    QString targetName;
    QDateTime startedAt; // UTC
    QDateTime clearedAt; // UTC; invalid while the alarm is open
    bool hard = true;
    bool notified = false;
    QString ackBy;
    QString ackComment;
};

struct Network {
    QString serverVersion = QStringLiteral(NORV_VERSION);
    QList<Group> groups;
    QList<Host> hosts;
    QList<Check> checks;
    QList<Port> ports;
    QList<Silence> silences;
    QList<Alarm> alarms; // oldest first
    int nextSilenceId = 1;
    int nextAlarmId = 1;

    // A small network with a bit of everything: nested groups, a host outside any group, a multi-instance check,
    // a soft state, a switch with ports, open and cleared alarms.
    static Network sample();

    Host* host(int id);
    Check* check(int hostId, int pluginId, int instanceId);
    QList<Check*> checksOf(int hostId, int pluginId, int instanceId); // instanceId 0: every instance
    Port* port(int portId);

    QJsonObject statusPayload(const QDateTime& now) const;
    QJsonObject treePayload() const;
    QJsonObject alarmLogPage(int page, int limit, bool activeOnly, const QString& search) const;
    QJsonArray silencesPayload() const;
    static QJsonObject seriesPayload(const Item& item, const QString& label, int hours, const QDateTime& now);

    // Opens an alarm for an item that turned alarming and clears it when it recovers.
    void recordTransition(
        const Item& item, const QString& targetName, const QString& oldStatus, const QDateTime& nowUtc);
    QString hostName(int hostId) const;
    // Marks what a silence covers as silenced, or no longer.
    void setSilenced(const Silence& silence, bool on);
};

bool isProblem(const QString& status);
int worstRank(const QString& status);

} // namespace standin
