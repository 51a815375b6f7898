// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarms.h"

#include "core/lenient.h"
#include "core/settings.h"
#include "core/statuses.h"

#include <QJsonArray>

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

// The alarm of a server that does not answer: a key of its own, beside the keys of its problems.
QString unreachableKey(const QString& serverId)
{
    return serverId + QStringLiteral("|svarar-inte");
}

// The problem's names and status word are taken only when they are strings.
QString text(const QJsonObject& object, const char* key, const QString& byDefault = QString())
{
    return lenient::string(object.value(QLatin1String(key)), byDefault);
}

OpenAlarm alarmOf(const QString& key, const QString& serverId, const QString& label, const QJsonObject& problem)
{
    QString item = text(problem, "plugin_name");
    if (item.isEmpty())
        item = text(problem, "port_name");
    if (item.isEmpty())
        item = QStringLiteral("?");
    return {key, serverId, label, problem, text(problem, "status"), text(problem, "host_name", QStringLiteral("?")),
        item, treemodel::Target::ofProblem(problem, item)};
}

} // namespace

AlarmBook::AlarmBook(QObject* parent)
    : QObject(parent)
{ }

void AlarmBook::updateStatus(const QJsonObject& status, const QString& serverId, const QString& label)
{
    const bool alarmOnSoft = settings::alarmOnSoft();
    ServerState state {label, status.value(QLatin1String("summary")).toObject(), {}};
    const QJsonArray problems = status.value(QLatin1String("problems")).toArray();
    for (const QJsonValue& value : problems) {
        const QJsonObject problem = value.toObject();
        if (!statuses::isAlarm(text(problem, "status")))
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

void AlarmBook::removeServer(const QString& serverId)
{
    const bool wasUnreachable = unreachable.remove(serverId) > 0;
    if (states.remove(serverId) > 0 || wasUnreachable)
        refresh(false, {});
}

void AlarmBook::setUnreachable(const QString& serverId, const QString& label)
{
    if (unreachable.contains(serverId) && unreachable.value(serverId) == label)
        return;
    unreachable.insert(serverId, label);
    refresh(true, {});
}

std::optional<OpenAlarm> AlarmBook::alarm(const QString& key) const
{
    for (const OpenAlarm& open : alarms) {
        if (open.key == key)
            return open;
    }
    return std::nullopt;
}

AlarmBook::Counts AlarmBook::counts() const
{
    Counts sum;
    for (const ServerState& state : states) {
        sum.critical += state.summary.value(QLatin1String("critical")).toInt(0);
        sum.warning += state.summary.value(QLatin1String("warning")).toInt(0);
        sum.ok += state.summary.value(QLatin1String("ok")).toInt(0);
    }
    return sum;
}

void AlarmBook::refresh(bool notify, const QSet<QString>& suppress)
{
    QMap<QString, OpenAlarm> byKey;
    for (auto server = states.cbegin(); server != states.cend(); ++server) {
        for (auto it = server->alarms.cbegin(); it != server->alarms.cend(); ++it)
            byKey.insert(it.key(), alarmOf(it.key(), server.key(), server->label, it.value()));
    }
    // A server that does not answer is an alarm of its own: nobody watches what it watches.
    for (auto it = unreachable.cbegin(); it != unreachable.cend(); ++it) {
        const QString key = unreachableKey(it.key());
        byKey.insert(key, {key, it.key(), it.value(), {}, QStringLiteral("unknown"), {}, {}, {}});
    }
    alarms = byKey.values();
    QList<QString> words;
    QSet<QString> current;
    for (const OpenAlarm& alarm : std::as_const(alarms)) {
        words.append(alarm.status);
        current.insert(alarm.key);
    }
    worst = statuses::worst(words, statuses::alarmPriority, QStringLiteral("ok"));
    Q_EMIT changed();

    if (!notify) {
        if (knownAlarms)
            knownAlarms->intersect(current);
        return;
    }
    QList<OpenAlarm> fresh;
    if (knownAlarms) {
        for (const OpenAlarm& alarm : std::as_const(alarms)) {
            if (!knownAlarms->contains(alarm.key) && !suppress.contains(alarm.key))
                fresh.append(alarm);
        }
    }
    knownAlarms = current;
    if (!fresh.isEmpty())
        Q_EMIT newAlarms(fresh);
}
