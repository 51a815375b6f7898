#include "poller.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QPointer>

using standin::Fault;

namespace {

QStringList paths(const QList<standin::RecordedRequest>& requests)
{
    QStringList list;
    for (const auto& r : requests)
        list.append(r.path);
    return list;
}

const QString Me = QStringLiteral("/api/auth/me");
const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

// Owns a running poller for one test and makes sure it has ended before the next test starts. The payloads are
// collected on this thread, as the server tab receives them: queued.
struct Running {
    PollerThread* poller;
    QObject context;
    QList<QJsonObject> me, status, tree;
    QStringList errors;
    int lost = 0;

    explicit Running(PollerThread* p)
        : poller(p)
    {
        QObject::connect(poller, &PollerThread::meReady, &context, [this](const QJsonObject& o) { me.append(o); });
        QObject::connect(
            poller, &PollerThread::statusReady, &context, [this](const QJsonObject& o) { status.append(o); });
        QObject::connect(poller, &PollerThread::treeReady, &context, [this](const QJsonObject& o) { tree.append(o); });
        QObject::connect(poller, &PollerThread::pollError, &context, [this](const QString& m) { errors.append(m); });
        QObject::connect(poller, &PollerThread::authLost, &context, [this] { ++lost; });
        poller->start();
    }
    ~Running()
    {
        poller->stopPolling();
        poller->wait(30000);
        delete poller;
    }
};

} // namespace

class TestPoller : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(server.listen()); }
    void init();

    void roundOrderAndIdentityOnce();
    void refreshDuringSleepStartsRoundAtOnce();
    void twoRefreshesDuringOneRoundSkipOneSleep();
    void stopDuringSleepEndsPromptly();
    void intervalHasFiveSecondFloor();
    void authLostMidRoundKeepsEarlierPayloads();
    void authLostOnIdentityStopsBeforeStatus();
    void failedIdentityIsRetriedBeforeStatus();
    void pollErrorKeepsPolling();
    void releaseDuringLongRoundDeletesAfterThreadEnds();
    void releaseSurvivesOwnerDeletion();

private:
    PollerThread* makePoller(int interval = 60, QObject* parent = nullptr)
    {
        return new PollerThread(server.url(), server.issueToken(QStringLiteral("viewer")), interval, parent, true);
    }
    standin::StandinServer server;
};

void TestPoller::init()
{
    server.clearFaults();
    server.clearRequests();
}

void TestPoller::roundOrderAndIdentityOnce()
{
    Running run(makePoller());
    QTRY_COMPARE(run.tree.size(), 1);
    QCOMPARE(paths(server.requests()), QStringList({Me, Status, Tree}));
    QCOMPARE(run.me.size(), 1);
    QCOMPARE(
        run.me.first().value(QLatin1String("user"))[QLatin1String("username")].toString(), QStringLiteral("viewer"));
    QCOMPARE(run.status.first().value(QLatin1String("status")).toString(), QStringLiteral("critical"));

    run.poller->refreshNow();
    QTRY_COMPARE(run.tree.size(), 2);
    QCOMPARE(paths(server.requests()), QStringList({Me, Status, Tree, Status, Tree}));
    QCOMPARE(run.me.size(), 1);
    QCOMPARE(run.errors.size(), 0);
}

void TestPoller::refreshDuringSleepStartsRoundAtOnce()
{
    Running run(makePoller());
    QTRY_COMPARE(run.tree.size(), 1);
    QTest::qWait(200); // now asleep for a minute
    QElapsedTimer clock;
    clock.start();
    run.poller->refreshNow();
    QTRY_COMPARE_WITH_TIMEOUT(run.tree.size(), 2, 2000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

// Requests for a round are a flag, not a count: two of them before the thread takes the flag give one extra round.
// Whether a second call lands in the same sleep or just after the thread woke depends on the scheduler, so the
// calls are made while a slow round runs, where they meet the same flag for certain: one sleep is skipped, not two.
void TestPoller::twoRefreshesDuringOneRoundSkipOneSleep()
{
    Fault slowTree = Fault::slow(600);
    slowTree.times = 1;
    server.setFault(Tree, slowTree);
    Running run(makePoller());
    QTRY_COMPARE(server.requests(Tree).size(), 1);
    run.poller->refreshNow();
    run.poller->refreshNow();
    QTRY_COMPARE(run.tree.size(), 2);
    QTest::qWait(1000);
    QCOMPARE(run.tree.size(), 2);
}

void TestPoller::stopDuringSleepEndsPromptly()
{
    Running run(makePoller());
    QTRY_COMPARE(run.tree.size(), 1);
    QTest::qWait(200);
    const int before = int(server.requests().size());
    QElapsedTimer clock;
    clock.start();
    run.poller->stopPolling();
    QVERIFY(run.poller->wait(2000));
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    run.poller->refreshNow();
    QTest::qWait(300);
    QCOMPARE(int(server.requests().size()), before);
}

void TestPoller::intervalHasFiveSecondFloor()
{
    Running run(makePoller(1));
    QList<qint64> roundStarts;
    QElapsedTimer clock;
    clock.start();
    connect(run.poller, &PollerThread::statusReady, this, [&] { roundStarts.append(clock.elapsed()); });
    QTRY_COMPARE(roundStarts.size(), 1);
    run.poller->setInterval(3); // takes effect at the sleep after the next round
    QTRY_COMPARE_WITH_TIMEOUT(roundStarts.size(), 3, 15000);
    const qint64 firstGap = roundStarts.at(1) - roundStarts.at(0);
    const qint64 secondGap = roundStarts.at(2) - roundStarts.at(1);
    QVERIFY2(firstGap >= 4900 && firstGap < 7000, qPrintable(QString::number(firstGap)));
    QVERIFY2(secondGap >= 4900 && secondGap < 7000, qPrintable(QString::number(secondGap)));
}

void TestPoller::authLostMidRoundKeepsEarlierPayloads()
{
    server.setFault(Tree, Fault::raw(401, R"({"error":"Token återkallad"})"));
    Running run(makePoller());
    QVERIFY(run.poller->wait(5000));
    QCoreApplication::processEvents(); // deliver what the thread queued before it ended
    QCOMPARE(run.me.size(), 1);
    QCOMPARE(run.status.size(), 1);
    QCOMPARE(run.tree.size(), 0);
    QCOMPARE(run.lost, 1);
    QCOMPARE(run.errors.size(), 0);
    run.poller->refreshNow();
    QTest::qWait(300);
    QCOMPARE(paths(server.requests()), QStringList({Me, Status, Tree}));
}

void TestPoller::authLostOnIdentityStopsBeforeStatus()
{
    PollerThread* poller = new PollerThread(server.url(), QStringLiteral("okänd-token"), 5, nullptr, true);
    Running run(poller);
    QVERIFY(run.poller->wait(5000));
    QCoreApplication::processEvents(); // deliver what the thread queued before it ended
    QCOMPARE(run.lost, 1);
    QCOMPARE(run.me.size(), 0);
    QCOMPARE(paths(server.requests()), QStringList({Me}));
}

void TestPoller::failedIdentityIsRetriedBeforeStatus()
{
    Fault unavailable = Fault::raw(503, R"({"error":"Servern startar om"})");
    unavailable.times = 1;
    server.setFault(Me, unavailable);
    Running run(makePoller());
    QTRY_COMPARE(run.errors.size(), 1);
    QCOMPARE(run.errors.first(), QStringLiteral("Servern startar om"));
    QTest::qWait(200);
    QCOMPARE(paths(server.requests()), QStringList({Me}));
    run.poller->refreshNow();
    QTRY_COMPARE(run.tree.size(), 1);
    QCOMPARE(paths(server.requests()), QStringList({Me, Me, Status, Tree}));
    QCOMPARE(run.me.size(), 1);
}

void TestPoller::pollErrorKeepsPolling()
{
    Fault failing = Fault::raw(500, "<html>fel</html>", "text/html");
    failing.times = 1;
    server.setFault(Status, failing);
    Running run(makePoller());
    QTRY_COMPARE(run.errors.size(), 1);
    QCOMPARE(run.errors.first(), QStringLiteral("HTTP 500"));
    QCOMPARE(run.tree.size(), 0); // the rest of the failed round is skipped
    run.poller->refreshNow();
    QTRY_COMPARE(run.tree.size(), 1);
    QCOMPARE(run.status.size(), 1);
    QCOMPARE(run.me.size(), 1);
}

void TestPoller::releaseDuringLongRoundDeletesAfterThreadEnds()
{
    server.setFault(Status, Fault::slow(1500));
    QPointer<PollerThread> poller = makePoller();
    poller->start();
    QTRY_COMPARE(server.requests(Status).size(), 1);
    QElapsedTimer clock;
    clock.start();
    poller->release(200);
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(poller); // its thread still runs, so it is still there
    QVERIFY(poller->isRunning());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(poller);
    QTRY_VERIFY_WITH_TIMEOUT(poller.isNull(), 10000);
    // The round in progress was finished, and no round followed it.
    QCOMPARE(paths(server.requests()), QStringList({Me, Status, Tree}));
}

void TestPoller::releaseSurvivesOwnerDeletion()
{
    server.setFault(Status, Fault::slow(1000));
    auto* owner = new QObject;
    QPointer<PollerThread> poller = makePoller(5, owner);
    poller->start();
    QTRY_COMPARE(server.requests(Status).size(), 1);
    poller->release(100);
    delete owner;
    QVERIFY(poller);
    QTRY_VERIFY_WITH_TIMEOUT(poller.isNull(), 10000);

    // A poller whose thread ends within the wait goes at once.
    QPointer<PollerThread> quick = makePoller(5, this);
    server.clearFaults();
    quick->start();
    QTRY_COMPARE(server.requests(Tree).size(), 2);
    quick->release(3000);
    QVERIFY(quick->isFinished());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(quick.isNull());
}

NORV_TEST_MAIN(TestPoller)
#include "tst_poller.moc"
