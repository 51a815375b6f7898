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

struct Counts {
    int problems = 0;
    int soft = 0;
    int openAlarms = 0;
};

Counts countsOf(const Network& n)
{
    Counts c;
    auto visit = [&c](const Item& item) {
        if (isProblem(item.status)) {
            ++c.problems;
            if (!item.hard)
                ++c.soft;
        }
    };
    for (const Check& check : n.checks)
        visit(check);
    for (const Port& port : n.ports)
        visit(port);
    for (const Alarm& a : n.alarms)
        c.openAlarms += a.clearedAt.isValid() ? 0 : 1;
    return c;
}

} // namespace

class TestSimulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void generatedNetworkShape();
    void sameSeedSameNetwork();
    void clientReadsEveryPayload();
    void metricsForEveryPeriod_data();
    void metricsForEveryPeriod();
    void actionsAreHonoured();
    void badRequestsGetErrors_data();
    void badRequestsGetErrors();
    void networkLivesInTime();
    void recheckSettlesAndAcknowledgementEndsWithProblem();
    void silencesRunOut();
    void largeNetwork();
    void badOptions();

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
    QHash<int, int> parents;
    for (const Group& g : network.groups)
        parents.insert(g.id, g.parentId);
    int deepest = 0;
    for (const Group& g : network.groups) {
        int depth = 1;
        for (int p = g.parentId; p != 0; p = parents.value(p))
            ++depth;
        deepest = std::max(deepest, depth);
    }
    QVERIFY(deepest >= 3);
    QVERIFY(std::any_of(network.hosts.cbegin(), network.hosts.cend(), [](const Host& h) { return h.groupId == 0; }));
    // Multi-instance disks, switches with ports, server keys on some checks.
    QVERIFY(
        std::any_of(network.checks.cbegin(), network.checks.cend(), [](const Check& c) { return c.instanceId == 3; }));
    QVERIFY(network.ports.size() >= 24);
    QVERIFY(
        std::any_of(network.checks.cbegin(), network.checks.cend(), [](const Check& c) { return !c.key.isEmpty(); }));
    const Counts counts = countsOf(network);
    QVERIFY(counts.problems >= 3);
    QVERIFY(counts.soft >= 1);
    QVERIFY(counts.problems > counts.soft); // hard ones too
    QVERIFY(network.alarms.size() > 100); // more than one page of alarm log
    QVERIFY(counts.openAlarms >= 1);
    QCOMPARE(network.silences.size(), 1);
}

void TestSimulation::sameSeedSameNetwork()
{
    Simulation again(7);
    QCOMPARE(again.generate(40, Start).treePayload(), network.treePayload());
    Simulation other(8);
    QVERIFY(other.generate(40, Start).treePayload() != network.treePayload());
}

void TestSimulation::clientReadsEveryPayload()
{
    ApiClient client(server.url(), QString());
    client.login(QStringLiteral("viewer"), QStringLiteral("viewer"), QStringLiteral("test"));
    const QJsonObject me = client.me();
    QCOMPARE(me[QLatin1String("user")][QLatin1String("roles")].toArray().first().toString(), QStringLiteral("viewer"));

    const QJsonObject status = client.status();
    const QJsonObject summary = status[QLatin1String("summary")].toObject();
    QCOMPARE(summary[QLatin1String("total")].toInt(), int(network.checks.size() + network.ports.size()));
    QVERIFY(!status[QLatin1String("problems")].toArray().isEmpty());
    for (const QJsonValue& p : status[QLatin1String("problems")].toArray())
        QVERIFY(!p[QLatin1String("host_name")].toString().isEmpty());

    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    treemodel::buildTreeModel(client.treeStatus(), &model);
    QCOMPARE(model.rowCount(), 4); // three regions and the hosts outside any group
    QCOMPARE(model.item(3)->text(), QStringLiteral("Utan grupp"));

    const QJsonObject first = client.alarmlog(1, 100, false, QString());
    QVERIFY(first[QLatin1String("total")].toInt() > 100);
    QCOMPARE(first[QLatin1String("items")].toArray().size(), 100);
    const QJsonObject second = client.alarmlog(2, 100, false, QString());
    QCOMPARE(second[QLatin1String("items")].toArray().size(), first[QLatin1String("total")].toInt() - 100);
    const QJsonObject open = client.alarmlog(1, 100, true, QString());
    for (const QJsonValue& a : open[QLatin1String("items")].toArray())
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
    struct Target {
        int host, plugin, port, instance;
        QString unit;
    };
    for (const Target& t : {Target {disk.hostId, disk.pluginId, 0, disk.instanceId, QStringLiteral("%")},
             Target {port.hostId, 0, port.portId, 0, QStringLiteral("bps")}}) {
        const QJsonArray labels
            = client.metricLabels(t.host, t.plugin, t.port, t.instance)[QLatin1String("labels")].toArray();
        QVERIFY(!labels.isEmpty());
        const QJsonObject series
            = client.metricSeries(t.host, t.plugin, t.port, labels.first().toString(), hours, t.instance);
        QCOMPARE(series[QLatin1String("unit")].toString(), t.unit);
        const QJsonArray points = series[QLatin1String("points")].toArray();
        QCOMPARE(points.size(), 120);
        const QDateTime firstTime = QDateTime::fromString(
            points.first()[QLatin1String("t")].toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        const QDateTime lastTime = QDateTime::fromString(
            points.last()[QLatin1String("t")].toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(firstTime.isValid() && lastTime.isValid());
        QVERIFY(std::abs(firstTime.secsTo(lastTime) - hours * 3600) <= std::max(3600, hours * 3600 / 60));
        for (const QJsonValue& p : points)
            QVERIFY(p[QLatin1String("v")].toDouble() > 0);
    }
}

void TestSimulation::actionsAreHonoured()
{
    server.setNetwork(network);
    ApiClient client(server.url(), server.issueToken(QStringLiteral("operator")));
    const Check& problem = *std::find_if(network.checks.cbegin(), network.checks.cend(),
        [](const Check& c) { return isProblem(c.status) && !c.acknowledged; });
    client.acknowledge(problem.hostId, problem.pluginId, 0, QStringLiteral("Tittar"), problem.instanceId);
    bool acknowledged = false;
    for (const QJsonValue& p : client.status()[QLatin1String("problems")].toArray()) {
        if (p[QLatin1String("host_id")].toInt() == problem.hostId
            && p[QLatin1String("plugin_id")].toInt() == problem.pluginId
            && p[QLatin1String("instance_id")].toInt() == problem.instanceId)
            acknowledged = p[QLatin1String("acknowledged")].toBool();
    }
    QVERIFY(acknowledged);
    const QJsonObject log = client.alarmlog(1, 100, true, problem.name);
    bool logged = false;
    for (const QJsonValue& a : log[QLatin1String("items")].toArray())
        logged = logged || a[QLatin1String("ack_comment")].toString() == QLatin1String("Tittar");
    QVERIFY(logged);

    const Host& host = network.hosts.at(1);
    client.dndCreate(QStringLiteral("host"), host.id, 0, 0, 30, QStringLiteral("Byte"), 0);
    QCOMPARE(client.dndSessions().size(), 2);
    const QJsonObject tree = client.treeStatus();
    for (const QJsonValue& h : tree[QLatin1String("hosts")].toArray()) {
        if (h[QLatin1String("id")].toInt() == host.id)
            QVERIFY(h[QLatin1String("dnd")].toBool());
    }
    client.recheckHost(host.id);
    client.unacknowledge(problem.hostId, problem.pluginId, 0, problem.instanceId);
    const Port& port = network.ports.at(3);
    client.acknowledge(0, 0, port.portId, QString(), 0);
    client.unacknowledge(0, 0, port.portId, 0);
    client.recheckPlugin(problem.hostId, problem.pluginId, problem.instanceId);
    const Network after = server.network();
    QVERIFY(std::all_of(after.checks.cbegin(), after.checks.cend(),
        [&](const Check& c) { return c.hostId != host.id || c.recheckRequested; }));
    server.setNetwork(network);
}

void TestSimulation::badRequestsGetErrors_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("status");
    QTest::newRow("wrong password") << "password" << 401;
    QTest::newRow("revoked token") << "revoked" << 401;
    QTest::newRow("viewer acts") << "viewer" << 403;
    QTest::newRow("unknown host") << "host" << 404;
    QTest::newRow("unknown port") << "port" << 404;
    QTest::newRow("unknown silence") << "silence" << 404;
    QTest::newRow("unknown label") << "label" << 404;
    QTest::newRow("malformed form") << "form" << 400;
    QTest::newRow("bad scope") << "scope" << 400;
    QTest::newRow("ack body not json") << "ackBody" << 400;
    QTest::newRow("unknown path") << "path" << 404;
    QTest::newRow("page zero") << "page" << 400;
}

void TestSimulation::badRequestsGetErrors()
{
    QFETCH(QString, situation);
    QFETCH(int, status);
    ApiClient client(server.url(),
        server.issueToken(situation == QLatin1String("viewer") ? QStringLiteral("viewer") : QStringLiteral("admin")));
    QString message;
    std::function<void()> call;
    if (situation == QLatin1String("password")) {
        call = [&] { client.login(QStringLiteral("admin"), QStringLiteral("fel"), QString()); };
    } else if (situation == QLatin1String("revoked")) {
        server.revokeToken(client.token());
        call = [&] { client.status(); };
    } else if (situation == QLatin1String("viewer")) {
        call = [&] { client.recheckHost(network.hosts.first().id); };
    } else if (situation == QLatin1String("host")) {
        call = [&] { client.recheckHost(99999); };
    } else if (situation == QLatin1String("port")) {
        call = [&] { client.acknowledge(0, 0, 99999, QString(), 0); };
    } else if (situation == QLatin1String("silence")) {
        call = [&] { client.dndCancel(99999); };
    } else if (situation == QLatin1String("label")) {
        const Check& c = network.checks.first();
        call = [&] { client.metricSeries(c.hostId, c.pluginId, 0, QStringLiteral("finns inte"), 24, c.instanceId); };
    } else if (situation == QLatin1String("form")) {
        call = [&] {
            client.request("POST", QStringLiteral("/api/dnd"), "scope=host&host_id=x&minutes=-5",
                "application/x-www-form-urlencoded", {}, true);
        };
    } else if (situation == QLatin1String("scope")) {
        call = [&] { client.dndCreate(QStringLiteral("allt"), 1, 0, 0, 5, QString(), 0); };
    } else if (situation == QLatin1String("ackBody")) {
        const Check& c = network.checks.first();
        call = [&] {
            client.request("POST", QStringLiteral("/api/hosts/%1/plugins/%2/acknowledge").arg(c.hostId).arg(c.pluginId),
                "[1,2", "application/json", {}, true);
        };
    } else if (situation == QLatin1String("path")) {
        call = [&] { client.request("GET", QStringLiteral("/api/finns/inte"), {}, {}, {}, true); };
    } else {
        call = [&] { client.alarmlog(0, 100, false, QString()); };
    }
    try {
        call();
        QFAIL("the request succeeded");
    } catch (const ApiError& e) {
        QCOMPARE(e.status, status);
        QVERIFY2(!e.message.startsWith(QStringLiteral("HTTP ")), qPrintable(e.message)); // the server's own text
    }
}

void TestSimulation::networkLivesInTime()
{
    Simulation sim(3);
    Network n = sim.generate(40, Start);
    const QJsonObject before = n.statusPayload(Start);
    const int alarmsBefore = int(n.alarms.size());
    int hardened = 0;
    int cleared = 0;
    for (int i = 1; i <= 30; ++i) {
        const Network previous = n;
        sim.tick(n, Start.addSecs(4 * i));
        for (qsizetype k = 0; k < n.checks.size(); ++k) {
            if (!previous.checks[k].hard && n.checks[k].hard && isProblem(n.checks[k].status))
                ++hardened;
        }
    }
    for (const Alarm& a : n.alarms)
        cleared += a.clearedAt.isValid() && a.clearedAt > Start.toUTC() ? 1 : 0;
    QVERIFY(n.statusPayload(Start) != before);
    QVERIFY2(n.alarms.size() > alarmsBefore + 10, qPrintable(QString::number(n.alarms.size() - alarmsBefore)));
    QVERIFY(hardened > 0);
    QVERIFY(cleared > 0);
    const Counts counts = countsOf(n);
    QVERIFY(counts.problems > 0 && counts.problems < (n.checks.size() + n.ports.size()) / 3);
}

void TestSimulation::recheckSettlesAndAcknowledgementEndsWithProblem()
{
    Simulation sim(11);
    Network n = sim.generate(40, Start);
    QList<int> asked;
    for (int i = 0; i < n.checks.size(); ++i) {
        if (isProblem(n.checks[i].status)) {
            n.checks[i].recheckRequested = true;
            n.checks[i].acknowledged = true;
            asked.append(i);
        }
    }
    QVERIFY(asked.size() >= 2);
    sim.tick(n, Start.addSecs(4));
    int recovered = 0;
    for (const int i : asked) {
        QVERIFY(!n.checks[i].recheckRequested);
        if (n.checks[i].status == QLatin1String("ok")) {
            ++recovered;
            QVERIFY(!n.checks[i].acknowledged);
        }
    }
    QVERIFY(recovered > 0);
}

void TestSimulation::silencesRunOut()
{
    Simulation sim(5);
    Network n = sim.generate(40, Start);
    const Silence quick {n.nextSilenceId++, QStringLiteral("port"), 0, 0, n.ports.first().portId, 0, 1, QString(),
        QStringLiteral("x"), Start};
    const Silence forever {n.nextSilenceId++, QStringLiteral("plugin"), n.checks.first().hostId,
        n.checks.first().pluginId, 0, 0, 0, QString(), QStringLiteral("x"), Start};
    n.silences += {quick, forever};
    n.setSilenced(quick, true);
    n.setSilenced(forever, true);
    sim.tick(n, Start.addSecs(30));
    QVERIFY(n.ports.first().dnd);
    sim.tick(n, Start.addSecs(61));
    QVERIFY(!n.ports.first().dnd);
    QVERIFY(n.checks.first().dnd);
    QCOMPARE(n.silences.size(), 2); // the maintenance silence of 4 hours and the one without end
}

void TestSimulation::largeNetwork()
{
    Simulation sim(1);
    Network n = sim.generate(3000, Start);
    QCOMPARE(n.hosts.size(), 3000);
    sim.tick(n, Start.addSecs(4));
    QStandardItemModel model;
    treemodel::buildTreeModel(n.treePayload(), &model);
    QCOMPARE(model.rowCount(), 4);
}

void TestSimulation::badOptions()
{
    QProcess sim;
    sim.start(QStringLiteral(NORV_SIM), {QStringLiteral("--port"), QStringLiteral("nittio")});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardError().contains("--port must be a number"));

    QProcess ok;
    ok.start(QStringLiteral(NORV_SIM),
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--hosts"), QStringLiteral("12"),
            QStringLiteral("--server-version"), QStringLiteral("9.1")});
    QVERIFY(ok.waitForReadyRead(10000));
    const QString banner = QString::fromUtf8(ok.readAllStandardOutput());
    QVERIFY2(banner.contains(QStringLiteral("listening on http://127.0.0.1:")), qPrintable(banner));
    QVERIFY(banner.contains(QStringLiteral("12 hosts")));
    const QString url = banner.section(QLatin1Char(' '), 3, 3);
    ApiClient client(url, QString());
    client.login(QStringLiteral("admin"), QStringLiteral("admin"), QString());
    QCOMPARE(client.me()[QLatin1String("server_version")].toString(), QStringLiteral("9.1"));
    ok.kill();
    ok.waitForFinished();
}

NORV_TEST_MAIN(TestSimulation)
#include "tst_simulation.moc"
