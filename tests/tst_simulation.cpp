#include "apiclient.h"
#include "simulation.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QProcess>

using namespace standin;
using Call = std::function<void(ApiClient&, const Check&)>;
Q_DECLARE_METATYPE(Call)

namespace {

const QDateTime Start(QDate(2026, 12, 6), QTime(12, 0));

int problems(const Network& n, bool softOnly = false)
{
    int count = 0;
    for (const Check& c : n.checks)
        count += isProblem(c.status) && !(softOnly && c.hard) ? 1 : 0;
    for (const Port& p : n.ports)
        count += isProblem(p.status) && !(softOnly && p.hard) ? 1 : 0;
    return count;
}

template <typename List, typename Predicate> bool any(const List& list, Predicate predicate)
{
    return std::any_of(list.cbegin(), list.cend(), predicate);
}

} // namespace

// norv-sim's network: its shape, its life in time, and the client's whole conversation with it.
class TestSimulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void generatedNetworkShape();
    void clientReadsEveryPayload();
    void actionsAreHonoured();
    void badRequestsGetErrors_data();
    void badRequestsGetErrors();
    void networkLivesInTime();
    void commandLine();

private:
    Simulation simulation {7};
    Network network;
    StandinServer server;
};

void TestSimulation::initTestCase()
{
    network = simulation.generate(40, Start);
    server.setNetwork(network);
    QVERIFY(server.listen());
}

void TestSimulation::generatedNetworkShape()
{
    QCOMPARE(network.hosts.size(), 40);
    QVERIFY(any(network.groups, [](const Group& g) { return g.parentId != 0; })); // nested groups
    QVERIFY(any(network.hosts, [](const Host& h) { return h.groupId == 0; })); // some outside any group
    QVERIFY(any(network.checks, [](const Check& c) { return c.instanceId == 3; })); // multi-instance disks
    QVERIFY(any(network.checks, [](const Check& c) { return !c.key.isEmpty(); })); // server keys
    QVERIFY(problems(network, true) >= 1 && problems(network) > problems(network, true)); // soft and hard alarms
    QVERIFY(network.alarms.size() > 100); // more than a page of history
    QCOMPARE(Simulation(7).generate(40, Start).treePayload(), network.treePayload()); // the seed decides
    QVERIFY(Simulation(8).generate(40, Start).treePayload() != network.treePayload());
}

void TestSimulation::clientReadsEveryPayload()
{
    ApiClient client(server.url(), server.issueToken(QStringLiteral("viewer")));
    const QJsonObject status = client.status();
    QCOMPARE(status[QLatin1String("summary")][QLatin1String("total")].toInt(),
        int(network.checks.size() + network.ports.size()));
    QCOMPARE(treemodel::readTree(client.treeStatus()).children(-1).size(), 4); // three regions and the ungrouped
    const int total = client.alarmlog(1, 100, false, QString())[QLatin1String("total")].toInt();
    QCOMPARE(client.alarmlog(2, 100, false, QString())[QLatin1String("items")].toArray().size(), total - 100);
    for (const QJsonValue& a : client.alarmlog(1, 100, true, QStringLiteral("WEB-0"))[QLatin1String("items")].toArray())
        QVERIFY(
            a[QLatin1String("cleared_at")].isNull() && a[QLatin1String("host_name")].toString().startsWith("web-0"));
    const Check& disk = *std::find_if(
        network.checks.cbegin(), network.checks.cend(), [](const Check& c) { return c.instanceId == 2; });
    const Port& port = network.ports.first();
    for (const int hours : {1, 720}) {
        for (const auto& [host, plugin, portId, instance, unit] :
            {std::make_tuple(disk.hostId, disk.pluginId, 0, 2, "%"),
                std::make_tuple(port.hostId, 0, port.portId, 0, "bps")}) {
            const QString label
                = client.metricLabels(host, plugin, portId, instance)[QLatin1String("labels")][0].toString();
            const QJsonObject series = client.metricSeries(host, plugin, portId, label, hours, instance);
            QCOMPARE(series[QLatin1String("unit")].toString(), QLatin1String(unit));
            QCOMPARE(series[QLatin1String("points")].toArray().size(), 120);
        }
    }
}

void TestSimulation::actionsAreHonoured()
{
    ApiClient client(server.url(), server.issueToken(QStringLiteral("operator")));
    const Check& problem = *std::find_if(network.checks.cbegin(), network.checks.cend(),
        [](const Check& c) { return isProblem(c.status) && !c.acknowledged; });
    client.acknowledge(problem.hostId, problem.pluginId, 0, QStringLiteral("Tittar"), problem.instanceId);
    QVERIFY(any(client.status()[QLatin1String("problems")].toArray(), [&](const QJsonValue& p) {
        return p[QLatin1String("host_id")].toInt() == problem.hostId
            && p[QLatin1String("plugin_id")].toInt() == problem.pluginId && p[QLatin1String("acknowledged")].toBool();
    }));
    const Host& host = network.hosts.at(1);
    client.dndCreate(QStringLiteral("host"), host.id, 0, 0, 30, QStringLiteral("Byte"), 0);
    QCOMPARE(client.dndSessions().size(), 2);
    client.recheckHost(host.id);
    const Network after = server.network();
    QVERIFY(std::all_of(after.checks.cbegin(), after.checks.cend(),
        [&](const Check& c) { return c.hostId != host.id || c.recheckRequested; }));
    server.setNetwork(network);
}

void TestSimulation::badRequestsGetErrors_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<Call>("call");
    QTest::addColumn<int>("status");
    // clang-format off
    QTest::newRow("wrong password") << "admin" << Call([](ApiClient& c, const Check&) { c.login(QStringLiteral("admin"), QStringLiteral("fel"), QString()); }) << 401;
    QTest::newRow("revoked token") << "" << Call([](ApiClient& c, const Check&) { c.status(); }) << 401;
    QTest::newRow("viewer acting") << "viewer" << Call([](ApiClient& c, const Check& k) { c.recheckHost(k.hostId); }) << 403;
    QTest::newRow("unknown host") << "admin" << Call([](ApiClient& c, const Check&) { c.recheckHost(99999); }) << 404;
    QTest::newRow("unknown silence") << "admin" << Call([](ApiClient& c, const Check&) { c.dndCancel(99999); }) << 404;
    QTest::newRow("unknown label") << "admin" << Call([](ApiClient& c, const Check& k) { c.metricSeries(k.hostId, k.pluginId, 0, QStringLiteral("finns inte"), 24, k.instanceId); }) << 404;
    QTest::newRow("bad form") << "admin" << Call([](ApiClient& c, const Check&) { c.request("POST", QStringLiteral("/api/dnd"), "scope=host&host_id=x", "application/x-www-form-urlencoded", {}, true); }) << 400;
    QTest::newRow("unknown scope") << "admin" << Call([](ApiClient& c, const Check&) { c.dndCreate(QStringLiteral("allt"), 1, 0, 0, 5, QString(), 0); }) << 400;
    QTest::newRow("bad acknowledgement") << "admin" << Call([](ApiClient& c, const Check& k) { c.request("POST", QStringLiteral("/api/hosts/%1/plugins/%2/acknowledge").arg(k.hostId).arg(k.pluginId), "[1,2", "application/json", {}, true); }) << 400;
    QTest::newRow("unknown path") << "admin" << Call([](ApiClient& c, const Check&) { c.request("GET", QStringLiteral("/api/finns/inte"), {}, {}, {}, true); }) << 404;
    QTest::newRow("page 0") << "admin" << Call([](ApiClient& c, const Check&) { c.alarmlog(0, 100, false, QString()); }) << 400;
    // clang-format on
}

// Wrong credentials, revoked tokens, unknown ids and malformed requests get the right status and the server's own
// error text, never a crash.
void TestSimulation::badRequestsGetErrors()
{
    QFETCH(QString, user);
    QFETCH(Call, call);
    ApiClient client(server.url(), server.issueToken(user.isEmpty() ? QStringLiteral("admin") : user));
    if (user.isEmpty())
        server.revokeToken(client.token());
    try {
        call(client, network.checks.first());
        QFAIL("the request succeeded");
    } catch (const ApiError& e) {
        QTEST(e.status, "status");
        QVERIFY2(!e.message.startsWith(QStringLiteral("HTTP ")), qPrintable(e.message));
    }
}

// Problems come and go, soft states turn hard, re-checks settle, silences run out; the alarm log keeps it all.
void TestSimulation::networkLivesInTime()
{
    Simulation sim(3);
    Network n = sim.generate(40, Start);
    const qsizetype alarmsBefore = n.alarms.size();
    const Silence quick {
        n.nextSilenceId++, QStringLiteral("port"), 0, 0, n.ports.first().portId, 0, 1, QString(), QString(), Start};
    n.silences.append(quick);
    n.setSilenced(quick, true);
    int hardened = 0;
    for (int i = 1; i <= 30; ++i) {
        const Network previous = n;
        sim.tick(n, Start.addSecs(4 * i));
        for (qsizetype k = 0; k < n.checks.size(); ++k)
            hardened += !previous.checks[k].hard && n.checks[k].hard && isProblem(n.checks[k].status) ? 1 : 0;
    }
    QVERIFY(n.alarms.size() > alarmsBefore + 10); // new alarms
    QVERIFY(any(n.alarms, [](const Alarm& a) { return a.clearedAt > Start.toUTC(); })); // and cleared ones
    QVERIFY(hardened > 0);
    QVERIFY(!n.ports.first().dnd);
    QList<qsizetype> asked;
    for (qsizetype k = 0; k < n.checks.size(); ++k) {
        if (isProblem(n.checks[k].status)) {
            n.checks[k].recheckRequested = true;
            asked.append(k);
        }
    }
    sim.tick(n, Start.addSecs(200));
    QVERIFY(any(asked, [&n](qsizetype k) { return n.checks[k].status == QLatin1String("ok"); })); // settled
    QVERIFY(std::none_of(n.checks.cbegin(), n.checks.cend(), [](const Check& c) { return c.recheckRequested; }));
}

void TestSimulation::commandLine()
{
    QProcess bad;
    bad.start(QStringLiteral(NORV_SIM), {QStringLiteral("--port"), QStringLiteral("nittio")});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(bad.readAllStandardError().contains("--port must be a number"));
    QProcess sim;
    sim.start(QStringLiteral(NORV_SIM), {"--port", "0", "--hosts", "3000", "--server-version", "9.1"});
    QVERIFY(sim.waitForReadyRead(20000));
    const QString banner = QString::fromUtf8(sim.readAllStandardOutput());
    QVERIFY2(banner.contains(QStringLiteral("3000 hosts")), qPrintable(banner));
    ApiClient client(banner.section(QLatin1Char(' '), 3, 3), QString());
    client.login(QStringLiteral("admin"), QStringLiteral("admin"), QString());
    QCOMPARE(client.me()[QLatin1String("server_version")].toString(), QStringLiteral("9.1"));
    treemodel::Tree tree;
    QVERIFY(treemodel::readTree(client.treeStatusRaw().body, &tree)); // the client's quick reader takes it
    QCOMPARE(tree.children(-1).size(), 4);
    sim.kill();
    sim.waitForFinished();
}

NORV_TEST_MAIN(TestSimulation)
#include "tst_simulation.moc"
