// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulation.h"

#include <QLocale>

#include <algorithm>

namespace standin {

namespace {

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

struct CheckType {
    int pluginId;
    const char* kind;
    const char* name;
    const char* unit;
    QStringList metrics;
    double baseline;
};

const CheckType Ping {1, "ping", "Ping", "ms", {QStringLiteral("rtt")}, 2.0};
const CheckType Cpu {2, "cpu", "CPU-last", "", {QStringLiteral("load1"), QStringLiteral("load5")}, 0.6};
const CheckType Disk {3, "disk", "Disk", "%", {QStringLiteral("använt")}, 45};
const CheckType Memory {4, "memory", "Minne", "%", {QStringLiteral("använt")}, 55};
const CheckType Http {5, "http", "HTTP", "ms", {QStringLiteral("svarstid")}, 120};
const CheckType Tls {6, "tls", "TLS-certifikat", "dagar", {QStringLiteral("dagar kvar")}, 74};
const CheckType Postgres {7, "postgres", "PostgreSQL", "", {QStringLiteral("anslutningar")}, 25};
const CheckType Smtp {8, "smtp", "SMTP", "", {QStringLiteral("kö")}, 3};
const CheckType Sessions {9, "sessions", "Sessioner", "", {QStringLiteral("sessioner")}, 12000};

QString number(double value, int decimals)
{
    return QLocale(QLocale::Swedish).toString(value, 'f', decimals);
}

QString targetOf(const Check& c)
{
    return c.name;
}

} // namespace

Simulation::Simulation(quint32 seed, Schedule schedule)
    : random(seed)
    , timing(schedule)
{ }

Network Simulation::generate(int hostCount, const QDateTime& now)
{
    Network n;
    n.groups = {{1, QStringLiteral("Stockholm"), 0, false}, {11, QStringLiteral("DC Kista"), 1, false},
        {111, QStringLiteral("Rack A"), 11, false}, {112, QStringLiteral("Rack B"), 11, false},
        {12, QStringLiteral("Kontor City"), 1, false}, {2, QStringLiteral("Göteborg"), 0, false},
        {21, QStringLiteral("DC Hisingen"), 2, false}, {3, QStringLiteral("Malmö"), 0, false},
        {31, QStringLiteral("Kontor Hyllie"), 3, false}};
    const int leafGroups[] = {111, 112, 12, 21, 31};
    const char* roles[] = {"web", "app", "db", "sw", "web", "mail", "app", "fw"};
    QHash<QString, int> perRole;
    int nextPort = 1000;

    for (int i = 0; i < hostCount; ++i) {
        const QString role = QLatin1String(roles[i % 8]);
        const bool outside = i % 10 == 9; // lab machines outside any group
        Host host;
        host.id = 100 + i;
        const int number = ++perRole[outside ? QStringLiteral("lab") : role];
        host.name = outside ? QStringLiteral("lab-%1").arg(number, 2, 10, QLatin1Char('0'))
                            : QStringLiteral("%1-%2").arg(role).arg(number, 2, 10, QLatin1Char('0'));
        host.groupId = outside ? 0 : leafGroups[(i / 3) % 5];
        host.address = QStringLiteral("10.%1.%2.%3").arg(host.groupId % 250).arg(i / 250).arg(i % 250 + 1);
        n.hosts.append(host);

        auto add = [&](const CheckType& type, int instance, const QString& name) {
            Check c;
            c.kind = QLatin1String(type.kind);
            c.hostId = host.id;
            c.pluginId = type.pluginId;
            c.instanceId = instance;
            c.name = name;
            c.unit = QLatin1String(type.unit);
            c.metrics = type.metrics;
            c.baseline = type.baseline * (0.6 + 0.8 * random.generateDouble());
            c.lastOk = now.toString(TimeFormat);
            if (type.pluginId == Tls.pluginId)
                c.key = QStringLiteral("tls/%1").arg(host.name);
            n.checks.append(c);
        };
        add(Ping, 0, QLatin1String(Ping.name));
        if (role == QLatin1String("sw") && !outside) {
            for (int p = 1; p <= 12; ++p) {
                Port port;
                port.kind = QStringLiteral("port");
                port.hostId = host.id;
                port.portId = nextPort++;
                port.name = QStringLiteral("Gi1/0/%1").arg(p);
                port.unit = QStringLiteral("bps");
                port.metrics = {QStringLiteral("in"), QStringLiteral("out")};
                port.baseline = 1e7 + random.generateDouble() * 6e8;
                port.lastOk = now.toString(TimeFormat);
                n.ports.append(port);
            }
        } else {
            add(Cpu, 0, QLatin1String(Cpu.name));
            add(Disk, 1, QStringLiteral("Disk /"));
            add(Disk, 2, QStringLiteral("Disk /var"));
            add(Memory, 0, QLatin1String(Memory.name));
            if (role == QLatin1String("web")) {
                add(Http, 0, QLatin1String(Http.name));
                add(Tls, 0, QLatin1String(Tls.name));
            } else if (role == QLatin1String("db")) {
                add(Disk, 3, QStringLiteral("Disk /srv"));
                add(Postgres, 0, QLatin1String(Postgres.name));
            } else if (role == QLatin1String("mail")) {
                add(Smtp, 0, QLatin1String(Smtp.name));
            } else if (role == QLatin1String("fw")) {
                add(Sessions, 0, QLatin1String(Sessions.name));
            }
        }
    }
    for (Check& c : n.checks)
        c.output = output(c);
    for (Port& p : n.ports)
        p.output = output(p);

    // History: alarms of the last three days, all cleared.
    const int history = std::max(60, int(n.checks.size() / 2));
    for (int i = 0; i < history && !n.checks.isEmpty(); ++i) {
        const Check& c = n.checks.at(random.bounded(int(n.checks.size())));
        const QDateTime started = now.toUTC().addSecs(-qint64(random.bounded(3 * 86400)) - 3600);
        Alarm alarm {n.nextAlarmId++, chance(0.3) ? QStringLiteral("critical") : QStringLiteral("warning"),
            n.hostName(c.hostId), targetOf(c), started, started.addSecs(60 + random.bounded(7200)), chance(0.8), false,
            QString(), QString()};
        alarm.notified = alarm.hard;
        if (chance(0.3)) {
            alarm.ackBy = QStringLiteral("Operatör");
            alarm.ackComment = QStringLiteral("Åtgärdat");
        }
        n.alarms.append(alarm);
    }
    std::sort(
        n.alarms.begin(), n.alarms.end(), [](const Alarm& a, const Alarm& b) { return a.startedAt < b.startedAt; });
    for (int i = 0; i < n.alarms.size(); ++i)
        n.alarms[i].id = i + 1;

    // Alarms open now: some hard, some still soft, a few acknowledged; one host silenced for maintenance.
    const int open = std::max(3, int((n.checks.size() + n.ports.size()) / 15));
    for (int i = 0; i < open; ++i) {
        const bool onPort = !n.ports.isEmpty() && chance(0.2);
        Item& item = onPort ? static_cast<Item&>(n.ports[random.bounded(int(n.ports.size()))])
                            : static_cast<Item&>(n.checks[random.bounded(int(n.checks.size()))]);
        if (isProblem(item.status))
            continue;
        fallIll(n, item, item.name, now);
        if (chance(0.6)) {
            item.hard = true;
            item.consecutiveFailures = item.maxAttempts;
            n.recordTransition(item, item.name, item.status, now.toUTC());
            if (chance(0.3)) {
                item.acknowledged = true;
                item.acknowledgedBy = QStringLiteral("Operatör");
                for (Alarm& a : n.alarms) {
                    if (!a.clearedAt.isValid() && a.hostName == n.hostName(item.hostId) && a.targetName == item.name) {
                        a.ackBy = QStringLiteral("Operatör");
                        a.ackComment = QStringLiteral("Tittar på det");
                    }
                }
            }
        }
    }
    // Each check's first run comes at a moment of its own within its interval.
    const qint64 at = now.toMSecsSinceEpoch();
    for (Check& c : n.checks)
        c.nextRun = at + random.bounded(qint64(isProblem(c.status) ? timing.failingSeconds : timing.okSeconds) * 1000);
    for (Port& p : n.ports)
        p.nextRun = at + random.bounded(qint64(isProblem(p.status) ? timing.failingSeconds : timing.okSeconds) * 1000);

    if (n.hosts.size() > 5) {
        const Silence maintenance {n.nextSilenceId++, QStringLiteral("host"), n.hosts.at(5).id, 0, 0, 0, 240,
            QStringLiteral("Planerat underhåll"), QStringLiteral("Administratör"), now};
        n.silences.append(maintenance);
        n.setSilenced(maintenance, true);
    }
    return n;
}

void Simulation::tick(Network& n, const QDateTime& now)
{
    if (timing.everyStep) {
        stepAll(n, now);
    } else {
        const QString stamp = now.toString(TimeFormat);
        const qint64 at = now.toMSecsSinceEpoch();
        auto step = [&](Item& item) {
            if (!item.recheckRequested && item.nextRun > at)
                return;
            run(n, item, now, stamp);
            schedule(item, at);
        };
        for (Check& c : n.checks)
            step(c);
        for (Port& p : n.ports)
            step(p);
    }

    // Silences run out.
    for (qsizetype i = n.silences.size() - 1; i >= 0; --i) {
        const Silence& s = n.silences.at(i);
        if (s.minutes > 0 && s.createdAt.addSecs(qint64(s.minutes) * 60) <= now) {
            n.setSilenced(s, false);
            n.silences.removeAt(i);
        }
    }
}

// One run of a check: a re-check settles its state, a soft problem goes on or over, a hard one may clear, and a
// healthy check may fall ill, at rates per minute that do not depend on how often it runs.
void Simulation::run(Network& n, Item& item, const QDateTime& now, const QString& stamp)
{
    if (item.recheckRequested) {
        settleRecheck(n, item, now);
    } else if (isProblem(item.status) && !item.hard) {
        advanceSoft(n, item, item.name, now);
    } else if (item.status != QLatin1String("ok")) {
        if (chance(std::min(0.02 * timing.failingSeconds, 0.5)))
            recover(n, item, item.name, now);
    } else if (chance(std::min(timing.okSeconds / 600.0, 0.5))) {
        fallOut(n, item, now);
    }
    if (item.status == QLatin1String("ok"))
        item.lastOk = stamp;
}

void Simulation::schedule(Item& item, qint64 from)
{
    item.nextRun = from + qint64(item.status == QLatin1String("ok") ? timing.okSeconds : timing.failingSeconds) * 1000;
}

// Every check at every step: the last-OK time of every healthy check moves each time.
void Simulation::stepAll(Network& n, const QDateTime& now)
{
    const QString stamp = now.toString(TimeFormat);
    const qsizetype items = n.checks.size() + n.ports.size();
    if (items == 0)
        return;
    auto itemAt = [&n](qsizetype i) -> Item& {
        return i < n.checks.size() ? static_cast<Item&>(n.checks[i]) : static_cast<Item&>(n.ports[i - n.checks.size()]);
    };

    for (qsizetype i = 0; i < items; ++i) {
        Item& item = itemAt(i);
        if (item.recheckRequested) {
            settleRecheck(n, item, now);
        } else if (isProblem(item.status) && !item.hard) {
            if (chance(0.6))
                advanceSoft(n, item, item.name, now);
        } else if (item.status != QLatin1String("ok") && chance(0.08)) {
            recover(n, item, item.name, now);
        }
        if (item.status == QLatin1String("ok"))
            item.lastOk = stamp;
    }

    const int falling = std::max(1, int(items / 150));
    for (int k = 0; k < falling; ++k) {
        Item& item = itemAt(random.bounded(int(items)));
        if (item.status == QLatin1String("ok"))
            fallOut(n, item, now);
    }
}

// A re-check settles the state: most problems turn out to be over.
void Simulation::settleRecheck(Network& n, Item& item, const QDateTime& now)
{
    item.recheckRequested = false;
    if (item.status != QLatin1String("ok") && chance(0.7))
        recover(n, item, item.name, now);
    else
        item.output = output(item);
}

// A healthy check goes wrong: now and then its data stop coming (stale), otherwise it falls ill.
void Simulation::fallOut(Network& n, Item& item, const QDateTime& now)
{
    if (chance(0.04)) {
        item.status = QStringLiteral("stale");
        item.output = QStringLiteral("Inga nya data sedan %1").arg(item.lastOk);
        n.recordTransition(item, item.name, QStringLiteral("ok"), now.toUTC());
    } else {
        fallIll(n, item, item.name, now);
    }
}

void Simulation::fallIll(Network& n, Item& item, const QString& target, const QDateTime& now)
{
    const QString old = item.status;
    const double roll = random.generateDouble();
    item.status = roll < 0.65 ? QStringLiteral("warning")
        : roll < 0.93         ? QStringLiteral("critical")
                              : QStringLiteral("unknown");
    item.hard = false;
    item.maxAttempts = 3;
    item.consecutiveFailures = 1;
    item.output = output(item);
    n.recordTransition(item, target, old, now.toUTC());
}

void Simulation::advanceSoft(Network& n, Item& item, const QString& target, const QDateTime& now)
{
    if (chance(0.25)) {
        recover(n, item, target, now);
        return;
    }
    item.consecutiveFailures += 1;
    if (item.consecutiveFailures >= item.maxAttempts)
        item.hard = true;
    item.output = output(item);
    n.recordTransition(item, target, item.status, now.toUTC());
}

void Simulation::recover(Network& n, Item& item, const QString& target, const QDateTime& now)
{
    const QString old = item.status;
    item.status = QStringLiteral("ok");
    item.hard = true;
    item.consecutiveFailures = 0;
    item.acknowledged = false; // an acknowledgement ends with the problem
    item.acknowledgedBy.clear();
    item.ackComment.clear();
    item.lastOk = now.toString(TimeFormat);
    item.output = output(item);
    n.recordTransition(item, target, old, now.toUTC());
}

QString Simulation::output(const Item& item) const
{
    QRandomGenerator local(quint32(qHash(item.name) ^ item.hostId ^ quint32(item.consecutiveFailures)));
    const double r = local.generateDouble();
    const QString& s = item.status;
    const bool ok = s == QLatin1String("ok");
    const bool warning = s == QLatin1String("warning");
    if (s == QLatin1String("unknown"))
        return QStringLiteral("Kontrollen kunde inte köras");
    if (item.kind == QLatin1String("ping"))
        return ok     ? QStringLiteral("Svarstid %1 ms").arg(number(0.4 + 3 * r, 1))
            : warning ? QStringLiteral("Paketförlust %1 %").arg(int(10 + 30 * r))
                      : QStringLiteral("Värden svarar inte");
    if (item.kind == QLatin1String("cpu"))
        return QStringLiteral("load %1").arg(number(ok ? 0.1 + 1.5 * r : warning ? 5 + 4 * r : 12 + 8 * r, 2));
    if (item.kind == QLatin1String("disk") || item.kind == QLatin1String("memory"))
        return QStringLiteral("%1 % använt").arg(ok ? int(20 + 55 * r) : warning ? int(85 + 6 * r) : int(95 + 5 * r));
    if (item.kind == QLatin1String("http"))
        return ok     ? QStringLiteral("HTTP 200 OK på %1 s").arg(number(0.05 + 0.3 * r, 2))
            : warning ? QStringLiteral("HTTP 200 OK på %1 s").arg(number(3 + 4 * r, 1))
                      : QStringLiteral("HTTP 503 Service Unavailable");
    if (item.kind == QLatin1String("tls"))
        return ok     ? QStringLiteral("Certifikatet giltigt i %1 dagar").arg(int(40 + 300 * r))
            : warning ? QStringLiteral("Certifikatet går ut om %1 dagar").arg(int(2 + 12 * r))
                      : QStringLiteral("Certifikatet har gått ut");
    if (item.kind == QLatin1String("postgres"))
        return ok     ? QStringLiteral("%1 anslutningar").arg(int(5 + 60 * r))
            : warning ? QStringLiteral("%1 anslutningar av 200").arg(int(170 + 25 * r))
                      : QStringLiteral("Anslutning nekad på port 5432");
    if (item.kind == QLatin1String("smtp"))
        return ok     ? QStringLiteral("Kön: %1 meddelanden").arg(int(10 * r))
            : warning ? QStringLiteral("Kön: %1 meddelanden").arg(int(150 + 200 * r))
                      : QStringLiteral("Anslutning tidsgränsad");
    if (item.kind == QLatin1String("sessions"))
        return QStringLiteral("%1 sessioner").arg(ok ? int(5000 + 10000 * r) : int(60000 + 20000 * r));
    if (item.kind == QLatin1String("port"))
        return ok     ? QStringLiteral("upp, 1 Gbit/s")
            : warning ? QStringLiteral("upp, %1 % fel").arg(int(1 + 5 * r))
                      : QStringLiteral("nere");
    return ok ? QStringLiteral("OK") : QStringLiteral("Fel");
}

} // namespace standin
