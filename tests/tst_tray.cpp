#include "icons.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "tray.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QSignalSpy>

namespace {

QJsonObject payload(const QByteArray& problems, const QByteArray& summary = "{}")
{
    return QJsonDocument::fromJson(R"({"summary":)" + summary + R"(,"problems":[)" + problems + "]}").object();
}

QByteArray problem(int host, int plugin, const char* status, const QByteArray& extra = {})
{
    return QStringLiteral(R"({"host_id":%1,"plugin_id":%2,"status":"%3","host_name":"h%1","plugin_name":"c%2"%4})")
        .arg(host)
        .arg(plugin)
        .arg(QLatin1String(status), QString::fromUtf8(extra.isEmpty() ? QByteArray() : "," + extra))
        .toUtf8();
}

QColor badgeColor(const NorvTray& tray)
{
    return QColor(tray.icon().pixmap(64, 64).toImage().pixel(32, 2));
}

// One thing that happens to the tray: a status payload of a server ("a" or "b", labelled "A" and "B"), the server
// gone (problems "-"), or the server not answering (problems "?").
struct Step {
    QString server;
    QByteArray problems;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestTray : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { window.reset(); }

    void whichProblemsAreAlarms_data();
    void whichProblemsAreAlarms();
    void alarmKeys_data();
    void alarmKeys();
    void announcements_data();
    void announcements();
    void tooltipAndBadge();
    void blinkingFollowsAlarms();
    void clicksAndMenu();

private:
    void apply(const Step& step)
    {
        const QString label = step.server.toUpper();
        if (step.problems == "-")
            tray->removeServer(step.server);
        else if (step.problems == "?")
            tray->setUnreachable(step.server, label);
        else
            tray->updateStatus(payload(step.problems), step.server, label);
    }
    std::unique_ptr<MainWindow> window;
    NorvTray* tray = nullptr;
};

void TestTray::init()
{
    testsupport::resetConfig();
    window = std::make_unique<MainWindow>();
    tray = window->trayIcon();
}

void TestTray::whichProblemsAreAlarms_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("softOn");
    QTest::addColumn<bool>("alarm");
    // clang-format off
    QTest::newRow("critical") << QByteArray() << "critical" << false << true;
    QTest::newRow("unknown") << QByteArray() << "unknown" << false << true;
    QTest::newRow("stale is no alarm") << QByteArray() << "stale" << false << false;
    QTest::newRow("upper case is no alarm") << QByteArray() << "CRITICAL" << false << false;
    QTest::newRow("acknowledged") << QByteArray(R"("acknowledged":true)") << "critical" << false << false;
    QTest::newRow("acknowledged as text") << QByteArray(R"("acknowledged":"true")") << "critical" << false << true;
    QTest::newRow("silenced") << QByteArray(R"("dnd":true)") << "warning" << false << false;
    QTest::newRow("soft, alarm on soft off") << QByteArray(R"("hard":false)") << "warning" << false << false;
    QTest::newRow("soft, alarm on soft on") << QByteArray(R"("hard":false)") << "warning" << true << true;
    QTest::newRow("hard null is soft") << QByteArray(R"("hard":null)") << "warning" << false << false;
    // clang-format on
}

void TestTray::whichProblemsAreAlarms()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, status);
    QFETCH(bool, softOn);
    QFETCH(bool, alarm);
    settings::setAlarmOnSoft(softOn);
    tray->updateStatus(payload(problem(1, 2, qPrintable(status), extra)), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(badgeColor(*tray), icons::statusColor(alarm ? status : QStringLiteral("ok"), false));
}

// A first payload (never announced), then a second one with one more problem: whether it is a new alarm tells
// which problems share an alarm key.
void TestTray::alarmKeys_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<bool>("newAlarm");
    // clang-format off
    QTest::newRow("string and number ids are one key") << QByteArray(R"({"host_id":7,"plugin_id":15,"status":"critical"})") << QByteArray(R"({"host_id":"7","plugin_id":15.0,"status":"critical"})") << false;
    QTest::newRow("other instance is another alarm") << QByteArray(R"({"host_id":7,"plugin_id":15,"status":"critical"})") << QByteArray(R"({"host_id":7,"plugin_id":15,"instance_id":2,"status":"critical"})") << true;
    QTest::newRow("null and missing ids are one key") << QByteArray(R"({"host_id":null,"status":"warning"})") << QByteArray(R"({"status":"warning"})") << false;
    QTest::newRow("fraction counts as 0") << QByteArray(R"({"host_id":0,"status":"warning"})") << QByteArray(R"({"host_id":0.5,"status":"warning"})") << false;
    QTest::newRow("boolean id is its text") << QByteArray(R"({"host_id":"true","status":"warning"})") << QByteArray(R"({"host_id":true,"status":"warning"})") << false;
    QTest::newRow("port is another part") << QByteArray(R"({"host_id":1,"plugin_id":5,"status":"warning"})") << QByteArray(R"({"host_id":1,"port_id":5,"status":"warning"})") << true;
    // clang-format on
}

void TestTray::alarmKeys()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QSignalSpy notified(tray, &NorvTray::notified);
    tray->updateStatus(payload(first), QStringLiteral("s1"), QStringLiteral("A"));
    tray->updateStatus(payload(first + "," + second), QStringLiteral("s1"), QStringLiteral("A"));
    QTEST(notified.count() == 1, "newAlarm");
}

// Steps in order, and every notification they bring: title and body.
void TestTray::announcements_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QStringList>("notifications");
    const QByteArray two = problem(1, 1, "critical") + "," + problem(1, 2, "warning");
    QByteArray seven;
    for (int i = 1; i <= 7; ++i)
        seven += (i > 1 ? "," : "") + problem(1, i, "critical");
    // clang-format off
    QTest::newRow("first payloads of each server are not announced") << QList<Step> {{"a", two}, {"b", problem(9, 9, "critical")}, {"a", two + "," + problem(1, 3, "unknown")}, {"a", two + "," + problem(1, 3, "unknown")}} << QStringList {"Norv: 1 nya larm|[A] h1 / c3: UNKNOWN"};
    QTest::newRow("cleared, acknowledged and back: new again") << QList<Step> {{"a", ""}, {"a", problem(1, 1, "critical")}, {"a", problem(1, 1, "critical", R"("acknowledged":true)")}, {"a", problem(1, 1, "critical")}} << QStringList {"Norv: 1 nya larm|h1 / c1: CRITICAL", "Norv: 1 nya larm|h1 / c1: CRITICAL"};
    QTest::newRow("a server removed and back: first payload again") << QList<Step> {{"a", ""}, {"a", problem(1, 1, "critical")}, {"a", "-"}, {"a", two}} << QStringList {"Norv: 1 nya larm|h1 / c1: CRITICAL"};
    QTest::newRow("seven at once") << QList<Step> {{"a", ""}, {"a", seven}} << QStringList {"Norv: 7 nya larm|h1 / c1: CRITICAL\nh1 / c2: CRITICAL\nh1 / c3: CRITICAL\nh1 / c4: CRITICAL\nh1 / c5: CRITICAL\n… och 2 till"};
    QTest::newRow("port name and missing names") << QList<Step> {{"a", ""}, {"a", R"({"host_id":1,"port_id":4,"status":"warning","host_name":"sw","port_name":"Gi0/4"}, {"host_id":2,"port_id":5,"status":"unknown","host_name":3})"}} << QStringList {"Norv: 2 nya larm|sw / Gi0/4: WARNING\n? / ?: UNKNOWN"};
    QTest::newRow("a server stops answering: told once") << QList<Step> {{"a", two}, {"b", ""}, {"a", "?"}, {"a", "?"}} << QStringList {"Norv: 1 nya larm|A: servern svarar inte"};
    QTest::newRow("back again: only what is new while away") << QList<Step> {{"a", two}, {"a", "?"}, {"a", two + "," + problem(1, 3, "warning")}} << QStringList {"Norv: 1 nya larm|A: servern svarar inte", "Norv: 1 nya larm|h1 / c3: WARNING"};
    QTest::newRow("never answered, then answers") << QList<Step> {{"a", "?"}, {"a", two}} << QStringList {};
    // clang-format on
}

void TestTray::announcements()
{
    QFETCH(QList<Step>, steps);
    QSignalSpy notified(tray, &NorvTray::notified);
    for (const Step& step : steps)
        apply(step);
    QStringList notifications;
    for (const QList<QVariant>& n : notified)
        notifications.append(n.at(0).toString() + QLatin1Char('|') + n.at(1).toString());
    QTEST(notifications, "notifications");
}

// The tooltip sums the counts of every server, names those that do not answer, and the badge shows the worst
// alarm; a server that does not answer is an alarm of its own, "unknown" at least.
void TestTray::tooltipAndBadge()
{
    QCOMPARE(tray->toolTip(), QStringLiteral("Norv"));
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("pending"), false));
    tray->updateStatus(payload(problem(1, 1, "warning"), R"({"critical":0,"warning":1,"ok":5})"), QStringLiteral("a"),
        QStringLiteral("A"));
    tray->updateStatus(
        payload("", R"({"critical":"2","warning":1.5,"ok":3})"), QStringLiteral("b"), QStringLiteral("B"));
    QCOMPARE(tray->toolTip(), QStringLiteral("Norv – WARNING: 0 kritiska, 1 varningar, 8 ok (2 servrar)"));
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("warning"), false));
    tray->setUnreachable(QStringLiteral("b"), QStringLiteral("B"));
    QCOMPARE(
        tray->toolTip(), QStringLiteral("Norv – UNKNOWN: 0 kritiska, 1 varningar, 8 ok (2 servrar)\nSvarar inte: B"));
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("unknown"), false));
    tray->updateStatus(payload(problem(2, 1, "critical")), QStringLiteral("b"), QStringLiteral("B"));
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("critical"), false));
    tray->removeServer(QStringLiteral("okänd")); // not held: nothing changes
    tray->removeServer(QStringLiteral("b"));
    QVERIFY(tray->toolTip().startsWith(QStringLiteral("Norv – WARNING: 0 kritiska, 1 varningar, 5 ok")));
}

void TestTray::blinkingFollowsAlarms()
{
    tray->updateStatus(payload(problem(1, 1, "warning")), QStringLiteral("a"), QStringLiteral("A"));
    const QColor warning = icons::statusColor(QStringLiteral("warning"), false);
    QCOMPARE(badgeColor(*tray), warning);
    QTRY_COMPARE_WITH_TIMEOUT(badgeColor(*tray), icons::statusColor(QStringLiteral("none"), false), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(badgeColor(*tray), warning, 1500);
    // The last alarm is acknowledged: blinking stops on the steady badge of the new state.
    tray->updateStatus(
        payload(problem(1, 1, "warning", R"("acknowledged":true)")), QStringLiteral("a"), QStringLiteral("A"));
    QTest::qWait(700);
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("ok"), false));
}

// A plain click shows and hides the window; the menu's "Visa Norv" shows it, and its "Avsluta" ends the program.
void TestTray::clicksAndMenu()
{
    QVERIFY(!window->isVisible());
    Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
    QVERIFY(window->isVisible());
    Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(window->isVisible());
    Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!window->isVisible());
    const QList<QAction*> entries = tray->contextMenu()->actions();
    QCOMPARE(entries.size(), 3);
    entries.first()->trigger();
    QVERIFY(window->isVisible() && !window->isMinimized());
    entries.last()->trigger();
    QVERIFY(window->isQuitting() && !window->isVisible());
}

NORV_TEST_MAIN(TestTray)
#include "tst_tray.moc"
