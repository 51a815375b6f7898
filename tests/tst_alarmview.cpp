#include "alarmview.h"
#include "apiclient.h"
#include "icons.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

using standin::Fault;
using testsupport::child;

namespace {

const QString AlarmLog = QStringLiteral("/api/alarmlog");

QStringList rowTexts(QTreeView* table, int row)
{
    QStringList cells;
    for (int c = 0; c < table->model()->columnCount(); ++c)
        cells.append(table->model()->index(row, c).data().toString());
    return cells;
}

} // namespace

class TestAlarmView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { server.reset(); }
    void cleanup() { view.reset(); }

    void firstShowing_data();
    void firstShowing();
    void pagingSearchAndClamp();
    void cellRules();
    void failureKeepsRows();
    void newClientLoadsAgain();

private:
    AlarmLogView* makeView()
    {
        client = std::make_unique<ApiClient>(server.url(), server.issueToken(QStringLiteral("viewer")));
        view = std::make_unique<AlarmLogView>(client.get(), nullptr);
        return view.get();
    }
    QString pageLine() { return child<QLabel>(view.get(), "pageLabel")->text(); }
    QTreeView* table() { return child<QTreeView>(view.get(), "table"); }
    QByteArray lastQuery() { return server.requests(AlarmLog).last().query; }
    void click(const char* button) { QTest::mouseClick(child<QPushButton>(view.get(), button), Qt::LeftButton); }
    void setAlarmCount(int count);

    testsupport::Standin server;
    std::unique_ptr<ApiClient> client;
    std::unique_ptr<AlarmLogView> view;
};

void TestAlarmView::setAlarmCount(int count)
{
    server.update([count](standin::Network& n) {
        n.alarms.clear();
        for (int i = 1; i <= count; ++i) {
            n.alarms.append({i, QStringLiteral("warning"), QStringLiteral("host-%1").arg(i), QStringLiteral("Ping"),
                QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC), QDateTime(), true, true, QString(), QString()});
        }
    });
}

void TestAlarmView::firstShowing_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("line");
    // clang-format off
    QTest::newRow("none") << 0 << "Sida 1 / 1 (0 larm)";
    QTest::newRow("exactly one page") << 100 << "Sida 1 / 1 (100 larm)";
    QTest::newRow("one more") << 101 << "Sida 1 / 2 (101 larm)";
    QTest::newRow("250") << 250 << "Sida 1 / 3 (250 larm)";
    // clang-format on
}

// The first showing loads the first page, once.
void TestAlarmView::firstShowing()
{
    QFETCH(int, total);
    setAlarmCount(total);
    makeView();
    QVERIFY(server.requests().isEmpty());
    view->show();
    view->hide();
    view->show();
    QCOMPARE(server.requests(AlarmLog).size(), 1);
    QTEST(pageLine(), "line");
    QCOMPARE(table()->model()->rowCount(), std::min(total, 100));
}

// The page asked for is clamped only after the answer; a new search or the open-only box ask for the page the
// operator was on.
void TestAlarmView::pagingSearchAndClamp()
{
    setAlarmCount(550);
    makeView()->show();
    click("previousButton");
    QCOMPARE(lastQuery(), QByteArray("page=1&limit=100"));
    for (int i = 0; i < 5; ++i)
        click("nextButton");
    QCOMPARE(pageLine(), QStringLiteral("Sida 6 / 6 (550 larm)"));
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
    click("refreshButton");
    QCOMPARE(server.requests(AlarmLog).size(), 13);
}

// Every cell rule, on a page whose records carry values of every shape.
void TestAlarmView::cellRules()
{
    server.setFault(AlarmLog, Fault::raw(200, R"({"total": 3, "items": [
        {"status": "warning", "host_name": "web1", "target_name": "Disk /", "started_at": "2026-12-06 06:30:00",
         "cleared_at": "2026-12-06 07:00:00", "hard": true, "notified": true, "ack_by": "op1", "ack_comment": "byts"},
        {"status": "nere", "host_name": 7, "target_name": null, "started_at": false, "cleared_at": null,
         "hard": "true", "notified": 1, "ack_by": ["x"], "ack_comment": {}},
        "inte ett objekt"
    ]})"));
    makeView()->show();
    QCOMPARE(rowTexts(table(), 0),
        QStringList(
            {"WARNING", "web1", "Disk /", "2026-12-06 06:30:00", "2026-12-06 07:00:00", "Hård", "Ja", "op1", "byts"}));
    QCOMPARE(rowTexts(table(), 1), QStringList({"NERE", "", "", "", "pågår", "Mjuk", "Nej", "", ""}));
    QCOMPARE(rowTexts(table(), 2), QStringList({"", "", "", "", "pågår", "Mjuk", "Nej", "", ""}));
    auto* model = qobject_cast<QStandardItemModel*>(table()->model());
    QCOMPARE(model->item(0, 0)->foreground().color(), icons::statusColor(QStringLiteral("warning"), false));
    QCOMPARE(model->item(1, 0)->foreground().color(), icons::statusColor(QStringLiteral("nere"), false));
    QVERIFY(!(model->item(0, 2)->flags() & Qt::ItemIsEditable));
    // A page number of the wrong type counts as the page asked for; a fractional total as 0.
    server.setFault(AlarmLog, Fault::raw(200, R"({"total": 2.5, "page": "3", "items": 5})"));
    view->reload();
    QCOMPARE(pageLine(), QStringLiteral("Sida 1 / 1 (0 larm)"));
}

// A failure shows its text in the page line; the rows and the page asked for stay.
void TestAlarmView::failureKeepsRows()
{
    makeView()->show();
    const QStringList firstRow = rowTexts(table(), 0);
    server.setFault(AlarmLog, Fault::raw(503, R"({"error":"Underhåll pågår"})"));
    click("nextButton");
    QCOMPARE(pageLine(), QStringLiteral("Underhåll pågår"));
    QCOMPARE(rowTexts(table(), 0), firstRow);
    server.clearFaults();
    view->reload();
    QCOMPARE(lastQuery(), QByteArray("page=2&limit=100"));
}

// A failed first fetch is tried again at the next showing; a new client (a new login) loads again, at once when
// the tab shows, otherwise at its next showing.
void TestAlarmView::newClientLoadsAgain()
{
    server.setFault(AlarmLog, Fault::raw(500, "nej", "text/plain"));
    makeView()->show();
    QVERIFY(!view->isLoaded());
    server.clearFaults();
    view->hide();
    view->show();
    QVERIFY(view->isLoaded());
    ApiClient second(server.url(), server.issueToken(QStringLiteral("admin")));
    view->setClient(&second);
    QCOMPARE(server.requests(AlarmLog).last().header("authorization"), "Bearer " + second.token().toUtf8());
    view->hide();
    view->setClient(client.get());
    QCOMPARE(server.requests(AlarmLog).size(), 3);
    view->show();
    QCOMPARE(server.requests(AlarmLog).size(), 4);
}

NORV_TEST_MAIN(TestAlarmView)
#include "tst_alarmview.moc"
