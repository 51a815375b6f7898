// SPDX-License-Identifier: GPL-3.0-or-later
#include "network.h"

#include <QHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace standin {

namespace {

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr qsizetype MaxAlarms = 5000;

// Deterministic noise in [0, 1) for one sample, so a chart looks the same when it is fetched again.
double noise(const QString& seed, qint64 t)
{
    QRandomGenerator generator(quint32(qHash(seed) ^ quint64(t)));
    return generator.generateDouble();
}

QJsonValue nullWhenZero(int id)
{
    return id == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(id);
}

void putItemFields(QJsonObject& o, const Item& item)
{
    o.insert(QStringLiteral("host_id"), item.hostId);
    o.insert(QStringLiteral("name"), item.name);
    o.insert(QStringLiteral("status"), item.status);
    o.insert(QStringLiteral("output_text"), item.output);
    o.insert(QStringLiteral("acknowledged"), item.acknowledged);
    o.insert(QStringLiteral("acknowledged_by_name"), item.acknowledgedBy);
    o.insert(QStringLiteral("dnd"), item.dnd);
    o.insert(QStringLiteral("suppressed_reason"), item.suppressedReason);
    o.insert(QStringLiteral("hard"), item.hard);
    o.insert(QStringLiteral("consecutive_failures"), item.consecutiveFailures);
    o.insert(QStringLiteral("max_attempts"), item.maxAttempts);
}

QString worst(const QString& a, const QString& b)
{
    return worstRank(b) > worstRank(a) ? b : a;
}

} // namespace

bool isProblem(const QString& status)
{
    return status == QLatin1String("warning") || status == QLatin1String("critical")
        || status == QLatin1String("unknown");
}

int worstRank(const QString& status)
{
    static const QHash<QString, int> ranks {{QStringLiteral("critical"), 6}, {QStringLiteral("unknown"), 5},
        {QStringLiteral("warning"), 4}, {QStringLiteral("stale"), 3}, {QStringLiteral("pending"), 2},
        {QStringLiteral("ok"), 1}};
    return ranks.value(status, 0);
}

Network Network::sample()
{
    Network n;
    n.groups = {{1, QStringLiteral("Stockholm"), 0, false}, {2, QStringLiteral("Kärnnät"), 1, false},
        {3, QStringLiteral("Göteborg"), 0, false}};
    n.hosts = {{10, QStringLiteral("web1"), QStringLiteral("10.0.0.5"), 2, false},
        {11, QStringLiteral("db1"), QStringLiteral("10.0.0.6"), 1, false},
        {12, QStringLiteral("sw-core"), QStringLiteral("10.0.1.1"), 3, false},
        {13, QStringLiteral("lab-pi"), QStringLiteral("192.168.8.20"), 0, false}};

    auto check = [&n](int host, int plugin, int instance, const QString& name, const QString& status,
                     const QString& output, const QString& unit, const QStringList& metrics, double baseline) {
        Check c;
        c.hostId = host;
        c.pluginId = plugin;
        c.instanceId = instance;
        c.name = name;
        c.status = status;
        c.output = output;
        c.lastOk = QStringLiteral("2026-12-06 08:00:00");
        c.unit = unit;
        c.metrics = metrics;
        c.baseline = baseline;
        n.checks.append(c);
        return &n.checks.last();
    };
    check(10, 100, 0, QStringLiteral("HTTP"), QStringLiteral("ok"), QStringLiteral("HTTP 200 OK på 0,12 s"),
        QStringLiteral("ms"), {QStringLiteral("svarstid")}, 120);
    check(10, 101, 0, QStringLiteral("Disk /"), QStringLiteral("warning"), QStringLiteral("84 % använt"),
        QStringLiteral("%"), {QStringLiteral("använt")}, 84);
    check(10, 102, 0, QStringLiteral("Load"), QStringLiteral("ok"), QStringLiteral("load 0,42"), QString(),
        {QStringLiteral("load1"), QStringLiteral("load5")}, 0.5);
    check(11, 103, 0, QStringLiteral("PostgreSQL"), QStringLiteral("critical"),
        QStringLiteral("Anslutning nekad på port 5432"), QStringLiteral("ms"), {QStringLiteral("svarstid")}, 4);
    check(11, 104, 1, QStringLiteral("Disk /var"), QStringLiteral("ok"), QStringLiteral("41 % använt"),
        QStringLiteral("%"), {QStringLiteral("använt")}, 41);
    check(11, 104, 2, QStringLiteral("Disk /srv"), QStringLiteral("ok"), QStringLiteral("63 % använt"),
        QStringLiteral("%"), {QStringLiteral("använt")}, 63);
    Check* ping = check(13, 105, 0, QStringLiteral("Ping"), QStringLiteral("warning"),
        QStringLiteral("Paketförlust 40 %"), QStringLiteral("ms"), {QStringLiteral("rtt")}, 25);
    ping->hard = false;
    ping->consecutiveFailures = 1;

    auto port = [&n](int portId, const QString& name, const QString& status, const QString& output) {
        Port p;
        p.hostId = 12;
        p.portId = portId;
        p.name = name;
        p.status = status;
        p.output = output;
        p.lastOk = QStringLiteral("2026-12-06 08:00:00");
        p.unit = QStringLiteral("bps");
        p.metrics = {QStringLiteral("in"), QStringLiteral("out")};
        p.baseline = 2.5e8;
        n.ports.append(p);
    };
    port(500, QStringLiteral("Gi0/1"), QStringLiteral("ok"), QStringLiteral("upp, 1 Gbit/s"));
    port(501, QStringLiteral("Gi0/2"), QStringLiteral("critical"), QStringLiteral("nere"));

    const QDateTime start = QDateTime(QDate(2026, 12, 6), QTime(6, 30), Qt::UTC);
    n.alarms = {{n.nextAlarmId++, QStringLiteral("warning"), QStringLiteral("web1"), QStringLiteral("Load"),
                    start.addSecs(-86400), start.addSecs(-84600), true, true, QString(), QString()},
        {n.nextAlarmId++, QStringLiteral("warning"), QStringLiteral("web1"), QStringLiteral("Disk /"), start,
            QDateTime(), true, true, QString(), QString()},
        {n.nextAlarmId++, QStringLiteral("critical"), QStringLiteral("db1"), QStringLiteral("PostgreSQL"),
            start.addSecs(1200), QDateTime(), true, true, QString(), QString()},
        {n.nextAlarmId++, QStringLiteral("critical"), QStringLiteral("sw-core"), QStringLiteral("Gi0/2"),
            start.addSecs(1800), QDateTime(), true, true, QString(), QString()},
        {n.nextAlarmId++, QStringLiteral("warning"), QStringLiteral("lab-pi"), QStringLiteral("Ping"),
            start.addSecs(3000), QDateTime(), false, false, QString(), QString()}};
    return n;
}

Host* Network::host(int id)
{
    for (Host& h : hosts) {
        if (h.id == id)
            return &h;
    }
    return nullptr;
}

Check* Network::check(int hostId, int pluginId, int instanceId)
{
    for (Check& c : checks) {
        if (c.hostId == hostId && c.pluginId == pluginId && c.instanceId == instanceId)
            return &c;
    }
    return nullptr;
}

QList<Check*> Network::checksOf(int hostId, int pluginId, int instanceId)
{
    QList<Check*> found;
    for (Check& c : checks) {
        if (c.hostId == hostId && c.pluginId == pluginId && (instanceId == 0 || c.instanceId == instanceId))
            found.append(&c);
    }
    return found;
}

Port* Network::port(int portId)
{
    for (Port& p : ports) {
        if (p.portId == portId)
            return &p;
    }
    return nullptr;
}

QString Network::hostName(int hostId) const
{
    for (const Host& h : hosts) {
        if (h.id == hostId)
            return h.name;
    }
    return QString();
}

void Network::setSilenced(const Silence& s, bool on)
{
    if (s.scope == QLatin1String("host")) {
        if (Host* h = host(s.hostId))
            h->dnd = on;
        for (Check& c : checks) {
            if (c.hostId == s.hostId)
                c.dnd = on;
        }
        for (Port& p : ports) {
            if (p.hostId == s.hostId)
                p.dnd = on;
        }
    } else if (s.scope == QLatin1String("plugin")) {
        for (Check* c : checksOf(s.hostId, s.pluginId, s.instanceId))
            c->dnd = on;
    } else if (Port* p = port(s.portId)) {
        p->dnd = on;
    }
}

QJsonObject Network::statusPayload(const QDateTime& now) const
{
    QString overall = QStringLiteral("ok");
    QHash<QString, int> counts;
    QJsonArray problems;
    auto visit = [&](const Item& item, const char* idKey, int id, const char* nameKey, int instanceId) {
        counts[item.status] += 1;
        overall = worst(overall, item.status);
        if (item.status == QLatin1String("ok") || item.status == QLatin1String("pending"))
            return;
        QJsonObject p;
        p.insert(QStringLiteral("host_id"), item.hostId);
        p.insert(QLatin1String(idKey), id);
        p.insert(QStringLiteral("instance_id"), instanceId);
        p.insert(QStringLiteral("status"), item.status);
        p.insert(QStringLiteral("acknowledged"), item.acknowledged);
        p.insert(QStringLiteral("dnd"), item.dnd);
        p.insert(QStringLiteral("hard"), item.hard);
        p.insert(QStringLiteral("host_name"), hostName(item.hostId));
        p.insert(QLatin1String(nameKey), item.name);
        p.insert(QStringLiteral("output_text"), item.output);
        problems.append(p);
    };
    for (const Check& c : checks)
        visit(c, "plugin_id", c.pluginId, "plugin_name", c.instanceId);
    for (const Port& p : ports)
        visit(p, "port_id", p.portId, "port_name", 0);

    const QJsonObject summary {{QStringLiteral("critical"), counts.value(QStringLiteral("critical"))},
        {QStringLiteral("warning"), counts.value(QStringLiteral("warning"))},
        {QStringLiteral("unknown"), counts.value(QStringLiteral("unknown"))},
        {QStringLiteral("stale"), counts.value(QStringLiteral("stale"))},
        {QStringLiteral("ok"), counts.value(QStringLiteral("ok"))},
        {QStringLiteral("pending"), counts.value(QStringLiteral("pending"))},
        {QStringLiteral("total"), int(checks.size() + ports.size())}};
    return {{QStringLiteral("status"), overall}, {QStringLiteral("server_version"), serverVersion},
        {QStringLiteral("server_time"), now.toString(TimeFormat)}, {QStringLiteral("summary"), summary},
        {QStringLiteral("problems"), problems}};
}

QJsonObject Network::treePayload() const
{
    struct Rollup {
        QString status = QStringLiteral("none");
        bool hasDnd = false;
        bool hasAcked = false;
    };
    QHash<int, Rollup> hostRollup;
    auto addItem = [&hostRollup](const Item& item) {
        Rollup& r = hostRollup[item.hostId];
        r.status = r.status == QLatin1String("none") ? item.status : worst(r.status, item.status);
        r.hasDnd = r.hasDnd || item.dnd;
        r.hasAcked = r.hasAcked || item.acknowledged;
    };
    QJsonArray plugins;
    for (const Check& c : checks) {
        addItem(c);
        QJsonObject o;
        putItemFields(o, c);
        o.insert(QStringLiteral("plugin_id"), c.pluginId);
        o.insert(QStringLiteral("instance_id"), c.instanceId);
        if (!c.key.isEmpty())
            o.insert(QStringLiteral("key"), c.key);
        o.insert(QStringLiteral("last_success_at"), c.lastOk);
        plugins.append(o);
    }
    QJsonArray ports;
    for (const Port& p : this->ports) {
        addItem(p);
        QJsonObject o;
        putItemFields(o, p);
        o.insert(QStringLiteral("port_id"), p.portId);
        o.insert(QStringLiteral("collected_at"), p.lastOk);
        ports.append(o);
    }

    // A group sums up the hosts of its whole subtree.
    QHash<int, Rollup> groupRollup;
    QHash<int, int> parentOf;
    for (const Group& g : groups)
        parentOf.insert(g.id, g.parentId);
    QJsonArray hostArray;
    for (const Host& h : hosts) {
        const Rollup r = hostRollup.value(h.id);
        hostArray.append(QJsonObject {{QStringLiteral("id"), h.id}, {QStringLiteral("name"), h.name},
            {QStringLiteral("address"), h.address}, {QStringLiteral("group_id"), nullWhenZero(h.groupId)},
            {QStringLiteral("status"), r.status}, {QStringLiteral("dnd"), h.dnd}, {QStringLiteral("has_dnd"), r.hasDnd},
            {QStringLiteral("has_acked"), r.hasAcked}});
        QSet<int> seen;
        for (int g = h.groupId; g != 0 && !seen.contains(g); g = parentOf.value(g)) {
            seen.insert(g);
            Rollup& gr = groupRollup[g];
            gr.status = gr.status == QLatin1String("none") ? r.status : worst(gr.status, r.status);
            gr.hasDnd = gr.hasDnd || r.hasDnd || h.dnd;
            gr.hasAcked = gr.hasAcked || r.hasAcked;
        }
    }
    QJsonArray groupArray;
    for (const Group& g : groups) {
        const Rollup r = groupRollup.value(g.id);
        groupArray.append(QJsonObject {{QStringLiteral("id"), g.id}, {QStringLiteral("name"), g.name},
            {QStringLiteral("parent_id"), nullWhenZero(g.parentId)}, {QStringLiteral("status"), r.status},
            {QStringLiteral("dnd"), g.dnd}, {QStringLiteral("has_dnd"), r.hasDnd},
            {QStringLiteral("has_acked"), r.hasAcked}});
    }
    return {{QStringLiteral("groups"), groupArray}, {QStringLiteral("hosts"), hostArray},
        {QStringLiteral("plugins"), plugins}, {QStringLiteral("ports"), ports}};
}

QJsonObject Network::alarmLogPage(int page, int limit, bool activeOnly, const QString& search) const
{
    QList<const Alarm*> matching;
    for (auto it = alarms.crbegin(); it != alarms.crend(); ++it) {
        if (activeOnly && it->clearedAt.isValid())
            continue;
        if (!search.isEmpty() && !it->hostName.contains(search, Qt::CaseInsensitive)
            && !it->targetName.contains(search, Qt::CaseInsensitive))
            continue;
        matching.append(&*it);
    }
    QJsonArray items;
    const qsizetype first = qsizetype(page - 1) * limit;
    for (qsizetype i = first; i >= 0 && i < matching.size() && i < first + limit; ++i) {
        const Alarm& a = *matching.at(i);
        items.append(QJsonObject {{QStringLiteral("id"), a.id}, {QStringLiteral("status"), a.status},
            {QStringLiteral("host_name"), a.hostName}, {QStringLiteral("target_name"), a.targetName},
            {QStringLiteral("started_at"), a.startedAt.toString(TimeFormat)},
            {QStringLiteral("cleared_at"),
                a.clearedAt.isValid() ? QJsonValue(a.clearedAt.toString(TimeFormat)) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("hard"), a.hard}, {QStringLiteral("notified"), a.notified},
            {QStringLiteral("ack_by"), a.ackBy}, {QStringLiteral("ack_comment"), a.ackComment}});
    }
    return {{QStringLiteral("total"), int(matching.size())}, {QStringLiteral("page"), page},
        {QStringLiteral("limit"), limit}, {QStringLiteral("items"), items}};
}

QJsonArray Network::silencesPayload() const
{
    QJsonArray sessions;
    for (const Silence& s : silences) {
        sessions.append(QJsonObject {{QStringLiteral("id"), s.id}, {QStringLiteral("scope"), s.scope},
            {QStringLiteral("host_id"), s.hostId}, {QStringLiteral("plugin_id"), s.pluginId},
            {QStringLiteral("port_id"), s.portId}, {QStringLiteral("instance_id"), s.instanceId},
            {QStringLiteral("minutes"), s.minutes}, {QStringLiteral("reason"), s.reason},
            {QStringLiteral("created_by"), s.createdBy},
            {QStringLiteral("created_at"), s.createdAt.toString(TimeFormat)}});
    }
    return sessions;
}

QJsonObject Network::seriesPayload(const Item& item, const QString& label, int hours, const QDateTime& now)
{
    constexpr int Samples = 120;
    const qint64 step = std::max<qint64>(60, qint64(hours) * 3600 / Samples);
    const qint64 end = now.toSecsSinceEpoch() / step * step;
    const QString seed = QStringLiteral("%1/%2/%3").arg(item.hostId).arg(item.name, label);
    QJsonArray points;
    for (qint64 t = end - step * (Samples - 1); t <= end; t += step) {
        const double daily = std::sin(2 * M_PI * double(t % 86400) / 86400.0);
        const double value = item.baseline * (1.0 + 0.25 * daily + 0.2 * (noise(seed, t) - 0.5));
        points.append(QJsonObject {{QStringLiteral("t"), QDateTime::fromSecsSinceEpoch(t).toString(TimeFormat)},
            {QStringLiteral("v"), std::round(value * 100) / 100}});
    }
    return {{QStringLiteral("label"), label}, {QStringLiteral("unit"), item.unit}, {QStringLiteral("points"), points}};
}

void Network::recordTransition(
    const Item& item, const QString& targetName, const QString& oldStatus, const QDateTime& nowUtc)
{
    const QString host = hostName(item.hostId);
    Alarm* open = nullptr;
    for (auto it = alarms.rbegin(); it != alarms.rend(); ++it) {
        if (!it->clearedAt.isValid() && it->hostName == host && it->targetName == targetName) {
            open = &*it;
            break;
        }
    }
    if (isProblem(item.status)) {
        if (open) {
            if (worstRank(item.status) > worstRank(open->status))
                open->status = item.status;
            open->hard = open->hard || item.hard;
            open->notified = open->notified || item.hard;
            return;
        }
        alarms.append({nextAlarmId++, item.status, host, targetName, nowUtc, QDateTime(), item.hard, item.hard,
            QString(), QString()});
        // A simulator left running for days keeps its log bounded: the oldest cleared alarm goes first.
        if (alarms.size() > MaxAlarms) {
            const auto oldestCleared
                = std::find_if(alarms.begin(), alarms.end(), [](const Alarm& a) { return a.clearedAt.isValid(); });
            if (oldestCleared != alarms.end())
                alarms.erase(oldestCleared);
        }
    } else if (open && isProblem(oldStatus)) {
        open->clearedAt = nowUtc;
    }
}

} // namespace standin
