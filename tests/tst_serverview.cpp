#include "dialogs.h"
#include "poller.h"
#include "serverview.h"
#include "settings.h"
#include "standinserver.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QThread>
#include <QTreeView>

using standin::Fault;
using testsupport::child;

namespace {

const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

QModelIndex indexOf(QTreeView* tree, const QString& key, const QModelIndex& parent = QModelIndex())
{
    for (int r = 0; r < tree->model()->rowCount(parent); ++r) {
        const QModelIndex index = tree->model()->index(r, 0, parent);
        const QModelIndex found = index.data(treemodel::KeyRole).toString() == key ? index : indexOf(tree, key, index);
        if (found.isValid())
            return found;
    }
    return {};
}

// Keys of the rows a filter leaves visible, depth first.
QStringList visibleKeys(QTreeView* tree, const QModelIndex& parent = QModelIndex())
{
    QStringList keys;
    for (int r = 0; r < tree->model()->rowCount(parent); ++r) {
        keys.append(tree->model()->index(r, 0, parent).data(treemodel::KeyRole).toString());
        keys += visibleKeys(tree, tree->model()->index(r, 0, parent));
    }
    return keys;
}

} // namespace

class TestServerView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void connectsAndShowsCounts();
    void pollFailingBeforeAndAfterFirstStatus();
    void lostLoginThenReconnect();
    void treeStateSurvivesRebuilds();
    void filterExpandsAndRestoresOwnExpansion();
    void returnAndDoubleClick();
    void contextMenuEntries_data();
    void contextMenuEntries();
    void actionsSendTheirRequest_data();
    void actionsSendTheirRequest();
    void cancelledOrFailingActions();
    void treeRebuildAndLostLoginDuringAnAction();
    void pollerOutlivingTheWaitIsDeletedLater();
    void onlyTheNewestTreeIsBuilt();

private:
    // A shown view of the stand-in server, logged in as the given user, that has built its first tree.
    void open(const QString& user = QStringLiteral("operator"));
    QTreeView* tree() { return child<QTreeView>(view, "tree"); }
    QString banner()
    {
        return child<QWidget>(view, "banner")->isVisible() ? child<QLabel>(view, "bannerLabel")->text() : QString();
    }
    void waitForRound();
    // Opens a row's context menu; the menu runs inside the event, so this returns once it has closed. With an
    // entry given, that entry is picked as a user does (highlight, Return) and its action has run on return.
    QStringList contextMenu(const QString& key, const QString& pick = QString());

    standin::StandinServer server;
    settings::ServerEntry entry;
    QPointer<ServerView> view;
};

void TestServerView::initTestCase()
{
    QVERIFY(server.listen());
    entry = {QStringLiteral("0123456789ab"), server.url(), QStringLiteral("Stand-in"), true};
}

void TestServerView::init()
{
    testsupport::resetConfig();
    server.clearFaults();
    server.clearRequests();
    server.setNetwork(standin::Network::sample());
}

void TestServerView::cleanup()
{
    for (QDialog* dialog : testsupport::topLevels<QDialog>())
        dialog->close();
    delete view;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestServerView::open(const QString& user)
{
    view = new ServerView(entry, server.issueToken(user), nullptr);
    view->resize(1000, 700);
    view->show();
    QTRY_VERIFY_WITH_TIMEOUT(tree()->model()->rowCount() > 0, 10000);
    tree()->expandAll();
}

void TestServerView::waitForRound()
{
    QSignalSpy rebuilt(tree()->model(), &QAbstractItemModel::modelReset);
    view->refreshNow();
    QTRY_VERIFY(rebuilt.count() > 0);
}

QStringList TestServerView::contextMenu(const QString& key, const QString& pick)
{
    QStringList entries;
    QPointer<QTimer> watcher = testsupport::whenPopup([&](QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        for (QAction* action : menu->actions()) {
            entries.append(action->isSeparator() ? QStringLiteral("-") : action->text());
            if (!pick.isEmpty() && action->text() == pick) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    });
    const QModelIndex index = indexOf(tree(), key);
    tree()->scrollTo(index);
    const QPoint pos = tree()->visualRect(index).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree()->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree()->viewport(), &event);
    delete watcher;
    return entries;
}

void TestServerView::connectsAndShowsCounts()
{
    view = new ServerView(entry, QString(), nullptr); // no token: asks for a login and polls nothing
    view->show();
    QCOMPARE(banner(), QStringLiteral("Inte inloggad på %1.").arg(server.url()));
    QCOMPARE(child<QPushButton>(view, "bannerButton")->text(), QStringLiteral("Logga in…"));
    delete view;

    view = new ServerView(entry, server.issueToken(QStringLiteral("operator")), nullptr);
    QSignalSpy changed(view, &ServerView::statusChanged);
    QCOMPARE(view->summaryText, QStringLiteral("Ansluter…"));
    QTRY_COMPARE(changed.count(), 2); // identity, then status
    QCOMPARE(changed.first().first().toString(), entry.id);
    QCOMPARE(view->status, QStringLiteral("critical"));
    QCOMPARE(view->summaryText, QStringLiteral("2 kritiska · 2 varningar · 0 stale · 5 ok av 9"));
    QVERIFY(view->serverTimeText.startsWith(QStringLiteral("servertid 20")));
    QCOMPARE(view->versionText, QStringLiteral("klient 1.0.28 · server 1.0.28"));
    QCOMPARE(server.requests(Status).size(), 1);
}

void TestServerView::pollFailingBeforeAndAfterFirstStatus()
{
    server.setFault(Status, Fault::raw(500, R"({"error":"Databasen svarar inte"})"));
    view = new ServerView(entry, server.issueToken(QStringLiteral("operator")), nullptr);
    view->show();
    QTRY_COMPARE(view->summaryText, QStringLiteral("Ej ansluten"));
    QCOMPARE(banner(), QStringLiteral("Stand-in: Databasen svarar inte"));
    QVERIFY(!child<QPushButton>(view, "bannerButton")->isVisible());

    server.clearFault(Status);
    view->refreshNow();
    QTRY_VERIFY(view->hasStatus);
    QCOMPARE(banner(), QString());
    // After a status, a failure keeps the counts and tells no one.
    const QString counts = view->summaryText;
    server.setFault(Status, Fault::drop());
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    view->refreshNow();
    QTRY_VERIFY(banner().startsWith(QStringLiteral("Stand-in: Kan inte nå servern: ")));
    QCOMPARE(view->summaryText, counts);
    QCOMPARE(changed.count(), 0);
}

void TestServerView::lostLoginThenReconnect()
{
    const QString token = server.issueToken(QStringLiteral("viewer"));
    settings::saveServerToken(entry.id, token);
    settings::saveServerToken(QStringLiteral("other"), QStringLiteral("annan"));
    view = new ServerView(entry, token, nullptr);
    view->show();
    QTRY_VERIFY(view->hasStatus);
    QSignalSpy lost(view.data(), &ServerView::authLost);
    server.revokeToken(token);
    view->refreshNow();
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!QFile::exists(settings::serverTokenPath(entry.id)));
    QCOMPARE(settings::loadServerToken(QStringLiteral("other")), QStringLiteral("annan"));
    QVERIFY(!view->hasStatus && view->lastStatus.isEmpty());
    QCOMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
    QCOMPARE(banner(), QStringLiteral("Inloggningen på %1 har gått ut eller återkallats.").arg(server.url()));
    const qsizetype requests = server.requests().size();
    view->refreshNow();
    QTest::qWait(300);
    QCOMPARE(server.requests().size(), requests); // the poller has stopped
    QSignalSpy relogin(view.data(), &ServerView::reloginRequested);
    QTest::mouseClick(child<QPushButton>(view, "bannerButton"), Qt::LeftButton);
    QCOMPARE(relogin.count(), 1);

    server.clearRequests();
    const QString fresh = server.issueToken(QStringLiteral("operator"));
    view->reconnect(fresh);
    QCOMPARE(view->summaryText, QStringLiteral("Ansluter…"));
    QCOMPARE(banner(), QString());
    QTRY_VERIFY(view->hasStatus);
    waitForRound();
    tree()->expandAll();
    QVERIFY(contextMenu(QStringLiteral("p:10:100")).contains(QStringLiteral("Kör recheck"))); // the new login acts
    child<QTabWidget>(view, "tabs")->setCurrentIndex(1); // and the alarm log asks with it
    QTRY_COMPARE(server.requests(QStringLiteral("/api/alarmlog")).size(), 1);
    for (const standin::RecordedRequest& request : server.requests())
        QCOMPARE(request.header("authorization"), "Bearer " + fresh.toUtf8());
}

void TestServerView::treeStateSurvivesRebuilds()
{
    open();
    tree()->collapseAll();
    for (const char* key : {"g:1", "g:2", "h:10"})
        tree()->expand(indexOf(tree(), QString::fromLatin1(key)));
    tree()->setCurrentIndex(indexOf(tree(), QStringLiteral("p:10:101")));
    tree()->setColumnWidth(0, 222);
    waitForRound();
    waitForRound();
    QVERIFY(tree()->isExpanded(indexOf(tree(), QStringLiteral("h:10"))));
    QVERIFY(!tree()->isExpanded(indexOf(tree(), QStringLiteral("h:11"))));
    QCOMPARE(tree()->currentIndex().data(treemodel::KeyRole).toString(), QStringLiteral("p:10:101"));
    QCOMPARE(tree()->columnWidth(0), 222);
    // A collapsed parent keeps its open children for when it opens again.
    tree()->collapse(indexOf(tree(), QStringLiteral("g:1")));
    waitForRound();
    tree()->expand(indexOf(tree(), QStringLiteral("g:1")));
    QVERIFY(tree()->isExpanded(indexOf(tree(), QStringLiteral("g:2"))));
    // The current row's node vanishes: no current row, and focusing the tree picks the first one.
    server.update(
        [](standin::Network& n) { n.checks.removeIf([](const standin::Check& c) { return c.pluginId == 101; }); });
    waitForRound();
    QVERIFY(!tree()->currentIndex().isValid());
    child<QTabWidget>(view, "tabs")->setCurrentIndex(1);
    view->focusTree();
    QCOMPARE(child<QTabWidget>(view, "tabs")->currentIndex(), 0);
    QCOMPARE(tree()->currentIndex().data(treemodel::KeyRole).toString(), QStringLiteral("g:1"));
}

void TestServerView::filterExpandsAndRestoresOwnExpansion()
{
    open();
    tree()->collapseAll();
    tree()->expand(indexOf(tree(), QStringLiteral("g:3")));
    view->applyFilter(QStringLiteral("  DISK "));
    QCOMPARE(visibleKeys(tree()), QStringList({"g:1", "g:2", "h:10", "p:10:101", "h:11", "p:11:104:1", "p:11:104:2"}));
    waitForRound(); // a rebuild under a filter expands everything again
    QVERIFY(tree()->isExpanded(indexOf(tree(), QStringLiteral("h:10"))));
    view->applyFilter(QStringLiteral("   "));
    QCOMPARE(visibleKeys(tree()).size(), 17);
    QVERIFY(tree()->isExpanded(indexOf(tree(), QStringLiteral("g:3"))));
    QVERIFY(!tree()->isExpanded(indexOf(tree(), QStringLiteral("h:10")))); // filter-driven expansion not remembered
    // The same filter twice does nothing the second time: the user's collapse under a filter stays.
    view->applyFilter(QStringLiteral("sw"));
    tree()->collapse(indexOf(tree(), QStringLiteral("g:3")));
    view->applyFilter(QStringLiteral("sw "));
    QVERIFY(!tree()->isExpanded(indexOf(tree(), QStringLiteral("g:3"))));
}

void TestServerView::returnAndDoubleClick()
{
    open();
    tree()->collapseAll();
    tree()->setFocus();
    tree()->setCurrentIndex(indexOf(tree(), QStringLiteral("g:3")));
    QTest::keyClick(tree(), Qt::Key_Return);
    waitForRound(); // remembered like a click
    QVERIFY(tree()->isExpanded(indexOf(tree(), QStringLiteral("g:3"))));
    QTest::keyClick(tree(), Qt::Key_Enter);
    QVERIFY(!tree()->isExpanded(indexOf(tree(), QStringLiteral("g:3"))));
    QVERIFY(testsupport::topLevels<ChartDialog>().isEmpty());

    tree()->expandAll();
    tree()->setCurrentIndex(indexOf(tree(), QStringLiteral("sp:501")).siblingAtColumn(2));
    QTest::keyClick(tree(), Qt::Key_Return);
    QTRY_COMPARE(testsupport::topLevels<ChartDialog>().size(), 1);
    QCOMPARE(testsupport::topLevels<ChartDialog>().first()->windowTitle(), QStringLiteral("Graf – Gi0/2"));
    const QPoint at = tree()->visualRect(indexOf(tree(), QStringLiteral("p:11:103"))).center();
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, at); // a real double-click comes after a click
    QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(testsupport::topLevels<ChartDialog>().size(), 2);
}

void TestServerView::contextMenuEntries_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("entries");
    // clang-format off
    QTest::newRow("ok check") << "operator" << "p:10:100" << QStringList{"Avkvittera", "Stör ej…", "Kör recheck", "-", "Graf…"};
    QTest::newRow("critical check") << "admin" << "p:11:103" << QStringList{"Kvittera…", "Avkvittera", "Stör ej…", "Kör recheck", "-", "Graf…"};
    QTest::newRow("critical port") << "operator" << "sp:501" << QStringList{"Kvittera…", "Avkvittera", "Stör ej…", "-", "Graf…"};
    QTest::newRow("host") << "operator" << "h:10" << QStringList{"Kör recheck (alla checkar)", "Stör ej hela enheten…"};
    QTest::newRow("group") << "admin" << "g:-1" << QStringList();
    QTest::newRow("viewer on check") << "viewer" << "p:11:103" << QStringList{"Graf…"};
    QTest::newRow("viewer on host") << "viewer" << "h:11" << QStringList();
    // clang-format on
}

void TestServerView::contextMenuEntries()
{
    QFETCH(QString, user);
    QFETCH(QString, key);
    open(user);
    QTEST(contextMenu(key), "entries");
}

void TestServerView::actionsSendTheirRequest_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("input"); // the comment typed, or the silence duration chosen
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("acknowledge") << "p:11:103" << "Kvittera…" << "  tittar på det  " << "/api/hosts/11/plugins/103/acknowledge" << QByteArray() << QByteArray(R"({"comment":"tittar på det"})") << "Kvittensen utförd";
    QTest::newRow("acknowledge port, no comment") << "sp:501" << "Kvittera…" << "" << "/api/switch-ports/501/acknowledge" << QByteArray() << QByteArray("{}") << "Kvittensen utförd";
    QTest::newRow("unacknowledge instance") << "p:11:104:2" << "Avkvittera" << "" << "/api/hosts/11/plugins/104/acknowledge/clear" << QByteArray("instance=2") << QByteArray() << "Avkvitteringen utförd";
    QTest::newRow("recheck host") << "h:13" << "Kör recheck (alla checkar)" << "" << "/api/hosts/13/recheck" << QByteArray() << QByteArray() << "Recheck utförd";
    QTest::newRow("silence check") << "p:11:104:1" << "Stör ej…" << "Tills vidare" << "/api/dnd" << QByteArray() << QByteArray("scope=plugin&host_id=11&plugin_id=104&instance_id=1&reason=disk%20byts") << "Stör ej utförd";
    QTest::newRow("silence port by its id") << "sp:500" << "Stör ej…" << "8 timmar" << "/api/dnd" << QByteArray() << QByteArray("scope=port&port_id=500&minutes=480&reason=disk%20byts") << "Stör ej utförd";
    QTest::newRow("silence host") << "h:12" << "Stör ej hela enheten…" << "1 timme" << "/api/dnd" << QByteArray() << QByteArray("scope=host&host_id=12&minutes=60&reason=disk%20byts") << "Stör ej utförd";
    // clang-format on
}

void TestServerView::actionsSendTheirRequest()
{
    QFETCH(QString, key);
    QFETCH(QString, entry);
    QFETCH(QString, input);
    QFETCH(QString, path);
    QFETCH(QString, message);
    open(QStringLiteral("admin"));
    QSignalSpy messages(view.data(), &ServerView::message);
    server.clearRequests();
    QString prompt;
    QPointer<QTimer> watcher = testsupport::whenModal([&](QWidget* modal) {
        if (auto* comment = qobject_cast<QInputDialog*>(modal)) {
            prompt = comment->windowTitle() + QLatin1Char('|') + comment->labelText();
            comment->setTextValue(input);
            comment->accept();
        } else if (auto* silence = qobject_cast<DndDialog*>(modal)) {
            silence->findChild<QComboBox*>()->setCurrentIndex(silence->findChild<QComboBox*>()->findText(input));
            silence->findChild<QLineEdit*>()->setText(QStringLiteral("  disk byts "));
            silence->accept();
        }
    });
    contextMenu(key, entry);
    delete watcher; // actions without a prompt leave it waiting
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first(), QVariantList({message, 5000}));
    const QList<standin::RecordedRequest> sent = server.requests(path);
    QCOMPARE(sent.size(), 1);
    QTEST(sent.first().query, "query");
    QTEST(sent.first().body, "body");
    if (entry == QLatin1String("Kvittera…"))
        QVERIFY(prompt.startsWith(QStringLiteral("Kvittera larm|Kvittera "))
            && prompt.endsWith(QStringLiteral(".\nKommentar (valfri):")));
    QTRY_VERIFY(!server.requests(Tree).isEmpty()); // an immediate poll follows
}

void TestServerView::cancelledOrFailingActions()
{
    open(QStringLiteral("admin"));
    server.clearRequests();
    for (const QString& entry : {QStringLiteral("Kvittera…"), QStringLiteral("Stör ej…")}) {
        testsupport::whenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        contextMenu(QStringLiteral("p:11:103"), entry);
    }
    QCOMPARE(server.requests().size(), 0);

    server.setFault(
        QStringLiteral("/api/hosts/10/plugins/100/recheck"), Fault::raw(500, R"({"error":"Schemat är nere"})"));
    QSignalSpy messages(view.data(), &ServerView::message);
    QString shown;
    testsupport::whenMessageBox([&](QMessageBox* box) {
        shown = box->windowTitle() + QLatin1Char('|') + box->text();
        box->accept();
    });
    contextMenu(QStringLiteral("p:10:100"), QStringLiteral("Kör recheck"));
    QCOMPARE(shown, QStringLiteral("Norv|Recheck misslyckades: Schemat är nere"));
    QTest::qWait(300);
    QCOMPARE(messages.count(), 0);
    QVERIFY(server.requests(Tree).isEmpty()); // no refresh after a failure
}

// A request made on the GUI thread waits in an event loop in which the poller's payloads keep arriving: a rebuilt
// tree and even a lost login must leave the action and the view consistent.
void TestServerView::treeRebuildAndLostLoginDuringAnAction()
{
    const QString token = server.issueToken(QStringLiteral("operator"));
    view = new ServerView(entry, token, nullptr);
    view->show();
    QTRY_VERIFY(tree()->model()->rowCount() > 0);
    tree()->expandAll();
    server.setFault(QStringLiteral("/api/hosts/11/plugins/103/recheck"), Fault::slow(1500));
    QSignalSpy messages(view.data(), &ServerView::message);
    QSignalSpy lost(view.data(), &ServerView::authLost);
    QSignalSpy rebuilt(tree()->model(), &QAbstractItemModel::modelReset);
    QTimer::singleShot(200, view, [&] { view->refreshNow(); });
    QTimer::singleShot(700, view, [&] {
        server.revokeToken(token);
        view->refreshNow();
    });
    contextMenu(QStringLiteral("p:11:103"), QStringLiteral("Kör recheck"));
    QCOMPARE(rebuilt.count(), 1);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
}

void TestServerView::pollerOutlivingTheWaitIsDeletedLater()
{
    server.setFault(Status, Fault::slow(4500));
    view = new ServerView(entry, server.issueToken(QStringLiteral("viewer")), nullptr);
    QPointer<PollerThread> poller = view->findChild<PollerThread*>();
    QTRY_COMPARE(server.requests(Status).size(), 1);
    delete view; // waits up to three seconds, then gives the poller up
    QVERIFY(poller && poller->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(poller.isNull(), 10000);
}

// While the window is busy, the poller goes on polling; when the window gets to its queue, it builds only the
// newest tree, and every status still counts.
void TestServerView::onlyTheNewestTreeIsBuilt()
{
    open();
    QSignalSpy rebuilt(tree()->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    for (int round = 1; round <= 5; ++round) { // the window processes no events meanwhile
        server.update([round](standin::Network& n) { n.hosts.first().name = QStringLiteral("web-v%1").arg(round); });
        const qsizetype trees = server.requests(Tree).size();
        view->refreshNow();
        for (int waited = 0; server.requests(Tree).size() == trees && waited < 500; ++waited)
            QThread::msleep(10);
        QThread::msleep(100); // the answer reaches the poller, which queues it
    }
    QTRY_COMPARE(changed.count(), 5);
    QCOMPARE(rebuilt.count(), 1);
    tree()->expandAll();
    QVERIFY(indexOf(tree(), QStringLiteral("h:10")).data().toString().startsWith(QStringLiteral("web-v5")));
    waitForRound(); // trees that come one at a time are all built
    QCOMPARE(rebuilt.count(), 2);
}

NORV_TEST_MAIN(TestServerView)
#include "tst_serverview.moc"
