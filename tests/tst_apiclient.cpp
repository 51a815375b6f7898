#include "apiclient.h"
#include "poller.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QTcpServer>

#include <functional>

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

QString closedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
}

} // namespace

class TestApiClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shippedLimitsAreInForce();
    void init() { server.reset(); }

    void operationsSendExactRequests_data();
    void operationsSendExactRequests();
    void answers_data();
    void answers();
    void noAnswer_data();
    void noAnswer();
    void slowButSteadyTransferFinishes();
    void tokenHandling();
    void tokenNeverFollowsRedirectToAnotherOrigin_data();
    void tokenNeverFollowsRedirectToAnotherOrigin();
    void plusArrivesIntact_data();
    void plusArrivesIntact();

private:
    testsupport::Standin server;
};

void TestApiClient::shippedLimitsAreInForce()
{
    const ApiClient::RequestLimits& limits = ApiClient::limits();
    QCOMPARE(limits.silenceMs, 10000);
    QCOMPARE(limits.stallWindowMs, 10000);
    QCOMPARE(limits.stallBytes, 16 * 1024);
    QCOMPARE(limits.capMs, 5 * 60 * 1000);
    QCOMPARE(PollerThread::secondMs().load(), 1000);
    testsupport::shortTimes();
}

void TestApiClient::operationsSendExactRequests_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType"); // empty: no Content-Type header at all

    auto row = [](const char* name, const char* method, const char* path, const char* query, const QByteArray& body,
                   const char* contentType, Operation op) {
        QTest::newRow(name) << op << QByteArray(method) << QString::fromUtf8(path) << QByteArray(query) << body
                            << QByteArray(contentType);
    };
    const char* json = "application/json";
    const char* form = "application/x-www-form-urlencoded";
    // clang-format off
    row("me", "GET", "/api/auth/me", "", {}, "", [](ApiClient& c) { c.me(); });
    row("logout", "POST", "/api/auth/logout", "", {}, "", [](ApiClient& c) { c.logout(); });
    row("status", "GET", "/api/status", "", {}, "", [](ApiClient& c) { c.status(); });
    row("tree", "GET", "/api/tree/status", "", {}, "", [](ApiClient& c) { c.treeStatus(); });
    row("alarmlog plain", "GET", "/api/alarmlog", "page=1&limit=100", {}, "", [](ApiClient& c) { c.alarmlog(1, 100, false, QString()); });
    row("alarmlog active search", "GET", "/api/alarmlog", "page=3&limit=100&active=1&q=web%201%26x%3D%C3%B6", {}, "", [](ApiClient& c) { c.alarmlog(3, 100, true, QStringLiteral("web 1&x=ö")); });
    row("dnd sessions", "GET", "/api/dnd", "", {}, "", [](ApiClient& c) { c.dndSessions(); });
    row("labels instance", "GET", "/api/hosts/11/plugins/104/metrics", "instance=2", {}, "", [](ApiClient& c) { c.metricLabels(11, 104, 0, 2); });
    row("labels negative instance", "GET", "/api/hosts/11/plugins/104/metrics", "", {}, "", [](ApiClient& c) { c.metricLabels(11, 104, 0, -1); });
    row("labels port", "GET", "/api/hosts/12/switch-ports/500/metrics", "", {}, "", [](ApiClient& c) { c.metricLabels(12, 99, 500, 3); });
    row("series instance", "GET", "/api/hosts/11/plugins/104/metrics/data", "label=anv%C3%A4nt&hours=168&instance=2", {}, "", [](ApiClient& c) { c.metricSeries(11, 104, 0, QStringLiteral("använt"), 168, 2); });
    row("series port", "GET", "/api/hosts/12/switch-ports/500/metrics/data", "label=in&hours=8", {}, "", [](ApiClient& c) { c.metricSeries(12, 7, 500, QStringLiteral("in"), 8, 2); });
    row("series empty label", "GET", "/api/hosts/10/plugins/102/metrics/data", "label&hours=1", {}, "", [](ApiClient& c) { c.metricSeries(10, 102, 0, QString(), 1, 0); });
    row("ack empty comment", "POST", "/api/hosts/10/plugins/101/acknowledge", "", "{}", json, [](ApiClient& c) { c.acknowledge(10, 101, 0, QString(), 0); });
    row("ack comment, instance", "POST", "/api/hosts/11/plugins/104/acknowledge", "instance=2", QByteArray(R"({"comment":"Tittar på det ✓"})"), json, [](ApiClient& c) { c.acknowledge(11, 104, 0, QStringLiteral("Tittar på det ✓"), 2); });
    row("ack port wins", "POST", "/api/switch-ports/501/acknowledge", "", "{}", json, [](ApiClient& c) { c.acknowledge(12, 104, 501, QString(), 2); });
    row("unack check", "POST", "/api/hosts/10/plugins/101/acknowledge/clear", "", {}, "", [](ApiClient& c) { c.unacknowledge(10, 101, 0, 0); });
    row("unack port", "POST", "/api/switch-ports/501/acknowledge/clear", "", {}, "", [](ApiClient& c) { c.unacknowledge(12, 104, 501, 1); });
    row("dnd host", "POST", "/api/dnd", "", "scope=host&host_id=12&minutes=60", form, [](ApiClient& c) { c.dndCreate(QStringLiteral("host"), 12, 0, 0, 60, QString(), 0); });
    row("dnd plugin all fields", "POST", "/api/dnd", "", "scope=plugin&host_id=11&plugin_id=104&instance_id=2&minutes=240&reason=disk%20full%20%26%20mer", form, [](ApiClient& c) { c.dndCreate(QStringLiteral("plugin"), 11, 104, 0, 240, QStringLiteral("disk full & mer"), 2); });
    row("dnd port until further notice", "POST", "/api/dnd", "", "scope=port&port_id=501", form, [](ApiClient& c) { c.dndCreate(QStringLiteral("port"), 0, 0, 501, 0, QString(), 0); });
    row("dnd cancel", "POST", "/api/dnd/7/cancel", "", {}, "", [](ApiClient& c) { c.dndCancel(7); });
    row("recheck instance", "POST", "/api/hosts/11/plugins/104/recheck", "instance=3", {}, "", [](ApiClient& c) { c.recheckPlugin(11, 104, 3); });
    row("recheck host negative id", "POST", "/api/hosts/-3/recheck", "", {}, "", [](ApiClient& c) { c.recheckHost(-3); });
    row("POST without body has no content type", "POST", "/api/hosts/10/recheck", "", {}, "", [](ApiClient& c) { c.request("POST", QStringLiteral("/api/hosts/10/recheck"), {}, "application/json", {}, true); });
    row("unknown method sends GET without body", "GET", "/api/status", "", {}, "text/plain", [](ApiClient& c) { c.request("post", QStringLiteral("/api/status"), "x=1", "text/plain", {}, true); });
    // clang-format on
}

// The exact request of every operation: method, path, query, body, Content-Type, and a POST says its length, 0
// when it has no body (some proxies refuse a POST without one).
void TestApiClient::operationsSendExactRequests()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    const QString token = server.issueToken(QStringLiteral("admin"));
    ApiClient client(server.url() + QStringLiteral("//"), token);
    call([&] {
        operation(client);
        return QJsonObject();
    }); // some rows name objects the sample network lacks; only the request matters here
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
    QCOMPARE(r.header("user-agent"), QByteArray("norv-gui/1.0.28")); // no VERSION file beside the tests
}

void TestApiClient::answers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    const QString invalid = QStringLiteral("Ogiltigt svar från servern");
    // clang-format off
    QTest::newRow("401 with error text") << 401 << QByteArray(R"({"error":"Token återkallad"})") << "AuthError" << "Token återkallad";
    QTest::newRow("401 empty") << 401 << QByteArray() << "AuthError" << "HTTP 401";
    QTest::newRow("401 error empty string") << 401 << QByteArray(R"({"error":""})") << "AuthError" << "HTTP 401";
    QTest::newRow("500 html") << 500 << QByteArray("<html><body>Internal error</body></html>") << "ApiError" << "HTTP 500";
    QTest::newRow("404 error is a number") << 404 << QByteArray(R"({"error":42})") << "ApiError" << "HTTP 404";
    QTest::newRow("403 error text") << 403 << QByteArray(R"({"error":"Otillräcklig behörighet"})") << "ApiError" << "Otillräcklig behörighet";
    QTest::newRow("503 json array") << 503 << QByteArray(R"(["error"])") << "ApiError" << "HTTP 503";
    QTest::newRow("302 without Location") << 302 << QByteArray() << "ApiError" << "HTTP 302";
    QTest::newRow("304 with a JSON object") << 304 << QByteArray(R"({"status":"ok"})") << "ApiError" << "HTTP 304";
    QTest::newRow("204 empty") << 204 << QByteArray() << "ok" << "";
    QTest::newRow("201 object") << 201 << QByteArray(R"({"id":5})") << "ok" << "";
    QTest::newRow("200 array") << 200 << QByteArray("[1,2]") << "ApiError" << invalid;
    QTest::newRow("200 truncated json") << 200 << QByteArray(R"({"status":"ok","summ)") << "ApiError" << invalid;
    QTest::newRow("200 trailing garbage") << 200 << QByteArray(R"({"a":1} x)") << "ApiError" << invalid;
    // clang-format on
}

void TestApiClient::answers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    server.setFault(QStringLiteral("/api/status"), Fault::raw(status, body));
    ApiClient client(server.url(), server.issueToken(QStringLiteral("viewer")));
    const Outcome outcome = call([&] { return client.status(); });
    QTEST(outcome.kind, "kind");
    QTEST(outcome.message, "message");
    QCOMPARE(outcome.status, outcome.kind == QLatin1String("ok") ? -1 : status);
    if (outcome.kind == QLatin1String("ok"))
        QCOMPARE(outcome.object, QJsonDocument::fromJson(body).object());
}

void TestApiClient::noAnswer_data()
{
    QTest::addColumn<QString>("url"); // empty: the stand-in
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("reason");
    Fault cutOff = Fault::raw(200, R"({"status":"ok"}{"status":"ok"})");
    cutOff.delivery = Fault::Delivery::CutOff; // half a body that parses is still no answer
    Fault drip = Fault::raw(200, QByteArray(40000, ' ') + "{}");
    drip.delivery = Fault::Delivery::Drip;
    drip.dripIntervalMs = 50; // never silent for long, never getting anywhere
    // clang-format off
    QTest::newRow("refused") << closedPortUrl() << Fault() << "anslutningen nekades";
    QTest::newRow("unknown host") << "http://norv-finns-inte.invalid" << Fault() << "okänd värd";
    QTest::newRow("dropped") << QString() << Fault::drop() << "anslutningen bröts";
    QTest::newRow("cut off in the body") << QString() << cutOff << "anslutningen bröts";
    QTest::newRow("silent") << QString() << Fault::hang() << "inget svar inom 10 s";
    QTest::newRow("dripping") << QString() << drip << "svaret tog för lång tid";
    // clang-format on
}

void TestApiClient::noAnswer()
{
    QFETCH(QString, url);
    QFETCH(Fault, fault);
    QFETCH(QString, reason);
    server.setFault(QStringLiteral("/api/status"), fault);
    ApiClient client(url.isEmpty() ? server.url() : url, QStringLiteral("t"));
    const Outcome outcome = call([&] { return client.status(); });
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.message, QStringLiteral("Kan inte nå servern: %1").arg(reason));
    QCOMPARE(failureReason(outcome.message), reason);
}

// A large answer over a slow link arrives: 160 KiB at 64 KiB/s takes several times the (shortened) window in which
// at least 16 KiB must come.
void TestApiClient::slowButSteadyTransferFinishes()
{
    const QByteArray body = "{\"pad\":\"" + QByteArray(160 * 1024, 'x') + "\"}";
    Fault slow = Fault::raw(200, body);
    slow.delivery = Fault::Delivery::Drip;
    slow.dripIntervalMs = 62;
    slow.dripBytes = 4096;
    server.setFault(QStringLiteral("/api/status"), slow);
    ApiClient client(server.url(), QStringLiteral("t"));
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = call([&] { return client.status(); });
    QCOMPARE(outcome.kind, QStringLiteral("ok"));
    QVERIFY(clock.elapsed() > 4 * ApiClient::limits().stallWindowMs);
}

// The token goes with every call but the login, is taken from the login's answer, and is forgotten at logout
// whatever the server says.
void TestApiClient::tokenHandling()
{
    ApiClient client(server.url(), QStringLiteral("kvar"));
    QCOMPARE(call([&] { return client.login(QStringLiteral("admin"), QStringLiteral("fel"), QString()); }).message,
        QStringLiteral("Fel användarnamn eller lösenord"));
    client.login(QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("arbetsstation-7"));
    QCOMPARE(server.requests().last().body,
        QByteArray(R"({"client":"arbetsstation-7","password":"operator","username":"operator"})"));
    for (const RecordedRequest& login : server.requests())
        QVERIFY(!login.hasHeader("authorization"));
    client.me();
    QCOMPARE(server.requests().last().header("authorization"), "Bearer " + client.token().toUtf8());
    const QString token = client.token();
    client.logout();
    QCOMPARE(client.token(), QString());
    QCOMPARE(call([&] { return ApiClient(server.url(), token).me(); }).kind, QStringLiteral("AuthError"));

    ApiClient unreachable(closedPortUrl(), QStringLiteral("t"));
    unreachable.logout();
    QCOMPARE(unreachable.token(), QString());
    // An answer without a string token leaves the client logged out.
    server.setFault(QStringLiteral("/api/auth/login"), Fault::raw(200, R"({"token":17})"));
    client.login(QStringLiteral("admin"), QStringLiteral("admin"), QString());
    QCOMPARE(client.token(), QString());
}

void TestApiClient::tokenNeverFollowsRedirectToAnotherOrigin_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("location"); // %1: the other server's port, %2: the client's own server's
    // clang-format off
    QTest::newRow("302 to another port") << 302 << "http://127.0.0.1:%1/api/status";
    QTest::newRow("307 to another port") << 307 << "http://127.0.0.1:%1/api/status";
    QTest::newRow("301 to another host name") << 301 << "http://localhost:%2/api/status";
    QTest::newRow("308 to https") << 308 << "https://127.0.0.1:%1/api/status";
    QTest::newRow("302 within the origin is followed") << 302 << "http://127.0.0.1:%2/api/tree/status";
    // clang-format on
}

void TestApiClient::tokenNeverFollowsRedirectToAnotherOrigin()
{
    QFETCH(int, status);
    QFETCH(QString, location);
    testsupport::Standin other;
    const QString target = QString(location)
                               .replace(QLatin1String("%1"), QString::number(other.port()))
                               .replace(QLatin1String("%2"), QString::number(server.port()));
    server.setFault(QStringLiteral("/api/status"), Fault::redirect(status, target.toUtf8()));
    const QString token = server.issueToken(QStringLiteral("viewer"));
    ApiClient client(server.url(), token);
    const Outcome outcome = call([&] { return client.status(); });
    if (location.contains(QLatin1String("tree"))) {
        QVERIFY(outcome.object.contains(QLatin1String("hosts")));
        return;
    }
    QCOMPARE(outcome.kind, QStringLiteral("ApiError")); // not followed, and not taken for an empty success
    QTest::qWait(200);
    QVERIFY(other.requests().isEmpty() || !other.requests().first().hasHeader("authorization"));
    QCOMPARE(server.requests().size(), 1);
}

void TestApiClient::plusArrivesIntact_data()
{
    QTest::addColumn<bool>("plusAsSpace");
    QTest::newRow("server decodes + as a space") << true;
    QTest::newRow("server keeps + literal") << false;
}

// A literal "+" in the silence form, a search text or a metric label reaches the server as "+", whichever way the
// server decodes forms and queries.
void TestApiClient::plusArrivesIntact()
{
    QFETCH(bool, plusAsSpace);
    server.setPlusAsSpace(plusAsSpace);
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

NORV_TEST_MAIN(TestApiClient)
#include "tst_apiclient.moc"
