// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/actionmenu.h"
#include "gui/dialogs/dialogs.h"
#include "gui/serverview.h"
#include "gui/statustreeview.h"
#include "testsupport.h"
#include "tree/treemodel.h"

#include <QAccessible>
#include <QHeaderView>
#include <QInputDialog>
#include <QScrollBar>
#include <QStandardItemModel>

using standin::Fault;
using testsupport::child;

const QString Tree = QStringLiteral("/api/tree/status");

// A tree taller than any window: groups of hosts with checks. Polls change every check's output and the status of
// some, and add or drop hosts at the end of the last group.
static QJsonObject tallTree(int poll, int extraHosts = 0, int droppedCheck = -1)
{
    QJsonArray groups, hosts, plugins;
    for (int g = 1; g <= 20; ++g) {
        groups.append(QJsonObject {{"id", g}, {"name", QStringLiteral("Grupp %1").arg(g)}, {"status", "ok"}});
        for (int h = 1; h <= 3 + (g == 20 ? extraHosts : 0); ++h) {
            const int host = g * 10 + h;
            hosts.append(QJsonObject {{"id", host}, {"name", QStringLiteral("värd-%1").arg(host)}, {"group_id", g}});
            for (int c = 1; c <= 3; ++c) {
                if (host * 10 + c != droppedCheck)
                    plugins.append(QJsonObject {{"host_id", host}, {"plugin_id", c},
                        {"status", (host + c + poll) % 7 == 0 ? "critical" : "ok"},
                        {"output_text", QStringLiteral("mätning %1").arg(poll)}});
            }
        }
    }
    return {{"groups", groups}, {"hosts", hosts}, {"plugins", plugins}};
}

// A group with one host, its two checks and a port; a poll gives the statuses of the host, the first check and the
// port ("ok warning ok"), and more fields of the first check. The second check stays critical, its output changing
// with the others' statuses.
static QJsonObject smallTree(const QString& statuses, QJsonObject first = {})
{
    const QStringList s = statuses.split(QLatin1Char(' '));
    first.insert("host_id", 1), first.insert("plugin_id", 2), first.insert("status", s[1]);
    return {{"groups", QJsonArray {QJsonObject {{"id", 1}, {"name", "Kontor"}, {"status", s[0]}}}},
        {"hosts", QJsonArray {QJsonObject {{"id", 1}, {"name", "db1"}, {"group_id", 1}, {"status", s[0]}}}},
        {"plugins",
            QJsonArray {first,
                QJsonObject {{"host_id", 1}, {"plugin_id", 3}, {"status", "critical"}, {"output_text", statuses}}}},
        {"ports",
            s[2] == "-" ? QJsonArray() : QJsonArray {QJsonObject {{"host_id", 1}, {"port_id", 5}, {"status", s[2]}}}}};
}

class TestServerView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::shortTimes(); }
    void init()
    {
        testsupport::resetForTabs();
        server.reset();
        diff = {};
    }
    void cleanup()
    {
        for (QDialog* dialog : testsupport::topLevels<QDialog>())
            dialog->close();
        delete view;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Trees are applied in place. A steady one tells the views nothing at all. Scrolled half-way down a tall tree,
    // with a current row and some nodes open: polls that change cells and add and drop rows below keep the top row
    // at the top, the scroll bar where it was, the current row and the open nodes. A poll in which the current row
    // vanishes leaves no current row, and still does not scroll.
    void pollsChangeTheModelInPlace()
    {
        open(QString());
        view->resize(900, 400);
        feed(tallTree(0));
        const QHeaderView* header = tree()->header(); // Utdata takes the room left, Flaggor fits its texts
        QVERIFY(header->sectionResizeMode(2) == QHeaderView::Stretch && !header->stretchLastSection()
            && header->sectionResizeMode(4) == QHeaderView::ResizeToContents);
        QSignalSpy reset(tree()->model(), &QAbstractItemModel::modelReset);
        QSignalSpy layout(tree()->model(), &QAbstractItemModel::layoutChanged);
        QSignalSpy changed(tree()->model(), &QAbstractItemModel::dataChanged);
        QSignalSpy inserted(tree()->model(), &QAbstractItemModel::rowsInserted);
        feed(tallTree(0));
        QCOMPARE(reset.count() + layout.count() + changed.count() + inserted.count(), 0);

        for (const char* key : {"g:6", "g:7", "h:72", "g:9", "g:20"})
            tree()->expand(row(QLatin1String(key)));
        tree()->setCurrentIndex(row(QStringLiteral("p:72:2")));
        QScrollBar* bar = tree()->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int scrolled = bar->value();
        const QString top = tree()->indexAt(QPoint(1, 1)).data(treemodel::KeyRole).toString();
        const QStringList open = openKeys();
        QVERIFY(scrolled > 0 && !top.isEmpty());
        for (int poll = 1; poll <= 3; ++poll) {
            feed(tallTree(poll, poll % 2, poll == 2 ? 203 : -1));
            QCOMPARE(bar->value(), scrolled);
            QCOMPARE(tree()->indexAt(QPoint(1, 1)).data(treemodel::KeyRole).toString(), top);
            QCOMPARE(tree()->currentIndex().data(treemodel::KeyRole).toString(), QStringLiteral("p:72:2"));
            QCOMPARE(openKeys(), open);
            QCOMPARE(row(QStringLiteral("p:11:1")).siblingAtColumn(2).data().toString(),
                QStringLiteral("mätning %1").arg(poll));
        }
        QCOMPARE(reset.count(), 0);
        feed(tallTree(4, 0, 722));
        QVERIFY(!tree()->currentIndex().isValid());
        QCOMPARE(bar->value(), scrolled);
    }

    void unseenChanges_data()
    {
        // The polls; where the operator was at each: y looking, m the window minimised, h the tab hidden, o another
        // window active; a row the operator acted on after the first poll; the rows marked as changed; how often the
        // tab, the tray and Aktiva larm were told of the marks. A port of "-" has gone from the switch.
        testsupport::columns<QStringList, QString, QString, QStringList, int>(
            "polls", "placed", "acted", "marked", "told");
        const QStringList change {"ok ok ok", "critical warning critical"};
        const QStringList all {"h:1", "p:1:2", "sp:5"};
        // clang-format off
        QTest::newRow("the first tree is the baseline") << QStringList {"critical ok ok"} << "m" << "" << QStringList() << 0;
        QTest::newRow("minimised") << change << "mm" << "" << all << 1;
        QTest::newRow("another tab") << change << "hh" << "" << all << 1;
        QTest::newRow("another window") << change << "oo" << "" << all << 1;
        QTest::newRow("looking") << change << "my" << "" << QStringList() << 0;
        QTest::newRow("changed back unseen") << QStringList {"ok ok ok", "ok critical ok", "ok ok ok"} << "mmm" << "" << QStringList {"p:1:2"} << 2;
        QTest::newRow("seen as it changed") << QStringList {"ok ok ok", "ok critical ok", "ok critical ok"} << "myh" << "" << QStringList() << 0;
        QTest::newRow("own action") << change << "mm" << "p:1:2" << QStringList {"h:1", "sp:5"} << 1;
        QTest::newRow("own action on the host") << change << "mm" << "h:1" << QStringList() << 0;
        QTest::newRow("a marked port gone") << (change + QStringList {"critical warning -"}) << "mmm" << "" << QStringList {"h:1", "p:1:2"} << 2;
        // clang-format on
    }
    // A row whose status changes while the operator is not looking is marked: its name in bold, and the bold goes
    // up to the group; in Flaggor, when it changed. The row current at the time stays marked.
    void unseenChanges()
    {
        open(QString());
        const QStringList polls = testsupport::fetch<QStringList>("polls");
        const QString placed = testsupport::fetch<QString>("placed");
        const QString time = QTime::currentTime().toString(QStringLiteral("hh:mm"));
        QSignalSpy told(view, &ServerView::marksChanged);
        for (int poll = 0; poll < polls.size(); ++poll) {
            place(placed.at(poll));
            feed(smallTree(polls.at(poll)));
            if (poll == 0 && !testsupport::fetch<QString>("acted").isEmpty())
                view->actedOn(treemodel::Target::of(
                    row(testsupport::fetch<QString>("acted")).data(treemodel::TargetRole).toMap()));
            if (poll == 0)
                tree()->setCurrentIndex(row(QStringLiteral("p:1:2")));
        }
        QStringList marked;
        for (const QModelIndex& index : testsupport::rows(tree(), QStringLiteral("*"))) {
            const QString flags = index.siblingAtColumn(4).data().toString();
            const bool bold = index.data(Qt::FontRole).value<QFont>().bold();
            if (flags.contains(QStringLiteral("● ändrad "))) {
                QVERIFY2(flags.endsWith(QStringLiteral("● ändrad ") + time) && bold, qPrintable(flags));
                marked.append(index.data(treemodel::KeyRole).toString());
            } else {
                const QString key = index.data(treemodel::KeyRole).toString();
                QCOMPARE(
                    bold, (key == QStringLiteral("g:1") || key == QStringLiteral("h:1")) && view->unseenCount() > 0);
            }
        }
        QTEST(marked, "marked");
        QCOMPARE(view->unseenCount(), marked.size());
        QTEST(int(told.size()), "told");
    }

    void seeingChanges_data()
    {
        testsupport::columns<bool, bool, QStringList>("changed", "problems", "visible");
        QTest::newRow("Bara ändrade") << true << false << QStringList {"g:1", "h:1", "p:1:2", "sp:5"};
        QTest::newRow("Bara problem") << false << true << QStringList {"g:1", "h:1", "p:1:3", "sp:5"};
        QTest::newRow("both") << true << true << QStringList {"g:1", "h:1", "sp:5"};
    }
    // "Bara ändrade" narrows the tree to the marked rows, with "Bara problem" to rows that are both. Choosing a row
    // takes its mark away, it stays shown until the tree filters anew; the row menu's "Markera allt som sett" takes
    // every mark.
    void seeingChanges()
    {
        open(QString());
        place('m');
        feed(smallTree(QStringLiteral("ok warning ok")));
        feed(smallTree(QStringLiteral("ok ok critical")));
        view->setChangedOnly(testsupport::fetch<bool>("changed"));
        view->setProblemsOnly(testsupport::fetch<bool>("problems"));
        QStringList visible;
        for (const QModelIndex& index : testsupport::rows(tree(), QStringLiteral("*")))
            visible.append(index.data(treemodel::KeyRole).toString());
        QTEST(visible, "visible");
        place('y');
        tree()->setCurrentIndex(row(QStringLiteral("sp:5")));
        QCOMPARE(view->unseenCount(), 1);
        QVERIFY(row(QStringLiteral("sp:5")).isValid());
        contextMenu(QStringLiteral("h:1"), QStringLiteral("Markera allt som sett"));
        QCOMPARE(view->unseenCount(), 0);
        QCOMPARE(testsupport::rows(tree(), QStringLiteral("*")).isEmpty(), testsupport::fetch<bool>("changed"));
    }

    void rowsReadWithTheirStatus_data()
    {
        // The first check's status and flags; whether it changed unseen; what its status and flags cells say.
        testsupport::columns<QString, QJsonObject, bool, QString>("status", "flags", "unseen", "spoken");
        QTest::newRow("acknowledged and silenced")
            << "critical" << QJsonObject {{"acknowledged", true}, {"dnd", true}} << false << "CRITICAL|Sett, Stör ej";
        QTest::newRow("held back") << "warning" << QJsonObject {{"suppressed_reason", "underhåll"}} << false
                                   << "WARNING|tystad: underhåll";
        QTest::newRow("changed unseen") << "unknown" << QJsonObject() << true << "UNKNOWN|ändrad";
    }
    // A screen reader reads a row's status as a word and its flags in words, not as the symbols shown.
    void rowsReadWithTheirStatus()
    {
        open(QString());
        place(testsupport::fetch<bool>("unseen") ? 'm' : 'y');
        feed(smallTree(QStringLiteral("ok ok ok")));
        feed(
            smallTree("ok " + testsupport::fetch<QString>("status") + " ok", testsupport::fetch<QJsonObject>("flags")));
        tree()->expandAll();
        QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(tree())->tableInterface();
        const auto spoken = [table](int column) { return table->cellAt(2, column)->text(QAccessible::Name); };
        QCOMPARE(spoken(0), QStringLiteral("plugin 2"));
        QCOMPARE(row("p:1:2").data(Qt::DecorationRole).value<QIcon>().availableSizes(), {QSize(12, 12)}); // unscaled
        QVERIFY2(
            (spoken(1) + '|' + spoken(4)).startsWith(testsupport::fetch<QString>("spoken")), qPrintable(spoken(4)));
    }

    void actionsSendTheirRequest_data()
    {
        // The input is the comment typed, or the silence duration chosen.
        testsupport::columns<QString, QString, QString, QString, QByteArray, QString>(
            "key", "entry", "input", "path", "body", "message");
        // clang-format off
        using B = QByteArray;
        QTest::newRow("acknowledge") << "p:11:103" << "Kvittera…" << "  tittar på det  " << "/api/hosts/11/plugins/103/acknowledge" << B(R"({"comment":"tittar på det"})") << "Kvittensen utförd";
        QTest::newRow("recheck host") << "h:13" << "Kör recheck (alla checkar)" << "" << "/api/hosts/13/recheck" << B() << "Recheck utförd";
        QTest::newRow("silence port by its id") << "sp:500" << "Stör ej…" << "8 timmar" << "/api/dnd" << B("scope=port&port_id=500&minutes=480&reason=disk%20byts") << "Stör ej utförd";
        QTest::newRow("silence host") << "h:12" << "Stör ej hela enheten…" << "1 timme" << "/api/dnd" << B("scope=host&host_id=12&minutes=60&reason=disk%20byts") << "Stör ej utförd";
        QTest::newRow("silence an instance for 4 hours") << "p:11:104:2" << "Stör ej…" << "4 timmar" << "/api/dnd" << B("scope=plugin&host_id=11&plugin_id=104&instance_id=2&minutes=240&reason=disk%20byts") << "Stör ej utförd";
        QTest::newRow("silence for 24 hours") << "p:10:101" << "Stör ej…" << "24 timmar" << "/api/dnd" << B("scope=plugin&host_id=10&plugin_id=101&minutes=1440&reason=disk%20byts") << "Stör ej utförd";
        QTest::newRow("silence until further notice: no length") << "p:10:101" << "Stör ej…" << "Tills vidare" << "/api/dnd" << B("scope=plugin&host_id=10&plugin_id=101&reason=disk%20byts") << "Stör ej utförd";
        QTest::newRow("no acknowledging a check that is OK") << "p:10:100" << "Kvittera…" << "" << "/api/hosts/10/plugins/100/acknowledge" << B() << "";
        // clang-format on
    }
    // Each entry sends its request with what the operator typed, reports success in the status bar and polls.
    void actionsSendTheirRequest()
    {
        QFETCH(QString, input);
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
        contextMenu(testsupport::fetch<QString>("key"), testsupport::fetch<QString>("entry"));
        delete watcher; // actions without a prompt leave it waiting
        const QList<standin::RecordedRequest> sent = server.requests(testsupport::fetch<QString>("path"));
        QCOMPARE(messages.count(), sent.size()); // an entry the menu does not offer sends nothing
        QTEST(messages.value(0).value(0).toString(), "message");
        if (sent.isEmpty())
            return;
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().query, QByteArray());
        QTEST(sent.first().body, "body");
        QTRY_VERIFY(!server.requests(Tree).isEmpty());
    }

    // Choosing a host's last unseen row takes the bold off that host, and off it alone.
    void lastUnseenRowOfAHost()
    {
        open(QString());
        place('m');
        feed(tallTree(0));
        feed(tallTree(1)); // of host 31 only its third check changes, of host 32 two
        place('y');
        tree()->setCurrentIndex(row(QStringLiteral("p:31:3")));
        const auto bold
            = [this](const char* key) { return row(QLatin1String(key)).data(Qt::FontRole).value<QFont>().bold(); };
        QCOMPARE(QList<bool>({bold("h:31"), bold("h:32"), bold("g:3")}), QList<bool>({false, true, true}));
    }

    // Return or Enter opens or closes a host and opens a check's chart; the other keys move as ever.
    void returnKey()
    {
        open(QString());
        QCOMPARE(view->status, QStringLiteral("pending")); // not logged in: drawn as waiting
        feed(smallTree(QStringLiteral("ok ok ok")));
        tree()->setCurrentIndex(row(QStringLiteral("h:1"))); // closed
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Return, Qt::Key_Down, Qt::Key_Enter})
            QTest::keyClick(tree(), key);
        QCOMPARE(tree()->currentIndex().data(treemodel::KeyRole).toString(), QStringLiteral("p:1:2"));
        QCOMPARE(testsupport::topLevels<QDialog>().size(), 1);
    }

    void actionMenus_data()
    {
        // The rows the menu is for, as "kind status acknowledged mayAct" (a is acknowledged, + may act); the entries.
        testsupport::columns<QStringList, QStringList>("rows", "entries");
        const QStringList all {"Kvittera…", "Avkvittera", "Stör ej…", "Kör recheck"};
        // clang-format off
        QTest::newRow("a check that is OK") << QStringList {"plugin ok - +"} << QStringList {"(Kvittera…)", "(Avkvittera)", "Stör ej…", "Kör recheck", "|", "Graf…"};
        QTest::newRow("an acknowledged critical check") << QStringList {"plugin critical a +"} << all + QStringList {"|", "Graf…"};
        QTest::newRow("a stale port") << QStringList {"port stale - +"} << QStringList {"Kvittera…", "(Avkvittera)", "Stör ej…", "|", "Graf…"};
        QTest::newRow("a viewer's check") << QStringList {"plugin critical a -"} << QStringList {"Graf…"};
        QTest::newRow("a host") << QStringList {"host critical - +"} << QStringList {"Kör recheck (alla checkar)", "Stör ej hela enheten…"};
        QTest::newRow("a viewer's host") << QStringList {"host critical - -"} << QStringList();
        QTest::newRow("several alarms") << QStringList {"port warning - +", "plugin critical - +"} << QStringList {"Kvittera…", "(Avkvittera)", "Stör ej…", "Kör recheck"};
        QTest::newRow("several, one where the user may act") << QStringList {"port warning - +", "plugin critical - -"} << QStringList {"Kvittera…", "(Avkvittera)", "Stör ej…", "(Kör recheck)"};
        // clang-format on
    }
    // One table of actions for a row and for several alarms: what is offered for which row, and what is disabled.
    void actionMenus()
    {
        QList<ActionRow> rows;
        for (const QString& row : testsupport::fetch<QStringList>("rows")) {
            const QStringList parts = row.split(' ');
            const auto kind = parts.at(0) == "host" ? treemodel::Kind::Host
                : parts.at(0) == "port"             ? treemodel::Kind::Port
                                                    : treemodel::Kind::Plugin;
            rows.append({{kind, 1, 2, 3, 0, {}}, {parts.at(1), parts.at(2) == "a"}, parts.at(3) == "+"});
        }
        QStringList shown;
        QPointer<QTimer> watcher = testsupport::whenMenu({}, 10000, &shown);
        QWidget parent;
        QCOMPARE(chooseAction(rows, &parent, {}), std::nullopt);
        delete watcher; // no menu at all leaves it waiting
        QTEST(shown, "entries");
    }

    // A cancelled prompt sends nothing; a failure's message goes to a message box, and no refresh follows.
    void cancelledOrFailingActions()
    {
        open(QStringLiteral("admin"));
        server.clearRequests();
        testsupport::whenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        contextMenu(QStringLiteral("p:11:103"), QStringLiteral("Kvittera…"));
        QVERIFY(server.requests().isEmpty());
        server.setFault(
            QStringLiteral("/api/hosts/10/plugins/100/recheck"), Fault::raw(500, R"({"error":"Schemat är nere"})"));
        QString shown;
        testsupport::whenMessageBox([&](QMessageBox* box) {
            shown = box->text();
            box->accept();
        });
        QSignalSpy told(view.data(), &ServerView::message);
        contextMenu(QStringLiteral("p:10:100"), QStringLiteral("Kör recheck"));
        QCOMPARE(shown, QStringLiteral("Recheck misslyckades: Schemat är nere"));
        QCOMPARE(told.count(), 0); // no "utförd", and no poll after it
    }

    // A request made on the GUI thread waits in an event loop in which the poller's payloads keep arriving: a new
    // tree and even a lost login must leave the action and the view consistent.
    void treeAndLostLoginDuringAnAction()
    {
        open();
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
    void onlyTheNewestTreeIsBuilt()
    {
        open();
        QSignalSpy changed(view.data(), &ServerView::statusChanged);
        QSignalSpy applied(tree()->model(), &QAbstractItemModel::dataChanged);
        for (int round = 1; round <= 5; ++round) { // the window processes no events meanwhile
            server.update(
                [round](standin::Network& n) { n.hosts.first().name = QStringLiteral("web-v%1").arg(round); });
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

    // A change inside a collapsed row is not looked for on screen; one inside an open row is drawn.
    void treePassesOverClosedRows()
    {
        QStandardItemModel model;
        for (const char* name : {"open", "closed"}) {
            model.appendRow(new QStandardItem(QString::fromLatin1(name)));
            model.item(model.rowCount() - 1)->appendRow(new QStandardItem(QStringLiteral("child")));
        }
        StatusTreeView tree(nullptr);
        tree.setModel(&model);
        tree.expand(model.index(0, 0));
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QCoreApplication::processEvents();
        struct Paints : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* event) override { return (count += event->type() == QEvent::Paint) < 0; }
        } paints;
        tree.viewport()->installEventFilter(&paints);
        model.item(1)->child(0)->setText(QStringLiteral("changed"));
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, 0);
        model.item(0)->child(0)->setText(QStringLiteral("changed"));
        QTRY_VERIFY(paints.count > 0);
    }

private:
    // A shown view of the stand-in, logged in as the user (none: not logged in, polling nothing); with a user, once
    // it has shown its first tree. It polls when told to.
    void open(const QString& user = QStringLiteral("operator"))
    {
        token = user.isEmpty() ? QString() : server.issueToken(user);
        view = new ServerView(
            {QStringLiteral("0123456789ab"), server.url(), QStringLiteral("Stand-in"), true, {}}, token, nullptr);
        view->resize(1000, 700);
        view->show();
        if (user.isEmpty())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus && tree()->model()->rowCount() > 0, 10000);
        tree()->expandAll();
    }
    // Shows the view a tree as its poller would.
    void feed(const QJsonObject& payload)
    {
        reader.read(payload);
        view->onTree(diff.next(reader));
        QCoreApplication::processEvents();
    }
    // Where the operator is: looking at the view, or its window minimised, the tab hidden, another window active.
    void place(QChar where)
    {
        other.setVisible(where == QLatin1Char('o'));
        if (where == QLatin1Char('h'))
            return view->hide();
        where == QLatin1Char('m') ? view->showMinimized() : view->showNormal();
        QWidget* active = where == QLatin1Char('o') ? &other : view.data();
        if (where != QLatin1Char('m')) {
            active->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(active));
        }
    }
    QTreeView* tree() { return child<QTreeView>(view, "tree"); }
    QModelIndex row(const QString& key) { return testsupport::rows(tree(), key, 1).value(0); }
    // The keys of the rows the view shows open.
    QStringList openKeys()
    {
        QStringList keys;
        for (const QModelIndex& index : testsupport::rows(tree(), QStringLiteral("*")))
            keys.append(tree()->isExpanded(index) ? index.data(treemodel::KeyRole).toString() : QString());
        keys.removeAll(QString());
        return keys;
    }
    void contextMenu(const QString& key, const QString& pick) { testsupport::contextMenu(tree(), key, pick); }

    testsupport::Standin server;
    QString token;
    QPointer<ServerView> view;
    treemodel::TreeReader reader;
    treemodel::TreeDiff diff;
    QWidget other;
};

NORV_TEST_MAIN(TestServerView)
#include "tst_serverview.moc"
