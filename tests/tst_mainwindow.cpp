// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarms.h"
#include "core/icons.h"
#include "core/statuses.h"
#include "core/version.h"
#include "gui/appearance.h"
#include "gui/mainwindow.h"
#include "gui/notifications.h"
#include "gui/serverview.h"
#include "gui/tray.h"
#include "net/apiclient.h"
#include "testsupport.h"
#include "tree/treemodel.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFontInfo>
#include <QInputDialog>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>

using standin::Fault;
using testsupport::child;

static QColor iconColor(const QIcon& icon)
{
    return QColor(icon.pixmap(64, 64).toImage().pixel(32, 2));
}

static QColor colorOf(const char* status)
{
    return icons::statusColor(QLatin1String(status), false);
}

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testsupport::shortTimes();
        testsupport::resetForTabs();
        for (testsupport::Standin* s : {&a, &b, &c})
            s->reset();
        window = std::make_unique<MainWindow>();
    }
    void cleanup()
    {
        window.reset();
        NorvTray::availabilityForTests().reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The window's icon shows the worst server, each tab its own, and the title and status bar the current tab.
    // One failed round changes only the banner; from the second in a row the server counts as unreachable: its tab
    // and the window show "unknown", the banner says since when and why, the status bar how old the shown state is,
    // and the tree keeps its rows, drawn as old; in "Aktiva larm" its own alarm keeps its colour, its other alarms
    // are drawn as old. The next answer puts everything back.
    void statusInIconsTitleAndTray()
    {
        b.update([](standin::Network& n) { n.checks = {*n.check(10, 101, 0)}, n.ports.clear(); });
        ServerView* va = open(a.store());
        ServerView* vb = open(b.store());
        QTRY_COMPARE(iconColor(window->windowIcon()), colorOf("critical"));
        QCOMPARE(iconColor(tabs()->tabIcon(1)), colorOf("warning"));
        QVERIFY(window->windowTitle().endsWith(vb->entry.url));
        QCOMPARE(child<QLabel>(window.get(), "summaryLabel")->text(), vb->summaryText);
        const QString version = appversion::clientVersion(); // the stand-in's too
        QCOMPARE(
            child<QLabel>(window.get(), "versionLabel")->text(), QStringLiteral("klient %1 · server %1").arg(version));
        // The last answer and the first failure come within a moment of each other, perhaps across a new minute.
        const auto minute = [] { return QTime::currentTime().toString(QStringLiteral("HH:mm")); };
        const QString before = minute();
        b.setFault(QStringLiteral("/api/status"), Fault::drop());
        vb->refreshNow();
        QTRY_VERIFY(child<QWidget>(vb, "banner")->isVisibleTo(vb));
        QVERIFY(child<QFrame>(vb, "banner")->frameWidth() > 0); // framed apart from the tree
        const QString after = minute();
        const auto at = [&](const QString& text, const QString& start) {
            return text.startsWith(start + before) || text.startsWith(start + after);
        };
        QCOMPARE(iconColor(tabs()->tabIcon(1)), colorOf("warning"));
        vb->refreshNow();
        QTRY_VERIFY(vb->unreachable);
        QCOMPARE(iconColor(tabs()->tabIcon(1)), colorOf("unknown"));
        const QString banner = child<QLabel>(vb, "bannerLabel")->text();
        QVERIFY2(at(banner, QStringLiteral("Kan inte nå servern sedan "))
                && banner.endsWith(QStringLiteral(": anslutningen bröts")),
            qPrintable(banner));
        QVERIFY(at(vb->serverTimeText, QStringLiteral("senaste svar ")));
        const auto drawn
            = [vb](int column, int role) { return child<QTreeView>(vb, "tree")->model()->index(0, column).data(role); };
        const QColor old = child<QTreeView>(vb, "tree")->palette().color(QPalette::Disabled, QPalette::Text);
        QCOMPARE(drawn(1, Qt::ForegroundRole).value<QBrush>().color(), old);
        QCOMPARE(drawn(0, Qt::DecorationRole).value<QIcon>().pixmap(12).toImage().pixel(6, 6), old.rgba());
        window->closeServer(va->entry.id);
        QCOMPARE(iconColor(window->windowIcon()), colorOf("unknown"));
        QCOMPARE(panel()->rowCount(), 2);
        QCOMPARE(panel()->index(0, 0).data(Qt::ForegroundRole).value<QBrush>().color(), colorOf("unknown"));
        QVERIFY(!panel()->index(0, 0).data(Qt::FontRole).value<QFont>().bold()); // no row of its tree to have changed
        QCOMPARE(panel()->index(1, 0).data(Qt::ForegroundRole).value<QBrush>().color(), old);
        b.clearFaults();
        vb->refreshNow();
        QTRY_VERIFY(!vb->unreachable);
        QVERIFY(!child<QWidget>(vb, "banner")->isVisibleTo(vb));
        QCOMPARE(iconColor(window->windowIcon()), colorOf("warning"));
        QCOMPARE(drawn(1, Qt::ForegroundRole).value<QBrush>().color(),
            icons::statusColor(drawn(0, treemodel::StatusRole).toString(), false));
    }

    void worstStatus_data()
    {
        testsupport::columns<QStringList, QString>("statuses", "worst");
        QTest::newRow("critical over unknown") << QStringList {"unknown", "critical"} << "critical";
        QTest::newRow("unknown over warning") << QStringList {"warning", "unknown"} << "unknown";
        QTest::newRow("warning over stale") << QStringList {"stale", "warning"} << "warning";
        QTest::newRow("stale over ok") << QStringList {"ok", "stale"} << "stale";
        QTest::newRow("ok over pending") << QStringList {"pending", "ok"} << "ok";
        QTest::newRow("nothing ranked") << QStringList {"pending", "none", "ignored"} << "pending";
        QTest::newRow("no tabs") << QStringList {} << "ok";
    }
    // The window's icon shows the worst of its tabs.
    void worstStatus() { QTEST(::worstStatus(testsupport::fetch<QStringList>("statuses")), "worst"); }

    void closingAndRemoving_data()
    {
        testsupport::columns<bool, bool, bool>("remove", "open", "tokenValid");
        QTest::newRow("closed tab keeps server and token") << false << true << true;
        QTest::newRow("removed open tab, token already revoked") << true << true << false;
        QTest::newRow("removed, not open") << true << false << true;
    }
    // Closing a tab keeps the server; removing it logs out (whatever the server says) and forgets it and its token.
    void closingAndRemoving()
    {
        QFETCH(bool, remove);
        const settings::ServerEntry ea = a.store(), eb = b.store();
        const QString token = settings::loadServerToken(ea.id);
        if (testsupport::fetch<bool>("open"))
            open(ea);
        if (!testsupport::fetch<bool>("tokenValid"))
            a.revokeToken(token);
        a.clearRequests();
        if (remove)
            window->removeServer(ea.id);
        else
            Q_EMIT tabs()->tabCloseRequested(0); // the tab's close button
        QVERIFY(!window->view(ea.id));
        QCOMPARE(child<QStackedWidget>(window.get(), "stack")->currentIndex(), 0); // the empty page
        QCOMPARE(bool(settings::findServer(ea.id)), !remove);
        QCOMPARE(settings::loadServerToken(ea.id), remove ? QString() : token);
        QCOMPARE(a.requests(QStringLiteral("/api/auth/logout")).size(), remove ? 1 : 0);
        QCOMPARE(a.requests().value(0).header("authorization"), remove ? "Bearer " + token.toUtf8() : QByteArray());
        QVERIFY(!settings::loadServerToken(eb.id).isEmpty());
    }

    // A lost login: the tab says so, the tray tells of it; the banner's button logs in again to the same address
    // and reconnects the same tab.
    void lostLoginAndRelogin()
    {
        const settings::ServerEntry ea = a.store();
        b.store();
        ServerView* va = open(ea);
        QSignalSpy notified(window->trayIcon(), &NorvTray::notified);
        // The rejected token goes, as nothing else does.
        QMap<QString, QByteArray> files = testsupport::configSnapshot();
        files.remove(settings::serverTokenPath(ea.id));
        a.revokeToken(settings::loadServerToken(ea.id));
        va->refreshNow();
        QTRY_COMPARE(va->summaryText, QStringLiteral("Inte inloggad"));
        QCOMPARE(va->status, QStringLiteral("pending")); // not what it was before the login was lost
        QCOMPARE(testsupport::configSnapshot(), files);
        QVERIFY(child<QPushButton>(va, "bannerButton")->isVisibleTo(va));
        QCOMPARE(notified.count(), 1);
        QCOMPARE(notified.first().at(1).toString(),
            QStringLiteral("Inloggningen på %1 har gått ut – logga in igen.").arg(ea.label()));

        QString lockedUrl;
        testsupport::whenModal([&](QWidget* modal) {
            if (child<QLineEdit>(modal, "urlEdit")->isReadOnly())
                lockedUrl = child<QLineEdit>(modal, "urlEdit")->text();
            testsupport::logIn(modal, QString(), QStringLiteral("admin"), QStringLiteral("admin"));
        });
        QTest::mouseClick(child<QPushButton>(va, "bannerButton"), Qt::LeftButton);
        QCOMPARE(lockedUrl, a.url());
        QCOMPARE(window->views(), QList<ServerView*>({va}));
        QTRY_VERIFY(va->hasStatus);
        QCOMPARE(a.requests().last().header("authorization"), "Bearer " + settings::loadServerToken(ea.id).toUtf8());
        QCOMPARE(settings::servers().size(), 2);
    }

    // The filter applies to the tree as it is typed, also in tabs opened later; Escape clears it and goes to the
    // tree, the Find key comes back to it.
    void filterField()
    {
        ServerView* va = open(a.store());
        showWindow();
        auto* filter = child<QLineEdit>(window.get(), "filterEdit");
        auto* tree = child<QTreeView>(va, "tree");
        QTest::keyClicks(filter, QStringLiteral("postgres"));
        QCOMPARE(tree->model()->rowCount(), 1); // only Stockholm holds a match
        QTest::keyClick(filter, Qt::Key_Escape);
        QCOMPARE(filter->text(), QString());
        QVERIFY(tree->hasFocus());
        QCOMPARE(tree->model()->rowCount(), 3);
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(filter->hasFocus());
    }

    // The panel lists exactly the open alarms of both servers, worst first, then by server, host and item. Return on a
    // row makes that node current in its server's tab and gives the tree the focus.
    void activeAlarmsPanel()
    {
        ServerView* va = open(named(a.store(QStringLiteral("admin")), "Syd"));
        ServerView* vb = open(named(b.store(), "Nord"));
        showWindow();
        QStringList expected;
        for (const OpenAlarm& alarm : window->alarms()->openAlarms())
            expected.append(QStringList {alarm.status.toUpper(), alarm.label, alarm.host, alarm.item}.join('|'));
        QTRY_COMPARE(panelRows().size(), expected.size());
        const QStringList rows = panelRows();
        QCOMPARE(QSet<QString>(rows.cbegin(), rows.cend()), QSet<QString>(expected.cbegin(), expected.cend()));
        QVERIFY(rows.size() >= 6);
        for (int i = 1; i < rows.size(); ++i) {
            const QStringList before = rows.at(i - 1).split('|'), after = rows.at(i).split('|');
            const int worse
                = statuses::alarmPriority(before.first().toLower()) - statuses::alarmPriority(after.first().toLower());
            QVERIFY2(worse > 0 || (worse == 0 && before.mid(1) <= after.mid(1)), qPrintable(rows.join('\n')));
        }

        // A poll that changes an alarm's output changes its row, and only its row.
        const auto output = [this](const QString& row) { return panelRows(5).filter(row).value(0).section('|', 4, 4); };
        const QString before = output("Syd|db1");
        b.update([](standin::Network& n) { n.check(11, 103, 0)->output = QStringLiteral("ny utdata"); });
        vb->refreshNow();
        QTRY_COMPARE(output("Nord|db1"), QStringLiteral("ny utdata"));
        QCOMPARE(output("Syd|db1"), before);

        tabs()->setCurrentIndex(0);
        onPanel({vb->entry.label() + QStringLiteral("|sw-core")}, Qt::Key_Return);
        QCOMPARE(tabs()->currentWidget(), vb);
        auto* tree = child<QTreeView>(vb, "tree");
        QCOMPARE(window->focusWidget(), tree); // the window's, whichever window the platform keeps active
        QCOMPARE(tree->currentIndex().data(treemodel::KeyRole).toString(), QStringLiteral("sp:501"));

        // A notification's alarm that has ended since: its server's tab, and word of it.
        const Notice ended {{}, {}, {}, va->entry.id, {QStringLiteral("slut")}, false, {}, false, false};
        Q_EMIT window->findChild<DesktopNotifier*>()->actionInvoked(ended, DesktopNotifier::ShowAction, QString());
        QCOMPARE(tabs()->currentWidget(), va);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Larmet är inte längre aktivt."));
    }

    void actionOnMany_data()
    {
        // Which rows are selected (by server label, or one alarm), the user of the second server, the entry picked;
        // then every request each server got, as "path body".
        testsupport::columns<QStringList, QString, QString, QStringList, QStringList>(
            "rows", "userB", "pick", "requestsA", "requestsB");
        const QStringList ackA {"/api/hosts/10/plugins/101/acknowledge {\"comment\":\"på väg\"}",
            "/api/hosts/11/plugins/103/acknowledge {\"comment\":\"på väg\"}",
            "/api/switch-ports/501/acknowledge {\"comment\":\"på väg\"}"};
        const QStringList dnd {"/api/dnd scope=plugin&host_id=10&plugin_id=101&minutes=240&reason=byte",
            "/api/dnd scope=plugin&host_id=11&plugin_id=103&minutes=240&reason=byte",
            "/api/dnd scope=port&port_id=501&minutes=240&reason=byte"};
        const QStringList recheck {"/api/hosts/10/plugins/101/recheck ", "/api/hosts/11/plugins/103/recheck "};
        // clang-format off
        QTest::newRow("one alarm: the tree's own menu") << QStringList {"Syd|db1"} << "operator" << "Kvittera…" << ackA.mid(1, 1) << QStringList();
        QTest::newRow("several on one server") << QStringList {"Syd"} << "operator" << "Kvittera…" << ackA << QStringList();
        QTest::newRow("across two servers") << QStringList {"Syd", "Nord"} << "operator" << "Stör ej…" << dnd << dnd;
        QTest::newRow("a server where the user may not act") << QStringList {"Syd", "Nord"} << "viewer" << "Kvittera…" << ackA << QStringList();
        QTest::newRow("re-checks go to checks only") << QStringList {"Syd", "Nord"} << "operator" << "Kör recheck" << recheck << recheck;
        QTest::newRow("only where the user may not act") << QStringList {"Nord"} << "viewer" << "Kvittera…" << QStringList() << QStringList();
        QTest::newRow("no open alarm is acknowledged: nothing to take back") << QStringList {"Syd"} << "operator" << "Avkvittera" << QStringList() << QStringList();
        // clang-format on
    }
    // Several selected alarms: one prompt, then each alarm's own request on its own server, as the tree's menu
    // sends it; each server is polled once its part is done. An entry that would send nothing is disabled.
    void actionOnMany()
    {
        open(named(a.store(), "Syd"));
        open(named(b.store(testsupport::fetch<QString>("userB")), "Nord"));
        showWindow();
        a.clearRequests();
        b.clearRequests();
        int prompts = 0;
        std::function<void(QWidget*)> answer = [&](QWidget* prompt) {
            ++prompts;
            if (auto* input = qobject_cast<QInputDialog*>(prompt))
                input->setTextValue(QStringLiteral("på väg"));
            if (auto* length = prompt->findChild<QComboBox*>())
                length->setCurrentIndex(1);
            if (auto* reason = prompt->findChild<QLineEdit*>(); reason && !qobject_cast<QInputDialog*>(prompt))
                reason->setText(QStringLiteral("byte"));
            static_cast<QDialog*>(prompt)->accept();
        };
        QPointer<QTimer> watcher = testsupport::whenModal(answer);
        QStringList shown;
        testsupport::whenMenu(testsupport::fetch<QString>("pick"), 10000, &shown);
        QTRY_VERIFY(panel()->rowCount() >= 6);
        onPanel(testsupport::fetch<QStringList>("rows"), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(!child<QWidget>(window.get(), "bulkBox")->isVisible());
        delete watcher;
        const bool sends = !testsupport::fetch<QStringList>("requestsA").isEmpty()
            || !testsupport::fetch<QStringList>("requestsB").isEmpty();
        QCOMPARE(shown.contains(testsupport::fetch<QString>("pick")), sends);
        QCOMPARE(prompts, sends && testsupport::fetch<QString>("pick").endsWith("…") ? 1 : 0);
        for (auto [server, column] : {std::pair(&a, "requestsA"), std::pair(&b, "requestsB")}) {
            QStringList sent;
            for (const standin::RecordedRequest& r : server->requests()) {
                if (r.method == "POST")
                    sent.append(r.path + ' ' + QString::fromUtf8(r.body));
            }
            sent.sort();
            QCOMPARE(sent, testsupport::fetch<QStringList>(column));
            if (!sent.isEmpty())
                QTRY_VERIFY(!server->requests(QStringLiteral("/api/status")).isEmpty());
        }
    }

    // One request fails: the others are done, and the result says how many and why. Escape stops what has not
    // been sent yet: a server is sent three at a time.
    void actionOnManyFailsOrStops()
    {
        a.update([](standin::Network& n) {
            for (int i = 0; i < 6; ++i) {
                standin::Check check = n.checks.first();
                check.pluginId = 200 + i;
                check.status = QStringLiteral("critical");
                n.checks.append(check);
            }
        });
        open(a.store());
        showWindow();
        // The first three requests are still out when Escape comes, however slowly the menu went.
        ApiClient::limits().silenceMs = ApiClient::limits().stallWindowMs = 5000;
        for (const char* path : {"10/plugins/101", "11/plugins/103", "10/plugins/200", "10/plugins/201",
                 "10/plugins/202", "10/plugins/203", "10/plugins/204", "10/plugins/205"})
            a.setFault(QStringLiteral("/api/hosts/%1/recheck").arg(path), Fault::slow(2000));
        a.clearRequests();
        runOnAll(QStringLiteral("Kör recheck"));
        const auto posts = [this] {
            const QList<standin::RecordedRequest> all = a.requests();
            return std::count_if(all.cbegin(), all.cend(), [](const auto& r) { return r.method == "POST"; });
        };
        QCOMPARE(child<QLabel>(window.get(), "bulkLabel")->text(), QStringLiteral("Skickar 0 av 8 till recheck…"));
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!child<QWidget>(window.get(), "bulkBox")->isVisible(), 15000);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("3 av 8 larm skickade till recheck; 5 avbröts"));
        QCOMPARE(posts(), 3);
        // A server that does not answer fails the rest of its queue without being asked again.
        a.setFault(QStringLiteral("/api/dnd"), Fault::drop());
        a.clearRequests();
        runOnAll(QStringLiteral("Stör ej…"));
        QTRY_VERIFY_WITH_TIMEOUT(!child<QWidget>(window.get(), "bulkBox")->isVisible(), 15000);
        QVERIFY(posts() < 9);
        showWindow(); // here no window is active once a dialog has closed
        a.setFault(QStringLiteral("/api/hosts/11/plugins/103/acknowledge"),
            Fault::raw(500, R"({"error":"Databasen är låst"})"));
        runOnAll(QStringLiteral("Kvittera…"));
        QTRY_VERIFY_WITH_TIMEOUT(!child<QWidget>(window.get(), "bulkBox")->isVisible(), 15000);
        QCOMPARE(window->statusBar()->currentMessage(),
            QStringLiteral("8 av 9 larm kvitterade; 1 misslyckades: Databasen är låst"));
    }

    // An alarm whose ids came as text is the same check as its row in the tree: the panel shows the row's output, and
    // Return finds the row.
    void alarmWithIdsAsTextFindsItsRow()
    {
        a.setFault(QStringLiteral("/api/status"), Fault::raw(200, R"({"status":"critical","problems":[{"host_id":"11",
            "plugin_id":"103","status":"critical","host_name":"db1","plugin_name":"PostgreSQL"}]})"));
        ServerView* va = open(a.store());
        showWindow();
        QTRY_COMPARE(panel()->index(0, 4).data().toString(), QStringLiteral("Anslutning nekad på port 5432"));
        onPanel({va->entry.label() + QStringLiteral("|db1")}, Qt::Key_Return);
        QCOMPARE(child<QTreeView>(va, "tree")->currentIndex().data(treemodel::KeyRole).toString(), "p:11:103");
    }

    void problemsOnly_data()
    {
        // The visible rows' keys, depth first.
        testsupport::columns<bool, QString, QStringList, bool>("problems", "filter", "visible", "changed");
        // clang-format off
        QTest::newRow("alarming rows and their ancestors") << true << QString() << QStringList {"g:1", "g:2", "h:10", "p:10:101", "h:11", "p:11:103", "g:3", "h:12", "sp:501", "g:-1", "h:13", "p:13:105"} << false;
        QTest::newRow("filter alone") << false << "disk" << QStringList {"g:1", "g:2", "h:10", "p:10:101", "h:11", "p:11:104:1", "p:11:104:2"} << false;
        QTest::newRow("a row must pass both") << true << "disk" << QStringList {"g:1", "g:2", "h:10", "p:10:101"} << false;
        QTest::newRow("Bara ändrade: nothing changed yet") << false << QString() << QStringList() << true;
        // clang-format on
    }
    // Bara problem and Bara ändrade narrow the trees of the tabs open and of those opened later, with the text
    // filter; Bara problem is remembered.
    void problemsOnly()
    {
        QFETCH(bool, problems);
        open(a.store());
        child<QPushButton>(window.get(), "problemsButton")->setChecked(problems);
        child<QPushButton>(window.get(), "changedButton")->setChecked(testsupport::fetch<bool>("changed"));
        child<QLineEdit>(window.get(), "filterEdit")->setText(testsupport::fetch<QString>("filter"));
        open(b.store());
        for (ServerView* view : window->views()) {
            QStringList visible;
            for (const QModelIndex& row : testsupport::rows(child<QTreeView>(view, "tree"), QStringLiteral("*")))
                visible.append(row.data(treemodel::KeyRole).toString());
            QTEST(visible, "visible");
        }
        QCOMPARE(settings::problemsOnly(), problems);
    }

    // Rows that change in a tab the operator is not looking at: its title counts them, the tray's tooltip sums them
    // up and their alarms stand out in the panel, until Ctrl+Shift+M marks that tab's all as seen.
    void unseenChangesCounted()
    {
        ServerView* va = open(a.store());
        open(b.store());
        showWindow();
        a.update([](standin::Network& n) { n.check(11, 103, 0)->status = QStringLiteral("warning"); });
        va->refreshNow();
        QTRY_VERIFY(va->unseenCount() > 0);
        const auto panelBold = [this] { // the status of each bold row of db1
            QStringList bold;
            for (const QModelIndex& db1 : panel()->match(panel()->index(0, 2), Qt::DisplayRole, "db1", -1)) {
                if (db1.data(Qt::FontRole).value<QFont>().bold())
                    bold.append(db1.siblingAtColumn(0).data().toString());
            }
            return bold;
        };
        const QString counted = QStringLiteral("%1 ändringar sedan du tittade senast").arg(va->unseenCount());
        QCOMPARE(tabs()->tabText(0), QStringLiteral("%1 (%2)").arg(va->entry.label()).arg(va->unseenCount()));
        const QString tip = window->trayIcon()->toolTip();
        QTRY_COMPARE(panelBold(), QStringList {QStringLiteral("WARNING")});
        // "Bara ändrade", beside "Bara problem"; what it shows is the tab's own to check.
        QVERIFY(qobject_cast<QToolBar*>(child<QPushButton>(window.get(), "changedButton")->parentWidget()));
        tabs()->setCurrentIndex(0);
        QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
        QCOMPARE(tabs()->tabText(0), va->entry.label());
        QCOMPARE(tip, window->trayIcon()->toolTip() + '\n' + counted); // a line of its own, gone when all is seen
        QVERIFY(panelBold().isEmpty());
    }

    // A screen reader finds every control of the window by its name, and reads the rows with their status.
    void namedForScreenReaders()
    {
        open(a.store());
        open(b.store());
        showWindow();
        QCOMPARE(testsupport::unnamedControls(window.get()), QStringList());
        auto* panel = QAccessible::queryAccessibleInterface(child<QTreeView>(window.get(), "activeAlarms"));
        QCOMPARE(panel->tableInterface()->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("CRITICAL"));
        child<QTabWidget>(tabs()->currentWidget(), "tabs")->setCurrentIndex(1); // the alarm log
        QCOMPARE(testsupport::unnamedControls(window.get()), QStringList());
        QStringList names; // what they are called, and what tooltips and descriptions add
        for (const char* control : {"filterEdit", "serverTabs", "activeAlarms", "tabs", "tree", "searchEdit",
                 "previousButton", "nextButton", "table"}) {
            const QWidget* widget = child<QWidget>(window.get(), control);
            names << QStringList({widget->accessibleName(), widget->toolTip(), widget->accessibleDescription()})
                         .join('|')
                         .remove(QRegularExpression("\\|+$"));
        }
        for (const QAbstractButton* button : window->findChild<QToolBar*>()->findChildren<QAbstractButton*>())
            names << button->text() + '|' + button->toolTip();
        const QString server = window->views().first()->entry.label();
        QCOMPARE(names,
            QStringList({"Sök||Visar bara rader vars namn innehåller texten, i alla servrars träd", "Servrar",
                "Aktiva larm||Öppna larm på alla servrar. Retur visar larmets rad i serverns träd, menytangenten visar "
                "vad du kan göra.",
                "Vyer – " + server,
                "Statusträd – " + server
                    + "||Grupper, enheter, checkar och portar med status. Retur öppnar en checks "
                      "graf, menytangenten visar vad du kan göra med raden.",
                "Sök i larmloggen", "Föregående sida|Föregående sida", "Nästa sida|Nästa sida", "Larmlogg", "|",
                "|", // then the toolbar's buttons
                "Bara problem|Visa bara larmande rader och det de ligger under",
                "Bara ändrade|Visa bara rader som ändrats sedan du tittade senast", "Uppdatera nu|F5", "Servrar…|",
                "Inställningar…|", "Larmlista|Visa eller dölj Aktiva larm (F9)", "Avsluta|Avsluta Norv (Ctrl+Q)"}));
    }

    void shortcuts_data()
    {
        // The tab current after the key, from the first of two; the polls of the first server.
        testsupport::columns<QKeySequence, int, bool, int>("key", "tab", "panel", "polls");
        QTest::newRow("F5 polls") << QKeySequence(Qt::Key_F5) << 0 << true << 1;
        QTest::newRow("F9 hides the panel") << QKeySequence(Qt::Key_F9) << 0 << false << 0;
        QTest::newRow("Ctrl+2") << QKeySequence(Qt::CTRL | Qt::Key_2) << 1 << true << 0;
        QTest::newRow("Ctrl+PgDn") << QKeySequence(Qt::CTRL | Qt::Key_PageDown) << 1 << true << 0;
        QTest::newRow("Ctrl+PgUp wraps") << QKeySequence(Qt::CTRL | Qt::Key_PageUp) << 1 << true << 0;
    }
    void shortcuts()
    {
        open(a.store());
        open(b.store());
        tabs()->setCurrentIndex(0);
        showWindow();
        a.clearRequests();
        QTest::keySequence(window.get(), testsupport::fetch<QKeySequence>("key"));
        QTEST(tabs()->currentIndex(), "tab");
        QTEST(child<QWidget>(window.get(), "alarmDock")->isVisible(), "panel");
        QTEST(settings::alarmPanelShown(), "panel");
        QTRY_COMPARE(int(a.requests(QStringLiteral("/api/status")).size()), testsupport::fetch<int>("polls"));
    }

    // Accepted settings take effect at once: the palette and the badges follow the theme, and every running tab
    // polls at once and then at the new interval; the sound of new alarms and the largest font are stored.
    void acceptedSettingsApply()
    {
        open(a.store());
        a.clearRequests();
        settings::setFont(QStringLiteral("Monospace"), 0); // not the desktop's font
        QString family; // as the dialog shows it
        testsupport::whenModal([&family](QWidget* modal) {
            family = child<QFontComboBox>(modal, "fontCombo")->currentFont().family();
            child<QSpinBox>(modal, "fontSizeSpin")->setValue(24);
            child<QComboBox>(modal, "themeCombo")->setCurrentIndex(2);
            child<QSpinBox>(modal, "intervalSpin")->setValue(settings::MinRefreshSeconds);
            child<QComboBox>(modal, "alarmSoundCombo")->setCurrentIndex(1);
            child<QComboBox>(modal, "reminderCombo")->setCurrentIndex(0);
            QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        window->openSettings();
        QCOMPARE(QApplication::palette().color(QPalette::Window), settings::darkPalette().color(QPalette::Window));
        QCOMPARE(iconColor(tabs()->tabIcon(0)), icons::statusColor(QStringLiteral("critical"), false, true));
        QTRY_COMPARE_WITH_TIMEOUT(a.requests(QStringLiteral("/api/status")).size(), 3, 5000);
        QCOMPARE(settings::alarmSound(), settings::Sound::Critical);
        QCOMPARE(settings::reminderMinutes(), 0);
        QCOMPARE(settings::fontSize(), 24);
        QCOMPARE(family, QFontInfo(QFont(QStringLiteral("Monospace"))).family());
        QCOMPARE(QApplication::font().family(), family);
        for (int role = 0; role < QPalette::NColorRoles; ++role) // every colour of the dark look is one
            QVERIFY(QApplication::palette().color(QPalette::ColorRole(role)).isValid());
        settings::setTheme(QStringLiteral("system"));
        settings::setFont({}, 0);
        settings::applySavedTheme();
        settings::applySavedFont();
    }

private:
    ServerView* open(const settings::ServerEntry& entry) { return testsupport::openTab(window.get(), entry); }
    static settings::ServerEntry named(const settings::ServerEntry& entry, const char* name)
    {
        settings::setServerName(entry.id, QString::fromUtf8(name));
        return *settings::findServer(entry.id);
    }
    void showWindow()
    {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    // The panel's rows as "STATUS|server|host|item" (and more columns when asked), top to bottom.
    QStringList panelRows(int columns = 4)
    {
        QStringList rows;
        for (int row = 0; row < panel()->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < columns; ++column)
                cells.append(panel()->index(row, column).data().toString());
            rows.append(cells.join('|'));
        }
        return rows;
    }
    // Selects the panel's rows of these servers, or, given as "server|host", its rows of that host, or every row
    // (Ctrl+A) for none given; then presses the key there.
    void onPanel(const QStringList& which, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        auto* panel = child<QTreeView>(window.get(), "activeAlarms");
        panel->setFocus();
        panel->clearSelection();
        for (int row = 0; row < panel->model()->rowCount(); ++row) {
            const QString server = panel->model()->index(row, 1).data().toString();
            if (which.contains(server)
                || which.contains(server + '|' + panel->model()->index(row, 2).data().toString()))
                panel->selectionModel()->setCurrentIndex(
                    panel->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        if (which.isEmpty())
            QTest::keyClick(panel, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(panel, key, modifiers);
    }
    void runOnAll(const QString& pick)
    {
        if (pick.endsWith(QStringLiteral("…")))
            testsupport::whenModal([](QWidget* prompt) { static_cast<QDialog*>(prompt)->accept(); });
        testsupport::whenMenu(pick);
        onPanel({}, Qt::Key_F10, Qt::ShiftModifier);
    }
    QTabWidget* tabs() { return child<QTabWidget>(window.get(), "serverTabs"); }
    const QAbstractItemModel* panel() { return child<QTreeView>(window.get(), "activeAlarms")->model(); }

    testsupport::Standin a, b, c;
    std::unique_ptr<MainWindow> window;
};

NORV_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
