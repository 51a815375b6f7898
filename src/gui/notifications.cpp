// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/notifications.h"

#include "core/alarms.h"
#include "core/icons.h"
#include "gui/tray.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
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

// The client's icon for the service: its name where the icon is installed, otherwise the badge painted into a file
// of the user's cache (the client runs from its build). The file is replaced whole: a second client starting, or
// the service reading it, never sees it half written.
QString appIcon()
{
    const QString name = QGuiApplication::desktopFileName();
    if (QIcon::hasThemeIcon(name))
        return name;
    static const QString file = [] {
        const QString path
            = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/norv-gui.png");
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile out(path);
        const bool saved = out.open(QIODevice::WriteOnly)
            && icons::norvIcon(QStringLiteral("ok"), 128).pixmap(128, 128).save(&out, "PNG") && out.commit();
        return saved ? path : QString();
    }();
    return file.isEmpty() ? name : QUrl::fromLocalFile(file).toString();
}

} // namespace

const QString DesktopNotifier::ShowAction = QStringLiteral("default");
const QString DesktopNotifier::AcknowledgeAction = QStringLiteral("acknowledge");

Notice alarmsNotice(const QString& titleOfCount, const QList<OpenAlarm>& alarms, bool withLabels)
{
    Notice notice;
    const qsizetype count = alarms.size();
    QStringList lines;
    for (qsizetype i = 0; i < std::min<qsizetype>(count, 5); ++i) {
        const OpenAlarm& alarm = alarms.at(i);
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
    notice.title = titleOfCount.arg(count);
    notice.body = lines.join(QLatin1Char('\n'));
    notice.icon = QSystemTrayIcon::Warning;
    for (const OpenAlarm& alarm : alarms) {
        notice.alarmKeys.append(alarm.key);
        notice.critical = notice.critical || alarm.status == QLatin1String("critical");
    }
    notice.serverId = alarms.isEmpty() ? QString() : alarms.first().serverId;
    return notice;
}

Notice newAlarmsNotice(const QList<OpenAlarm>& fresh, bool withLabels)
{
    return alarmsNotice(QStringLiteral("Norv: %1 nya larm"), fresh, withLabels);
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
    , clockMs([] { return QDateTime::currentMSecsSinceEpoch(); })
    , tray(tray)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
    bus.connect(
        Service, Path, Interface, QStringLiteral("ActivationToken"), this, SLOT(onActivationToken(uint, QString)));
    // Which service it is decides how a click on a notification reaches the window.
    auto* asked = new QDBusPendingCallWatcher(bus.asyncCall(call(QStringLiteral("GetServerInformation"))), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* watcher) {
        watcher->deleteLater();
        const QDBusPendingReply<QString> name = *watcher;
        if (!name.isError())
            serverName = name.value();
    });
}

void DesktopNotifier::show(const Notice& notice, const QString& slot)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fallBack(notice);
    // What the service can do decides which actions to offer; asking also tells whether there is a service at all.
    auto* asked
        = new QDBusPendingCallWatcher(bus.asyncCall(call(QStringLiteral("GetCapabilities")), CallTimeoutMs), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [this, notice, slot](QDBusPendingCallWatcher* watcher) {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *watcher;
        if (capabilities.isError())
            return fallBack(notice);
        send(notice, slot, capabilities.value());
    });
}

void DesktopNotifier::send(const Notice& notice, const QString& slot, const QStringList& capabilities)
{
    QStringList actions;
    if (capabilities.contains(QLatin1String("actions"))) {
        // GNOME Shell raises the window itself on a click, but only for a notification without a default action.
        if (serverName != QLatin1String("gnome-shell"))
            actions << ShowAction << QStringLiteral("Visa");
        if (notice.acknowledgeable)
            actions << AcknowledgeAction << QStringLiteral("Kvittera…");
    }
    // A service that reads markup would take a host called "<b>" as an instruction.
    const bool markup = capabilities.contains(QLatin1String("body-markup"));
    QVariantMap hints {{QStringLiteral("urgency"), QVariant::fromValue(uchar(notice.critical ? 2 : 1))},
        {QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName()}};
    if (!notice.sound.isEmpty())
        hints.insert(QStringLiteral("sound-name"), notice.sound);
    const uint replaces = slot.isEmpty() ? 0 : slots.value(slot, 0);
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Norv") << replaces << appIcon() << notice.title
            << (markup ? notice.body.toHtmlEscaped() : notice.body) << actions << hints
            << (notice.lasting ? 0 : DurationMs);
    auto* sent = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, CallTimeoutMs), this);
    connect(sent, &QDBusPendingCallWatcher::finished, this, [this, notice, slot](QDBusPendingCallWatcher* watcher) {
        watcher->deleteLater();
        const QDBusPendingReply<uint> id = *watcher;
        if (id.isError())
            return fallBack(notice);
        if (!slot.isEmpty()) {
            // A new notice of the slot with an id of its own was sent before the old one's id was known (two
            // servers' alarms came at once), or the service did not replace the old one: the old one would stay
            // on screen, never updated or closed again.
            if (const uint before = slots.value(slot, 0); before != 0 && before != id.value())
                close(before);
            slots.insert(slot, id.value());
        }
        if (!shown.contains(id.value()))
            shownOrder.append(id.value());
        shown.insert(id.value(), notice);
        if (shownOrder.size() > MaxRemembered)
            forget(shownOrder.first());
    });
}

void DesktopNotifier::withdraw(const QString& slot)
{
    if (const uint id = slots.value(slot, 0); id != 0)
        close(id);
}

void DesktopNotifier::close(uint id)
{
    forget(id);
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    QDBusConnection::sessionBus().asyncCall(message, CallTimeoutMs);
}

void DesktopNotifier::withdrawAll()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (const uint id : std::as_const(shownOrder)) {
        QDBusMessage close = call(QStringLiteral("CloseNotification"));
        close << id;
        bus.call(close, QDBus::Block, 500);
    }
    shown.clear();
    shownOrder.clear();
    slots.clear();
}

std::optional<Notice> DesktopNotifier::clickedBeforeActivation()
{
    if (dismissed && clockMs() - dismissedAt > DismissedClickMs)
        dismissed.reset();
    return std::exchange(dismissed, std::nullopt);
}

void DesktopNotifier::fallBack(const Notice& notice)
{
    tray->showBalloon(notice.title, notice.body, notice.icon);
    if (!notice.sound.isEmpty())
        QApplication::beep();
}

void DesktopNotifier::forget(uint id)
{
    shown.remove(id);
    shownOrder.removeOne(id);
    tokens.remove(id);
    slots.removeIf([id](const std::pair<const QString&, uint&>& slot) { return slot.second == id; });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    const auto found = shown.constFind(id);
    if (found == shown.cend()) // another program's notification
        return;
    const Notice notice = *found;
    const QString token = tokens.value(id);
    forget(id); // acted on: the next alarms make a notification of their own
    Q_EMIT actionInvoked(notice, action, token);
}

void DesktopNotifier::onClosed(uint id, uint reason)
{
    const auto found = shown.constFind(id);
    if (found == shown.cend())
        return;
    // Closed by the operator (reason 2): where a click closes the notification and the service raises the window
    // itself, the window's activation that follows is that click.
    if (reason == 2 && serverName == QLatin1String("gnome-shell")) {
        dismissed = *found;
        dismissedAt = clockMs();
    }
    forget(id);
}

void DesktopNotifier::onActivationToken(uint id, const QString& token)
{
    if (shown.contains(id))
        tokens.insert(id, token);
}
