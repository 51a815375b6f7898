// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>

struct OpenAlarm;
class NorvTray;

// One announcement to the operator: what it says, and what its actions lead to.
struct Notice {
    QString title;
    QString body;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::Information;
    QString serverId; // the server it is about: the first alarm's, or the server whose login was lost
    QStringList alarmKeys; // the new alarms it announces, in the order of their keys; none for a lost login
    bool critical = false; // urgent: one of the alarms is critical
    bool sound = false;
    bool acknowledgeable = false; // about exactly one alarm of a check or port, on a server where the user may act
};

// The notice of new alarms: "Norv: %1 nya larm", a line for each of the first five, and how many more. With
// `withLabels` (more than one server watched) each line names its server.
Notice newAlarmsNotice(const QList<OpenAlarm>& fresh, bool withLabels);
// The notice of a server whose login has run out or been revoked.
Notice loginLostNotice(const QString& serverId, const QString& label);

// Shows notices through the desktop's notification service (org.freedesktop.Notifications on the session bus),
// with the actions "Visa" and "Kvittera…" where the service offers actions; without a session bus or a service, as
// the tray's balloon. Never both. Every call to the service is asynchronous: a slow or hung service never holds up
// the window. GUI thread only.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // The action keys of a notice, as the service reports them back.
    static const QString ShowAction; // the default action, "Visa"
    static const QString AcknowledgeAction; // "Kvittera…"

    DesktopNotifier(NorvTray* tray, QObject* parent);

    void show(const Notice& notice);

Q_SIGNALS:
    // The operator chose an action of one of our notices.
    void actionInvoked(const Notice& notice, const QString& action);

private:
    // Called by the session bus, by name: the service's own signals.
    Q_INVOKABLE void onActionInvoked(uint id, const QString& action);
    Q_INVOKABLE void onClosed(uint id, uint reason);

    void send(const Notice& notice, const QStringList& capabilities);
    void fallBack(const Notice& notice);

    NorvTray* tray;
    QHash<uint, Notice> shown; // our notices the service still shows, by the id it gave them
    QList<uint> shownOrder; // oldest first, so that a service that never reports a close cannot make us hoard
};
