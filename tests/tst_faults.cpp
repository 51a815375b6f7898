#include "serverview.h"
#include "settings.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>

#include <memory>

using standin::Fault;
Q_DECLARE_METATYPE(standin::Fault)
using testsupport::child;

namespace {

const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

QByteArray nested(int depth)
{
    return QByteArray("{\"status\":") + QByteArray(depth, '[') + "1" + QByteArray(depth, ']') + "}";
}

// A tree payload of some tens of megabytes: many hosts with long outputs.
QByteArray hugeTree()
{
    QJsonArray hosts, plugins;
    for (int h = 1; h <= 6000; ++h) {
        hosts.append(QJsonObject {{"id", h}, {"name", QStringLiteral("host-%1").arg(h)}, {"group_id", h % 40}});
        for (int p = 1; p <= 8; ++p) {
            plugins.append(QJsonObject {{"host_id", h}, {"plugin_id", p}, {"name", QStringLiteral("check %1").arg(p)},
                {"status", p == 3 ? "critical" : "ok"}, {"output_text", QString(400, QLatin1Char('x'))}});
        }
    }
    return QJsonDocument(QJsonObject {{"hosts", hosts}, {"plugins", plugins}}).toJson(QJsonDocument::Compact);
}

} // namespace

// Servers that go down, time out, answer slowly or answer nonsense, against a real server tab: each ends in the
// tab's banner or in a working tree, polling goes on, and the settings and token files stay as they were.
class TestFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void faultyAnswers_data();
    void faultyAnswers();
    void serverDownAtStartComesUpLater();
    void serverGoesDownAndComesBack();
    void tokenRejectedMidRound();

private:
    ServerView* open();
    QString bannerText() { return child<QLabel>(view, "bannerLabel")->text(); }
    bool bannerShown() { return child<QWidget>(view, "banner")->isVisible(); }

    standin::StandinServer server;
    settings::ServerEntry entry;
    QPointer<ServerView> view;
    QMap<QString, QByteArray> filesBefore;
};

void TestFaults::initTestCase()
{
    QVERIFY(server.listen());
}

void TestFaults::init()
{
    testsupport::resetConfig();
    server.clearFaults();
    server.clearRequests();
    settings::setRefreshSeconds(5);
    entry = settings::addOrUpdateServer(server.url(), server.issueToken(QStringLiteral("operator")));
    settings::setServerName(entry.id, QStringLiteral("Stand-in"));
    entry = *settings::findServer(entry.id);
    settings::addOrUpdateServer(QStringLiteral("http://127.0.0.1:1"), QStringLiteral("en annan servers token"));
    filesBefore = testsupport::configSnapshot();
}

void TestFaults::cleanup()
{
    delete view;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ServerView* TestFaults::open()
{
    view = new ServerView(entry, settings::loadServerToken(entry.id), nullptr);
    view->show();
    return view;
}

void TestFaults::faultyAnswers_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("banner"); // the start of the banner's text; empty: no banner, the round succeeds
    QTest::addColumn<int>("timeoutMs");

    const QString label = QStringLiteral("Stand-in: ");
    // clang-format off
    QTest::newRow("HTML 500") << Status << Fault::raw(500, "<html><h1>Internal Server Error</h1></html>", "text/html") << label + "HTTP 500" << 5000;
    QTest::newRow("JSON array") << Status << Fault::raw(200, "[{\"status\":\"ok\"}]") << label + "Ogiltigt svar från servern" << 5000;
    QTest::newRow("truncated JSON") << Tree << Fault::raw(200, "{\"groups\":[{\"id\":1,\"name\":\"Sto") << label + "Ogiltigt svar från servern" << 5000;
    QTest::newRow("invalid UTF-8") << Status << Fault::raw(200, "{\"status\":\"ok\xff\xfe\x80\"}") << label + "Ogiltigt svar från servern" << 5000;
    QTest::newRow("nested thousands deep") << Status << Fault::raw(200, nested(5000)) << label + "Ogiltigt svar från servern" << 5000;
    QTest::newRow("connection closed in the body") << Tree << Fault::cutOff() << label + "Kan inte nå servern: " << 5000;
    QTest::newRow("connection dropped") << Status << Fault::drop() << label + "Kan inte nå servern: " << 5000;
    QTest::newRow("silent beyond the transfer timeout") << Status << Fault::hang() << label + "Kan inte nå servern: " << 15000;
    QTest::newRow("slow answer") << Status << Fault::slow(3000) << QString() << 8000;
    // clang-format on
    Fault drip = Fault::drip(15);
    drip.answer
        = standin::Answer {200, QByteArray(R"({"status":"warning","summary":{"warning":1}})"), "application/json", {}};
    // clang-format off
    QTest::newRow("answer dripped byte by byte") << Status << drip << QString() << 8000;
    QTest::newRow("tree of tens of megabytes") << Tree << Fault::raw(200, hugeTree()) << QString() << 60000;
    // clang-format on
}

void TestFaults::faultyAnswers()
{
    QFETCH(QString, path);
    QFETCH(Fault, fault);
    QFETCH(QString, banner);
    QFETCH(int, timeoutMs);
    server.setFault(path, fault);
    open();
    auto* tree = child<QTreeView>(view, "tree");
    if (banner.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus && tree->model()->rowCount() > 0, timeoutMs);
        QVERIFY(!bannerShown());
        if (QByteArray(QTest::currentDataTag()).startsWith("tree of"))
            QCOMPARE(tree->model()->rowCount(), 40);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(bannerShown(), timeoutMs);
        QVERIFY2(bannerText().startsWith(banner), qPrintable(bannerText()));
        QVERIFY(!child<QPushButton>(view, "bannerButton")->isVisible());
        // Polling goes on: once the server behaves, the next round recovers by itself.
        server.clearFaults();
        QTRY_VERIFY_WITH_TIMEOUT(!bannerShown() && view->hasStatus, 20000);
        QTRY_VERIFY(tree->model()->rowCount() > 0);
    }
    QCOMPARE(testsupport::configSnapshot(), filesBefore);
}

void TestFaults::serverDownAtStartComesUpLater()
{
    const quint16 port = server.port();
    server.close();
    open();
    QTRY_VERIFY(bannerShown());
    QVERIFY2(bannerText().startsWith(QStringLiteral("Stand-in: Kan inte nå servern: ")), qPrintable(bannerText()));
    QCOMPARE(view->summaryText, QStringLiteral("Ej ansluten"));
    QVERIFY(server.listen(port));
    QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus && !bannerShown(), 15000);
    QCOMPARE(view->status, QStringLiteral("critical"));
    QCOMPARE(testsupport::configSnapshot(), filesBefore);
}

void TestFaults::serverGoesDownAndComesBack()
{
    open();
    QTRY_VERIFY(view->hasStatus);
    const QString counts = view->summaryText;
    const quint16 port = server.port();
    server.close();
    QTRY_VERIFY_WITH_TIMEOUT(bannerShown(), 15000);
    QCOMPARE(view->summaryText, counts);
    QVERIFY(server.listen(port));
    QTRY_VERIFY_WITH_TIMEOUT(!bannerShown(), 15000);
    QCOMPARE(view->summaryText, counts);
    QCOMPARE(testsupport::configSnapshot(), filesBefore);
}

void TestFaults::tokenRejectedMidRound()
{
    server.setFault(Tree, Fault::raw(401, R"({"error":"Token återkallad"})"));
    open();
    QTRY_COMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
    QVERIFY(bannerText().startsWith(QStringLiteral("Inloggningen på ")));
    QVERIFY(child<QPushButton>(view, "bannerButton")->isVisible());
    // The rejected token is gone, as the view is meant to do; every other file is as it was.
    QMap<QString, QByteArray> expected = filesBefore;
    expected.remove(settings::serverTokenPath(entry.id));
    QCOMPARE(testsupport::configSnapshot(), expected);
    const int requests = int(server.requests().size());
    QTest::qWait(6000); // a whole interval: no more polling
    QCOMPARE(int(server.requests().size()), requests);
}

NORV_TEST_MAIN(TestFaults)
#include "tst_faults.moc"
