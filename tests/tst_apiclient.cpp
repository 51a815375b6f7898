// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/version.h"
#include "net/apiclient.h"
#include "net/poller.h"
#include "testsupport.h"

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
};

Outcome call(const std::function<QJsonObject()>& f)
{
    try {
        f();
        return {QStringLiteral("ok"), -1, QString()};
    } catch (const AuthError& e) {
        return {QStringLiteral("AuthError"), e.status, e.message};
    } catch (const ApiError& e) {
        return {QStringLiteral("ApiError"), e.status, e.message};
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
        // clang-format off
        QTest::newRow("me") << Operation([](ApiClient& c) { c.me(); }) << B("GET") << "/api/auth/me" << B() << B() << B();
        QTest::newRow("logout") << Operation([](ApiClient& c) { c.logout(); }) << B("POST") << "/api/auth/logout" << B() << B() << B();
        // A literal "+" reaches the server as "+" whichever way it decodes queries and forms.
        QTest::newRow("alarmlog active search") << Operation([](ApiClient& c) { c.alarmlog(3, 100, true, QStringLiteral("web 1+1&x=ö")); }) << B("GET") << "/api/alarmlog" << B("page=3&limit=100&active=1&q=web%201%2B1%26x%3D%C3%B6") << B() << B();
        QTest::newRow("series instance") << Operation([](ApiClient& c) { c.metricSeries(11, 104, 0, QStringLiteral("använt"), 168, 2); }) << B("GET") << "/api/hosts/11/plugins/104/metrics/data" << B("label=anv%C3%A4nt&hours=168&instance=2") << B() << B();
        QTest::newRow("ack comment, instance") << Operation([](ApiClient& c) { c.acknowledge(11, 104, 0, QStringLiteral("Tittar på det ✓"), 2); }) << B("POST") << "/api/hosts/11/plugins/104/acknowledge" << B("instance=2") << B(R"({"comment":"Tittar på det ✓"})") << json;
        QTest::newRow("ack port wins") << Operation([](ApiClient& c) { c.acknowledge(12, 104, 501, QString(), 2); }) << B("POST") << "/api/switch-ports/501/acknowledge" << B() << B("{}") << json;
        QTest::newRow("dnd plugin all fields") << Operation([](ApiClient& c) { c.dndCreate("plugin", 11, 104, 0, 240, QStringLiteral("disk+full & mer"), 2); }) << B("POST") << "/api/dnd" << B() << B("scope=plugin&host_id=11&plugin_id=104&instance_id=2&minutes=240&reason=disk%2Bfull%20%26%20mer") << form;
        QTest::newRow("dnd port until further notice") << Operation([](ApiClient& c) { c.dndCreate(QStringLiteral("port"), 0, 0, 501, 0, QString(), 0); }) << B("POST") << "/api/dnd" << B() << B("scope=port&port_id=501") << form;
        QTest::newRow("recheck instance") << Operation([](ApiClient& c) { c.recheckPlugin(11, 104, 3); }) << B("POST") << "/api/hosts/11/plugins/104/recheck" << B("instance=3") << B() << B();
        QTest::newRow("POST without body has no content type") << Operation([](ApiClient& c) { c.request("POST", "/api/hosts/10/recheck", {}, "application/json", {}, true); }) << B("POST") << "/api/hosts/10/recheck" << B() << B() << B();
        QTest::newRow("unknown method sends GET without body") << Operation([](ApiClient& c) { c.request("post", "/api/status", "x=1", "text/plain", {}, true); }) << B("GET") << "/api/status" << B() << B() << B("text/plain");
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

    void outcomes_data()
    {
        // An empty url: the stand-in, answering as the fault says.
        testsupport::columns<QString, Fault, QString, int, QString>("url", "fault", "kind", "status", "message");
        const QString invalid = QStringLiteral("Ogiltigt svar från servern"), lost = "Kan inte nå servern: ";
        Fault cutOff = Fault::raw(200, R"({"status":"ok"}{"status":"ok"})");
        cutOff.delivery = Fault::Delivery::CutOff; // half a body that parses is still no answer
        Fault drip = Fault::drip(50); // never silent for long, never getting anywhere
        drip.answer = Fault::raw(200, QByteArray(40000, ' ') + "{}").answer;
        const auto raw = [](int status, const char* body) { return Fault::raw(status, body); };
        // clang-format off
        QTest::newRow("401 with error text") << "" << raw(401, R"({"error":"Token återkallad"})") << "AuthError" << 401 << "Token återkallad";
        QTest::newRow("500 html") << "" << raw(500, "<html><body>Internal error</body></html>") << "ApiError" << 500 << "HTTP 500";
        QTest::newRow("403 error text") << "" << raw(403, R"({"error":"Otillräcklig behörighet"})") << "ApiError" << 403 << "Otillräcklig behörighet";
        // The token goes to the server's own origin alone: a redirect elsewhere is not followed.
        QTest::newRow("302 to another origin") << "" << Fault::redirect(302, "http://127.0.0.1:1/api/status") << "ApiError" << 302 << "HTTP 302";
        QTest::newRow("302 within the origin") << "" << Fault::redirect(302, (server.url() + "/api/tree/status").toUtf8()) << "ok" << -1 << "";
        QTest::newRow("304 with a JSON object, its error text empty") << "" << raw(304, R"({"status":"ok","error":""})") << "ApiError" << 304 << "HTTP 304";
        QTest::newRow("204 empty") << "" << raw(204, "") << "ok" << -1 << "";
        QTest::newRow("200 array") << "" << raw(200, "[1,2]") << "ApiError" << 200 << invalid;
        QTest::newRow("refused") << "http://127.0.0.1:1" << Fault() << "ApiError" << 0 << lost + "anslutningen nekades";
        QTest::newRow("unknown host") << "http://norv-finns-inte.invalid" << Fault() << "ApiError" << 0 << lost + "okänd värd";
        QTest::newRow("cut off in the body") << "" << cutOff << "ApiError" << 0 << lost + "anslutningen bröts";
        QTest::newRow("silent") << "" << Fault::hang() << "ApiError" << 0 << lost + "inget svar inom 10 s";
        QTest::newRow("dripping") << "" << drip << "ApiError" << 0 << lost + "svaret tog för lång tid";
        // clang-format on
    }
    // What every answer, or the lack of one, comes to: a success, or an error with the status and a message in the
    // operator's language, given up for its own reason well before the last-resort cap.
    void outcomes()
    {
        QFETCH(QString, url);
        server.setFault(QStringLiteral("/api/status"), testsupport::fetch<Fault>("fault"));
        ApiClient client(url.isEmpty() ? server.url() : url, server.issueToken(QStringLiteral("viewer")));
        const QDeadlineTimer halfTheCap(ApiClient::limits().capMs / 2);
        const Outcome outcome = call([&] { return client.status(); });
        QVERIFY(!halfTheCap.hasExpired() && !client.busy()); // and nothing is left waiting
        QTEST(outcome.kind, "kind");
        QTEST(outcome.status, "status");
        QTEST(outcome.message, "message");
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

private:
    ApiClient::RequestLimits shipped;
    int shippedSecondMs = 0;
    testsupport::Standin server;
};

NORV_TEST_MAIN(TestApiClient)
#include "tst_apiclient.moc"
