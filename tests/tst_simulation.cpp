#include "apiclient.h"
#include "dialogs.h"
#include "simulation.h"
#include "standinserver.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QAbstractItemModelTester>
#include <QProcess>
#include <QStandardItemModel>

using namespace standin;

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
    void metricsForEveryPeriod_data();
    void metricsForEveryPeriod();
    void actionsAreHonoured();
    void badRequestsGetErrors_data();
    void badRequestsGetErrors();
    void networkLivesInTime();
    void recheckSettlesAndSilencesRunOut();
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
    QVERIFY(any(network.groups, [&](const Group& g) { return g.parentId != 0 && network.groups.at(0).id == 1; }));
    QVERIFY(any(network.hosts, [](const Host& h) { return h.groupId == 0; })); // some outside any group
    QVERIFY(any(network.checks, [](const Check& c) { return c.instanceId == 3; })); // multi-instance disks
    QVERIFY(any(network.checks, [](const Check& c) { return !c.key.isEmpty(); })); // server keys
    QVERIFY(network.ports.size() >= 24);
    QVERIFY(problems(network, true) >= 1 && problems(network) > problems(network, true)); // soft and hard alarms
    QVERIFY(network.alarms.size() > 100); // more than a page of history
    QCOMPARE(network.silences.size(), 1);
    QCOMPARE(Simulation(7).generate(40, Start).treePayload(), network.treePayload()); // the seed decides
    QVERIFY(Simulation(8).generate(40, Start).treePayload() != network.treePayload());
}

void TestSimulation::clientReadsEveryPayload()
{
    ApiClient client(server.url(), QString());
    client.login(QStringLiteral("viewer"), QStringLiteral("viewer"), QStringLiteral("test"));
    QCOMPARE(client.me()[QLatin1String("user")][QLatin1String("roles")][0].toString(), QStringLiteral("viewer"));
    const QJsonObject status = client.status();
    QCOMPARE(status[QLatin1String("summary")][QLatin1String("total")].toInt(),
        int(network.checks.size() + network.ports.size()));
    QVERIFY(!status[QLatin1String("problems")].toArray().isEmpty());
    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    treemodel::buildTreeModel(client.treeStatus(), &model);
    QCOMPARE(model.rowCount(), 4); // three regions and the hosts outside any group
    const int total = client.alarmlog(1, 100, false, QString())[QLatin1String("total")].toInt();
    QCOMPARE(client.alarmlog(2, 100, false, QString())[QLatin1String("items")].toArray().size(), total - 100);
    for (const QJsonValue& a : client.alarmlog(1, 100, true, QString())[QLatin1String("items")].toArray())
        QVERIFY(a[QLatin1String("cleared_at")].isNull());
    const QJsonObject search = client.alarmlog(1, 100, false, QStringLiteral("WEB-0"));
    QVERIFY(search[QLatin1String("total")].toInt() > 0);
    for (const QJsonValue& a : search[QLatin1String("items")].toArray())
        QVERIFY(a[QLatin1String("host_name")].toString().startsWith(QStringLiteral("web-0")));
    QCOMPARE(client.dndSessions().size(), 1);
}

void TestSimulation::metricsForEveryPeriod_data()
{
    QTest::addColumn<int>("hours");
    for (const auto& choice : ChartDialog::HoursChoices)
        QTest::newRow(qPrintable(choice.second)) << choice.first;
}

void TestSimulation::metricsForEveryPeriod()
{
    QFETCH(int, hours);
    ApiClient client(server.url(), server.issueToken(QStringLiteral("viewer")));
    const Check& disk = *std::find_if(
        network.checks.cbegin(), network.checks.cend(), [](const Check& c) { return c.instanceId == 2; });
    const Port& port = network.ports.first();
    for (const auto& [host, plugin, portId, instance, unit] : {std::make_tuple(disk.hostId, disk.pluginId, 0, 2, "%"),
             std::make_tuple(port.hostId, 0, port.portId, 0, "bps")}) {
        const QString label
            = client.metricLabels(host, plugin, portId, instance)[QLatin1String("labels")][0].toString();
        const QJsonObject series = client.metricSeries(host, plugin, portId, label, hours, instance);
        QCOMPARE(series[QLatin1String("unit")].toString(), QLatin1String(unit));
        const QJsonArray points = series[QLatin1String("points")].toArray();
        QCOMPARE(points.size(), 120);
        const auto time = [&](int i) {
            return QDateTime::fromString(
                points[i][QLatin1String("t")].toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        };
        QVERIFY(std::abs(time(0).secsTo(time(119)) - hours * 3600) <= std::max(3600, hours * 60));
        QVERIFY(any(points, [](const QJsonValue& p) { return p[QLatin1String("v")].toDouble() > 0; }));
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
    QVERIFY(any(client.alarmlog(1, 100, true, problem.name)[QLatin1String("items")].toArray(),
        [](const QJsonValue& a) { return a[QLatin1String("ack_comment")].toString() == QLatin1String("Tittar"); }));
    const Host& host = network.hosts.at(1);
    client.dndCreate(QStringLiteral("host"), host.id, 0, 0, 30, QStringLiteral("Byte"), 0);
    QCOMPARE(client.dndSessions().size(), 2);
    QVERIFY(any(client.treeStatus()[QLatin1String("hosts")].toArray(), [&](const QJsonValue& h) {
        return h[QLatin1String("id")].toInt() == host.id && h[QLatin1String("dnd")].toBool();
    }));
    client.recheckHost(host.id);
    const Network after = server.network();
    QVERIFY(std::all_of(after.checks.cbegin(), after.checks.cend(),
        [&](const Check& c) { return c.hostId != host.id || c.recheckRequested; }));
    server.setNetwork(network);
}

void TestSimulation::badRequestsGetErrors_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("status");
    // clang-format off
    for (const auto& [name, status] : std::initializer_list<std::pair<const char*, int>> {
             { "password", 401 }, { "revoked", 401 }, { "viewer", 403 }, { "host", 404 }, { "silence", 404 },
             { "label", 404 }, { "form", 400 }, { "scope", 400 }, { "ackBody", 400 }, { "path", 404 }, { "page", 400 } })
        QTest::newRow(name) << QString::fromLatin1(name) << status;
    // clang-format on
}

// Wrong credentials, revoked tokens, unknown ids and malformed requests get the right status and the server's own
// error text, never a crash.
void TestSimulation::badRequestsGetErrors()
{
    QFETCH(QString, situation);
    QFETCH(int, status);
    ApiClient client(server.url(),
        server.issueToken(situation == QLatin1String("viewer") ? QStringLiteral("viewer") : QStringLiteral("admin")));
    if (situation == QLatin1String("revoked"))
        server.revokeToken(client.token());
    const Check& c = network.checks.first();
    // clang-format off
    const QHash<QString, std::function<void()>> calls {
        { "password", [&] { client.login(QStringLiteral("admin"), QStringLiteral("fel"), QString()); } },
        { "revoked", [&] { client.status(); } },
        { "viewer", [&] { client.recheckHost(c.hostId); } },
        { "host", [&] { client.recheckHost(99999); } },
        { "silence", [&] { client.dndCancel(99999); } },
        { "label", [&] { client.metricSeries(c.hostId, c.pluginId, 0, QStringLiteral("finns inte"), 24, c.instanceId); } },
        { "form", [&] { client.request("POST", QStringLiteral("/api/dnd"), "scope=host&host_id=x", "application/x-www-form-urlencoded", {}, true); } },
        { "scope", [&] { client.dndCreate(QStringLiteral("allt"), 1, 0, 0, 5, QString(), 0); } },
        { "ackBody", [&] { client.request("POST", QStringLiteral("/api/hosts/%1/plugins/%2/acknowledge").arg(c.hostId).arg(c.pluginId), "[1,2", "application/json", {}, true); } },
        { "path", [&] { client.request("GET", QStringLiteral("/api/finns/inte"), {}, {}, {}, true); } },
        { "page", [&] { client.alarmlog(0, 100, false, QString()); } },
    };
    // clang-format on
    try {
        calls.value(situation)();
        QFAIL("the request succeeded");
    } catch (const ApiError& e) {
        QCOMPARE(e.status, status);
        QVERIFY2(!e.message.startsWith(QStringLiteral("HTTP ")), qPrintable(e.message));
    }
}

void TestSimulation::networkLivesInTime()
{
    Simulation sim(3);
    Network n = sim.generate(40, Start);
    const QJsonObject before = n.statusPayload(Start);
    const qsizetype alarmsBefore = n.alarms.size();
    int hardened = 0;
    for (int i = 1; i <= 30; ++i) {
        const Network previous = n;
        sim.tick(n, Start.addSecs(4 * i));
        for (qsizetype k = 0; k < n.checks.size(); ++k)
            hardened += !previous.checks[k].hard && n.checks[k].hard && isProblem(n.checks[k].status) ? 1 : 0;
    }
    QVERIFY(n.statusPayload(Start) != before);
    QVERIFY(n.alarms.size() > alarmsBefore + 10); // new alarms
    QVERIFY(any(n.alarms, [](const Alarm& a) { return a.clearedAt > Start.toUTC(); })); // and cleared ones
    QVERIFY(hardened > 0); // soft states turn hard
    QVERIFY(problems(n) > 0 && problems(n) < (n.checks.size() + n.ports.size()) / 3);
}

void TestSimulation::recheckSettlesAndSilencesRunOut()
{
    Simulation sim(11);
    Network n = sim.generate(40, Start);
    QList<int> asked;
    for (int i = 0; i < n.checks.size(); ++i) {
        if (isProblem(n.checks[i].status)) {
            n.checks[i].recheckRequested = n.checks[i].acknowledged = true;
            asked.append(i);
        }
    }
    const Silence quick {
        n.nextSilenceId++, QStringLiteral("port"), 0, 0, n.ports.first().portId, 0, 1, QString(), QString(), Start};
    n.silences.append(quick);
    n.setSilenced(quick, true);
    sim.tick(n, Start.addSecs(30));
    QVERIFY(n.ports.first().dnd);
    int recovered = 0;
    for (const int i : asked) {
        QVERIFY(!n.checks[i].recheckRequested);
        recovered += n.checks[i].status == QLatin1String("ok") ? 1 : 0;
        QVERIFY(n.checks[i].status != QLatin1String("ok") || !n.checks[i].acknowledged); // acknowledgement ends with it
    }
    QVERIFY(recovered > 0);
    sim.tick(n, Start.addSecs(61));
    QVERIFY(!n.ports.first().dnd);
    QCOMPARE(n.silences.size(), 1); // only the four-hour maintenance is left
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
    QStandardItemModel model; // a large network is still one the client can build
    treemodel::buildTreeModel(client.treeStatus(), &model);
    QCOMPARE(model.rowCount(), 4);
    sim.kill();
    sim.waitForFinished();
}

NORV_TEST_MAIN(TestSimulation)
#include "tst_simulation.moc"
