// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarms.h"

#include "core/lenient.h"
#include "core/settings.h"
#include "core/statuses.h"

namespace {

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
    updateStatus(std::make_shared<const AlarmReading>(AlarmReading::of(status)), serverId, label);
}

void AlarmBook::updateStatus(const AlarmReadingPtr& reading, const QString& serverId, const QString& label)
{
    const bool alarmOnSoft = settings::alarmOnSoft();
    ServerState state {label, reading, {}};
    state.alarms.reserve(reading->problems.size());
    for (const AlarmReading::Problem& problem : reading->problems) {
        if (alarmOnSoft || !problem.soft)
            state.alarms.append(&problem);
    }
    // The alarms of the last payload against this one's, both in key order; only the problems that differ make
    // an open alarm anew. Readings that follow each other say which problems stayed the same.
    const auto known = states.constFind(serverId);
    const bool first = known == states.cend();
    const QList<const AlarmReading::Problem*> before = first ? decltype(before)() : known->alarms;
    const bool relabelled = !first && known->label != label;
    const bool again = !first && known->reading == reading;
    const bool marked = !first && reading->follows(*known->reading);
    const QString prefix = serverId + QLatin1Char('|');
    AlarmChanges changes;
    auto was = before.cbegin();
    auto is = state.alarms.cbegin();
    while (was != before.cend() || is != state.alarms.cend()) {
        if (is == state.alarms.cend() || (was != before.cend() && (*was)->key < (*is)->key)) {
            const QString key = prefix + (*was++)->key;
            open.remove(key);
            changes.went.append(key);
            continue;
        }
        const bool same = was != before.cend() && (*was)->key == (*is)->key;
        if (same && !relabelled && (again || (marked && (*is)->same) || (*was)->problem == (*is)->problem)) {
            ++was, ++is;
            continue;
        }
        const QString key = prefix + (*is)->key;
        OpenAlarm made = alarmOf(key, serverId, label, (*is)->problem);
        made.since = same ? open.value(key).since : QDateTime::currentDateTimeUtc();
        open.insert(key, made);
        (same ? changes.changed : changes.came).append(key);
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
        sum.critical += state.reading->summary.value(QLatin1String("critical")).toInt(0);
        sum.warning += state.reading->summary.value(QLatin1String("warning")).toInt(0);
        sum.ok += state.reading->summary.value(QLatin1String("ok")).toInt(0);
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
