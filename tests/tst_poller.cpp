// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/apiclient.h"
#include "net/poller.h"
#include "testsupport.h"

using standin::Fault;

namespace {

const QString Me = QStringLiteral("/api/auth/me");
const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

// Owns a running poller for one test and makes sure it has ended before the next test starts. What it delivers is
// noted on this thread, as the server tab receives it: queued.
struct Running {
    PollerThread* poller;
    QObject context;
    QStringList events; // "me", "status", "tree", "lost", or an error's message
    treemodel::TreeUpdatePtr tree; // the last tree

    explicit Running(PollerThread* p)
        : poller(p)
    {
        const auto note = [this](const char* event) { return [this, event] { events.append(QLatin1String(event)); }; };
        QObject::connect(poller, &PollerThread::meReady, &context, note("me"));
        QObject::connect(poller, &PollerThread::statusReady, &context, note("status"));
        QObject::connect(poller, &PollerThread::authLost, &context, note("lost"));
        QObject::connect(poller, &PollerThread::pollError, &context, [this](const QString& m) { events.append(m); });
        QObject::connect(poller, &PollerThread::treeUpdated, &context, [this](const treemodel::TreeUpdatePtr& update) {
            events.append(QStringLiteral("tree"));
            tree = update;
        });
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

    void lostLoginEndsPolling_data()
    {
        testsupport::columns<QString, QStringList>("path", "events");
        QTest::newRow("on the tree, after the status") << Tree << QStringList {"me", "status", "lost"};
        QTest::newRow("on the identity") << Me << QStringList {"lost"};
    }
    // A rejected token ends the thread: nothing more is asked, not even when a refresh is asked for.
    void lostLoginEndsPolling()
    {
        server.setFault(testsupport::fetch<QString>("path"), Fault::raw(401, R"({"error":"Token återkallad"})"));
        Running run(makePoller(1));
        QVERIFY(run.poller->wait(5000));
        QCoreApplication::processEvents(); // deliver what the thread queued before it ended
        QTEST(run.events, "events");
        const qsizetype requests = server.requests().size();
        run.poller->refreshNow();
        QVERIFY(!run.poller->isRunning());
        QCOMPARE(server.requests().size(), requests);
    }

    void treeTextBeyondTheReader_data()
    {
        testsupport::columns<QByteArray>("body");
        QTest::newRow("a lone surrogate") << QByteArray(R"({"hosts":[{"id":1,"name":"\ud800"}]})");
        QTest::newRow("truncated") << QByteArray("{\"hosts\":[{\"id\":1");
    }
    // A tree's text that the poller's reader leaves to Qt's parser is decided by it as any other answer: the tree
    // Qt's document holds, or the error of an invalid answer.
    void treeTextBeyondTheReader()
    {
        const QByteArray body = testsupport::fetch<QByteArray>("body");
        server.setFault(Tree, Fault::raw(200, body));
        Running run(makePoller(3600));
        QTRY_COMPARE(run.events.size(), 3);
        try {
            const treemodel::Tree tree = treemodel::readTree(ApiClient::decodeBody(200, body));
            QCOMPARE(run.events.last(), QStringLiteral("tree"));
            QCOMPARE(run.tree->shape->nodes.size(), tree.shape->nodes.size());
            for (int n = 0; n < tree.shape->nodes.size(); ++n)
                QVERIFY(run.tree->rows.find(n) && *run.tree->rows.find(n) == *tree.rows.find(n));
        } catch (const ApiError& e) {
            QCOMPARE(run.events.last(), e.message);
        }
    }

    // A refresh during the sleep starts a round at once; two refreshes during a round skip one sleep, not two; a stop
    // during the sleep ends the thread without another request.
    void sleepWakeAndStop()
    {
        Running run(makePoller(3600));
        QTRY_COMPARE(run.events.count(QStringLiteral("tree")), 1);
        run.poller->refreshNow();
        QTRY_COMPARE_WITH_TIMEOUT(run.events.count(QStringLiteral("tree")), 2, 2000); // not an hour of the interval
        Fault slowTree = Fault::slow(300);
        slowTree.times = 1;
        server.setFault(Tree, slowTree);
        run.poller->refreshNow();
        QTRY_COMPARE(server.requests(Tree).size(), 3);
        run.poller->refreshNow();
        run.poller->refreshNow();
        QTRY_COMPARE(run.events.count(QStringLiteral("tree")), 4);
        // A fifth round would have begun at once; the stop comes while the poller sleeps, and ends it without one.
        run.poller->stopPolling();
        QVERIFY(run.poller->wait(2000));
        QCOMPARE(server.requests(Tree).size(), 4);
    }

    // A poller given up during a long round is deleted only once its thread has ended, even when its owner goes
    // first.
    void releasedPollerGoesWhenItsThreadEnds()
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
        QCOMPARE(server.requests().size(), 3); // me, status and tree: that round finished, and no other followed
    }

private:
    PollerThread* makePoller(int interval = 60, QObject* parent = nullptr)
    {
        return new PollerThread(server.url(), server.issueToken(QStringLiteral("viewer")), interval, parent, true);
    }
    testsupport::Standin server;
};

NORV_TEST_MAIN(TestPoller)
#include "tst_poller.moc"
