#include "poller.h"
#include "serverview.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

using standin::Fault;
using testsupport::child;
using Breakage = std::function<void(testsupport::Standin&)>;
Q_DECLARE_METATYPE(Breakage)

namespace {

const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

Breakage fault(const QString& path, const Fault& f)
{
    return [path, f](testsupport::Standin& server) { server.setFault(path, f); };
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
// tab's banner or in a working tree, polling goes on and recovers once the server behaves, and the settings and
// token files stay as they were.
class TestFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::shortTimes(); }
    void init();
    void cleanup();

    void faultyServers_data();
    void faultyServers();
    void tokenRejectedMidRound();

private:
    void open()
    {
        view = new ServerView(entry, settings::loadServerToken(entry.id), nullptr);
        view->show();
    }
    QString banner() { return child<QLabel>(view, "bannerLabel")->text(); }
    bool bannerShown() { return child<QWidget>(view, "banner")->isVisible(); }

    testsupport::Standin server;
    settings::ServerEntry entry;
    QPointer<ServerView> view;
    QMap<QString, QByteArray> filesBefore;
};

void TestFaults::init()
{
    testsupport::resetConfig();
    server.reset();
    settings::setRefreshSeconds(settings::MinRefreshSeconds);
    entry = server.store();
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

void TestFaults::faultyServers_data()
{
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<bool>("beforeOpening"); // or once the tab shows its first tree
    QTest::addColumn<QString>("banner"); // the start of the banner's text; empty: no banner, the round succeeds
    const QString invalid = QStringLiteral("Stand-in: Ogiltigt svar från servern");
    const QString noAnswer = QStringLiteral("Stand-in: Kan inte nå servern: ");
    Fault drip = Fault::drip(5);
    drip.answer
        = standin::Answer {200, QByteArray(R"({"status":"warning","summary":{"warning":1}})"), "application/json", {}};
    const Breakage down = [](testsupport::Standin& s) { s.close(); };
    // clang-format off
    QTest::newRow("HTML 500") << fault(Status, Fault::raw(500, "<html><h1>Internal Server Error</h1></html>", "text/html")) << true << "Stand-in: HTTP 500";
    QTest::newRow("JSON array") << fault(Status, Fault::raw(200, "[{\"status\":\"ok\"}]")) << true << invalid;
    QTest::newRow("truncated JSON") << fault(Tree, Fault::raw(200, "{\"groups\":[{\"id\":1,\"name\":\"Sto")) << true << invalid;
    QTest::newRow("invalid UTF-8") << fault(Tree, Fault::raw(200, "{\"hosts\":[{\"id\":1,\"name\":\"\xff\xfe\x80\"}]}")) << true << invalid;
    QTest::newRow("nested thousands deep") << fault(Status, Fault::raw(200, "{\"a\":" + QByteArray(5000, '[') + QByteArray(5000, ']') + "}")) << true << invalid;
    QTest::newRow("closed in the body") << fault(Tree, Fault::cutOff()) << true << noAnswer + "anslutningen bröts";
    QTest::newRow("dropped") << fault(Status, Fault::drop()) << true << noAnswer + "anslutningen bröts";
    QTest::newRow("silent") << fault(Status, Fault::hang()) << true << noAnswer + "inget svar inom 10 s";
    QTest::newRow("down at start") << down << true << noAnswer + "anslutningen nekades";
    QTest::newRow("down during a session") << down << false << noAnswer + "anslutningen nekades";
    QTest::newRow("slow answer") << fault(Status, Fault::slow(200)) << true << "";
    QTest::newRow("answer dripped byte by byte") << fault(Status, drip) << true << "";
    QTest::newRow("tree of tens of megabytes") << fault(Tree, Fault::raw(200, hugeTree())) << true << "";
    // clang-format on
}

void TestFaults::faultyServers()
{
    QFETCH(Breakage, breakage);
    QFETCH(bool, beforeOpening);
    QFETCH(QString, banner);
    const quint16 port = server.port();
    if (beforeOpening)
        breakage(server);
    open();
    auto* tree = child<QTreeView>(view, "tree");
    if (!beforeOpening) {
        QTRY_VERIFY(tree->model()->rowCount() > 0);
        breakage(server);
    }
    if (banner.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus && tree->model()->rowCount() > 0, 20000);
        QVERIFY(!bannerShown());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(bannerShown() && this->banner().startsWith(banner), 10000);
        QVERIFY(!child<QPushButton>(view, "bannerButton")->isVisible());
        server.clearFaults();
        QVERIFY(server.listen(port)); // up again, where it went down

        QTRY_VERIFY_WITH_TIMEOUT(!bannerShown() && view->hasStatus && tree->model()->rowCount() > 0, 10000);
    }
    QCOMPARE(testsupport::configSnapshot(), filesBefore);
}

void TestFaults::tokenRejectedMidRound()
{
    server.setFault(Tree, Fault::raw(401, R"({"error":"Token återkallad"})"));
    open();
    QTRY_COMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
    QVERIFY(child<QPushButton>(view, "bannerButton")->isVisible());
    // The rejected token is gone, as the view is meant to do; every other file is as it was.
    QMap<QString, QByteArray> expected = filesBefore;
    expected.remove(settings::serverTokenPath(entry.id));
    QCOMPARE(testsupport::configSnapshot(), expected);
    const qsizetype requests = server.requests().size();
    QTest::qWait(10 * PollerThread::secondMs()); // two intervals: no more polling
    QCOMPARE(server.requests().size(), requests);
}

NORV_TEST_MAIN(TestFaults)
#include "tst_faults.moc"
