// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/icons.h"
#include "gui/alarmview.h"
#include "net/apiclient.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLayout>

using standin::Fault;
using testsupport::child;

const QString AlarmLog = QStringLiteral("/api/alarmlog");

class TestAlarmView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { server.reset(); }
    void cleanup() { view.reset(); }

    // The first showing loads the first page, once. The page asked for is clamped only after the answer; a new
    // search or the open-only box ask for the page the operator was on.
    void pagingSearchAndClamp()
    {
        server.update([](standin::Network& n) {
            n.alarms.clear();
            for (int i = 1; i <= 550; ++i)
                n.alarms.append({i, QStringLiteral("warning"), QStringLiteral("host-%1").arg(i), QStringLiteral("Ping"),
                    QDateTime::currentDateTimeUtc(), QDateTime(), true, true, QString(), QString()});
        });
        makeView();
        QVERIFY(server.requests().isEmpty());
        view->show();
        view->hide();
        view->show();
        QCOMPARE(server.requests(AlarmLog).size(), 1);
        QCOMPARE(pageLine(), QStringLiteral("Sida 1 / 6 (550 larm)"));
        QCOMPARE(table()->model()->rowCount(), 100);
        QCOMPARE(child<QPushButton>(view.get(), "previousButton")->text()
                + child<QPushButton>(view.get(), "nextButton")->text(),
            "◀▶");
        click("previousButton");
        QCOMPARE(lastQuery(), QByteArray("page=1&limit=100"));
        for (int i = 0; i < 5; ++i)
            click("nextButton");
        QCOMPARE(table()->model()->rowCount(), 50);
        click("nextButton");
        QCOMPARE(lastQuery(), QByteArray("page=7&limit=100"));
        QCOMPARE(pageLine(), QStringLiteral("Sida 7 / 6 (550 larm)"));
        click("nextButton");
        QCOMPARE(lastQuery(), QByteArray("page=7&limit=100"));
        click("previousButton");
        auto* search = child<QLineEdit>(view.get(), "searchEdit");
        search->setText(QStringLiteral("  host-7 & co "));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(lastQuery(), QByteArray("page=5&limit=100&q=host-7%20%26%20co"));
        search->setText(QStringLiteral("host-7"));
        child<QCheckBox>(view.get(), "openOnlyBox")->setChecked(true);
        QCOMPARE(lastQuery(), QByteArray("page=1&limit=100&active=1&q=host-7"));
        QCOMPARE(pageLine(), QStringLiteral("Sida 1 / 1 (11 larm)"));
    }

    // Every cell rule, on a page whose records carry values of every shape.
    void cellRules()
    {
        server.setFault(AlarmLog, Fault::raw(200, R"({"total": 3, "items": [
            {"status": "warning", "host_name": "web1", "target_name": "Disk /", "started_at": "2026-12-06 06:30:00",
             "cleared_at": "2026-12-06 07:00:00", "hard": true, "notified": true, "ack_by": "op1", "ack_comment": "byts"},
            {"status": "nere", "host_name": 7, "target_name": null, "started_at": false, "cleared_at": null,
             "hard": "true", "notified": 1, "ack_by": ["x"], "ack_comment": {}},
            "inte ett objekt"
        ]})"));
        makeView()->show();
        QCOMPARE(rowTexts(-1),
            QStringList({"Status", "Enhet", "Check", "Startad (UTC)", "Avslutad (UTC)", "Läge", "Notifierad",
                "Kvitterad av", "Kommentar"}));
        QCOMPARE(rowTexts(0),
            QStringList({"WARNING", "web1", "Disk /", "2026-12-06 06:30:00", "2026-12-06 07:00:00", "Hård", "Ja", "op1",
                "byts"}));
        QCOMPARE(rowTexts(1), QStringList({"NERE", "", "", "", "pågår", "Mjuk", "Nej", "", ""}));
        for (int c = 0; c < table()->model()->columnCount(); ++c) { // each column as wide as its cells or heading
            const int width = table()->columnWidth(c);
            table()->resizeColumnToContents(c);
            QCOMPARE(table()->columnWidth(c), width);
        }
        QCOMPARE(rowTexts(2), QStringList({"", "", "", "", "pågår", "Mjuk", "Nej", "", ""}));
        QCOMPARE(table()->model()->index(0, 0).data(Qt::ForegroundRole).value<QBrush>().color(),
            icons::wordColor(QStringLiteral("warning"), false, icons::darkLook()));
    }

    // A failure's message goes to the page line; the rows and the page asked for stay. A failed first fetch is
    // tried again at the next showing; a new client (a new login) loads again, at once when the tab shows,
    // otherwise at its next showing.
    void failureAndNewClient()
    {
        server.setFault(AlarmLog, Fault::raw(500, "nej", "text/plain"));
        makeView()->show();
        QVERIFY(!view->isLoaded());
        server.clearFaults();
        view->hide();
        view->show();
        QVERIFY(view->isLoaded());
        const QStringList firstRow = rowTexts(0);
        server.setFault(AlarmLog, Fault::raw(503, R"({"error":"Underhåll pågår"})"));
        click("nextButton");
        QCOMPARE(pageLine(), QStringLiteral("Underhåll pågår"));
        QCOMPARE(rowTexts(0), firstRow);
        server.clearFaults();
        ApiClient second(server.url(), server.issueToken(QStringLiteral("admin")));
        view->setClient(&second);
        QCOMPARE(server.requests(AlarmLog).last().query, QByteArray("page=2&limit=100"));
        QCOMPARE(server.requests(AlarmLog).last().header("authorization"), "Bearer " + second.token().toUtf8());
        view->hide();
        view->setClient(client.get());
        const qsizetype requests = server.requests(AlarmLog).size();
        view->show();
        QCOMPARE(server.requests(AlarmLog).size(), requests + 1);
    }

    // The selection is the operator's choice of alarms: it stays with them when alarms come above them or the list
    // is sorted again, and an alarm that ends leaves it without another taking its place.
    void selectionBelongsToAlarms()
    {
        ActiveAlarmsView panel(nullptr);
        auto* table = child<QTreeView>(&panel, "activeAlarms");
        QAbstractItemModelTester tester(table->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        panel.setAlarms({alarm("b", "warning"), alarm("c", "warning"), alarm("d", "unknown")}); // d, b, c
        table->setCurrentIndex(table->model()->index(2, 0)); // c
        table->selectionModel()->setCurrentIndex(
            table->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows); // and b, current
        const auto selected = [&panel] {
            QStringList keys;
            for (const ActiveAlarm& a : panel.selectedAlarms())
                keys.append(a.key);
            return keys.join(',') + '|' + (panel.currentAlarm() ? panel.currentAlarm()->key : QString());
        };
        QCOMPARE(selected(), QStringLiteral("b,c|b"));
        table->setColumnWidth(2, 33); // after the first rows, widths are the operator's
        panel.setAlarms({alarm("a", "critical"), alarm("b", "warning"), alarm("c", "critical"), alarm("d", "unknown")});
        QCOMPARE(selected(), QStringLiteral("c,b|b")); // c moved up, a came above
        QCOMPARE(table->columnWidth(2), 33);
        panel.setAlarms({alarm("a", "critical"), alarm("c", "critical"), alarm("d", "unknown")});
        QCOMPARE(selected(), QStringLiteral("c|"));
        panel.setAlarms({alarm("a", "critical"), alarm("d", "unknown")});
        QCOMPARE(selected(), QStringLiteral("|"));
        QVERIFY(!table->selectionModel()->hasSelection());
        QVERIFY(table->isVisibleTo(&panel));
        panel.setAlarms({}); // none left: "Inga aktiva larm" in its place
        QVERIFY(!table->isVisibleTo(&panel));
        // Alarms alike in every column (instances of one check) stand in the order of their keys, whatever order
        // they came in.
        QList<ActiveAlarm> alike;
        for (const char* key : {"e", "b", "f", "a", "d", "c"})
            alike.append(alarm(key, "warning", {}, QStringLiteral("Disk")));
        panel.setAlarms(alike);
        table->selectAll();
        QCOMPARE(selected(), QStringLiteral("a,b,c,d,e,f|"));
        table->sortByColumn(3, Qt::DescendingOrder); // ties in the clicked column: the whole order turned round
        QCOMPARE(selected(), QStringLiteral("f,e,d,c,b,a|"));
        // Within a host the item decides, whatever the keys; a renamed item moves its alarm.
        table->sortByColumn(0, Qt::AscendingOrder);
        for (const char* renamed : {"Disk A", "Disk D"}) {
            panel.setAlarms({alarm("x", "warning", {}, renamed), alarm("a", "warning", {}, "Disk B"),
                alarm("b", "warning", {}, "Disk C")});
            table->selectAll();
            QCOMPARE(selected(), QLatin1String(renamed) == "Disk A" ? "x,a,b|" : "a,b,x|");
        }
    }

    // A row whose server does not answer is drawn in the disabled colour, dot and word included, and as before once
    // it answers; the last-OK time is as short as it can be without cutting it, and whole in its tooltip. Ctrl+C
    // copies the selected rows as the columns stand.
    void rowsLookAndCopy()
    {
        ActiveAlarmsView panel(nullptr);
        auto* table = child<QTreeView>(&panel, "activeAlarms");
        panel.layout()->activate();
        QCOMPARE(table->parentWidget()->x(), 0); // from the window's edge
        const QString today = QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(" 08:07:06");
        ActiveAlarm row = alarm("a", "critical", today);
        ActiveAlarm older = alarm("b", "warning", QStringLiteral("2025-01-02 03:04:05"));
        const auto cell = [table](int r, int c, int role) { return table->model()->index(r, c).data(role); };
        const QColor old = table->palette().color(QPalette::Disabled, QPalette::Text);
        for (const bool stale : {true, false}) {
            row.stale = stale;
            panel.setAlarms({row, older});
            const QColor status = stale ? old : icons::statusColor(QStringLiteral("critical"), false);
            QCOMPARE(cell(0, 0, Qt::ForegroundRole).value<QBrush>().color(), status);
            QCOMPARE(cell(0, 0, Qt::DecorationRole).value<QIcon>().pixmap(12).toImage().pixel(6, 2), status.rgba());
            QCOMPARE(cell(0, 2, Qt::ForegroundRole), stale ? QVariant(QBrush(old)) : QVariant());
        }
        QCOMPARE(cell(0, 5, Qt::DisplayRole).toString(), QStringLiteral("08:07:06"));
        QCOMPARE(cell(1, 5, Qt::DisplayRole).toString(), QStringLiteral("2025-01-02 03:04"));
        QCOMPARE(cell(1, 5, Qt::ToolTipRole).toString(), older.lastOk);
        older.lastOk = QStringLiteral("2025-01-02T03:04:05"); // not the shape of a time of its own: as it is
        panel.setAlarms({row, older});
        QCOMPARE(cell(1, 5, Qt::DisplayRole).toString(), older.lastOk);
        QCOMPARE(rowTexts(-1, table).join('|'), QStringLiteral("Status|Server|Enhet|Check / port|Utdata|Senast OK"));
        QSignalSpy shown(table->model(), &QAbstractItemModel::dataChanged); // a new look reaches every row
        panel.redraw();
        const QPalette light = QGuiApplication::palette(); // the desktop turns dark: rows follow at the next poll, once
        QGuiApplication::setPalette(QPalette(Qt::black));
        panel.update({}, {});
        panel.update({}, {});
        QGuiApplication::setPalette(light);
        QCOMPARE(shown.count(), 2);
        table->header()->moveSection(5, 0);
        panel.show();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        table->setFocus();
        table->selectAll();
        QTest::keySequence(table, QKeySequence::Copy);
        const QStringList lines {today + "\tCRITICAL\tS\th\ta\tut", older.lastOk + "\tWARNING\tS\th\tb\tut"};
        QCOMPARE(QGuiApplication::clipboard()->text(), lines.join('\n'));
    }

private:
    static ActiveAlarm alarm(
        const QString& key, const QString& status, const QString& lastOk = {}, const QString& item = {})
    {
        return {key, QStringLiteral("s"), status, QStringLiteral("S"), QStringLiteral("h"), item.isEmpty() ? key : item,
            QStringLiteral("ut"), lastOk, {}, false};
    }
    AlarmLogView* makeView()
    {
        client = std::make_unique<ApiClient>(server.url(), server.issueToken(QStringLiteral("viewer")));
        view = std::make_unique<AlarmLogView>(client.get(), nullptr);
        return view.get();
    }
    QString pageLine() { return child<QLabel>(view.get(), "pageLabel")->text(); }
    QTreeView* table() { return child<QTreeView>(view.get(), "table"); }
    QStringList rowTexts(int row, QTreeView* of = nullptr) // the log's, or another view's; row -1: the headings
    {
        const QAbstractItemModel* m = (of ? of : table())->model();
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells.append(row < 0 ? m->headerData(c, Qt::Horizontal).toString() : m->index(row, c).data().toString());
        return cells;
    }
    QByteArray lastQuery() { return server.requests(AlarmLog).last().query; }
    void click(const char* button) { QTest::mouseClick(child<QPushButton>(view.get(), button), Qt::LeftButton); }

    testsupport::Standin server;
    std::unique_ptr<ApiClient> client;
    std::unique_ptr<AlarmLogView> view;
};

NORV_TEST_MAIN(TestAlarmView)
#include "tst_alarmview.moc"
