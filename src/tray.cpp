#include "tray.h"

#include "icons.h"
#include "mainwindow.h"
#include "settings.h"

#include <QHash>
#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {

// One part of an alarm key: "-" for a missing id, a number as its integer value, anything else as its text.
QString keyPart(const QJsonValue& value)
{
    if (value.isUndefined() || value.isNull())
        return QStringLiteral("-");
    if (value.isDouble()) {
        const double d = value.toDouble();
        return std::trunc(d) == d ? QString::number(d, 'f', 0) : QStringLiteral("0");
    }
    if (value.isString())
        return value.toString();
    return value.toVariant().toString();
}

bool isAlarmWord(const QString& status)
{
    return status == QLatin1String("warning") || status == QLatin1String("unknown")
        || status == QLatin1String("critical");
}

// The alarm of a server that does not answer: a key of its own, beside the keys of its problems.
QString unreachableKey(const QString& serverId)
{
    return serverId + QStringLiteral("|svarar-inte");
}

QString text(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

} // namespace

NorvTray::NorvTray(MainWindow* window, QObject* parent)
    : QSystemTrayIcon(parent)
    , window(window)
{
    setIcon(icons::norvIcon(QStringLiteral("pending"), 64));
    connect(menu.addAction(QStringLiteral("Visa Norv")), &QAction::triggered, this, &NorvTray::showWindow);
    menu.addSeparator();
    connect(menu.addAction(QStringLiteral("Avsluta")), &QAction::triggered, window, &MainWindow::quitApp);
    setContextMenu(&menu);
    connect(this, &QSystemTrayIcon::activated, this, &NorvTray::onActivated);
    setToolTip(QStringLiteral("Norv"));
    blinkTimer.setInterval(600);
    connect(&blinkTimer, &QTimer::timeout, this, &NorvTray::blinkTick);
}

void NorvTray::updateStatus(const QJsonObject& status, const QString& serverId, const QString& label)
{
    const bool alarmOnSoft = settings::alarmOnSoft();
    ServerState state {label, status.value(QLatin1String("summary")).toObject(), {}};
    const QJsonArray problems = status.value(QLatin1String("problems")).toArray();
    for (const QJsonValue& value : problems) {
        const QJsonObject problem = value.toObject();
        if (!isAlarmWord(text(problem, "status")))
            continue;
        if (problem.value(QLatin1String("acknowledged")).toBool() || problem.value(QLatin1String("dnd")).toBool())
            continue;
        if (problem.contains(QLatin1String("hard")) && !problem.value(QLatin1String("hard")).toBool() && !alarmOnSoft)
            continue;
        const QString key = QStringLiteral("%1|%2:%3:%4:%5")
                                .arg(serverId, keyPart(problem.value(QLatin1String("host_id"))),
                                    keyPart(problem.value(QLatin1String("plugin_id"))),
                                    keyPart(problem.value(QLatin1String("port_id"))),
                                    QString::number(problem.value(QLatin1String("instance_id")).toInt(0)));
        state.alarms.insert(key, problem);
    }
    unreachable.remove(serverId);
    // The first payload of a server that was just connected brings alarms the operator already knows of.
    QSet<QString> suppressed;
    if (!states.contains(serverId)) {
        for (auto it = state.alarms.cbegin(); it != state.alarms.cend(); ++it)
            suppressed.insert(it.key());
    }
    states.insert(serverId, state);
    refresh(true, suppressed);
}

void NorvTray::removeServer(const QString& serverId)
{
    const bool wasUnreachable = unreachable.remove(serverId) > 0;
    if (states.remove(serverId) > 0 || wasUnreachable)
        refresh(false, {});
}

void NorvTray::setUnreachable(const QString& serverId, const QString& label)
{
    if (unreachable.value(serverId) == label && unreachable.contains(serverId))
        return;
    unreachable.insert(serverId, label);
    refresh(true, {});
}

bool NorvTray::available()
{
    return availabilityForTests().value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

std::optional<bool>& NorvTray::availabilityForTests()
{
    static std::optional<bool> forced;
    return forced;
}

int NorvTray::alarmPriority(const QString& status)
{
    static const QHash<QString, int> priorities {
        {QStringLiteral("critical"), 3}, {QStringLiteral("unknown"), 2}, {QStringLiteral("warning"), 1}};
    return priorities.value(status, 0);
}

QPair<QString, bool> NorvTray::alarmState(const QMap<QString, QString>& statuses)
{
    if (statuses.isEmpty())
        return {QStringLiteral("ok"), false};
    QString worst = statuses.first();
    for (const QString& state : statuses) {
        if (alarmPriority(state) > alarmPriority(worst))
            worst = state;
    }
    return {worst, true};
}

QList<NorvTray::OpenAlarm> NorvTray::openAlarms() const
{
    QMap<QString, OpenAlarm> byKey;
    for (auto server = states.cbegin(); server != states.cend(); ++server) {
        for (auto it = server->alarms.cbegin(); it != server->alarms.cend(); ++it) {
            const QJsonObject& problem = it.value();
            QString item = text(problem, "plugin_name");
            if (item.isEmpty())
                item = text(problem, "port_name");
            if (item.isEmpty())
                item = QStringLiteral("?");
            const QJsonValue host = problem.value(QLatin1String("host_name"));
            byKey.insert(it.key(),
                {it.key(), server.key(), server->label, problem, text(problem, "status"),
                    host.isString() ? host.toString() : QStringLiteral("?"), item});
        }
    }
    // A server that does not answer is an alarm of its own: nobody watches what it watches.
    for (auto it = unreachable.cbegin(); it != unreachable.cend(); ++it) {
        const QString key = unreachableKey(it.key());
        byKey.insert(key, {key, it.key(), it.value(), {}, QStringLiteral("unknown"), {}, {}});
    }
    return byKey.values();
}

void NorvTray::refresh(bool notify, const QSet<QString>& suppress)
{
    const QList<OpenAlarm> alarms = openAlarms();
    QMap<QString, QString> statuses;
    for (const OpenAlarm& alarm : alarms)
        statuses.insert(alarm.key, alarm.status);
    int critical = 0;
    int warning = 0;
    int ok = 0;
    for (const ServerState& state : std::as_const(states)) {
        critical += state.summary.value(QLatin1String("critical")).toInt(0);
        warning += state.summary.value(QLatin1String("warning")).toInt(0);
        ok += state.summary.value(QLatin1String("ok")).toInt(0);
    }
    const auto [state, anyAlarm] = alarmState(statuses);
    currentState = state;

    if (!anyAlarm) {
        blinkTimer.stop();
        blinkPhase = true;
    } else if (!blinkTimer.isActive()) {
        blinkPhase = true;
        blinkTimer.start();
    }
    setIcon(icons::norvIcon(currentState, 64));
    QString tip = QStringLiteral("Norv – %1: %2 kritiska, %3 varningar, %4 ok")
                      .arg(currentState.toUpper())
                      .arg(critical)
                      .arg(warning)
                      .arg(ok);
    if (states.size() > 1)
        tip += QStringLiteral(" (%1 servrar)").arg(states.size());
    if (!unreachable.isEmpty())
        tip += QStringLiteral("\nSvarar inte: %1").arg(unreachable.values().join(QStringLiteral(", ")));
    setToolTip(tip);

    const QList<QString> keys = statuses.keys();
    const QSet<QString> current(keys.cbegin(), keys.cend());
    if (!notify) {
        if (knownAlarms)
            knownAlarms->intersect(current);
        return;
    }
    if (knownAlarms) {
        QList<OpenAlarm> fresh;
        for (const OpenAlarm& alarm : alarms) { // in ascending order of their keys
            if (!knownAlarms->contains(alarm.key) && !suppress.contains(alarm.key))
                fresh.append(alarm);
        }
        if (!fresh.isEmpty())
            announce(fresh);
    }
    knownAlarms = current;
}

void NorvTray::announce(const QList<OpenAlarm>& fresh)
{
    const qsizetype count = fresh.size();
    QStringList lines;
    for (qsizetype i = 0; i < std::min<qsizetype>(count, 5); ++i) {
        const OpenAlarm& alarm = fresh.at(i);
        if (alarm.problem.isEmpty()) {
            lines.append(QStringLiteral("%1: servern svarar inte").arg(alarm.label));
            continue;
        }
        const QString prefix
            = states.size() >= 2 && !alarm.label.isEmpty() ? QStringLiteral("[%1] ").arg(alarm.label) : QString();
        lines.append(prefix + QStringLiteral("%1 / %2: %3").arg(alarm.host, alarm.item, alarm.status.toUpper()));
    }
    if (count > 5)
        lines.append(QStringLiteral("… och %1 till").arg(count - 5));
    showBalloon(
        QStringLiteral("Norv: %1 nya larm").arg(count), lines.join(QLatin1Char('\n')), QSystemTrayIcon::Warning);
}

void NorvTray::showBalloon(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon)
{
    Q_EMIT notified(title, body);
    showMessage(title, body, icon, 10000);
}

void NorvTray::blinkTick()
{
    blinkPhase = !blinkPhase;
    setIcon(icons::norvIcon(blinkPhase ? currentState : QStringLiteral("none"), 64));
}

void NorvTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        toggleWindow();
}

void NorvTray::toggleWindow()
{
    if (window->isVisible() && !window->isMinimized())
        window->hide();
    else
        showWindow();
}

void NorvTray::showWindow()
{
    window->showNormal();
    window->raise();
    window->activateWindow();
}
