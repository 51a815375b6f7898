#include "alarmview.h"
#include "apiclient.h"
#include "icons.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

#include <memory>

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
    void initTestCase() { QVERIFY(server.listen()); }
    void init();
    void cleanup() { view.reset(); }

    void firstShowingLoadsOnce();
    void pageCount_data();
    void pageCount();
    void pagingAndClamp();
    void searchAndOpenOnlyKeepThePage();
    void cellRules();
    void failureKeepsRows_data();
    void failureKeepsRows();
    void newClientReloadsWhenVisible();

private:
    AlarmLogView* makeView()
    {
        client = std::make_unique<ApiClient>(server.url(), server.issueToken(QStringLiteral("viewer")));
        view = std::make_unique<AlarmLogView>(client.get(), nullptr);
        return view.get();
    }
    QString pageLine() { return child<QLabel>(view.get(), "pageLabel")->text(); }
    QTreeView* table() { return child<QTreeView>(view.get(), "table"); }
    void setAlarmCount(int count);

    standin::StandinServer server;
    std::unique_ptr<ApiClient> client;
    std::unique_ptr<AlarmLogView> view;
};

void TestAlarmView::init()
{
    server.clearFaults();
    server.clearRequests();
    server.setNetwork(standin::Network::sample());
}

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

void TestAlarmView::firstShowingLoadsOnce()
{
    makeView();
    QVERIFY(server.requests().isEmpty());
    view->show();
    QCOMPARE(server.requests(AlarmLog).size(), 1);
    QCOMPARE(server.requests(AlarmLog).first().query, QByteArray("page=1&limit=100"));
    QCOMPARE(pageLine(), QStringLiteral("Sida 1 / 1 (5 larm)"));
    QCOMPARE(table()->model()->rowCount(), 5);
    QStringList headers;
    for (int c = 0; c < table()->model()->columnCount(); ++c)
        headers.append(table()->model()->headerData(c, Qt::Horizontal).toString());
    QCOMPARE(headers,
        QStringList({"Status", "Enhet", "Check", "Startad (UTC)", "Avslutad (UTC)", "Läge", "Notifierad",
            "Kvitterad av", "Kommentar"}));
    view->hide();
    view->show();
    QCOMPARE(server.requests(AlarmLog).size(), 1);
    QVERIFY(!table()->rootIsDecorated());
}

void TestAlarmView::pageCount_data()
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

void TestAlarmView::pageCount()
{
    QFETCH(int, total);
    QFETCH(QString, line);
    setAlarmCount(total);
    makeView()->show();
    QCOMPARE(pageLine(), line);
    QCOMPARE(table()->model()->rowCount(), std::min(total, 100));
    QCOMPARE(table()->model()->columnCount(), 9);
}

void TestAlarmView::pagingAndClamp()
{
    setAlarmCount(250);
    makeView()->show();
    auto* next = child<QPushButton>(view.get(), "nextButton");
    auto* previous = child<QPushButton>(view.get(), "previousButton");
    QCOMPARE(previous->text(), QStringLiteral("◀"));
    QCOMPARE(next->text(), QStringLiteral("▶"));
    QTest::mouseClick(previous, Qt::LeftButton); // page 1 asks for page 1 again
    QCOMPARE(server.requests(AlarmLog).last().queryItems.first().second, QStringLiteral("1"));
    QTest::mouseClick(next, Qt::LeftButton);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(pageLine(), QStringLiteral("Sida 3 / 3 (250 larm)"));
    QCOMPARE(table()->model()->rowCount(), 50);
    // Beyond the last page: the request goes out, the answer's page is shown, and the next request is clamped.
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(server.requests(AlarmLog).last().queryItems.first().second, QStringLiteral("4"));
    QCOMPARE(pageLine(), QStringLiteral("Sida 4 / 3 (250 larm)"));
    QCOMPARE(table()->model()->rowCount(), 0);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(server.requests(AlarmLog).last().queryItems.first().second, QStringLiteral("4"));
    QTest::mouseClick(previous, Qt::LeftButton);
    QCOMPARE(server.requests(AlarmLog).last().queryItems.first().second, QStringLiteral("2"));
}

void TestAlarmView::searchAndOpenOnlyKeepThePage()
{
    setAlarmCount(550);
    makeView()->show();
    auto* next = child<QPushButton>(view.get(), "nextButton");
    for (int i = 0; i < 4; ++i)
        QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(pageLine(), QStringLiteral("Sida 5 / 6 (550 larm)"));
    auto* search = child<QLineEdit>(view.get(), "searchEdit");
    QCOMPARE(search->placeholderText(), QStringLiteral("Sök enhet/check…"));
    search->setText(QStringLiteral("  host-7 & co "));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(server.requests(AlarmLog).last().query, QByteArray("page=5&limit=100&q=host-7%20%26%20co"));
    QCOMPARE(pageLine(), QStringLiteral("Sida 5 / 1 (0 larm)"));
    search->setText(QStringLiteral("host-7"));
    child<QCheckBox>(view.get(), "openOnlyBox")->setChecked(true);
    QCOMPARE(server.requests(AlarmLog).last().query, QByteArray("page=1&limit=100&active=1&q=host-7"));
    QCOMPARE(pageLine(), QStringLiteral("Sida 1 / 1 (11 larm)"));
    QTest::mouseClick(child<QPushButton>(view.get(), "refreshButton"), Qt::LeftButton);
    QCOMPARE(server.requests(AlarmLog).size(), 8);
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
    QCOMPARE(pageLine(), QStringLiteral("Sida 1 / 1 (3 larm)"));
    QCOMPARE(rowTexts(table(), 0),
        QStringList(
            {"WARNING", "web1", "Disk /", "2026-12-06 06:30:00", "2026-12-06 07:00:00", "Hård", "Ja", "op1", "byts"}));
    QCOMPARE(rowTexts(table(), 1), QStringList({"NERE", "", "", "", "pågår", "Mjuk", "Nej", "", ""}));
    QCOMPARE(rowTexts(table(), 2), QStringList({"", "", "", "", "pågår", "Mjuk", "Nej", "", ""}));
    auto* model = qobject_cast<QStandardItemModel*>(table()->model());
    QCOMPARE(model->item(0, 0)->foreground().color(), icons::statusColor(QStringLiteral("warning"), false));
    QCOMPARE(model->item(1, 0)->foreground().color(), icons::statusColor(QStringLiteral("pending"), false));
    QCOMPARE(model->item(0, 1)->foreground().style(), Qt::NoBrush);
    QVERIFY(!(model->item(0, 2)->flags() & Qt::ItemIsEditable));

    // A page number of the wrong type counts as the page asked for; a fractional total as 0.
    server.setFault(AlarmLog, Fault::raw(200, R"({"total": 2.5, "page": "3", "items": 5})"));
    view->reload();
    QCOMPARE(pageLine(), QStringLiteral("Sida 1 / 1 (0 larm)"));
    QCOMPARE(table()->model()->rowCount(), 0);
}

void TestAlarmView::failureKeepsRows_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("server error") << 503 << QByteArray(R"({"error":"Underhåll pågår"})") << "Underhåll pågår";
    QTest::newRow("not json") << 200 << QByteArray("<html/>") << "Ogiltigt svar från servern";
    QTest::newRow("rejected token") << 401 << QByteArray() << "HTTP 401";
    QTest::newRow("dropped") << -1 << QByteArray() << "Kan inte nå servern: ";
    // clang-format on
}

void TestAlarmView::failureKeepsRows()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    makeView()->show();
    const QStringList firstRow = rowTexts(table(), 0);
    server.setFault(AlarmLog, status < 0 ? Fault::drop() : Fault::raw(status, body));
    QTest::mouseClick(child<QPushButton>(view.get(), "nextButton"), Qt::LeftButton);
    QVERIFY2(pageLine().startsWith(message), qPrintable(pageLine()));
    QCOMPARE(table()->model()->rowCount(), 5);
    QCOMPARE(rowTexts(table(), 0), firstRow);
    // The page asked for stays the current one; the next success replaces the error text.
    server.clearFaults();
    view->reload();
    QCOMPARE(server.requests(AlarmLog).last().queryItems.first().second, QStringLiteral("2"));
    QCOMPARE(pageLine(), QStringLiteral("Sida 2 / 1 (5 larm)"));
}

void TestAlarmView::newClientReloadsWhenVisible()
{
    server.setFault(AlarmLog, Fault::raw(500, "nej", "text/plain"));
    makeView()->show();
    QCOMPARE(pageLine(), QStringLiteral("HTTP 500"));
    QVERIFY(!view->isLoaded());
    server.clearFaults();
    view->hide();
    view->show(); // a failed first fetch is tried again at the next showing
    QVERIFY(view->isLoaded());

    ApiClient second(server.url(), server.issueToken(QStringLiteral("admin")));
    view->setClient(&second);
    QCOMPARE(server.requests(AlarmLog).last().header("authorization"), "Bearer " + second.token().toUtf8());
    view->hide();
    view->setClient(client.get());
    const int requests = int(server.requests(AlarmLog).size());
    QVERIFY(!view->isLoaded());
    view->show();
    QCOMPARE(int(server.requests(AlarmLog).size()), requests + 1);
}

NORV_TEST_MAIN(TestAlarmView)
#include "tst_alarmview.moc"
