// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/alarmreading.h"
#include "core/target.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// One open alarm: an alarming problem of a server's last status payload, or a server that does not answer (its
// problem then empty, its status "unknown").
struct OpenAlarm {
    QString key; // the alarm key: server id, then the ids of the host, check, port and instance
    QString serverId;
    QString label; // the server's
    QJsonObject problem; // as received
    QString status;
    QString host; // the host and the check or port, as the notifications name them
    QString item;
    treemodel::Target target; // the check or port the alarm is about; an empty kind for a server that does not answer
    QDateTime since; // when the book first held it

    bool serverDown() const { return problem.isEmpty(); }
};

// What one update of the alarm book did to the open alarms, by key.
struct AlarmChanges {
    QStringList came;
    QStringList changed; // still open, with another problem or label
    QStringList went;

    bool isEmpty() const { return came.isEmpty() && changed.isEmpty() && went.isEmpty(); }
};

// Sums up the alarms of every connected server: which are open, which are new since the operator last heard of
// them, and which servers do not answer. Fed by the main window with each server's status payload; the tray icon,
// the "Aktiva larm" panel and the desktop notifications are its views. Each update works out which alarms came,
// changed or went, so that a view of thousands of alarms touches only those. GUI thread only.
class AlarmBook : public QObject {
    Q_OBJECT
public:
    explicit AlarmBook(QObject* parent = nullptr);

    void updateStatus(const QJsonObject& status, const QString& serverId, const QString& label);
    // The same, with the payload already read (on the poller's thread).
    void updateStatus(const AlarmReadingPtr& reading, const QString& serverId, const QString& label);
    // Forgets a server (its tab closed, its login lost). Nothing is announced.
    void removeServer(const QString& serverId);
    // The server does not answer: one alarm of state "unknown" until its next status payload (its last alarms stay).
    void setUnreachable(const QString& serverId, const QString& label);

    // Every open alarm, in the order of their keys.
    QList<OpenAlarm> openAlarms() const { return open.values(); }
    // The open alarms of one server, in the order of their keys.
    QList<OpenAlarm> openAlarmsOf(const QString& serverId) const;
    std::optional<OpenAlarm> alarm(const QString& key) const;
    // The worst open alarm's status word ("ok" when none is open) and whether any is open.
    QString state() const { return worst; }
    bool anyAlarm() const { return !open.isEmpty(); }
    // The summed counts of every server's last summary.
    struct Counts {
        int critical = 0;
        int warning = 0;
        int ok = 0;
    };
    Counts counts() const;
    int serverCount() const { return int(states.size()); }
    QStringList unreachableLabels() const { return unreachable.values(); }

Q_SIGNALS:
    // The open alarms that an update opened, changed or ended; not emitted when it touched none.
    void alarmsChanged(const AlarmChanges& changes);
    // After every update: of what is open, of the counts or of the servers that do not answer.
    void changed();
    // Alarms the operator has not heard of yet, in the order of their keys. Emitted after changed().
    void newAlarms(const QList<OpenAlarm>& fresh);

private:
    // What the book keeps of one server's last status payload.
    struct ServerState {
        QString label;
        AlarmReadingPtr reading;
        QList<const AlarmReading::Problem*> alarms; // those of the reading the book alarms on, in key order
    };

    // Tells the views, and announces the alarms that came unless they are suppressed.
    void publish(const AlarmChanges& changes, bool notify, const QSet<QString>& suppress);

    std::optional<QSet<QString>> knownAlarms; // not set until the first update that may announce
    QMap<QString, ServerState> states; // by server id
    QMap<QString, QString> unreachable; // labels of the servers that do not answer, by id
    QMap<QString, OpenAlarm> open; // by key, so that a server's alarms stand together
    QString worst = QStringLiteral("ok");
};
