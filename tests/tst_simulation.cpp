#include "apiclient.h"
#include "simulation.h"
#include "testsupport.h"
#include "treemodel.h"

using namespace standin;
using Call = std::function<void(ApiClient&, const Check&)>;
Q_DECLARE_METATYPE(Call)

namespace {

const QDateTime Start(QDate(2026, 12, 6), QTime(12, 0));

template <typename List, typename Predicate> qsizetype count(const List& list, Predicate predicate)
{
    return std::count_if(list.cbegin(), list.cend(), predicate);
}

} // namespace

// norv-sim's network: its shape, its life in time, and the client's conversation with it.
class TestSimulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        network = simulation.generate(40, Start);
        server.setNetwork(network);
        QVERIFY(server.listen());
    }

    void generatedNetworkShape()
    {
        QCOMPARE(network.hosts.size(), 40);
        QVERIFY(count(network.groups, [](const Group& g) { return g.parentId != 0; }) > 0); // nested groups
        QVERIFY(count(network.hosts, [](const Host& h) { return h.groupId == 0; }) > 0); // some outside any group
        QVERIFY(count(network.checks, [](const Check& c) { return c.instanceId == 3; }) > 0); // multi-instance disks
        QVERIFY(count(network.checks, [](const Check& c) { return !c.hard && isProblem(c.status); }) > 0);
        QVERIFY(count(network.checks, [](const Check& c) { return c.hard && isProblem(c.status); }) > 0);
        QVERIFY(network.alarms.size() > 100); // more than a page of history
        QCOMPARE(Simulation(7).generate(40, Start).treePayload(), network.treePayload()); // the seed decides
        QVERIFY(Simulation(8).generate(40, Start).treePayload() != network.treePayload());
    }

    // Acknowledgements show in the status, silences in the list, re-checks on every check of the host.
    void actionsAreHonoured()
    {
        ApiClient client(server.url(), server.issueToken(QStringLiteral("operator")));
        const Check& problem = *std::find_if(network.checks.cbegin(), network.checks.cend(),
            [](const Check& c) { return isProblem(c.status) && !c.acknowledged; });
        client.acknowledge(problem.hostId, problem.pluginId, 0, QStringLiteral("Tittar"), problem.instanceId);
        const int host = network.hosts.at(1).id;
        client.dndCreate(QStringLiteral("host"), host, 0, 0, 30, QStringLiteral("Byte"), 0);
        client.recheckHost(host);
        Network after = server.network();
        QVERIFY(after.check(problem.hostId, problem.pluginId, problem.instanceId)->acknowledged);
        QCOMPARE(client.dndSessions().size(), network.silences.size() + 1);
        QCOMPARE(count(after.checks, [&](const Check& c) { return c.hostId == host && !c.recheckRequested; }), 0);
        server.setNetwork(network);
    }

    void badRequestsGetErrors_data()
    {
        QTest::addColumn<QString>("user"); // empty: a revoked token
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
    // Wrong credentials, revoked tokens, unknown ids and malformed requests get the right status and the server's
    // own error text, never a crash.
    void badRequestsGetErrors()
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
    void networkLivesInTime()
    {
        Simulation sim(3);
        Network n = sim.generate(40, Start);
        const qsizetype alarmsBefore = n.alarms.size();
        const Silence quick {1, QStringLiteral("port"), 0, 0, n.ports.first().portId, 0, 1, {}, {}, Start};
        n.silences.append(quick);
        n.setSilenced(quick, true);
        qsizetype hardened = 0;
        for (int i = 1; i <= 30; ++i) {
            const Network before = n;
            sim.tick(n, Start.addSecs(4 * i));
            for (qsizetype k = 0; k < n.checks.size(); ++k)
                hardened += !before.checks[k].hard && n.checks[k].hard && isProblem(n.checks[k].status);
        }
        QVERIFY(n.alarms.size() > alarmsBefore + 10);
        QVERIFY(count(n.alarms, [](const Alarm& a) { return a.clearedAt > Start.toUTC(); }) > 0);
        QVERIFY(hardened > 0);
        QVERIFY(!n.ports.first().dnd);
        for (Check& c : n.checks)
            c.recheckRequested = isProblem(c.status);
        const Network asked = n;
        sim.tick(n, Start.addSecs(200));
        qsizetype settled = 0;
        for (qsizetype k = 0; k < n.checks.size(); ++k)
            settled += asked.checks[k].recheckRequested && n.checks[k].status == QLatin1String("ok");
        QVERIFY(settled > 0);
        QCOMPARE(count(n.checks, [](const Check& c) { return c.recheckRequested; }), 0);
    }

    // A bad option ends it with a message; otherwise it serves a network of the size asked for, in the version
    // asked for, that the client's own quick tree reader takes.
    void commandLine()
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
        QVERIFY(treemodel::readTree(client.treeStatusRaw().body, &tree));
        QCOMPARE(tree.children(-1).size(), 4); // three regions and the ungrouped
        sim.kill();
        sim.waitForFinished();
    }

private:
    Simulation simulation {7};
    Network network;
    StandinServer server;
};

NORV_TEST_MAIN(TestSimulation)
#include "tst_simulation.moc"
