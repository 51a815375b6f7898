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
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
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
    QAbstractItemModel* model = tree->model();
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex index = model->index(r, 0, parent);
        if (index.data(treemodel::KeyRole).toString() == key)
            return index;
        const QModelIndex found = indexOf(tree, key, index);
        if (found.isValid())
            return found;
    }
    return {};
}

QString currentKey(QTreeView* tree)
{
    return tree->currentIndex().siblingAtColumn(0).data(treemodel::KeyRole).toString();
}

// Keys of the rows a filter leaves visible, depth first.
QStringList visibleKeys(QTreeView* tree, const QModelIndex& parent = QModelIndex())
{
    QStringList keys;
    for (int r = 0; r < tree->model()->rowCount(parent); ++r) {
        const QModelIndex index = tree->model()->index(r, 0, parent);
        keys.append(index.data(treemodel::KeyRole).toString());
        keys += visibleKeys(tree, index);
    }
    return keys;
}

void pressKey(QWidget* widget, Qt::Key key)
{
    QTest::keyClick(widget, key);
}

} // namespace

class TestServerView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void connectsAndShowsCounts();
    void statusPayloadDefaults_data();
    void statusPayloadDefaults();
    void identityRoles_data();
    void identityRoles();
    void pollFailingBeforeFirstStatus();
    void pollFailingAfterStatusKeepsCounts();
    void lostLoginDeletesTokenAndStops();
    void reconnectWithNewToken();
    void withoutTokenAsksForLogin();
    void expansionAndSelectionSurviveRebuilds();
    void collapsedParentReopensItsChildren();
    void filterExpandsAndRestoresOwnExpansion();
    void vanishedCurrentNodeLeavesNoCurrentRow();
    void returnAndDoubleClick();
    void focusTreeSelectsFirstRow();
    void contextMenuEntries_data();
    void contextMenuEntries();
    void actionsSendTheirRequest_data();
    void actionsSendTheirRequest();
    void cancelledPromptsSendNothing();
    void failingActionWarnsAndDoesNotRefresh();
    void treeRebuildAndLostLoginDuringAnAction();
    void pollerOutlivingTheWaitIsDeletedLater();
    void versionNoticeForDifferingServer();
    void onlyTheNewestTreeIsBuilt();

private:
    // A view of the stand-in server, logged in as the given user, that has received its first tree.
    ServerView* open(const QString& user = QStringLiteral("operator"));
    void waitForRound(ServerView* view);
    QStringList menuEntries(ServerView* view, const QString& key);
    void chooseFromMenu(ServerView* view, const QString& key, const QString& entry);
    void openMenu(ServerView* view, const QString& key);

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
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog*>(w))
            w->close();
    }
    delete view;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ServerView* TestServerView::open(const QString& user)
{
    view = new ServerView(entry, server.issueToken(user), nullptr);
    view->resize(1000, 700);
    view->show();
    auto* tree = child<QTreeView>(view, "tree");
    if (!QTest::qWaitFor([tree] { return tree->model()->rowCount() > 0; }, 10000))
        QTest::qFail("no tree arrived", __FILE__, __LINE__);
    return view;
}

// Asks for a poll and waits until its tree has been built.
void TestServerView::waitForRound(ServerView* v)
{
    QSignalSpy rebuilt(child<QTreeView>(v, "tree")->model(), &QAbstractItemModel::modelReset);
    v->refreshNow();
    QTRY_VERIFY(rebuilt.count() > 0);
}

// Opens the context menu of a row and returns its entries ("-" for a separator). The menu runs modally inside the
// event, so it has been shown and closed when the event returns.
QStringList TestServerView::menuEntries(ServerView* v, const QString& key)
{
    QStringList entries;
    QPointer<QTimer> watcher = testsupport::whenPopup([&](QWidget* popup) {
        for (QAction* action : popup->actions())
            entries.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        popup->close();
    });
    openMenu(v, key);
    delete watcher;
    return entries;
}

// Picks an entry of a row's context menu; the action runs before this returns, so a watcher for its prompt must
// already be waiting.
void TestServerView::chooseFromMenu(ServerView* v, const QString& key, const QString& text)
{
    QPointer<QTimer> watcher = testsupport::whenPopup([text](QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                // As the user picks it: highlighted, then Return.
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    });
    openMenu(v, key);
    delete watcher;
}

void TestServerView::openMenu(ServerView* v, const QString& key)
{
    auto* tree = child<QTreeView>(v, "tree");
    const QModelIndex index = indexOf(tree, key);
    QVERIFY2(index.isValid(), qPrintable(key));
    tree->scrollTo(index);
    const QPoint pos = tree->visualRect(index).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree->viewport(), &event);
}

void TestServerView::connectsAndShowsCounts()
{
    view = new ServerView(entry, server.issueToken(QStringLiteral("operator")), nullptr);
    QSignalSpy changed(view, &ServerView::statusChanged);
    QCOMPARE(view->status, QStringLiteral("pending"));
    QCOMPARE(view->summaryText, QStringLiteral("Ansluter…"));
    QCOMPARE(view->versionText, QStringLiteral("klient 1.0.28 · server ?"));
    QVERIFY(!view->hasStatus);
    QTRY_COMPARE(changed.count(), 2); // identity, then status
    QCOMPARE(changed.first().first().toString(), entry.id);
    QCOMPARE(view->status, QStringLiteral("critical"));
    QVERIFY(view->hasStatus);
    QCOMPARE(view->summaryText, QStringLiteral("2 kritiska · 2 varningar · 0 stale · 5 ok av 9"));
    QVERIFY(view->serverTimeText.startsWith(QStringLiteral("servertid 20")));
    QCOMPARE(view->versionText, QStringLiteral("klient 1.0.28 · server 1.0.28"));
    QCOMPARE(view->lastStatus.value(QLatin1String("problems")).toArray().size(), 4);
    QVERIFY(!child<QFrame>(view, "banner")->isVisible());
    QCOMPARE(child<QTabWidget>(view, "tabs")->tabText(0), QStringLiteral("Översikt"));
    QCOMPARE(child<QTabWidget>(view, "tabs")->tabText(1), QStringLiteral("Larmlogg"));
}

void TestServerView::statusPayloadDefaults_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<bool>("timeKept");
    QTest::addColumn<QString>("version");
    QTest::newRow("empty object") << QByteArray("{}") << "ok"
                                  << "0 kritiska · 0 varningar · 0 stale · 0 ok av 0" << true
                                  << "klient 1.0.28 · server 1.0.28";
    QTest::newRow("ill-typed fields") << QByteArray(
        R"({"status":5,"server_time":"","server_version":null,"summary":[1,2],"problems":{}})")
                                      << "ok"
                                      << "0 kritiska · 0 varningar · 0 stale · 0 ok av 0" << true
                                      << "klient 1.0.28 · server 1.0.28";
    QTest::newRow("numbers of any shape")
        << QByteArray(R"({"status":"warning","server_version":2.5,"server_time":"12:00",
                        "summary":{"critical":1.5,"warning":"3","stale":4,"ok":1e12,"total":9}})")
        << "warning"
        << "0 kritiska · 0 varningar · 4 stale · 0 ok av 9" << false << "klient 1.0.28 · server 2.5";
    QTest::newRow("unknown status word") << QByteArray(R"({"status":"nere","server_version":""})") << "nere"
                                         << "0 kritiska · 0 varningar · 0 stale · 0 ok av 0" << true
                                         << "klient 1.0.28 · server ?";
}

void TestServerView::statusPayloadDefaults()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, status);
    QFETCH(QString, summary);
    QFETCH(bool, timeKept);
    QFETCH(QString, version);
    open();
    const QString timeBefore = view->serverTimeText;
    server.setFault(Status, Fault::raw(200, payload));
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    view->refreshNow();
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(view->status, status);
    QCOMPARE(view->summaryText, summary);
    QCOMPARE(view->serverTimeText, timeKept ? timeBefore : QStringLiteral("servertid 12:00"));
    QCOMPARE(view->versionText, version);
    QCOMPARE(view->lastStatus, QJsonDocument::fromJson(payload).object());
}

void TestServerView::identityRoles_data()
{
    QTest::addColumn<QByteArray>("identity");
    QTest::addColumn<bool>("canAct");
    QTest::addColumn<QString>("version");
    QTest::newRow("operator among others")
        << QByteArray(R"({"user":{"roles":["viewer","operator"]}})") << true << "klient 1.0.28 · server ?";
    QTest::newRow("capitalised admin") << QByteArray(R"({"user":{"roles":["Admin"]},"server_version":3})") << false
                                       << "klient 1.0.28 · server 3";
    QTest::newRow("roles not an array") << QByteArray(R"({"user":{"roles":"admin"}})") << false
                                        << "klient 1.0.28 · server ?";
    QTest::newRow("no user") << QByteArray(R"({"server_version":"9.9"})") << false << "klient 1.0.28 · server 9.9";
}

void TestServerView::identityRoles()
{
    QFETCH(QByteArray, identity);
    QFETCH(bool, canAct);
    QFETCH(QString, version);
    server.setFault(QStringLiteral("/api/auth/me"), Fault::raw(200, identity));
    server.setFault(Status, Fault::raw(500, "nej", "text/plain")); // keeps the identity's version text
    view = new ServerView(entry, server.issueToken(QStringLiteral("admin")), nullptr);
    QTRY_VERIFY(view->summaryText == QStringLiteral("Ej ansluten"));
    QCOMPARE(view->versionText, version);
    server.clearFaults();
    view->show();
    waitForRound(view);
    const QStringList entries = menuEntries(view, QStringLiteral("p:10:100"));
    QCOMPARE(entries.contains(QStringLiteral("Kör recheck")), canAct);
    QVERIFY(entries.contains(QStringLiteral("Graf…")));
}

void TestServerView::pollFailingBeforeFirstStatus()
{
    server.setFault(Status, Fault::raw(500, R"({"error":"Databasen svarar inte"})"));
    view = new ServerView(entry, server.issueToken(QStringLiteral("operator")), nullptr);
    view->show();
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    QTRY_COMPARE(view->summaryText, QStringLiteral("Ej ansluten"));
    QCOMPARE(changed.count(), 2); // identity, then the failure
    auto* banner = child<QFrame>(view, "banner");
    QVERIFY(banner->isVisible());
    QCOMPARE(child<QLabel>(view, "bannerLabel")->text(), QStringLiteral("Stand-in: Databasen svarar inte"));
    QVERIFY(!child<QPushButton>(view, "bannerButton")->isVisible());
    QCOMPARE(view->status, QStringLiteral("pending"));

    server.clearFaults();
    view->refreshNow();
    QTRY_VERIFY(!banner->isVisible());
    QCOMPARE(view->status, QStringLiteral("critical"));
}

void TestServerView::pollFailingAfterStatusKeepsCounts()
{
    open();
    const QString counts = view->summaryText;
    server.setFault(Status, Fault::drop());
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    view->refreshNow();
    QTRY_VERIFY(child<QFrame>(view, "banner")->isVisible());
    QVERIFY(child<QLabel>(view, "bannerLabel")->text().startsWith(QStringLiteral("Stand-in: Kan inte nå servern: ")));
    QCOMPARE(view->summaryText, counts);
    QCOMPARE(view->status, QStringLiteral("critical"));
    QVERIFY(view->hasStatus);
    QTest::qWait(200);
    QCOMPARE(changed.count(), 0);
}

void TestServerView::lostLoginDeletesTokenAndStops()
{
    const QString token = server.issueToken(QStringLiteral("operator"));
    settings::saveServerToken(entry.id, token);
    settings::saveServerToken(QStringLiteral("other"), QStringLiteral("annan"));
    view = new ServerView(entry, token, nullptr);
    view->show();
    QTRY_VERIFY(view->hasStatus);
    QSignalSpy lost(view.data(), &ServerView::authLost);
    server.revokeToken(token);
    view->refreshNow();
    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(lost.first().first().toString(), entry.id);
    QVERIFY(!QFile::exists(settings::serverTokenPath(entry.id)));
    QCOMPARE(settings::loadServerToken(QStringLiteral("other")), QStringLiteral("annan"));
    QCOMPARE(view->status, QStringLiteral("pending"));
    QVERIFY(!view->hasStatus);
    QVERIFY(view->lastStatus.isEmpty());
    QCOMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
    QCOMPARE(child<QLabel>(view, "bannerLabel")->text(),
        QStringLiteral("Inloggningen på %1 har gått ut eller återkallats.").arg(server.url()));
    QVERIFY(child<QPushButton>(view, "bannerButton")->isVisible());
    QCOMPARE(child<QPushButton>(view, "bannerButton")->text(), QStringLiteral("Logga in igen…"));

    const int requests = int(server.requests().size());
    view->refreshNow();
    QTest::qWait(300);
    QCOMPARE(int(server.requests().size()), requests);

    QSignalSpy relogin(view.data(), &ServerView::reloginRequested);
    QTest::mouseClick(child<QPushButton>(view, "bannerButton"), Qt::LeftButton);
    QCOMPARE(relogin.count(), 1);
    QCOMPARE(relogin.first().first().toString(), entry.id);
}

void TestServerView::reconnectWithNewToken()
{
    const QString token = server.issueToken(QStringLiteral("viewer"));
    view = new ServerView(entry, token, nullptr);
    view->show();
    QTRY_VERIFY(view->hasStatus);
    server.revokeToken(token);
    view->refreshNow();
    QTRY_COMPARE(view->summaryText, QStringLiteral("Inte inloggad"));

    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    server.clearRequests();
    const QString fresh = server.issueToken(QStringLiteral("operator"));
    view->reconnect(fresh);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(view->summaryText, QStringLiteral("Ansluter…"));
    QCOMPARE(view->status, QStringLiteral("pending"));
    QVERIFY(!child<QFrame>(view, "banner")->isVisible());
    QTRY_VERIFY(view->hasStatus);
    QCOMPARE(server.requests().first().path, QStringLiteral("/api/auth/me"));
    QCOMPARE(server.requests().first().header("authorization"), "Bearer " + fresh.toUtf8());
    // The new login may act, and the alarm log uses the new token.
    waitForRound(view);
    QVERIFY(menuEntries(view, QStringLiteral("p:10:100")).contains(QStringLiteral("Kör recheck")));
    child<QTabWidget>(view, "tabs")->setCurrentIndex(1);
    QTRY_COMPARE(server.requests(QStringLiteral("/api/alarmlog")).size(), 1);
    QCOMPARE(
        server.requests(QStringLiteral("/api/alarmlog")).first().header("authorization"), "Bearer " + fresh.toUtf8());
}

void TestServerView::withoutTokenAsksForLogin()
{
    view = new ServerView(entry, QString(), nullptr);
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    view->show();
    QCOMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
    QCOMPARE(view->status, QStringLiteral("pending"));
    QCOMPARE(child<QLabel>(view, "bannerLabel")->text(), QStringLiteral("Inte inloggad på %1.").arg(server.url()));
    QCOMPARE(child<QPushButton>(view, "bannerButton")->text(), QStringLiteral("Logga in…"));
    QVERIFY(child<QPushButton>(view, "bannerButton")->isVisible());
    QTest::qWait(300);
    QCOMPARE(changed.count(), 0);
    QVERIFY(server.requests().isEmpty() || server.requests().first().path == QStringLiteral("/api/alarmlog"));
}

void TestServerView::expansionAndSelectionSurviveRebuilds()
{
    open();
    auto* tree = child<QTreeView>(view, "tree");
    tree->expand(indexOf(tree, QStringLiteral("g:1")));
    tree->expand(indexOf(tree, QStringLiteral("g:2")));
    tree->expand(indexOf(tree, QStringLiteral("h:10")));
    tree->setCurrentIndex(indexOf(tree, QStringLiteral("p:10:101")));
    for (int i = 0; i < 3; ++i)
        waitForRound(view);
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("h:10"))));
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("g:2"))));
    QVERIFY(!tree->isExpanded(indexOf(tree, QStringLiteral("h:11"))));
    QCOMPARE(currentKey(tree), QStringLiteral("p:10:101"));
    // The user's column widths are kept too.
    tree->setColumnWidth(0, 222);
    waitForRound(view);
    QCOMPARE(tree->columnWidth(0), 222);
}

void TestServerView::collapsedParentReopensItsChildren()
{
    open();
    auto* tree = child<QTreeView>(view, "tree");
    tree->expand(indexOf(tree, QStringLiteral("g:1")));
    tree->expand(indexOf(tree, QStringLiteral("g:2")));
    tree->collapse(indexOf(tree, QStringLiteral("g:1")));
    waitForRound(view);
    QVERIFY(!tree->isExpanded(indexOf(tree, QStringLiteral("g:1"))));
    tree->expand(indexOf(tree, QStringLiteral("g:1")));
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("g:2"))));
}

void TestServerView::filterExpandsAndRestoresOwnExpansion()
{
    open();
    auto* tree = child<QTreeView>(view, "tree");
    tree->expand(indexOf(tree, QStringLiteral("g:3")));
    view->applyFilter(QStringLiteral("  DISK "));
    // Hosts without a matching check disappear; a matching check shows with its ancestors only.
    QCOMPARE(visibleKeys(tree), QStringList({"g:1", "g:2", "h:10", "p:10:101", "h:11", "p:11:104:1", "p:11:104:2"}));
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("h:11"))));
    waitForRound(view); // a rebuild under a filter expands everything again
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("h:10"))));

    view->applyFilter(QStringLiteral("   "));
    QCOMPARE(visibleKeys(tree).size(), 17);
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("g:3"))));
    QVERIFY(!tree->isExpanded(indexOf(tree, QStringLiteral("g:1"))));
    QVERIFY(!tree->isExpanded(indexOf(tree, QStringLiteral("h:10"))));
    waitForRound(view);
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("g:3"))));
    QVERIFY(!tree->isExpanded(indexOf(tree, QStringLiteral("h:10"))));

    // The same filter twice does nothing the second time: the user's collapse under a filter stays.
    view->applyFilter(QStringLiteral("sw"));
    tree->collapse(indexOf(tree, QStringLiteral("g:3")));
    view->applyFilter(QStringLiteral("sw "));
    QVERIFY(!tree->isExpanded(indexOf(tree, QStringLiteral("g:3"))));
}

void TestServerView::vanishedCurrentNodeLeavesNoCurrentRow()
{
    open();
    auto* tree = child<QTreeView>(view, "tree");
    tree->setCurrentIndex(indexOf(tree, QStringLiteral("p:11:103")));
    server.update(
        [](standin::Network& n) { n.checks.removeIf([](const standin::Check& c) { return c.pluginId == 103; }); });
    waitForRound(view);
    QVERIFY(!indexOf(tree, QStringLiteral("p:11:103")).isValid());
    QVERIFY(!tree->currentIndex().isValid());
}

void TestServerView::returnAndDoubleClick()
{
    open();
    auto* tree = child<QTreeView>(view, "tree");
    tree->setFocus();
    pressKey(tree, Qt::Key_Return); // no current row: nothing
    QVERIFY(testsupport::topLevels<ChartDialog>().isEmpty());

    tree->setCurrentIndex(indexOf(tree, QStringLiteral("g:3")));
    pressKey(tree, Qt::Key_Return);
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("g:3"))));
    waitForRound(view); // remembered like a click
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("g:3"))));
    pressKey(tree, Qt::Key_Enter);
    QVERIFY(!tree->isExpanded(indexOf(tree, QStringLiteral("g:3"))));

    tree->expand(indexOf(tree, QStringLiteral("g:3")));
    tree->expand(indexOf(tree, QStringLiteral("h:12")));
    tree->setCurrentIndex(indexOf(tree, QStringLiteral("sp:501")).siblingAtColumn(2));
    pressKey(tree, Qt::Key_Return);
    QTRY_COMPARE(testsupport::topLevels<ChartDialog>().size(), 1);
    QCOMPARE(testsupport::topLevels<ChartDialog>().first()->windowTitle(), QStringLiteral("Graf – Gi0/2"));
    QVERIFY(tree->isExpanded(indexOf(tree, QStringLiteral("h:12"))));

    tree->expand(indexOf(tree, QStringLiteral("g:1")));
    tree->expand(indexOf(tree, QStringLiteral("h:11")));
    const QModelIndex postgres = indexOf(tree, QStringLiteral("p:11:103"));
    tree->scrollTo(postgres);
    const QPoint at = tree->visualRect(postgres).center();
    // As a real double-click comes: press and release, then the double-click.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(testsupport::topLevels<ChartDialog>().size(), 2);
}

void TestServerView::focusTreeSelectsFirstRow()
{
    open();
    auto* tree = child<QTreeView>(view, "tree");
    child<QTabWidget>(view, "tabs")->setCurrentIndex(1);
    tree->setCurrentIndex(QModelIndex());
    view->focusTree();
    QCOMPARE(child<QTabWidget>(view, "tabs")->currentIndex(), 0);
    QCOMPARE(currentKey(tree), QStringLiteral("g:1"));
    tree->setCurrentIndex(indexOf(tree, QStringLiteral("g:3")));
    view->focusTree();
    QCOMPARE(currentKey(tree), QStringLiteral("g:3"));
}

void TestServerView::contextMenuEntries_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("entries");
    const QStringList okCheck {"Avkvittera", "Stör ej…", "Kör recheck", "-", "Graf…"};
    QTest::newRow("ok check") << "operator"
                              << "p:10:100" << okCheck;
    QTest::newRow("critical check") << "admin"
                                    << "p:11:103"
                                    << QStringList {"Kvittera…", "Avkvittera", "Stör ej…", "Kör recheck", "-", "Graf…"};
    QTest::newRow("critical port") << "operator"
                                   << "sp:501" << QStringList {"Kvittera…", "Avkvittera", "Stör ej…", "-", "Graf…"};
    QTest::newRow("host") << "operator"
                          << "h:10" << QStringList {"Kör recheck (alla checkar)", "Stör ej hela enheten…"};
    QTest::newRow("group") << "operator"
                           << "g:1" << QStringList();
    QTest::newRow("placeholder group") << "admin"
                                       << "g:-1" << QStringList();
    QTest::newRow("viewer on check") << "viewer"
                                     << "p:11:103" << QStringList {"Graf…"};
    QTest::newRow("viewer on host") << "viewer"
                                    << "h:11" << QStringList();
}

void TestServerView::contextMenuEntries()
{
    QFETCH(QString, user);
    QFETCH(QString, key);
    QFETCH(QStringList, entries);
    open(user);
    auto* tree = child<QTreeView>(view, "tree");
    tree->expandAll();
    QCOMPARE(menuEntries(view, key), entries);
}

void TestServerView::actionsSendTheirRequest_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("dialogInput"); // text for the comment prompt, or the silence duration
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("acknowledge with comment") << "p:11:103"
                                              << "Kvittera…"
                                              << "  tittar på det  "
                                              << "/api/hosts/11/plugins/103/acknowledge" << QByteArray()
                                              << QByteArray(R"({"comment":"tittar på det"})") << "Kvittensen utförd";
    QTest::newRow("acknowledge port, empty comment")
        << "sp:501"
        << "Kvittera…"
        << ""
        << "/api/switch-ports/501/acknowledge" << QByteArray() << QByteArray("{}") << "Kvittensen utförd";
    QTest::newRow("unacknowledge instance") << "p:11:104:2"
                                            << "Avkvittera"
                                            << ""
                                            << "/api/hosts/11/plugins/104/acknowledge/clear" << QByteArray("instance=2")
                                            << QByteArray() << "Avkvitteringen utförd";
    QTest::newRow("recheck") << "p:10:100"
                             << "Kör recheck"
                             << ""
                             << "/api/hosts/10/plugins/100/recheck" << QByteArray() << QByteArray() << "Recheck utförd";
    QTest::newRow("recheck host") << "h:13"
                                  << "Kör recheck (alla checkar)"
                                  << ""
                                  << "/api/hosts/13/recheck" << QByteArray() << QByteArray() << "Recheck utförd";
    QTest::newRow("silence check") << "p:11:104:1"
                                   << "Stör ej…"
                                   << "Tills vidare"
                                   << "/api/dnd" << QByteArray()
                                   << QByteArray(
                                          "scope=plugin&host_id=11&plugin_id=104&instance_id=1&reason=disk%20byts")
                                   << "Stör ej utförd";
    QTest::newRow("silence port by its id")
        << "sp:500"
        << "Stör ej…"
        << "8 timmar"
        << "/api/dnd" << QByteArray() << QByteArray("scope=port&port_id=500&minutes=480&reason=disk%20byts")
        << "Stör ej utförd";
    QTest::newRow("silence host") << "h:12"
                                  << "Stör ej hela enheten…"
                                  << "1 timme"
                                  << "/api/dnd" << QByteArray()
                                  << QByteArray("scope=host&host_id=12&minutes=60&reason=disk%20byts")
                                  << "Stör ej utförd";
}

void TestServerView::actionsSendTheirRequest()
{
    QFETCH(QString, key);
    QFETCH(QString, entry);
    QFETCH(QString, dialogInput);
    QFETCH(QString, path);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    open(QStringLiteral("admin"));
    child<QTreeView>(view, "tree")->expandAll();
    QSignalSpy messages(view.data(), &ServerView::message);
    server.clearRequests();

    QString promptLabel;
    QString dialogTitle;
    QPointer<QTimer> watcher = testsupport::whenModal(
        [&](QWidget* modal) {
            dialogTitle = modal->windowTitle();
            if (auto* input = qobject_cast<QInputDialog*>(modal)) {
                promptLabel = input->labelText();
                input->setTextValue(dialogInput);
                input->accept();
            } else if (auto* silence = qobject_cast<DndDialog*>(modal)) {
                auto* combo = silence->findChild<QComboBox*>();
                combo->setCurrentIndex(combo->findText(dialogInput));
                silence->findChild<QLineEdit*>()->setText(QStringLiteral("  disk byts "));
                silence->accept();
            }
        },
        2000);
    chooseFromMenu(view, key, entry);
    delete watcher; // actions without a prompt leave it waiting
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().at(0).toString(), message);
    QCOMPARE(messages.first().at(1).toInt(), 5000);

    const QList<standin::RecordedRequest> actions = server.requests(path);
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.first().method, QByteArray("POST"));
    QCOMPARE(actions.first().query, query);
    QCOMPARE(actions.first().body, body);
    if (entry == QLatin1String("Kvittera…")) {
        QCOMPARE(dialogTitle, QStringLiteral("Kvittera larm"));
        QVERIFY(promptLabel.startsWith(QStringLiteral("Kvittera ")));
        QVERIFY(promptLabel.endsWith(QStringLiteral(".\nKommentar (valfri):")));
    } else if (entry.startsWith(QLatin1String("Stör ej"))) {
        QVERIFY(dialogTitle.startsWith(QStringLiteral("Stör ej – ")));
    }
    // The action is followed by an immediate poll.
    QTRY_VERIFY(!server.requests(Tree).isEmpty());
}

void TestServerView::cancelledPromptsSendNothing()
{
    open(QStringLiteral("admin"));
    child<QTreeView>(view, "tree")->expandAll();
    server.clearRequests();
    for (const QString& entry : {QStringLiteral("Kvittera…"), QStringLiteral("Stör ej…")}) {
        bool cancelled = false;
        testsupport::whenModal([&](QWidget* modal) {
            static_cast<QDialog*>(modal)->reject();
            cancelled = true;
        });
        chooseFromMenu(view, QStringLiteral("p:11:103"), entry);
        QVERIFY(cancelled);
    }
    QTest::qWait(300);
    QVERIFY(server.requests(QStringLiteral("/api/dnd")).isEmpty());
    QVERIFY(server.requests(QStringLiteral("/api/hosts/11/plugins/103/acknowledge")).isEmpty());
}

void TestServerView::failingActionWarnsAndDoesNotRefresh()
{
    open(QStringLiteral("operator"));
    child<QTreeView>(view, "tree")->expandAll();
    server.setFault(
        QStringLiteral("/api/hosts/10/plugins/100/recheck"), Fault::raw(500, R"({"error":"Schemaläggaren är nere"})"));
    server.clearRequests();
    QSignalSpy messages(view.data(), &ServerView::message);
    QString title, text;
    testsupport::whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    chooseFromMenu(view, QStringLiteral("p:10:100"), QStringLiteral("Kör recheck"));
    QCOMPARE(text, QStringLiteral("Recheck misslyckades: Schemaläggaren är nere"));
    QCOMPARE(title, QStringLiteral("Norv"));
    QTest::qWait(500);
    QCOMPARE(messages.count(), 0);
    QVERIFY(server.requests(Tree).isEmpty());
}

// A request made on the GUI thread waits in an event loop in which the poller's payloads keep arriving: a rebuilt
// tree and even a lost login must leave the action and the view consistent.
void TestServerView::treeRebuildAndLostLoginDuringAnAction()
{
    const QString token = server.issueToken(QStringLiteral("operator"));
    view = new ServerView(entry, token, nullptr);
    view->show();
    auto* tree = child<QTreeView>(view, "tree");
    QTRY_VERIFY(tree->model()->rowCount() > 0);
    tree->expandAll();
    server.setFault(QStringLiteral("/api/hosts/11/plugins/103/recheck"), Fault::slow(1500));
    QSignalSpy messages(view.data(), &ServerView::message);
    QSignalSpy lost(view.data(), &ServerView::authLost);
    QSignalSpy rebuilt(tree->model(), &QAbstractItemModel::modelReset);
    // While the action waits: one more rebuild, then the login is revoked.
    QTimer::singleShot(200, view, [&] { view->refreshNow(); });
    QTimer::singleShot(700, view, [&] {
        server.revokeToken(token);
        view->refreshNow();
    });
    chooseFromMenu(view, QStringLiteral("p:11:103"), QStringLiteral("Kör recheck"));
    QCOMPARE(rebuilt.count(), 1);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().first().toString(), QStringLiteral("Recheck utförd"));
    QCOMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
    QVERIFY(indexOf(tree, QStringLiteral("p:11:103")).isValid());
}

void TestServerView::pollerOutlivingTheWaitIsDeletedLater()
{
    server.setFault(Status, Fault::slow(4500));
    view = new ServerView(entry, server.issueToken(QStringLiteral("viewer")), nullptr);
    QPointer<PollerThread> poller = view->findChild<PollerThread*>();
    QVERIFY(poller);
    QTRY_COMPARE(server.requests(Status).size(), 1);
    QElapsedTimer clock;
    clock.start();
    delete view;
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= 2900 && waited < 4400, qPrintable(QString::number(waited)));
    QVERIFY(poller);
    QVERIFY(poller->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(poller.isNull(), 10000);
}

void TestServerView::versionNoticeForDifferingServer()
{
    server.update([](standin::Network& n) { n.serverVersion = QStringLiteral("2.0.0"); });
    open();
    auto* notice = view->findChild<QMessageBox*>(QStringLiteral("versionNotice"));
    QTRY_VERIFY(notice->isVisible());
    QVERIFY(notice->text().contains(QStringLiteral("servern Stand-in har version 2.0.0")));
    notice->reject();
    waitForRound(view);
    QVERIFY(!notice->isVisible());
    QCOMPARE(view->versionText, QStringLiteral("klient 1.0.28 · server 2.0.0"));
}

// While the window is busy, the poller goes on polling; when the window gets to its queue, it builds only the
// newest tree, and every status still counts.
void TestServerView::onlyTheNewestTreeIsBuilt()
{
    open();
    auto* tree = child<QTreeView>(view, "tree");
    QSignalSpy rebuilt(tree->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    const int treesBefore = int(server.requests(Tree).size());
    // The window is busy (it processes no events) while five rounds are asked for and answered; between rounds
    // the network changes, so that the newest tree is told apart from the others.
    for (int round = 1; round <= 5; ++round) {
        server.update([round](standin::Network& n) { n.hosts.first().name = QStringLiteral("web-v%1").arg(round); });
        const int trees = int(server.requests(Tree).size());
        view->refreshNow();
        QElapsedTimer clock;
        clock.start();
        while (server.requests(Tree).size() == trees && clock.elapsed() < 5000)
            QThread::msleep(10);
        QThread::msleep(100); // the answer reaches the poller, which queues it
    }
    QCOMPARE(int(server.requests(Tree).size()), treesBefore + 5);
    QTRY_COMPARE(changed.count(), 5);
    QCOMPARE(rebuilt.count(), 1);
    tree->expandAll();
    QVERIFY(indexOf(tree, QStringLiteral("h:10")).data().toString().startsWith(QStringLiteral("web-v5")));
    // Trees that come one at a time are all built.
    waitForRound(view);
    QCOMPARE(rebuilt.count(), 2);
}

NORV_TEST_MAIN(TestServerView)
#include "tst_serverview.moc"
