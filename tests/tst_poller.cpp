#include "poller.h"
#include "testsupport.h"

using standin::Fault;
Q_DECLARE_METATYPE(standin::Fault)

namespace {

const QString Me = QStringLiteral("/api/auth/me");
const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

QStringList paths(const QList<standin::RecordedRequest>& requests)
{
    QStringList list;
    for (const auto& r : requests)
        list.append(r.path);
    return list;
}

// Owns a running poller for one test and makes sure it has ended before the next test starts. The payloads are
// collected on this thread, as the server tab receives them: queued.
struct Running {
    PollerThread* poller;
    QObject context;
    QList<QJsonObject> me, status, tree;
    QList<treemodel::TreeUpdatePtr> updates;
    QStringList errors;
    int lost = 0;

    explicit Running(PollerThread* p)
        : poller(p)
    {
        QObject::connect(poller, &PollerThread::meReady, &context, [this](const QJsonObject& o) { me.append(o); });
        QObject::connect(
            poller, &PollerThread::statusReady, &context, [this](const QJsonObject& o) { status.append(o); });
        QObject::connect(poller, &PollerThread::treeReady, &context, [this](const QJsonObject& o) { tree.append(o); });
        QObject::connect(poller, &PollerThread::treeUpdated, &context,
            [this](const treemodel::TreeUpdatePtr& u) { updates.append(u); });
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
    void initTestCase() { testsupport::shortTimes(); }
    void init() { server.reset(); }

    void roundsAndTheirUpdates();
    void failedCallsAreReported_data();
    void failedCallsAreReported();
    void lostLoginEndsPolling_data();
    void lostLoginEndsPolling();
    void sleepWakeAndStop();
    void intervalHasItsFloorAndFollowsChanges();
    void releasedPollerGoesWhenItsThreadEnds();

private:
    PollerThread* makePoller(int interval = 60, QObject* parent = nullptr, const QString& token = QString())
    {
        return new PollerThread(
            server.url(), token.isNull() ? server.issueToken(QStringLiteral("viewer")) : token, interval, parent, true);
    }
    qint64 second() const { return PollerThread::secondMs(); }
    testsupport::Standin server;
};

// The identity once, then status and tree each round; each tree also comes as the update from the tree before it.
void TestPoller::roundsAndTheirUpdates()
{
    Running run(makePoller());
    QTRY_COMPARE(run.updates.size(), 1);
    run.poller->refreshNow();
    QTRY_COMPARE(run.updates.size(), 2);
    QCOMPARE(paths(server.requests()), QStringList({Me, Status, Tree, Status, Tree}));
    QCOMPARE(run.me.size(), 1);
    QCOMPARE(run.tree.size(), 2);
    QVERIFY(run.updates.first()->base == nullptr);
    QCOMPARE(run.updates.at(1)->base, run.updates.first()->tree);
    QVERIFY(run.updates.at(1)->changed.isEmpty() && run.updates.at(1)->reordered.isEmpty());
    QCOMPARE(run.updates.at(1)->tree->nodes.size(), treemodel::readTree(run.tree.first()).nodes.size());
}

void TestPoller::failedCallsAreReported_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("requests"); // up to the end of the second round
    // clang-format off
    QTest::newRow("identity: tried again before the status") << Me << QStringList {Me, Me, Status, Tree};
    QTest::newRow("status: the rest of the round skipped") << Status << QStringList {Me, Status, Status, Tree};
    // clang-format on
}

void TestPoller::failedCallsAreReported()
{
    QFETCH(QString, path);
    Fault failing = Fault::raw(503, R"({"error":"Servern startar om"})");
    failing.times = 1;
    server.setFault(path, failing);
    Running run(makePoller(1)); // the next round comes after the interval's floor
    QTRY_COMPARE(run.updates.size(), 1);
    QCOMPARE(run.errors, QStringList {QStringLiteral("Servern startar om")});
    QTEST(paths(server.requests()), "requests");
    QCOMPARE(run.me.size(), 1);
}

void TestPoller::lostLoginEndsPolling_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("statuses"); // delivered before the login was lost
    QTest::newRow("on the tree, after the status") << Tree << 1;
    QTest::newRow("on the identity") << Me << 0;
}

void TestPoller::lostLoginEndsPolling()
{
    QFETCH(QString, path);
    server.setFault(path, Fault::raw(401, R"({"error":"Token återkallad"})"));
    Running run(makePoller(1));
    QVERIFY(run.poller->wait(5000));
    QCoreApplication::processEvents(); // deliver what the thread queued before it ended
    QCOMPARE(run.lost, 1);
    QVERIFY(run.errors.isEmpty() && run.updates.isEmpty());
    QTEST(int(run.status.size()), "statuses");
    const qsizetype requests = server.requests().size();
    run.poller->refreshNow();
    QTest::qWait(10 * int(second()));
    QCOMPARE(server.requests().size(), requests);
}

// A refresh during the sleep starts a round at once; two refreshes during a round skip one sleep, not two; a stop
// during the sleep ends the thread without another request.
void TestPoller::sleepWakeAndStop()
{
    Running run(makePoller(3600));
    QTRY_COMPARE(run.updates.size(), 1);
    run.poller->refreshNow();
    QTRY_COMPARE_WITH_TIMEOUT(run.updates.size(), 2, 2000); // not an hour of the interval
    Fault slowTree = Fault::slow(300);
    slowTree.times = 1;
    server.setFault(Tree, slowTree);
    run.poller->refreshNow();
    QTRY_COMPARE(server.requests(Tree).size(), 3);
    run.poller->refreshNow();
    run.poller->refreshNow();
    QTRY_COMPARE(run.updates.size(), 4);
    QTest::qWait(500);
    QCOMPARE(run.updates.size(), 4);
    const qsizetype requests = server.requests().size();
    run.poller->stopPolling();
    QVERIFY(run.poller->wait(2000));
    QCOMPARE(server.requests().size(), requests);
}

// An interval below 5 s sleeps 5 s, and a new interval takes effect at the next sleep.
void TestPoller::intervalHasItsFloorAndFollowsChanges()
{
    Running run(makePoller(1));
    QElapsedTimer clock;
    QList<qint64> rounds;
    clock.start();
    connect(run.poller, &PollerThread::statusReady, this, [&] { rounds.append(clock.elapsed()); });
    QTRY_COMPARE(rounds.size(), 2);
    run.poller->setInterval(20);
    QTRY_COMPARE_WITH_TIMEOUT(rounds.size(), 4, 10000);
    QVERIFY(rounds.at(1) - rounds.at(0) >= 5 * second());
    QVERIFY(rounds.at(3) - rounds.at(2) >= 20 * second());
}

// A poller given up during a long round is deleted only once its thread has ended, even when its owner goes first;
// one whose thread ends within the wait goes at once.
void TestPoller::releasedPollerGoesWhenItsThreadEnds()
{
    server.setFault(Status, Fault::slow(300)); // within the (shortened) silence the request may keep
    auto* owner = new QObject;
    QPointer<PollerThread> poller = makePoller(60, owner);
    poller->start();
    QTRY_COMPARE(server.requests(Status).size(), 1);
    poller->release(100);
    delete owner;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(poller && poller->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(poller.isNull(), 10000);
    QCOMPARE(paths(server.requests()), QStringList({Me, Status, Tree})); // that round finished, no other followed

    server.clearFaults();
    QPointer<PollerThread> quick = makePoller(60, this);
    quick->start();
    QTRY_COMPARE(server.requests(Tree).size(), 2);
    quick->release(3000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(quick.isNull());
}

NORV_TEST_MAIN(TestPoller)
#include "tst_poller.moc"
