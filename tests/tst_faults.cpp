// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/serverview.h"
#include "testsupport.h"

using standin::Fault;
using testsupport::child;
using Breakage = std::function<void(testsupport::Standin&)>;
Q_DECLARE_METATYPE(Breakage)

const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

static Breakage fault(const QString& path, const Fault& f)
{
    return [path, f](testsupport::Standin& server) { server.setFault(path, f); };
}

// A tree payload of some tens of megabytes: many hosts with long outputs.
static QByteArray hugeTree()
{
    QJsonArray hosts, plugins;
    for (int h = 1; h <= 6000; ++h) {
        hosts.append(QJsonObject {{"id", h}, {"name", QStringLiteral("host-%1").arg(h)}, {"group_id", h % 40}});
        for (int p = 1; p <= 8; ++p)
            plugins.append(QJsonObject {{"host_id", h}, {"plugin_id", p}, {"status", p == 3 ? "critical" : "ok"},
                {"output_text", QString(400, QLatin1Char('x'))}});
    }
    return QJsonDocument(QJsonObject {{"hosts", hosts}, {"plugins", plugins}}).toJson(QJsonDocument::Compact);
}

// Servers that go down, time out, answer slowly or answer nonsense, against a real server tab: each ends in the
// tab's banner or in a working tree, polling goes on and recovers once the server behaves, and the settings and
// token files stay as they were.
class TestFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::shortTimes(); }

    void init()
    {
        testsupport::resetConfig();
        server.reset();
        settings::setRefreshSeconds(settings::MinRefreshSeconds);
        entry = server.store();
        settings::addOrUpdateServer(QStringLiteral("http://127.0.0.1:1"), QStringLiteral("en annan servers token"));
        filesBefore = testsupport::configSnapshot();
    }
    void cleanup()
    {
        delete view;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void faultyServers_data()
    {
        // The server breaks before the tab opens, or once it shows its first tree; the round fails, or succeeds only
        // later.
        testsupport::columns<Breakage, bool, bool>("breakage", "beforeOpening", "fails");
        const Breakage down = [](testsupport::Standin& s) { s.close(); };
        // clang-format off
        QTest::newRow("HTML 500") << fault(Status, Fault::raw(500, "<html><h1>Internal Server Error</h1></html>", "text/html")) << true << true;
        QTest::newRow("truncated JSON") << fault(Tree, Fault::raw(200, "{\"groups\":[{\"id\":1,\"name\":\"Sto")) << true << true;
        QTest::newRow("closed in the body") << fault(Tree, Fault::cutOff()) << true << true;
        QTest::newRow("down at start") << down << true << true;
        QTest::newRow("down during a session") << down << false << true;
        QTest::newRow("tree of tens of megabytes") << fault(Tree, Fault::raw(200, hugeTree())) << true << false;
        // clang-format on
    }

    void faultyServers()
    {
        QFETCH(Breakage, breakage);
        QFETCH(bool, beforeOpening);
        const quint16 port = server.port();
        if (beforeOpening)
            breakage(server);
        view = new ServerView(entry, settings::loadServerToken(entry.id), nullptr);
        view->show();
        if (!beforeOpening) {
            QTRY_VERIFY(treeShown());
            breakage(server);
        }
        if (testsupport::fetch<bool>("fails")) {
            QTRY_VERIFY_WITH_TIMEOUT(bannerShown(), 10000);
            QVERIFY(!child<QPushButton>(view, "bannerButton")->isVisible()); // no login asked for
            server.clearFaults();
            QVERIFY(server.listen(port)); // up again, where it went down
        }
        QTRY_VERIFY_WITH_TIMEOUT(!bannerShown() && treeShown(), 20000);
        QCOMPARE(testsupport::configSnapshot(), filesBefore);
    }

private:
    bool bannerShown() { return child<QWidget>(view, "banner")->isVisible(); }
    bool treeShown() { return view->hasStatus && child<QTreeView>(view, "tree")->model()->rowCount() > 0; }

    testsupport::Standin server;
    settings::ServerEntry entry;
    QPointer<ServerView> view;
    QMap<QString, QByteArray> filesBefore;
};

NORV_TEST_MAIN(TestFaults)
#include "tst_faults.moc"
