// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>

#include <functional>
#include <optional>

struct OpenAlarm;
class NorvTray;

// One announcement to the operator: what it says, and what its actions lead to.
struct Notice {
    QString title;
    QString body;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::Information;
    QString serverId; // the server it is about: the first alarm's, or the server whose login was lost
    QStringList alarmKeys; // the alarms it lists, in its order; none for a lost login
    bool critical = false; // urgent: one of the alarms is critical
    QString sound; // the sound theme's name of the sound it makes; none: silent
    bool acknowledgeable = false; // about exactly one alarm of a check or port, on a server where the user may act
    bool lasting = false; // stays until it is closed, rather than going after a while
};

// A notice listing alarms in the given order: a title made from their count, a line for each of the first five,
// and how many more. With `withLabels` (more than one server watched) each line names its server.
Notice alarmsNotice(const QString& titleOfCount, const QList<OpenAlarm>& alarms, bool withLabels);
// The notice of new alarms, "Norv: %1 nya larm".
Notice newAlarmsNotice(const QList<OpenAlarm>& fresh, bool withLabels);
// The notice of a server whose login has run out or been revoked.
Notice loginLostNotice(const QString& serverId, const QString& label);

// Shows notices through the desktop's notification service (org.freedesktop.Notifications on the session bus),
// with the actions "Visa" and "Kvittera…" where the service offers actions; without a session bus or a service, as
// the tray's balloon. Never both. A notice of a slot replaces the one of that slot while the service still shows
// it. The activation token a service hands over with an action goes with it (Wayland's xdg-activation); with GNOME
// Shell, which raises the window itself when a notification without a default action is clicked, a click is seen as
// the notification closed by the operator and the window activated right after. Every call to the service is
// asynchronous but the last ones, when the client quits: a slow or hung service never holds up the window. GUI thread
// only.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // The action keys of a notice, as the service reports them back.
    static const QString ShowAction; // the default action, "Visa"
    static const QString AcknowledgeAction; // "Kvittera…"
    // How soon after one of our notifications was closed by the operator an activation of the window counts as its
    // "Visa", where the service raises the window itself.
    static constexpr qint64 DismissedClickMs = 2000;

    DesktopNotifier(NorvTray* tray, QObject* parent);

    void show(const Notice& notice, const QString& slot = QString());
    // Whether the session has a notification service (it has told its name).
    bool hasService() const { return !serverName.isEmpty(); }
    // Whether the service still shows the notice of the slot (nobody closed it or acted on it).
    bool showing(const QString& slot) const { return slots.contains(slot); }
    // Takes the notice of a slot away.
    void withdraw(const QString& slot);
    // Takes every notice of ours away, waiting a moment for each: the client quits, and nothing would be left to
    // act on them.
    void withdrawAll();
    // The notice the operator closed just before the window became active, where the service raises the window
    // itself (GNOME Shell): its click. Taken once.
    std::optional<Notice> clickedBeforeActivation();

    // The clock, in milliseconds; tests set their own.
    std::function<qint64()> clockMs;

Q_SIGNALS:
    // The operator chose an action of one of our notices; with the activation token the service handed over for it.
    void actionInvoked(const Notice& notice, const QString& action, const QString& activationToken);

private:
    // Called by the session bus, by name: the service's own signals.
    Q_INVOKABLE void onActionInvoked(uint id, const QString& action);
    Q_INVOKABLE void onClosed(uint id, uint reason);
    Q_INVOKABLE void onActivationToken(uint id, const QString& token);

    void send(const Notice& notice, const QString& slot, const QStringList& capabilities);
    void fallBack(const Notice& notice);
    void forget(uint id);
    void close(uint id);

    NorvTray* tray;
    QString serverName; // the service's own name, once it has told it
    QHash<uint, Notice> shown; // our notices the service still shows, by the id it gave them
    QList<uint> shownOrder; // oldest first, so that a service that never reports a close cannot make us hoard
    QHash<QString, uint> slots; // the shown notice of each slot
    QHash<uint, QString> tokens; // activation tokens, by notice, until its action comes
    std::optional<Notice> dismissed; // the last notice the operator closed, where clicks close
    qint64 dismissedAt = 0;
};
