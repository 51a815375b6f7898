// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/announcer.h"

#include "core/alarms.h"
#include "core/settings.h"
#include "core/statuses.h"
#include "gui/notifications.h"
#include "gui/servertabs.h"
#include "gui/serverview.h"

#include <algorithm>

namespace {

const QString LiveSlot = QStringLiteral("nya larm");
const QString ReminderSlot = QStringLiteral("påminnelse");

// The sound of an announcement of these alarms, by the setting: the sound theme's error for a critical one, its
// warning for others.
QString soundOf(const QList<OpenAlarm>& alarms)
{
    const bool critical = std::any_of(alarms.cbegin(), alarms.cend(),
        [](const OpenAlarm& alarm) { return alarm.status == QLatin1String("critical"); });
    switch (settings::alarmSound()) {
    case settings::Sound::All:
        return critical ? QStringLiteral("dialog-error") : QStringLiteral("dialog-warning");
    case settings::Sound::Critical:
        return critical ? QStringLiteral("dialog-error") : QString();
    case settings::Sound::Off:
        break;
    }
    return QString();
}

} // namespace

Announcer::Announcer(const AlarmBook* book, DesktopNotifier* notifier, const ServerTabs* tabs, QObject* parent)
    : QObject(parent)
    , now([] { return QDateTime::currentDateTimeUtc(); })
    , book(book)
    , notifier(notifier)
    , tabs(tabs)
{
    connect(book, &AlarmBook::newAlarms, this, &Announcer::announce);
    connect(book, &AlarmBook::alarmsChanged, this, &Announcer::onAlarmsChanged);
    connect(&reminders, &QTimer::timeout, this, &Announcer::remind);
    applySettings();
}

void Announcer::applySettings()
{
    const int minutes = settings::reminderMinutes();
    if (minutes == 0)
        return reminders.stop();
    if (reminders.interval() != minutes * 60000 || !reminders.isActive())
        reminders.start(minutes * 60000);
}

void Announcer::announce(const QList<OpenAlarm>& fresh)
{
    QList<OpenAlarm> alarms;
    for (const OpenAlarm& alarm : fresh) {
        if (!alarm.serverDown()) {
            alarms.append(alarm);
            continue;
        }
        Notice notice = newAlarmsNotice({alarm}, book->serverCount() >= 2);
        notice.sound = soundOf({alarm});
        notifier->show(notice);
    }
    if (alarms.isEmpty())
        return;
    if (!notifier->showing(LiveSlot))
        live.clear();
    QStringList keys;
    for (const OpenAlarm& alarm : std::as_const(alarms))
        keys.append(alarm.key);
    live = keys + live;
    showLive(soundOf(alarms));
}

void Announcer::onAlarmsChanged(const AlarmChanges& changes)
{
    if (live.isEmpty() || !notifier->showing(LiveSlot))
        return;
    const qsizetype before = live.size();
    for (const QString& key : changes.went)
        live.removeAll(key);
    if (live.size() != before)
        showLive(QString());
}

void Announcer::showLive(const QString& sound)
{
    QList<OpenAlarm> alarms;
    for (const QString& key : std::as_const(live)) {
        if (const std::optional<OpenAlarm> alarm = book->alarm(key))
            alarms.append(*alarm);
    }
    if (alarms.isEmpty()) {
        live.clear();
        return notifier->withdraw(LiveSlot);
    }
    Notice notice = actionable(newAlarmsNotice(alarms, book->serverCount() >= 2), alarms);
    notice.sound = sound;
    notifier->show(notice, LiveSlot);
}

void Announcer::remind()
{
    const int minutes = settings::reminderMinutes();
    if (minutes == 0)
        return;
    const QDateTime waitedSince = now().addSecs(-60 * minutes);
    QList<OpenAlarm> waiting;
    for (const OpenAlarm& alarm : book->openAlarms()) {
        if (alarm.since <= waitedSince)
            waiting.append(alarm);
    }
    if (waiting.isEmpty())
        return;
    // The worst first; among equals, in the order of their keys.
    std::stable_sort(waiting.begin(), waiting.end(), [](const OpenAlarm& a, const OpenAlarm& b) {
        return statuses::alarmPriority(a.status) > statuses::alarmPriority(b.status);
    });
    Notice notice = actionable(
        alarmsNotice(QStringLiteral("Norv: %1 larm väntar fortfarande"), waiting, book->serverCount() >= 2), waiting);
    notice.sound = soundOf(waiting);
    notifier->show(notice, ReminderSlot);
}

// A notice that stays until it is closed, and offers "Kvittera…" while it is about exactly one alarm of a check or
// port on a server where the user may act.
Notice Announcer::actionable(Notice notice, const QList<OpenAlarm>& alarms) const
{
    notice.lasting = true;
    if (alarms.size() == 1 && alarms.first().target.chartable()) {
        const ServerView* v = tabs->view(alarms.first().serverId);
        notice.acknowledgeable = v && v->mayAct();
    }
    return notice;
}
