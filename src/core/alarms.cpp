// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarms.h"

#include "core/lenient.h"
#include "core/settings.h"
#include "core/statuses.h"

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
        item, treemodel::Target::ofProblem(problem, item), {}};
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
        state.alarms.append({key, problem});
    }
    // A key the payload holds twice is the last problem's.
    std::stable_sort(
        state.alarms.begin(), state.alarms.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto last = std::unique(
        state.alarms.rbegin(), state.alarms.rend(), [](const auto& a, const auto& b) { return a.first == b.first; });
    state.alarms.erase(state.alarms.begin(), last.base());
    // The alarms of the last payload against this one's, both in key order; only the problems that differ make
    // an open alarm anew.
    const auto known = states.constFind(serverId);
    const bool first = known == states.cend();
    const QList<std::pair<QString, QJsonObject>> before = first ? decltype(before)() : known->alarms;
    const bool relabelled = !first && known->label != label;
    AlarmChanges changes;
    auto was = before.cbegin();
    auto is = state.alarms.cbegin();
    while (was != before.cend() || is != state.alarms.cend()) {
        if (is == state.alarms.cend() || (was != before.cend() && was->first < is->first)) {
            open.remove(was->first);
            changes.went.append((was++)->first);
            continue;
        }
        const bool same = was != before.cend() && was->first == is->first;
        if (same && !relabelled && was->second == is->second) {
            ++was, ++is;
            continue;
        }
        OpenAlarm made = alarmOf(is->first, serverId, label, is->second);
        made.since = same ? open.value(is->first).since : QDateTime::currentDateTimeUtc();
        open.insert(is->first, made);
        (same ? changes.changed : changes.came).append(is->first);
        if (same)
            ++was;
        ++is;
    }
    if (unreachable.remove(serverId) > 0) {
        open.remove(unreachableKey(serverId));
        changes.went.append(unreachableKey(serverId));
    }
    // The first payload of a server that was just connected brings alarms the operator already knows of.
    QSet<QString> suppressed;
    if (first)
        suppressed = QSet<QString>(changes.came.cbegin(), changes.came.cend());
    states.insert(serverId, state);
    publish(changes, true, suppressed);
}

void AlarmBook::removeServer(const QString& serverId)
{
    const bool wasUnreachable = unreachable.remove(serverId) > 0;
    if (states.remove(serverId) == 0 && !wasUnreachable)
        return;
    AlarmChanges changes;
    const QString prefix = serverId + QLatin1Char('|');
    for (auto it = open.lowerBound(prefix); it != open.end() && it.key().startsWith(prefix);) {
        changes.went.append(it.key());
        it = open.erase(it);
    }
    publish(changes, false, {});
}

void AlarmBook::setUnreachable(const QString& serverId, const QString& label)
{
    if (unreachable.contains(serverId) && unreachable.value(serverId) == label)
        return;
    AlarmChanges changes;
    const QString key = unreachableKey(serverId);
    const bool again = unreachable.contains(serverId);
    (again ? changes.changed : changes.came).append(key);
    unreachable.insert(serverId, label);
    open.insert(key,
        {key, serverId, label, {}, QStringLiteral("unknown"), {}, {}, {},
            again ? open.value(key).since : QDateTime::currentDateTimeUtc()});
    publish(changes, true, {});
}

QList<OpenAlarm> AlarmBook::openAlarmsOf(const QString& serverId) const
{
    QList<OpenAlarm> list;
    const QString prefix = serverId + QLatin1Char('|');
    for (auto it = open.lowerBound(prefix); it != open.cend() && it.key().startsWith(prefix); ++it)
        list.append(*it);
    return list;
}

std::optional<OpenAlarm> AlarmBook::alarm(const QString& key) const
{
    const auto found = open.constFind(key);
    return found == open.cend() ? std::nullopt : std::optional<OpenAlarm>(*found);
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

void AlarmBook::publish(const AlarmChanges& changes, bool notify, const QSet<QString>& suppress)
{
    QList<QString> words;
    words.reserve(open.size());
    for (const OpenAlarm& alarm : std::as_const(open))
        words.append(alarm.status);
    worst = statuses::worst(words, statuses::alarmPriority, QStringLiteral("ok"));
    if (!changes.isEmpty())
        Q_EMIT alarmsChanged(changes);
    Q_EMIT changed();

    // What the operator has heard of is what was open after the last announcing update: an alarm that ended is
    // forgotten, so that it is new again when it comes back.
    if (knownAlarms) {
        for (const QString& key : changes.went)
            knownAlarms->remove(key);
    }
    if (!notify)
        return;
    if (!knownAlarms) {
        const QList<QString> keys = open.keys();
        knownAlarms = QSet<QString>(keys.cbegin(), keys.cend());
        return;
    }
    QStringList came = changes.came;
    came.sort();
    QList<OpenAlarm> fresh;
    for (const QString& key : std::as_const(came)) {
        if (!suppress.contains(key))
            fresh.append(open.value(key));
        knownAlarms->insert(key);
    }
    if (!fresh.isEmpty())
        Q_EMIT newAlarms(fresh);
}
