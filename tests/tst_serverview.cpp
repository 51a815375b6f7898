#include "dialogs.h"
#include "serverview.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QComboBox>
#include <QInputDialog>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QThread>
#include <QTreeView>

using standin::Fault;
using testsupport::child;

namespace {

const QString Status = QStringLiteral("/api/status");
const QString Tree = QStringLiteral("/api/tree/status");

QModelIndex indexOf(const QAbstractItemModel* model, const QString& key, const QModelIndex& parent = QModelIndex())
{
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex index = model->index(r, 0, parent);
        const QModelIndex found = index.data(treemodel::KeyRole).toString() == key ? index : indexOf(model, key, index);
        if (found.isValid())
            return found;
    }
    return {};
}

// The keys of the rows the view shows, depth first, and of those it shows open.
QStringList shownKeys(QTreeView* tree, bool openOnly, const QModelIndex& parent = QModelIndex())
{
    QStringList keys;
    for (int r = 0; r < tree->model()->rowCount(parent); ++r) {
        const QModelIndex index = tree->model()->index(r, 0, parent);
        if (!openOnly || tree->isExpanded(index))
            keys.append(index.data(treemodel::KeyRole).toString());
        keys += shownKeys(tree, openOnly, index);
    }
    return keys;
}

// A tree taller than any window: groups of hosts with checks. Polls change every check's output and the status of
// some, and add or drop hosts at the end of the last group.
QJsonObject tallTree(int poll, int extraHosts = 0, int droppedCheck = -1)
{
    QJsonArray groups, hosts, plugins;
    for (int g = 1; g <= 20; ++g) {
        groups.append(QJsonObject {{"id", g}, {"name", QStringLiteral("Grupp %1").arg(g)}, {"status", "ok"}});
        for (int h = 1; h <= 3 + (g == 20 ? extraHosts : 0); ++h) {
            const int host = g * 10 + h;
            hosts.append(QJsonObject {{"id", host}, {"name", QStringLiteral("värd-%1").arg(host)}, {"group_id", g}});
            for (int c = 1; c <= 3; ++c) {
                if (host * 10 + c == droppedCheck)
                    continue;
                plugins.append(QJsonObject {{"host_id", host}, {"plugin_id", c},
                    {"status", (host + c + poll) % 7 == 0 ? "critical" : "ok"},
                    {"output_text", QStringLiteral("mätning %1").arg(poll)}});
            }
        }
    }
    return {{"groups", groups}, {"hosts", hosts}, {"plugins", plugins}};
}

} // namespace

class TestServerView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::shortTimes(); }
    void init();
    void cleanup();

    void pollsLeaveTheViewportAlone();
    void steadyPollTellsTheViewsNothing();
    void statesAndTexts();
    void unreachableFromTheSecondFailedRound();
    void lostLoginThenReconnect();
    void expansionCurrentRowAndWidthsSurvivePolls();
    void filterExpandsAndRestoresOwnExpansion();
    void returnAndDoubleClick();
    void contextMenuEntries_data();
    void contextMenuEntries();
    void actionsSendTheirRequest_data();
    void actionsSendTheirRequest();
    void cancelledOrFailingActions();
    void treeAndLostLoginDuringAnAction();
    void onlyTheNewestTreeIsBuilt();

private:
    // A shown view of the stand-in, logged in as the user, that has built its first tree; it polls when told to.
    void open(const QString& user = QStringLiteral("operator"));
    QTreeView* tree() { return child<QTreeView>(view, "tree"); }
    QModelIndex row(const QString& key) { return indexOf(tree()->model(), key); }
    QString banner()
    {
        return child<QWidget>(view, "banner")->isVisible() ? child<QLabel>(view, "bannerLabel")->text() : QString();
    }
    void waitForRound();
    // Opens a row's context menu; the menu runs inside the event, so this returns once it has closed. With an
    // entry given, that entry is picked as a user does (highlight, Return) and its action has run on return.
    QStringList contextMenu(const QString& key, const QString& pick = QString());
    // A tree handed to the view as the poller hands it, worked out against the last one.
    void feed(const QJsonObject& payload);

    testsupport::Standin server;
    QPointer<ServerView> view;
    std::shared_ptr<const treemodel::Tree> fed;
};

void TestServerView::init()
{
    testsupport::resetConfig();
    settings::setRefreshSeconds(300); // the tests ask for each round themselves
    server.reset();
    fed.reset();
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
    view = new ServerView(server.entry(), server.issueToken(user), nullptr);
    view->resize(1000, 700);
    view->show();
    QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus && tree()->model()->rowCount() > 0, 10000);
    tree()->expandAll();
}

void TestServerView::waitForRound()
{
    const qsizetype trees = server.requests(Tree).size();
    view->refreshNow();
    QTRY_VERIFY(server.requests(Tree).size() > trees);
    QTest::qWait(50); // the tree reaches the view
}

void TestServerView::feed(const QJsonObject& payload)
{
    auto tree = std::make_shared<treemodel::Tree>(treemodel::readTree(payload));
    const treemodel::TreeUpdatePtr update = treemodel::diffTrees(fed, tree);
    fed = tree;
    view->onTree(update);
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
    tree()->scrollTo(row(key));
    const QPoint pos = tree()->visualRect(row(key)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree()->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree()->viewport(), &event);
    delete watcher;
    return entries;
}

// Scrolled half-way down a tall tree, with a current row and some nodes open: polls that change cells and add and
// drop rows below keep the top row at the top, the scroll bar where it was, the current row and the open nodes. A
// poll in which the current row vanishes leaves no current row, and still does not scroll.
void TestServerView::pollsLeaveTheViewportAlone()
{
    view = new ServerView(server.entry(), QString(), nullptr);
    view->resize(900, 400);
    view->show();
    feed(tallTree(0));
    for (const char* key : {"g:6", "g:7", "h:72", "g:9", "g:20"})
        tree()->expand(row(QLatin1String(key)));
    tree()->setCurrentIndex(row(QStringLiteral("p:72:2")));
    tree()->verticalScrollBar()->setValue(tree()->verticalScrollBar()->maximum() / 2);
    QScrollBar* bar = tree()->verticalScrollBar();
    const int scrolled = bar->value();
    const QString top = tree()->indexAt(QPoint(1, 1)).data(treemodel::KeyRole).toString();
    const QStringList open = shownKeys(tree(), true);
    QVERIFY(scrolled > 0 && !top.isEmpty());

    for (int poll = 1; poll <= 3; ++poll) {
        feed(tallTree(poll, poll % 2, poll == 2 ? 203 : -1));
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), scrolled);
        QCOMPARE(tree()->indexAt(QPoint(1, 1)).data(treemodel::KeyRole).toString(), top);
        QCOMPARE(tree()->currentIndex().data(treemodel::KeyRole).toString(), QStringLiteral("p:72:2"));
        QCOMPARE(shownKeys(tree(), true), open);
        QCOMPARE(
            row(QStringLiteral("p:11:1")).siblingAtColumn(2).data().toString(), QStringLiteral("mätning %1").arg(poll));
    }
    feed(tallTree(4, 0, 722));
    QCoreApplication::processEvents();
    QVERIFY(!tree()->currentIndex().isValid());
    QCOMPARE(bar->value(), scrolled);
}

void TestServerView::steadyPollTellsTheViewsNothing()
{
    view = new ServerView(server.entry(), QString(), nullptr);
    view->show();
    feed(tallTree(0));
    tree()->expandAll();
    QList<std::shared_ptr<QSignalSpy>> spies;
    for (QAbstractItemModel* model :
        {tree()->model(), static_cast<QAbstractProxyModel*>(tree()->model())->sourceModel()}) {
        spies.append(std::make_shared<QSignalSpy>(model, &QAbstractItemModel::modelReset));
        spies.append(std::make_shared<QSignalSpy>(model, &QAbstractItemModel::layoutChanged));
        spies.append(std::make_shared<QSignalSpy>(model, &QAbstractItemModel::dataChanged));
    }
    feed(tallTree(0));
    for (const auto& spy : std::as_const(spies))
        QCOMPARE(spy->count(), 0);
}

void TestServerView::statesAndTexts()
{
    view = new ServerView(server.entry(), QString(), nullptr); // no token: asks for a login and polls nothing
    view->show();
    QCOMPARE(banner(), QStringLiteral("Inte inloggad på %1.").arg(server.url()));
    QCOMPARE(child<QPushButton>(view, "bannerButton")->text(), QStringLiteral("Logga in…"));
    delete view;

    server.setFault(Status, Fault::raw(500, R"({"error":"Databasen svarar inte"})"));
    view = new ServerView(server.entry(), server.issueToken(QStringLiteral("operator")), nullptr);
    view->show();
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    QCOMPARE(view->summaryText, QStringLiteral("Ansluter…"));
    QTRY_COMPARE(view->summaryText, QStringLiteral("Ej ansluten"));
    QCOMPARE(banner(), QStringLiteral("Stand-in: Databasen svarar inte"));
    server.clearFaults();
    view->refreshNow();
    QTRY_VERIFY(view->hasStatus);
    QCOMPARE(banner(), QString());
    QCOMPARE(changed.last().first().toString(), server.entry().id);
    QCOMPARE(view->status, QStringLiteral("critical"));
    QCOMPARE(view->summaryText, QStringLiteral("2 kritiska · 2 varningar · 0 stale · 5 ok av 9"));
    QVERIFY(view->serverTimeText.startsWith(QStringLiteral("servertid 20")));
    QCOMPARE(view->versionText, QStringLiteral("klient 1.0.28 · server 1.0.28"));
}

// One failed round changes only the banner; from the second in a row the server counts as unreachable: its status
// is "unknown", the banner says since when and why, the status bar how old the shown state is, and the tree keeps
// its rows. The next answer puts everything back.
void TestServerView::unreachableFromTheSecondFailedRound()
{
    open();
    const int rows = tree()->model()->rowCount();
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    server.setFault(Status, Fault::hang());
    view->refreshNow();
    QTRY_VERIFY(banner().startsWith(QStringLiteral("Stand-in: Kan inte nå servern: ")));
    QCOMPARE(view->status, QStringLiteral("critical"));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!view->unreachable);
    const QString since = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    view->refreshNow();
    QTRY_VERIFY(view->unreachable);
    QCOMPARE(view->status, QStringLiteral("unknown"));
    QCOMPARE(changed.count(), 1);
    QVERIFY2(banner().startsWith(QStringLiteral("Kan inte nå servern sedan %1").arg(since))
            && banner().endsWith(QStringLiteral(": inget svar inom 10 s")),
        qPrintable(banner()));
    QVERIFY(view->serverTimeText.startsWith(QStringLiteral("senaste svar %1").arg(since)));
    QCOMPARE(tree()->model()->rowCount(), rows);

    server.clearFaults();
    view->refreshNow();
    QTRY_VERIFY(!view->unreachable);
    QCOMPARE(view->status, QStringLiteral("critical"));
    QVERIFY(view->serverTimeText.startsWith(QStringLiteral("servertid ")));
    QCOMPARE(banner(), QString());
}

void TestServerView::lostLoginThenReconnect()
{
    const QString token = server.issueToken(QStringLiteral("viewer"));
    settings::saveServerToken(server.entry().id, token);
    settings::saveServerToken(QStringLiteral("other"), QStringLiteral("annan"));
    view = new ServerView(server.entry(), token, nullptr);
    view->show();
    QTRY_VERIFY(view->hasStatus);
    QSignalSpy lost(view.data(), &ServerView::authLost);
    server.revokeToken(token);
    view->refreshNow();
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!QFile::exists(settings::serverTokenPath(server.entry().id)));
    QCOMPARE(settings::loadServerToken(QStringLiteral("other")), QStringLiteral("annan"));
    QVERIFY(!view->hasStatus && view->lastStatus.isEmpty());
    QCOMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
    QCOMPARE(banner(), QStringLiteral("Inloggningen på %1 har gått ut eller återkallats.").arg(server.url()));
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

void TestServerView::expansionCurrentRowAndWidthsSurvivePolls()
{
    open();
    tree()->collapseAll();
    for (const char* key : {"g:1", "g:2", "h:10"})
        tree()->expand(row(QLatin1String(key)));
    tree()->setCurrentIndex(row(QStringLiteral("p:10:101")));
    tree()->setColumnWidth(0, 222);
    // Hosts vanish and come back: a node that comes back reopens.
    server.update([](standin::Network& n) { n.hosts.removeIf([](const standin::Host& h) { return h.id == 10; }); });
    waitForRound();
    server.reset();
    waitForRound();
    QVERIFY(tree()->isExpanded(row(QStringLiteral("h:10"))));
    QVERIFY(!tree()->isExpanded(row(QStringLiteral("h:11"))));
    QCOMPARE(tree()->columnWidth(0), 222);
    // A collapsed parent keeps its open children for when it opens again.
    tree()->collapse(row(QStringLiteral("g:1")));
    waitForRound();
    tree()->expand(row(QStringLiteral("g:1")));
    QVERIFY(tree()->isExpanded(row(QStringLiteral("g:2"))));
    // Focusing the tree without a current row picks the first one.
    tree()->setCurrentIndex(QModelIndex());
    child<QTabWidget>(view, "tabs")->setCurrentIndex(1);
    view->focusTree();
    QCOMPARE(child<QTabWidget>(view, "tabs")->currentIndex(), 0);
    QCOMPARE(tree()->currentIndex().data(treemodel::KeyRole).toString(), QStringLiteral("g:1"));
}

void TestServerView::filterExpandsAndRestoresOwnExpansion()
{
    open();
    tree()->collapseAll();
    tree()->expand(row(QStringLiteral("g:3")));
    view->applyFilter(QStringLiteral("  DISK "));
    const QStringList matches {"g:1", "g:2", "h:10", "p:10:101", "h:11", "p:11:104:1", "p:11:104:2"};
    QCOMPARE(shownKeys(tree(), false), matches);
    const QStringList openUnderFilter = shownKeys(tree(), true);
    QVERIFY(openUnderFilter.contains(QStringLiteral("h:11")));
    // A poll with the filter in force keeps it, and what it lets through is open.
    server.update([](standin::Network& n) { n.checks[0].name = QStringLiteral("Disk /var"); });
    waitForRound();
    QCOMPARE(shownKeys(tree(), false), QStringList(matches).mid(0, 3) << QStringLiteral("p:10:100") << matches.mid(3));
    QVERIFY(shownKeys(tree(), true).contains(QStringLiteral("h:10")));
    view->applyFilter(QStringLiteral("   "));
    QCOMPARE(shownKeys(tree(), false).size(), 17);
    QCOMPARE(shownKeys(tree(), true), QStringList({"g:3"})); // the operator's own, not the filter's
    // The same filter twice does nothing the second time: the user's collapse under a filter stays.
    view->applyFilter(QStringLiteral("sw"));
    tree()->collapse(row(QStringLiteral("g:3")));
    view->applyFilter(QStringLiteral("sw "));
    QVERIFY(!tree()->isExpanded(row(QStringLiteral("g:3"))));
}

void TestServerView::returnAndDoubleClick()
{
    open();
    tree()->collapseAll();
    tree()->setFocus();
    tree()->setCurrentIndex(row(QStringLiteral("g:3")));
    QTest::keyClick(tree(), Qt::Key_Return);
    waitForRound(); // remembered like a click
    QVERIFY(tree()->isExpanded(row(QStringLiteral("g:3"))));
    QTest::keyClick(tree(), Qt::Key_Enter);
    QVERIFY(!tree()->isExpanded(row(QStringLiteral("g:3"))));
    QVERIFY(testsupport::topLevels<ChartDialog>().isEmpty());

    tree()->expandAll();
    tree()->setCurrentIndex(row(QStringLiteral("sp:501")).siblingAtColumn(2));
    QTest::keyClick(tree(), Qt::Key_Return);
    QTRY_COMPARE(testsupport::topLevels<ChartDialog>().size(), 1);
    QCOMPARE(testsupport::topLevels<ChartDialog>().first()->windowTitle(), QStringLiteral("Graf – Gi0/2"));
    const QPoint at = tree()->visualRect(row(QStringLiteral("p:11:103"))).center();
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
    open(QStringLiteral("admin"));
    QSignalSpy messages(view.data(), &ServerView::message);
    server.clearRequests();
    QPointer<QTimer> watcher = testsupport::whenModal([&](QWidget* modal) {
        if (auto* comment = qobject_cast<QInputDialog*>(modal)) {
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
    QTEST(messages.first().first().toString(), "message");
    const QList<standin::RecordedRequest> sent = server.requests(path);
    QCOMPARE(sent.size(), 1);
    QTEST(sent.first().query, "query");
    QTEST(sent.first().body, "body");
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
    QTest::qWait(100);
    QCOMPARE(messages.count(), 0);
    QVERIFY(server.requests(Tree).isEmpty()); // no refresh after a failure
}

// A request made on the GUI thread waits in an event loop in which the poller's payloads keep arriving: a new
// tree and even a lost login must leave the action and the view consistent.
void TestServerView::treeAndLostLoginDuringAnAction()
{
    const QString token = server.issueToken(QStringLiteral("operator"));
    view = new ServerView(server.entry(), token, nullptr);
    view->show();
    QTRY_VERIFY(view->hasStatus && tree()->model()->rowCount() > 0);
    tree()->expandAll();
    server.setFault(QStringLiteral("/api/hosts/11/plugins/103/recheck"), Fault::slow(350));
    QSignalSpy messages(view.data(), &ServerView::message);
    QSignalSpy lost(view.data(), &ServerView::authLost);
    QSignalSpy changed(tree()->model(), &QAbstractItemModel::dataChanged);
    server.update([](standin::Network& n) { n.checks[0].output = QStringLiteral("ny utdata"); });
    QTimer::singleShot(50, view, [&] { view->refreshNow(); });
    QTimer::singleShot(200, view, [&] {
        server.revokeToken(token);
        view->refreshNow();
    });
    contextMenu(QStringLiteral("p:11:103"), QStringLiteral("Kör recheck"));
    QVERIFY(changed.count() >= 1);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(view->summaryText, QStringLiteral("Inte inloggad"));
}

// While the window is busy, the poller goes on polling; when the window gets to its queue, it applies only the
// newest tree, and every status still counts.
void TestServerView::onlyTheNewestTreeIsBuilt()
{
    open();
    QSignalSpy changed(view.data(), &ServerView::statusChanged);
    QSignalSpy applied(tree()->model(), &QAbstractItemModel::dataChanged);
    for (int round = 1; round <= 5; ++round) { // the window processes no events meanwhile
        server.update([round](standin::Network& n) { n.hosts.first().name = QStringLiteral("web-v%1").arg(round); });
        const qsizetype trees = server.requests(Tree).size();
        view->refreshNow();
        for (int waited = 0; server.requests(Tree).size() == trees && waited < 500; ++waited)
            QThread::msleep(10);
        QThread::msleep(100); // the answer reaches the poller, which queues it
    }
    QTRY_COMPARE(changed.count(), 5);
    QCOMPARE(applied.count(), 1);
    QVERIFY(row(QStringLiteral("h:10")).data().toString().startsWith(QStringLiteral("web-v5")));
}

NORV_TEST_MAIN(TestServerView)
#include "tst_serverview.moc"
