// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class AlarmBook;
class DesktopNotifier;
class ServerTabs;
struct AlarmChanges;
struct Notice;
struct OpenAlarm;

// What the operator hears of alarms. New alarms go into one live notification, which lists every alarm announced
// in it that is still open, newest first, changes as alarms come and go, and closes when they have all ended; once
// it is closed or acted on, the next new alarm opens a new one. A server that stops answering has a notification of
// its own. At the chosen interval, the alarms open for at least that long, which nobody has acknowledged or silenced,
// are announced again in one reminder. Each announcement sounds by the setting: critical alarms with one sound,
// others with another. GUI thread only.
class Announcer : public QObject {
    Q_OBJECT
public:
    Announcer(const AlarmBook* book, DesktopNotifier* notifier, const ServerTabs* tabs, QObject* parent);

    // Alarms the operator has not heard of yet, as the book announces them.
    void announce(const QList<OpenAlarm>& fresh);
    // One reminder of the alarms waiting for at least the chosen interval; nothing when none waits.
    void remind();
    // The interval was chosen anew.
    void applySettings();

    // The clock the reminders go by; tests set their own.
    std::function<QDateTime()> now;

private:
    void onAlarmsChanged(const AlarmChanges& changes);
    // The live notification of the alarms it lists that are still open; closed when none is.
    void showLive(const QString& sound);
    Notice actionable(Notice notice, const QList<OpenAlarm>& alarms) const;

    const AlarmBook* book;
    DesktopNotifier* notifier;
    const ServerTabs* tabs;
    QStringList live; // the keys the live notification lists, newest first
    QTimer reminders;
};
