// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/apiclient.h"
#include "simulation.h"
#include "testsupport.h"

using namespace standin;
using Call = std::function<void(ApiClient&, const Check&)>;
Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(standin::Schedule)

// norv-sim's network as the client meets it: what it answers to requests it cannot honour.
class TestSimulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        network = Simulation(7).generate(40, QDateTime::currentDateTime());
        server.setNetwork(network);
        QVERIFY(server.listen());
    }

    void badRequestsGetErrors_data()
    {
        // An empty user: a revoked token.
        testsupport::columns<QString, Call, int>("user", "call", "status");
        // Requests the client's operations never send: a form, a body and a path the server does not know. In a
        // path, %1 is the check's host and %2 the check.
        const auto raw = [](const char* method, const char* path, const QByteArray& body, const QByteArray& type) {
            return Call([=](ApiClient& c, const Check& k) {
                const QString at = QString::fromLatin1(path).replace("%1", QString::number(k.hostId));
                c.request(method, QString(at).replace("%2", QString::number(k.pluginId)), body, type, {}, true);
            });
        };
        // clang-format off
        QTest::newRow("wrong password") << "admin" << Call([](ApiClient& c, const Check&) { c.login(QStringLiteral("admin"), QStringLiteral("fel"), QString()); }) << 401;
        QTest::newRow("revoked token") << "" << Call([](ApiClient& c, const Check&) { c.status(); }) << 401;
        QTest::newRow("viewer acting") << "viewer" << Call([](ApiClient& c, const Check& k) { c.recheckHost(k.hostId); }) << 403;
        QTest::newRow("unknown host") << "admin" << Call([](ApiClient& c, const Check&) { c.recheckHost(99999); }) << 404;
        QTest::newRow("unknown silence") << "admin" << Call([](ApiClient& c, const Check&) { c.dndCancel(99999); }) << 404;
        QTest::newRow("unknown label") << "admin" << Call([](ApiClient& c, const Check& k) { c.metricSeries(k.hostId, k.pluginId, 0, QStringLiteral("finns inte"), 24, k.instanceId); }) << 404;
        QTest::newRow("bad form") << "admin" << raw("POST", "/api/dnd", "scope=host&host_id=x", "application/x-www-form-urlencoded") << 400;
        QTest::newRow("unknown scope") << "admin" << Call([](ApiClient& c, const Check&) { c.dndCreate(QStringLiteral("allt"), 1, 0, 0, 5, QString(), 0); }) << 400;
        QTest::newRow("bad acknowledgement") << "admin" << raw("POST", "/api/hosts/%1/plugins/%2/acknowledge", "[1,2", "application/json") << 400;
        QTest::newRow("unknown path") << "admin" << raw("GET", "/api/finns/inte", {}, {}) << 404;
        QTest::newRow("page 0") << "admin" << Call([](ApiClient& c, const Check&) { c.alarmlog(0, 100, false, QString()); }) << 400;
        // clang-format on
    }
    // Wrong credentials, revoked tokens, unknown ids and malformed requests get the right status and the server's
    // own error text, never a crash.
    void badRequestsGetErrors()
    {
        QFETCH(QString, user);
        ApiClient client(server.url(), server.issueToken(user.isEmpty() ? QStringLiteral("admin") : user));
        if (user.isEmpty())
            server.revokeToken(client.token());
        try {
            testsupport::fetch<Call>("call")(client, network.checks.first());
            QFAIL("the request succeeded");
        } catch (const ApiError& e) {
            QTEST(e.status, "status");
            QVERIFY2(!e.message.startsWith(QStringLiteral("HTTP ")), qPrintable(e.message));
        }
    }

    void lastOkMovesOnlyWhenACheckRuns_data()
    {
        testsupport::columns<Schedule, int>("schedule", "step"); // seconds between steps
        QTest::newRow("a minute while OK, 15 s while failing") << Schedule() << 4;
        QTest::newRow("10 s and 5 s, stepped each 3 s") << Schedule {10, 5, false} << 3;
        QTest::newRow("every check at every step") << Schedule {60, 15, true} << 4;
    }
    // A check's last-OK time and output change only at the steps at which it runs: when its time has come (each
    // check at a moment of its own), or at every step. A healthy check that runs moves its last-OK time to the step's.
    void lastOkMovesOnlyWhenACheckRuns()
    {
        QFETCH(Schedule, schedule);
        Simulation simulation(3, schedule);
        const QDateTime start = QDateTime::fromString(QStringLiteral("2026-12-07T10:00:00"), Qt::ISODate);
        Network n = simulation.generate(40, start);
        QSet<int> ran; // checks that ran at least once
        for (int second = testsupport::fetch<int>("step"); second <= schedule.okSeconds + 5;
             second += testsupport::fetch<int>("step")) {
            const QList<Check> before = n.checks;
            const QDateTime now = start.addSecs(second);
            simulation.tick(n, now);
            int running = 0;
            for (int i = 0; i < before.size(); ++i) {
                const bool runs = schedule.everyStep || before.at(i).nextRun <= now.toMSecsSinceEpoch();
                running += runs;
                if (runs)
                    ran.insert(i);
                if (runs && n.checks.at(i).status == QLatin1String("ok"))
                    QCOMPARE(n.checks.at(i).lastOk, now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
                if (!runs) {
                    QCOMPARE(n.checks.at(i).lastOk, before.at(i).lastOk);
                    QCOMPARE(n.checks.at(i).output, before.at(i).output);
                }
            }
            QVERIFY(schedule.everyStep || running < before.size() / 2); // each at a moment of its own
        }
        QCOMPARE(ran.size(), n.checks.size());
    }

private:
    Network network;
    StandinServer server;
};

NORV_TEST_MAIN(TestSimulation)
#include "tst_simulation.moc"
