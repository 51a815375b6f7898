#include "apiclient.h"
#include "poller.h"
#include "testsupport.h"
#include "version.h"

using standin::Fault;
using standin::RecordedRequest;
using Operation = std::function<void(ApiClient&)>;
Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(standin::Fault)

namespace {

// The outcome of one call: "ok", or the exception's kind with its status and message.
struct Outcome {
    QString kind;
    int status = -1;
    QString message;
    QJsonObject object;
};

Outcome call(const std::function<QJsonObject()>& f)
{
    try {
        return {QStringLiteral("ok"), -1, QString(), f()};
    } catch (const AuthError& e) {
        return {QStringLiteral("AuthError"), e.status, e.message, {}};
    } catch (const ApiError& e) {
        return {QStringLiteral("ApiError"), e.status, e.message, {}};
    }
}

} // namespace

class TestApiClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The shipped limits are noted before the tests shorten them for every test function.
    void initTestCase()
    {
        shipped = ApiClient::limits();
        shippedSecondMs = PollerThread::secondMs();
        testsupport::shortTimes();
    }
    void shippedLimitsAreInForce()
    {
        QCOMPARE(QList<qint64>(
                     {shipped.silenceMs, shipped.stallWindowMs, shipped.stallBytes, shipped.capMs, shippedSecondMs}),
            QList<qint64>({10000, 10000, 16 * 1024, 5 * 60 * 1000, 1000}));
    }
    void init() { server.reset(); }

    void operationsSendExactRequests_data()
    {
        // An empty contentType: no Content-Type header at all.
        testsupport::columns<Operation, QByteArray, QString, QByteArray, QByteArray, QByteArray>(
            "operation", "method", "path", "query", "body", "contentType");
        using B = QByteArray;
        const B json = "application/json", form = "application/x-www-form-urlencoded";
        const Operation me = [](ApiClient& c) { c.me(); };
        const Operation logout = [](ApiClient& c) { c.logout(); };
        const Operation log = [](ApiClient& c) { c.alarmlog(3, 100, true, QStringLiteral("web 1&x=ö")); };
        const Operation series = [](ApiClient& c) { c.metricSeries(11, 104, 0, QStringLiteral("använt"), 168, 2); };
        const Operation ack = [](ApiClient& c) { c.acknowledge(11, 104, 0, QStringLiteral("Tittar på det ✓"), 2); };
        const Operation ackPort = [](ApiClient& c) { c.acknowledge(12, 104, 501, QString(), 2); };
        const Operation dnd
            = [](ApiClient& c) { c.dndCreate("plugin", 11, 104, 0, 240, QStringLiteral("disk full & mer"), 2); };
        const Operation dndPort = [](ApiClient& c) { c.dndCreate(QStringLiteral("port"), 0, 0, 501, 0, QString(), 0); };
        const Operation recheck = [](ApiClient& c) { c.recheckPlugin(11, 104, 3); };
        const Operation bodiless
            = [](ApiClient& c) { c.request("POST", "/api/hosts/10/recheck", {}, "application/json", {}, true); };
        const Operation oddMethod
            = [](ApiClient& c) { c.request("post", "/api/status", "x=1", "text/plain", {}, true); };
        const B dndBody = "scope=plugin&host_id=11&plugin_id=104&instance_id=2&minutes=240"
                          "&reason=disk%20full%20%26%20mer";
        // clang-format off
        QTest::newRow("me") << me << B("GET") << "/api/auth/me" << B() << B() << B();
        QTest::newRow("logout") << logout << B("POST") << "/api/auth/logout" << B() << B() << B();
        QTest::newRow("alarmlog active search") << log << B("GET") << "/api/alarmlog" << B("page=3&limit=100&active=1&q=web%201%26x%3D%C3%B6") << B() << B();
        QTest::newRow("series instance") << series << B("GET") << "/api/hosts/11/plugins/104/metrics/data" << B("label=anv%C3%A4nt&hours=168&instance=2") << B() << B();
        QTest::newRow("ack comment, instance") << ack << B("POST") << "/api/hosts/11/plugins/104/acknowledge" << B("instance=2") << B(R"({"comment":"Tittar på det ✓"})") << json;
        QTest::newRow("ack port wins") << ackPort << B("POST") << "/api/switch-ports/501/acknowledge" << B() << B("{}") << json;
        QTest::newRow("dnd plugin all fields") << dnd << B("POST") << "/api/dnd" << B() << dndBody << form;
        QTest::newRow("dnd port until further notice") << dndPort << B("POST") << "/api/dnd" << B() << B("scope=port&port_id=501") << form;
        QTest::newRow("recheck instance") << recheck << B("POST") << "/api/hosts/11/plugins/104/recheck" << B("instance=3") << B() << B();
        QTest::newRow("POST without body has no content type") << bodiless << B("POST") << "/api/hosts/10/recheck" << B() << B() << B();
        QTest::newRow("unknown method sends GET without body") << oddMethod << B("GET") << "/api/status" << B() << B() << B("text/plain");
        // clang-format on
    }

    // The exact request of every operation: method, path, query, body, Content-Type, and a POST says its length, 0
    // when it has no body (some proxies refuse a POST without one).
    void operationsSendExactRequests()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        const QString token = server.issueToken(QStringLiteral("admin"));
        ApiClient client(server.url() + QStringLiteral("//"), token);
        QFETCH(Operation, operation);
        call([&] { return operation(client), QJsonObject(); }); // some rows name objects the sample network lacks
        const QList<RecordedRequest> requests = server.requests();
        QCOMPARE(requests.size(), 1);
        const RecordedRequest& r = requests.first();
        QCOMPARE(r.method, method);
        QTEST(r.path, "path");
        QTEST(r.query, "query");
        QCOMPARE(r.body, body);
        QCOMPARE(r.hasHeader("content-type"), !contentType.isEmpty());
        QCOMPARE(r.header("content-type"), contentType);
        QCOMPARE(r.header("content-length"), method == "POST" ? QByteArray::number(body.size()) : QByteArray());
        QCOMPARE(r.header("authorization"), "Bearer " + token.toUtf8());
        QCOMPARE(r.header("user-agent"), "norv-gui/" + appversion::clientVersion().toUtf8());
    }

    void answers_data()
    {
        testsupport::columns<int, QByteArray, QString, QString>("status", "body", "kind", "message");
        const QString invalid = QStringLiteral("Ogiltigt svar från servern");
        // clang-format off
        QTest::newRow("401 with error text") << 401 << QByteArray(R"({"error":"Token återkallad"})") << "AuthError" << "Token återkallad";
        QTest::newRow("500 html") << 500 << QByteArray("<html><body>Internal error</body></html>") << "ApiError" << "HTTP 500";
        QTest::newRow("403 error text") << 403 << QByteArray(R"({"error":"Otillräcklig behörighet"})") << "ApiError" << "Otillräcklig behörighet";
        QTest::newRow("302 without Location") << 302 << QByteArray() << "ApiError" << "HTTP 302";
        QTest::newRow("304 with a JSON object") << 304 << QByteArray(R"({"status":"ok"})") << "ApiError" << "HTTP 304";
        QTest::newRow("204 empty") << 204 << QByteArray() << "ok" << "";
        QTest::newRow("200 array") << 200 << QByteArray("[1,2]") << "ApiError" << invalid;
        QTest::newRow("200 truncated json") << 200 << QByteArray("{\"status\":\"ok\",\"summ") << "ApiError" << invalid;
        QTest::newRow("200 trailing garbage") << 200 << QByteArray(R"({"a":1} x)") << "ApiError" << invalid;
        // clang-format on
    }

    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, kind);
        server.setFault(QStringLiteral("/api/status"), Fault::raw(status, body));
        ApiClient client(server.url(), server.issueToken(QStringLiteral("viewer")));
        const Outcome outcome = call([&] { return client.status(); });
        QCOMPARE(outcome.kind, kind);
        QTEST(outcome.message, "message");
        QCOMPARE(outcome.status, kind == QLatin1String("ok") ? -1 : status);
        QCOMPARE(outcome.object, kind == QLatin1String("ok") ? QJsonDocument::fromJson(body).object() : QJsonObject());
    }

    void noAnswer_data()
    {
        // An empty url: the stand-in.
        testsupport::columns<QString, Fault, QString>("url", "fault", "reason");
        Fault cutOff = Fault::raw(200, R"({"status":"ok"}{"status":"ok"})");
        cutOff.delivery = Fault::Delivery::CutOff; // half a body that parses is still no answer
        Fault drip = Fault::drip(50); // never silent for long, never getting anywhere
        drip.answer = Fault::raw(200, QByteArray(40000, ' ') + "{}").answer;
        // clang-format off
        QTest::newRow("refused") << "http://127.0.0.1:1" << Fault() << "anslutningen nekades";
        QTest::newRow("unknown host") << "http://norv-finns-inte.invalid" << Fault() << "okänd värd";
        QTest::newRow("dropped") << QString() << Fault::drop() << "anslutningen bröts";
        QTest::newRow("cut off in the body") << QString() << cutOff << "anslutningen bröts";
        QTest::newRow("silent") << QString() << Fault::hang() << "inget svar inom 10 s";
        QTest::newRow("dripping") << QString() << drip << "svaret tog för lång tid";
        // clang-format on
    }

    void noAnswer()
    {
        QFETCH(QString, url);
        QFETCH(QString, reason);
        server.setFault(QStringLiteral("/api/status"), testsupport::fetch<Fault>("fault"));
        ApiClient client(url.isEmpty() ? server.url() : url, QStringLiteral("t"));
        const QDeadlineTimer halfTheCap(ApiClient::limits().capMs / 2);
        const Outcome outcome = call([&] { return client.status(); });
        QVERIFY(!halfTheCap.hasExpired()); // given up for its own reason, well before the last resort
        QCOMPARE(outcome.status, 0);
        QCOMPARE(outcome.message, QStringLiteral("Kan inte nå servern: %1").arg(reason));
        QCOMPARE(failureReason(outcome.message), reason);
    }

    void slowButSteadyTransfer_data()
    {
        testsupport::columns<int, QString>("capMs", "message");
        QTest::newRow("finishes") << ApiClient::limits().capMs << QString();
        QTest::newRow("the absolute cap still holds") << 1800 << "Kan inte nå servern: svaret tog för lång tid";
    }
    // A large answer over a slow link arrives: 160 KiB at 64 KiB/s takes several times the (shortened) window in which
    // at least 16 KiB must come. Only the cap on every request stops it.
    void slowButSteadyTransfer()
    {
        Fault slow = Fault::drip(62, 4096);
        slow.answer = Fault::raw(200, "{\"pad\":\"" + QByteArray(160 * 1024, 'x') + "\"}").answer;
        server.setFault(QStringLiteral("/api/status"), slow);
        ApiClient client(server.url(), QStringLiteral("t"));
        const int shortened = std::exchange(ApiClient::limits().capMs, testsupport::fetch<int>("capMs"));
        const QDeadlineTimer fourWindows(4 * ApiClient::limits().stallWindowMs);
        const Outcome outcome = call([&] { return client.status(); });
        ApiClient::limits().capMs = shortened;
        QTEST(outcome.message, "message");
        QVERIFY(fourWindows.hasExpired());
    }

    void tokenNeverFollowsRedirectToAnotherOrigin_data()
    {
        // In location, %1 is the other server's port and %2 the client's own server's.
        testsupport::columns<int, QString, bool>("status", "location", "followed");
        // clang-format off
        QTest::newRow("302 to another port") << 302 << "http://127.0.0.1:%1/api/status" << false;
        QTest::newRow("301 to another host name") << 301 << "http://localhost:%2/api/status" << false;
        QTest::newRow("308 to https") << 308 << "https://127.0.0.1:%1/api/status" << false;
        QTest::newRow("302 within the origin") << 302 << "http://127.0.0.1:%2/api/tree/status" << true;
        // clang-format on
    }

    void tokenNeverFollowsRedirectToAnotherOrigin()
    {
        QFETCH(int, status);
        QFETCH(bool, followed);
        testsupport::Standin other;
        QFETCH(QString, location);
        const QString target = location.replace(QLatin1String("%1"), QString::number(other.port()))
                                   .replace(QLatin1String("%2"), QString::number(server.port()));
        server.setFault(QStringLiteral("/api/status"), Fault::redirect(status, target.toUtf8()));
        ApiClient client(server.url(), server.issueToken(QStringLiteral("viewer")));
        const Outcome outcome = call([&] { return client.status(); });
        // Not followed is an error, not an empty success.
        QCOMPARE(outcome.kind, followed ? QStringLiteral("ok") : QStringLiteral("ApiError"));
        QCOMPARE(outcome.object.contains(QLatin1String("hosts")), followed);
        QTest::qWait(followed ? 0 : 200);
        QVERIFY(other.requests().isEmpty() || !other.requests().first().hasHeader("authorization"));
    }

    void plusArrivesIntact_data()
    {
        QTest::addColumn<bool>("plusAsSpace");
        QTest::newRow("server decodes + as a space") << true;
        QTest::newRow("server keeps + literal") << false;
    }

    // A literal "+" in the silence form, a search text or a metric label reaches the server as "+", whichever way the
    // server decodes forms and queries.
    void plusArrivesIntact()
    {
        server.setPlusAsSpace(testsupport::fetch<bool>("plusAsSpace"));
        server.update([](standin::Network& n) {
            n.ports.first().metrics.append(QStringLiteral("in+out"));
            n.alarms.append({99, QStringLiteral("warning"), QStringLiteral("web+1"), QStringLiteral("Disk"),
                QDateTime::currentDateTimeUtc(), QDateTime(), true, true, QString(), QString()});
        });
        ApiClient client(server.url(), server.issueToken(QStringLiteral("operator")));
        client.dndCreate(QStringLiteral("host"), 10, 0, 0, 60, QStringLiteral("disk+cpu 1+1"), 0);
        QCOMPARE(client.dndSessions().first()[QLatin1String("reason")].toString(), QStringLiteral("disk+cpu 1+1"));
        QCOMPARE(client.alarmlog(1, 100, false, QStringLiteral("web+1"))[QLatin1String("total")].toInt(), 1);
        QCOMPARE(client.metricSeries(12, 0, 500, QStringLiteral("in+out"), 1, 0)[QLatin1String("label")].toString(),
            QStringLiteral("in+out"));
    }

private:
    ApiClient::RequestLimits shipped;
    int shippedSecondMs = 0;
    testsupport::Standin server;
};

NORV_TEST_MAIN(TestApiClient)
#include "tst_apiclient.moc"
