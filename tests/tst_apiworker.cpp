// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/apiclient.h"
#include "net/apiworker.h"
#include "testsupport.h"

using Job = ApiWorker::Job;
Q_DECLARE_METATYPE(Job)

// Collects what one worker reports, on this thread.
struct Outcome : QObject {
    QList<QJsonValue> done;
    QStringList failed;
};

class TestApiWorker : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { server.reset(); }
    void cleanup() { QTRY_VERIFY(ApiWorker::active().isEmpty()); }

    void outcomes_data()
    {
        testsupport::columns<Job, QJsonValue, QString>("job", "value", "failure");
        const auto fails = [](auto error) { return Job([error](ApiClient&) -> QJsonValue { throw error; }); };
        // clang-format off
        QTest::newRow("a value") << Job([](ApiClient&) { return QJsonValue(42); }) << QJsonValue(42) << QString();
        QTest::newRow("the server's error") << fails(ApiError(500, QStringLiteral("Databasen är låst"))) << QJsonValue() << "Databasen är låst";
        QTest::newRow("another exception") << fails(std::runtime_error("Disken är full")) << QJsonValue() << "Disken är full";
        QTest::newRow("not an exception") << fails(42) << QJsonValue() << "Okänt fel";
        // clang-format on
    }
    // Exactly one of the two signals, with the job's value as it is or the failure's text; then the worker is gone.
    void outcomes()
    {
        Outcome outcome;
        QPointer<ApiWorker> worker = start(testsupport::fetch<Job>("job"), &outcome);
        QVERIFY(ApiWorker::active().contains(worker));
        QTRY_COMPARE(outcome.done.size() + outcome.failed.size(), 1);
        QTRY_VERIFY(worker.isNull());
        QTEST(outcome.done.value(0), "value");
        QTEST(outcome.failed.value(0), "failure");
    }

    // A chart window closed before its answer came: the worker finishes, reports into nothing and goes away.
    void receiverDeletedFirst()
    {
        server.setFault(QStringLiteral("/api/status"), standin::Fault::slow(400));
        auto* outcome = new Outcome;
        QPointer<ApiWorker> worker = start([](ApiClient& c) { return QJsonValue(c.status()); }, outcome);
        QTRY_COMPARE(server.requests().size(), 1);
        delete outcome;
        QVERIFY(worker);
        QTRY_VERIFY(worker.isNull());
    }

private:
    QPointer<ApiWorker> start(Job job, Outcome* outcome)
    {
        auto* worker = new ApiWorker(std::move(job), server.url(), server.issueToken(QStringLiteral("operator")));
        connect(worker, &ApiWorker::done, outcome, [outcome](const QJsonValue& v) { outcome->done.append(v); });
        connect(worker, &ApiWorker::failed, outcome, [outcome](const QString& m) { outcome->failed.append(m); });
        worker->startTracked();
        return worker;
    }
    testsupport::Standin server;
};

NORV_TEST_MAIN(TestApiWorker)
#include "tst_apiworker.moc"
