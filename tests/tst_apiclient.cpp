#include "apiclient.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QTcpServer>

#include <functional>

using standin::Fault;
using standin::RecordedRequest;
using Operation = std::function<void(ApiClient&)>;
Q_DECLARE_METATYPE(Operation)

namespace {

// The outcome of one call, so that data rows can state it.
struct Outcome {
    QString kind; // "ok", "ApiError" or "AuthError"
    int status = -1;
    QString message;
    QJsonObject object;
};

Outcome call(const std::function<QJsonObject()>& f)
{
    Outcome outcome;
    try {
        outcome.object = f();
        outcome.kind = QStringLiteral("ok");
    } catch (const AuthError& e) {
        outcome = {QStringLiteral("AuthError"), e.status, e.message, {}};
    } catch (const ApiError& e) {
        outcome = {QStringLiteral("ApiError"), e.status, e.message, {}};
    }
    return outcome;
}

QString closedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

} // namespace

class TestApiClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void operationsSendExactRequests_data();
    void operationsSendExactRequests();
    void failureTable_data();
    void failureTable();
    void transportFailuresAreStatusZero_data();
    void transportFailuresAreStatusZero();
    void baseUrlTrailingSlashes();
    void noAuthorizationWithoutToken();
    void loginStoresToken();
    void logoutRevokesAndAlwaysClears();
    void tokenNeverFollowsRedirectToAnotherOrigin_data();
    void tokenNeverFollowsRedirectToAnotherOrigin();
    void sameOriginRedirectIsFollowed();
    void plusArrivesIntact_data();
    void plusArrivesIntact();

private:
    QString loginAs(const QString& user);
    standin::StandinServer server;
};

void TestApiClient::initTestCase()
{
    QVERIFY(server.listen());
}

void TestApiClient::init()
{
    server.clearFaults();
    server.clearRequests();
    server.setNetwork(standin::Network::sample());
}

QString TestApiClient::loginAs(const QString& user)
{
    return server.issueToken(user);
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
        // clang-format off
        QTest::newRow(name) << op << QByteArray(method) << QString::fromUtf8(path) << QByteArray(query) << body << QByteArray(contentType);
        // clang-format on
    };
    const char* json = "application/json";
    const char* form = "application/x-www-form-urlencoded";
    // clang-format off
    row("me", "GET", "/api/auth/me", "", {}, "", [](ApiClient& c) { c.me(); });
    row("logout", "POST", "/api/auth/logout", "", {}, "", [](ApiClient& c) { c.logout(); });
    row("status", "GET", "/api/status", "", {}, "", [](ApiClient& c) { c.status(); });
    row("tree", "GET", "/api/tree/status", "", {}, "", [](ApiClient& c) { c.treeStatus(); });
    row("alarmlog plain", "GET", "/api/alarmlog", "page=1&limit=100", {}, "",
        [](ApiClient& c) { c.alarmlog(1, 100, false, QString()); });
    row("alarmlog active search", "GET", "/api/alarmlog", "page=3&limit=100&active=1&q=web%201%26x%3D%C3%B6", {}, "",
        [](ApiClient& c) { c.alarmlog(3, 100, true, QStringLiteral("web 1&x=ö")); });
    row("dnd sessions", "GET", "/api/dnd", "", {}, "", [](ApiClient& c) { c.dndSessions(); });
    row("labels instance", "GET", "/api/hosts/11/plugins/104/metrics", "instance=2", {}, "",
        [](ApiClient& c) { c.metricLabels(11, 104, 0, 2); });
    row("labels negative instance", "GET", "/api/hosts/11/plugins/104/metrics", "", {}, "",
        [](ApiClient& c) { c.metricLabels(11, 104, 0, -1); });
    row("labels port", "GET", "/api/hosts/12/switch-ports/500/metrics", "", {}, "",
        [](ApiClient& c) { c.metricLabels(12, 99, 500, 3); });
    row("series instance", "GET", "/api/hosts/11/plugins/104/metrics/data", "label=anv%C3%A4nt&hours=168&instance=2", {}, "",
        [](ApiClient& c) { c.metricSeries(11, 104, 0, QStringLiteral("använt"), 168, 2); });
    row("series port", "GET", "/api/hosts/12/switch-ports/500/metrics/data", "label=in&hours=8", {}, "",
        [](ApiClient& c) { c.metricSeries(12, 7, 500, QStringLiteral("in"), 8, 2); });
    row("series empty label", "GET", "/api/hosts/10/plugins/102/metrics/data", "label&hours=1", {}, "",
        [](ApiClient& c) { c.metricSeries(10, 102, 0, QString(), 1, 0); });
    row("ack empty comment", "POST", "/api/hosts/10/plugins/101/acknowledge", "", "{}", json,
        [](ApiClient& c) { c.acknowledge(10, 101, 0, QString(), 0); });
    row("ack comment, instance", "POST", "/api/hosts/11/plugins/104/acknowledge", "instance=2",
        QByteArray(R"({"comment":"Tittar på det ✓"})"), json,
        [](ApiClient& c) { c.acknowledge(11, 104, 0, QStringLiteral("Tittar på det ✓"), 2); });
    row("ack port wins", "POST", "/api/switch-ports/501/acknowledge", "", "{}", json,
        [](ApiClient& c) { c.acknowledge(12, 104, 501, QString(), 2); });
    row("unack check", "POST", "/api/hosts/10/plugins/101/acknowledge/clear", "", {}, "",
        [](ApiClient& c) { c.unacknowledge(10, 101, 0, 0); });
    row("unack port", "POST", "/api/switch-ports/501/acknowledge/clear", "", {}, "",
        [](ApiClient& c) { c.unacknowledge(12, 104, 501, 1); });
    row("dnd host", "POST", "/api/dnd", "", "scope=host&host_id=12&minutes=60", form,
        [](ApiClient& c) { c.dndCreate(QStringLiteral("host"), 12, 0, 0, 60, QString(), 0); });
    row("dnd plugin all fields", "POST", "/api/dnd", "",
        "scope=plugin&host_id=11&plugin_id=104&instance_id=2&minutes=240&reason=disk%20full%20%26%20mer", form,
        [](ApiClient& c) { c.dndCreate(QStringLiteral("plugin"), 11, 104, 0, 240, QStringLiteral("disk full & mer"), 2); });
    row("dnd port until further notice", "POST", "/api/dnd", "", "scope=port&port_id=501", form,
        [](ApiClient& c) { c.dndCreate(QStringLiteral("port"), 0, 0, 501, 0, QString(), 0); });
    row("dnd cancel", "POST", "/api/dnd/7/cancel", "", {}, "", [](ApiClient& c) { c.dndCancel(7); });
    row("recheck instance", "POST", "/api/hosts/11/plugins/104/recheck", "instance=3", {}, "",
        [](ApiClient& c) { c.recheckPlugin(11, 104, 3); });
    row("recheck host negative id", "POST", "/api/hosts/-3/recheck", "", {}, "", [](ApiClient& c) { c.recheckHost(-3); });
    row("POST without body has no content type", "POST", "/api/hosts/10/recheck", "", {}, "",
        [](ApiClient& c) { c.request("POST", QStringLiteral("/api/hosts/10/recheck"), {}, "application/json", {}, true); });
    row("unknown method sends GET without body", "GET", "/api/status", "", {}, "text/plain",
        [](ApiClient& c) { c.request("post", QStringLiteral("/api/status"), "x=1", "text/plain", {}, true); });
    // clang-format on
}

void TestApiClient::operationsSendExactRequests()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);

    const QString token = loginAs(QStringLiteral("admin"));
    ApiClient client(server.url(), token);
    try {
        operation(client);
    } catch (const ApiError&) {
        // Some rows name objects the sample network lacks; only the request matters here.
    }
    const QList<RecordedRequest> requests = server.requests();
    QCOMPARE(requests.size(), 1);
    const RecordedRequest& r = requests.first();
    QCOMPARE(r.method, method);
    QCOMPARE(r.path, path);
    QCOMPARE(r.query, query);
    QCOMPARE(r.body, body);
    QCOMPARE(r.hasHeader("content-type"), !contentType.isEmpty());
    QCOMPARE(r.header("content-type"), contentType);
    QCOMPARE(r.header("authorization"), "Bearer " + token.toUtf8());
    QCOMPARE(r.header("user-agent"), QByteArray("norv-gui/1.0.28")); // no VERSION file beside the tests
}

void TestApiClient::failureTable_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("thrownStatus");
    QTest::addColumn<QString>("message");

    const QByteArray json = "application/json";
    const QByteArray html = "text/html";
    const QString invalid = QStringLiteral("Ogiltigt svar från servern");
    // clang-format off
    QTest::newRow("401 with error text") << 401 << QByteArray(R"({"error":"Token återkallad"})") << json << "AuthError" << 401 << "Token återkallad";
    QTest::newRow("401 empty") << 401 << QByteArray() << json << "AuthError" << 401 << "HTTP 401";
    QTest::newRow("401 error empty string") << 401 << QByteArray(R"({"error":""})") << json << "AuthError" << 401 << "HTTP 401";
    QTest::newRow("500 html") << 500 << QByteArray("<html><body>Internal error</body></html>") << html << "ApiError" << 500 << "HTTP 500";
    QTest::newRow("404 error is a number") << 404 << QByteArray(R"({"error":42})") << json << "ApiError" << 404 << "HTTP 404";
    QTest::newRow("403 error text") << 403 << QByteArray(R"({"error":"Otillräcklig behörighet"})") << json << "ApiError" << 403 << "Otillräcklig behörighet";
    QTest::newRow("503 json array") << 503 << QByteArray(R"(["error"])") << json << "ApiError" << 503 << "HTTP 503";
    QTest::newRow("400 error is an object") << 400 << QByteArray(R"({"error":{"text":"x"}})") << json << "ApiError" << 400 << "HTTP 400";
    QTest::newRow("302 without Location") << 302 << QByteArray() << QByteArray() << "ApiError" << 302 << "HTTP 302";
    QTest::newRow("300 with error text") << 300 << QByteArray(R"({"error":"Flyttad"})") << json << "ApiError" << 300 << "Flyttad";
    QTest::newRow("304 with a JSON object") << 304 << QByteArray(R"({"status":"ok"})") << json << "ApiError" << 304 << "HTTP 304";
    QTest::newRow("200 empty") << 200 << QByteArray() << json << "ok" << -1 << "";
    QTest::newRow("204 empty") << 204 << QByteArray() << QByteArray() << "ok" << -1 << "";
    QTest::newRow("201 object") << 201 << QByteArray(R"({"id":5})") << json << "ok" << -1 << "";
    QTest::newRow("200 array") << 200 << QByteArray("[1,2]") << json << "ApiError" << 200 << invalid;
    QTest::newRow("200 truncated json") << 200 << QByteArray(R"({"status":"ok","summ)") << json << "ApiError" << 200 << invalid;
    QTest::newRow("200 null") << 200 << QByteArray("null") << json << "ApiError" << 200 << invalid;
    QTest::newRow("200 html") << 200 << QByteArray("<!doctype html><p>Logga in</p>") << html << "ApiError" << 200 << invalid;
    QTest::newRow("200 trailing garbage") << 200 << QByteArray(R"({"a":1} x)") << json << "ApiError" << 200 << invalid;
    // clang-format on
}

void TestApiClient::failureTable()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);

    server.setFault(QStringLiteral("/api/status"), Fault::raw(status, body, contentType));
    ApiClient client(server.url(), loginAs(QStringLiteral("viewer")));
    const Outcome outcome = call([&] { return client.status(); });
    QTEST(outcome.kind, "kind");
    if (outcome.kind == QLatin1String("ok")) {
        QCOMPARE(outcome.object, QJsonDocument::fromJson(body).object());
        return;
    }
    QTEST(outcome.status, "thrownStatus");
    QTEST(outcome.message, "message");
}

void TestApiClient::transportFailuresAreStatusZero_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("minMs"); // how long the request must have waited before giving up
    QTest::addColumn<int>("maxMs");
    // clang-format off
    QTest::newRow("nothing listens") << "closed" << 0 << 5000;
    QTest::newRow("connection dropped") << "drop" << 0 << 5000;
    // The headers say 200, but half the body is all that comes: that is no answer, even if the half parses.
    QTest::newRow("closed in the middle of the body") << "cutoff" << 0 << 5000;
    QTest::newRow("silent: the 10 s transfer timeout") << "hang" << 9500 << 20000;
    // A byte every half second never lets the transfer timeout fire; the overall deadline of 30 s ends it.
    QTest::newRow("dripping: the 30 s deadline") << "drip" << 29000 << 40000;
    // clang-format on
}

void TestApiClient::transportFailuresAreStatusZero()
{
    QFETCH(QString, fault);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    Fault f = Fault::raw(200, R"({"status":"ok"}{"status":"ok"})");
    if (fault == QLatin1String("drop"))
        f.delivery = Fault::Delivery::Drop;
    else if (fault == QLatin1String("cutoff"))
        f.delivery = Fault::Delivery::CutOff;
    else if (fault == QLatin1String("hang"))
        f = Fault::hang();
    else if (fault == QLatin1String("drip")) {
        f = Fault::raw(200, QByteArray(40000, ' ') + "{}");
        f.delivery = Fault::Delivery::Drip;
        f.dripIntervalMs = 500;
    }
    server.setFault(QStringLiteral("/api/status"), f);
    ApiClient client(
        fault == QLatin1String("closed") ? closedPortUrl() : server.url(), loginAs(QStringLiteral("viewer")));
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = call([&] { return client.status(); });
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(outcome.kind, QStringLiteral("ApiError"));
    QCOMPARE(outcome.status, 0);
    const QString prefix = QStringLiteral("Kan inte nå servern: ");
    QVERIFY2(outcome.message.startsWith(prefix) && outcome.message.size() > prefix.size(), qPrintable(outcome.message));
    QVERIFY2(elapsed >= minMs && elapsed < maxMs, qPrintable(QString::number(elapsed)));
}

void TestApiClient::baseUrlTrailingSlashes()
{
    ApiClient client(server.url() + QStringLiteral("///"), loginAs(QStringLiteral("viewer")));
    QCOMPARE(client.baseUrl(), server.url());
    const Outcome outcome = call([&] { return client.status(); });
    QCOMPARE(outcome.kind, QStringLiteral("ok"));
    QCOMPARE(server.requests().first().path, QStringLiteral("/api/status"));
    QCOMPARE(outcome.object.value(QLatin1String("status")).toString(), QStringLiteral("critical"));
}

void TestApiClient::noAuthorizationWithoutToken()
{
    ApiClient client(server.url(), QString());
    const Outcome outcome = call([&] { return client.status(); });
    QCOMPARE(outcome.kind, QStringLiteral("AuthError"));
    QCOMPARE(outcome.message, QStringLiteral("Ogiltig eller återkallad token"));
    QVERIFY(!server.requests().first().hasHeader("authorization"));

    // login is the one call that never sends the token, even when the client holds one.
    ApiClient loggedIn(server.url(), QStringLiteral("kvar"));
    loggedIn.login(QStringLiteral("admin"), QStringLiteral("admin"), QStringLiteral("maskin"));
    QVERIFY(!server.requests(QStringLiteral("/api/auth/login")).first().hasHeader("authorization"));
}

void TestApiClient::loginStoresToken()
{
    ApiClient client(server.url(), QString());
    const Outcome refused
        = call([&] { return client.login(QStringLiteral("admin"), QStringLiteral("fel"), QStringLiteral("m")); });
    QCOMPARE(refused.kind, QStringLiteral("AuthError"));
    QCOMPARE(refused.message, QStringLiteral("Fel användarnamn eller lösenord"));
    QCOMPARE(client.token(), QString());

    const QJsonObject response
        = client.login(QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("arbetsstation-7"));
    QVERIFY(!client.token().isEmpty());
    QCOMPARE(response.value(QLatin1String("token")).toString(), client.token());
    const RecordedRequest r = server.requests().last();
    QCOMPARE(r.path, QStringLiteral("/api/auth/login"));
    QCOMPARE(r.header("content-type"), QByteArray("application/json"));
    QCOMPARE(r.body, QByteArray(R"({"client":"arbetsstation-7","password":"operator","username":"operator"})"));
    client.me();
    QCOMPARE(server.requests().last().header("authorization"), "Bearer " + client.token().toUtf8());

    // A login answer without a string token leaves the client logged out, whatever it held before.
    server.setFault(QStringLiteral("/api/auth/login"), Fault::raw(200, R"({"token":17,"user":{}})"));
    ApiClient earlier(server.url(), QStringLiteral("tidigare"));
    QCOMPARE(earlier.login(QStringLiteral("admin"), QStringLiteral("admin"), QString())
                 .value(QLatin1String("token"))
                 .toInt(),
        17);
    QCOMPARE(earlier.token(), QString());
}

void TestApiClient::logoutRevokesAndAlwaysClears()
{
    const QString token = loginAs(QStringLiteral("admin"));
    ApiClient client(server.url(), token);
    client.logout();
    QCOMPARE(client.token(), QString());
    ApiClient again(server.url(), token);
    QCOMPARE(call([&] { return again.me(); }).kind, QStringLiteral("AuthError"));

    // Logging out of a server that cannot be reached, or that fails, still forgets the token here.
    ApiClient unreachable(closedPortUrl(), QStringLiteral("t"));
    unreachable.logout();
    QCOMPARE(unreachable.token(), QString());
    server.setFault(QStringLiteral("/api/auth/logout"), Fault::raw(500, "<html/>", "text/html"));
    ApiClient failing(server.url(), loginAs(QStringLiteral("admin")));
    failing.logout();
    QCOMPARE(failing.token(), QString());
}

void TestApiClient::tokenNeverFollowsRedirectToAnotherOrigin_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("target"); // "port": the other server; "host": same port, other host; "scheme"
    // clang-format off
    QTest::newRow("302 to another port") << 302 << "port";
    QTest::newRow("307 to another port") << 307 << "port";
    QTest::newRow("301 to another host name") << 301 << "host";
    QTest::newRow("308 to https") << 308 << "scheme";
    // clang-format on
}

void TestApiClient::tokenNeverFollowsRedirectToAnotherOrigin()
{
    QFETCH(int, status);
    QFETCH(QString, target);
    standin::StandinServer other;
    QVERIFY(other.listen());
    QByteArray location;
    if (target == QLatin1String("port"))
        location = other.url().toUtf8() + "/api/status";
    else if (target == QLatin1String("host"))
        location = QStringLiteral("http://localhost:%1/api/status").arg(server.port()).toUtf8();
    else
        location = QStringLiteral("https://127.0.0.1:%1/api/status").arg(other.port()).toUtf8();
    server.setFault(QStringLiteral("/api/status"), Fault::redirect(status, location));
    const QString token = loginAs(QStringLiteral("viewer"));
    ApiClient client(server.url(), token);
    const Outcome outcome = call([&] { return client.status(); });
    // Not followed, and not taken for an empty success either.
    QCOMPARE(outcome.kind, QStringLiteral("ApiError"));
    QVERIFY2(outcome.status == status || outcome.status == 0, qPrintable(QString::number(outcome.status)));
    QTest::qWait(200);
    for (const RecordedRequest& r : other.requests())
        QVERIFY2(!r.header("authorization").contains(token.toUtf8()), "the token reached another server");
    // Nothing but the first request reached the client's own server either (a redirect to the same port on another
    // host name lands here).
    for (const RecordedRequest& r : server.requests().mid(1))
        QVERIFY(!r.header("authorization").contains(token.toUtf8()));
}

void TestApiClient::sameOriginRedirectIsFollowed()
{
    server.setFault(QStringLiteral("/api/status"), Fault::redirect(302, server.url().toUtf8() + "/api/tree/status"));
    const QString token = loginAs(QStringLiteral("viewer"));
    ApiClient client(server.url(), token);
    const Outcome outcome = call([&] { return client.status(); });
    QCOMPARE(outcome.kind, QStringLiteral("ok"));
    QVERIFY(outcome.object.contains(QLatin1String("hosts")));
    QCOMPARE(server.requests().last().path, QStringLiteral("/api/tree/status"));
}

void TestApiClient::plusArrivesIntact_data()
{
    QTest::addColumn<bool>("plusAsSpace");
    // clang-format off
    QTest::newRow("server decodes + as a space") << true;
    QTest::newRow("server keeps + literal") << false;
    // clang-format on
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
    ApiClient client(server.url(), loginAs(QStringLiteral("operator")));

    client.dndCreate(QStringLiteral("host"), 10, 0, 0, 60, QStringLiteral("disk+cpu 1+1"), 0);
    QCOMPARE(server.requests(QStringLiteral("/api/dnd")).first().body,
        QByteArray("scope=host&host_id=10&minutes=60&reason=disk%2Bcpu%201%2B1"));
    QCOMPARE(client.dndSessions().first()[QLatin1String("reason")].toString(), QStringLiteral("disk+cpu 1+1"));

    const QJsonObject found = client.alarmlog(1, 100, false, QStringLiteral("web+1"));
    QCOMPARE(server.requests(QStringLiteral("/api/alarmlog")).first().query, QByteArray("page=1&limit=100&q=web%2B1"));
    QCOMPARE(found[QLatin1String("total")].toInt(), 1);

    const QJsonObject series = client.metricSeries(12, 0, 500, QStringLiteral("in+out"), 1, 0);
    QCOMPARE(series[QLatin1String("label")].toString(), QStringLiteral("in+out"));
    server.setPlusAsSpace(false);
}

NORV_TEST_MAIN(TestApiClient)
#include "tst_apiclient.moc"
