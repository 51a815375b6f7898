// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/notifications.h"

#include "core/alarms.h"
#include "gui/tray.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QVariantMap>

#include <algorithm>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
constexpr int CallTimeoutMs = 5000;
constexpr int DurationMs = 10000;
// Notices whose closing the service has not reported after this many newer ones are forgotten all the same.
constexpr int MaxRemembered = 100;

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}

} // namespace

const QString DesktopNotifier::ShowAction = QStringLiteral("default");
const QString DesktopNotifier::AcknowledgeAction = QStringLiteral("acknowledge");

Notice newAlarmsNotice(const QList<OpenAlarm>& fresh, bool withLabels)
{
    Notice notice;
    const qsizetype count = fresh.size();
    QStringList lines;
    for (qsizetype i = 0; i < std::min<qsizetype>(count, 5); ++i) {
        const OpenAlarm& alarm = fresh.at(i);
        if (alarm.serverDown()) {
            lines.append(QStringLiteral("%1: servern svarar inte").arg(alarm.label));
            continue;
        }
        const QString prefix
            = withLabels && !alarm.label.isEmpty() ? QStringLiteral("[%1] ").arg(alarm.label) : QString();
        lines.append(prefix + QStringLiteral("%1 / %2: %3").arg(alarm.host, alarm.item, alarm.status.toUpper()));
    }
    if (count > 5)
        lines.append(QStringLiteral("… och %1 till").arg(count - 5));
    notice.title = QStringLiteral("Norv: %1 nya larm").arg(count);
    notice.body = lines.join(QLatin1Char('\n'));
    notice.icon = QSystemTrayIcon::Warning;
    for (const OpenAlarm& alarm : fresh) {
        notice.alarmKeys.append(alarm.key);
        notice.critical = notice.critical || alarm.status == QLatin1String("critical");
    }
    notice.serverId = fresh.isEmpty() ? QString() : fresh.first().serverId;
    return notice;
}

Notice loginLostNotice(const QString& serverId, const QString& label)
{
    Notice notice;
    notice.title = QStringLiteral("Norv");
    notice.body = QStringLiteral("Inloggningen på %1 har gått ut – logga in igen.").arg(label);
    notice.serverId = serverId;
    return notice;
}

DesktopNotifier::DesktopNotifier(NorvTray* tray, QObject* parent)
    : QObject(parent)
    , tray(tray)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void DesktopNotifier::show(const Notice& notice)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fallBack(notice);
    // What the service can do decides which actions to offer; asking also tells whether there is a service at all.
    auto* asked
        = new QDBusPendingCallWatcher(bus.asyncCall(call(QStringLiteral("GetCapabilities")), CallTimeoutMs), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [this, notice](QDBusPendingCallWatcher* watcher) {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *watcher;
        if (capabilities.isError())
            return fallBack(notice);
        send(notice, capabilities.value());
    });
}

void DesktopNotifier::send(const Notice& notice, const QStringList& capabilities)
{
    QStringList actions;
    if (capabilities.contains(QLatin1String("actions"))) {
        actions << ShowAction << QStringLiteral("Visa");
        if (notice.acknowledgeable)
            actions << AcknowledgeAction << QStringLiteral("Kvittera…");
    }
    // A service that reads markup would take a host called "<b>" as an instruction.
    const bool markup = capabilities.contains(QLatin1String("body-markup"));
    const QString desktopEntry = QGuiApplication::desktopFileName();
    QVariantMap hints {{QStringLiteral("urgency"), QVariant::fromValue(uchar(notice.critical ? 2 : 1))},
        {QStringLiteral("desktop-entry"), desktopEntry}};
    if (notice.sound)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("dialog-warning"));
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Norv") << uint(0) << desktopEntry << notice.title
            << (markup ? notice.body.toHtmlEscaped() : notice.body) << actions << hints << DurationMs;
    auto* sent = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, CallTimeoutMs), this);
    connect(sent, &QDBusPendingCallWatcher::finished, this, [this, notice](QDBusPendingCallWatcher* watcher) {
        watcher->deleteLater();
        const QDBusPendingReply<uint> id = *watcher;
        if (id.isError())
            return fallBack(notice);
        shown.insert(id.value(), notice);
        shownOrder.append(id.value());
        if (shownOrder.size() > MaxRemembered)
            shown.remove(shownOrder.takeFirst());
    });
}

void DesktopNotifier::fallBack(const Notice& notice)
{
    tray->showBalloon(notice.title, notice.body, notice.icon);
    if (notice.sound)
        QApplication::beep();
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    const auto found = shown.constFind(id);
    if (found == shown.cend()) // another program's notification
        return;
    const Notice notice = *found;
    Q_EMIT actionInvoked(notice, action);
}

void DesktopNotifier::onClosed(uint id, uint reason)
{
    Q_UNUSED(reason)
    if (shown.remove(id) > 0)
        shownOrder.removeOne(id);
}
