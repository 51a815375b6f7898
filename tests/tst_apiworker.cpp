#include "apiclient.h"
#include "apiworker.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QPointer>
#include <QTcpServer>

using standin::Fault;

// Collects what one worker reports, on this thread.
struct Outcome : QObject {
    QList<QJsonValue> done;
    QStringList failed;

    void watch(ApiWorker* worker)
    {
        connect(worker, &ApiWorker::done, this, [this](const QJsonValue& v) { done.append(v); });
        connect(worker, &ApiWorker::failed, this, [this](const QString& m) { failed.append(m); });
    }
};

class TestApiWorker : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(server.listen()); }
    void init()
    {
        server.clearFaults();
        server.clearRequests();
    }
    void cleanup() { QTRY_VERIFY(ApiWorker::active().isEmpty()); }

    void doneCarriesArraysAndPlainValues();
    void failureCarriesClientMessage_data();
    void failureCarriesClientMessage();
    void receiverDeletedFirst();
    void twoWorkersEachWithOwnClient();

private:
    ApiWorker* start(ApiWorker::Job job, Outcome* outcome, const QString& url = QString())
    {
        auto* worker = new ApiWorker(
            std::move(job), url.isEmpty() ? server.url() : url, server.issueToken(QStringLiteral("operator")));
        outcome->watch(worker);
        worker->startTracked();
        return worker;
    }
    standin::StandinServer server;
};

void TestApiWorker::doneCarriesArraysAndPlainValues()
{
    server.update([](standin::Network& n) {
        n.silences.append({4, QStringLiteral("host"), 10, 0, 0, 0, 60, QStringLiteral("service"),
            QStringLiteral("Operatör"), QDateTime::currentDateTime()});
    });
    Outcome array, plain;
    QPointer<ApiWorker> worker = start([](ApiClient& c) { return QJsonValue(c.dndSessions()); }, &array);
    QVERIFY(ApiWorker::active().contains(worker));
    start([](ApiClient& c) { return c.status().value(QLatin1String("summary"))[QLatin1String("total")]; }, &plain);
    QTRY_COMPARE(array.done.size(), 1);
    QTRY_COMPARE(plain.done.size(), 1);
    QVERIFY(array.done.first().isArray());
    QCOMPARE(array.done.first().toArray().first()[QLatin1String("reason")].toString(), QStringLiteral("service"));
    QCOMPARE(plain.done.first(), QJsonValue(9));
    QVERIFY(array.failed.isEmpty() && plain.failed.isEmpty());
    QTRY_VERIFY(worker.isNull());
    QVERIFY(ApiWorker::active().isEmpty());
}

void TestApiWorker::failureCarriesClientMessage_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("messageStart");
    // clang-format off
    QTest::newRow("unreachable") << "unreachable" << "Kan inte nå servern: ";
    QTest::newRow("rejected token") << "401" << "Token återkallad";
    QTest::newRow("not an object") << "array" << "Ogiltigt svar från servern";
    QTest::newRow("empty job") << "empty" << "bad_function_call";
    // clang-format on
}

void TestApiWorker::failureCarriesClientMessage()
{
    QFETCH(QString, situation);
    QFETCH(QString, messageStart);
    QString url;
    ApiWorker::Job job = [](ApiClient& c) { return QJsonValue(c.status()); };
    if (situation == QLatin1String("unreachable")) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        url = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    } else if (situation == QLatin1String("401")) {
        server.setFault(QStringLiteral("/api/status"), Fault::raw(401, R"({"error":"Token återkallad"})"));
    } else if (situation == QLatin1String("array")) {
        server.setFault(QStringLiteral("/api/status"), Fault::raw(200, "[]"));
    } else {
        job = nullptr;
    }
    Outcome outcome;
    start(job, &outcome, url);
    QTRY_COMPARE(outcome.failed.size(), 1);
    QVERIFY2(outcome.failed.first().startsWith(messageStart), qPrintable(outcome.failed.first()));
    QVERIFY(outcome.done.isEmpty());
}

// A chart window closed before its answer came: the worker finishes, reports into nothing and goes away.
void TestApiWorker::receiverDeletedFirst()
{
    server.setFault(QStringLiteral("/api/status"), Fault::slow(400));
    auto* outcome = new Outcome;
    QPointer<ApiWorker> worker = start([](ApiClient& c) { return QJsonValue(c.status()); }, outcome);
    QTRY_COMPARE(server.requests().size(), 1);
    delete outcome;
    QVERIFY(worker);
    QTRY_VERIFY(worker.isNull());
    QVERIFY(ApiWorker::active().isEmpty());
}

void TestApiWorker::twoWorkersEachWithOwnClient()
{
    server.setFault(QStringLiteral("/api/tree/status"), Fault::slow(300));
    Outcome first, second;
    start([](ApiClient& c) { return QJsonValue(c.treeStatus()); }, &first);
    start([](ApiClient& c) { return QJsonValue(c.me()); }, &second);
    QCOMPARE(ApiWorker::active().size(), 2);
    QTRY_COMPARE(first.done.size(), 1);
    QTRY_COMPARE(second.done.size(), 1);
    QVERIFY(first.done.first()[QLatin1String("hosts")].isArray());
    QCOMPARE(
        second.done.first()[QLatin1String("user")][QLatin1String("username")].toString(), QStringLiteral("operator"));
    QTRY_VERIFY(ApiWorker::active().isEmpty());
}

NORV_TEST_MAIN(TestApiWorker)
#include "tst_apiworker.moc"
