#include "icons.h"
#include "mainwindow.h"
#include "settings.h"
#include "testsupport.h"
#include "tray.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

namespace {

QJsonObject payload(const QByteArray& problems, const QByteArray& summary = "{}")
{
    return QJsonDocument::fromJson(R"({"summary":)" + summary + R"(,"problems":)" + problems + "}").object();
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

} // namespace

class TestTray : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void whichProblemsAreAlarms_data();
    void whichProblemsAreAlarms();
    void alarmKeys_data();
    void alarmKeys();
    void worstStateOverServers();
    void firstPayloadIsNeverAnnounced();
    void clearedAlarmIsAnnouncedAgain();
    void removedServerIsSuppressedWhenBack();
    void removingUnknownServerChangesNothing();
    void tooltipSumsServers();
    void notificationLines_data();
    void notificationLines();
    void blinkingFollowsAlarms();
    void anyPayloadShapeIsHarmless_data();
    void anyPayloadShapeIsHarmless();

private:
    std::unique_ptr<MainWindow> window;
    NorvTray* tray = nullptr;
};

void TestTray::init()
{
    testsupport::resetConfig();
    window = std::make_unique<MainWindow>();
    tray = window->trayIcon();
}

void TestTray::cleanup()
{
    window.reset();
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
    QTest::newRow("no hard member") << QByteArray() << "warning" << false << true;
    // clang-format on
}

void TestTray::whichProblemsAreAlarms()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, status);
    QFETCH(bool, softOn);
    QFETCH(bool, alarm);
    settings::setAlarmOnSoft(softOn);
    tray->updateStatus(
        payload("[" + problem(1, 2, qPrintable(status), extra) + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(tray->toolTip().startsWith(QStringLiteral("Norv – OK")), !alarm);
    QCOMPARE(badgeColor(*tray), icons::statusColor(alarm ? status : QStringLiteral("ok"), false));
}

// Each row feeds a first payload (never announced), then a second one with one more problem: the notification
// names the problem, and its key tells which problems are one alarm.
void TestTray::alarmKeys_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<int>("newAlarms");
    // clang-format off
    QTest::newRow("string and number ids are one key") << QByteArray(R"({"host_id":7,"plugin_id":15,"status":"critical"})") << QByteArray(R"({"host_id":"7","plugin_id":15.0,"status":"critical"})") << 0;
    QTest::newRow("other instance is another alarm") << QByteArray(R"({"host_id":7,"plugin_id":15,"status":"critical"})") << QByteArray(R"({"host_id":7,"plugin_id":15,"instance_id":2,"status":"critical"})") << 1;
    QTest::newRow("null and missing ids are one key") << QByteArray(R"({"host_id":null,"status":"warning"})") << QByteArray(R"({"status":"warning"})") << 0;
    QTest::newRow("fraction counts as 0") << QByteArray(R"({"host_id":0,"status":"warning"})") << QByteArray(R"({"host_id":0.5,"status":"warning"})") << 0;
    QTest::newRow("boolean id is its text") << QByteArray(R"({"host_id":"true","status":"warning"})") << QByteArray(R"({"host_id":true,"status":"warning"})") << 0;
    QTest::newRow("huge number") << QByteArray(R"({"host_id":1e300,"status":"warning"})") << QByteArray(R"({"host_id":2e300,"status":"warning"})") << 1;
    QTest::newRow("port is another part") << QByteArray(R"({"host_id":1,"plugin_id":5,"status":"warning"})") << QByteArray(R"({"host_id":1,"port_id":5,"status":"warning"})") << 1;
    // clang-format on
}

void TestTray::alarmKeys()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, newAlarms);
    QSignalSpy notified(tray, &NorvTray::notified);
    tray->updateStatus(payload("[" + first + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    tray->updateStatus(payload("[" + first + "," + second + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), newAlarms > 0 ? 1 : 0);
    if (newAlarms > 0)
        QCOMPARE(notified.first().first().toString(), QStringLiteral("Norv: %1 nya larm").arg(newAlarms));
}

void TestTray::worstStateOverServers()
{
    QCOMPARE(NorvTray::alarmState({}), qMakePair(QStringLiteral("ok"), false));
    QCOMPARE(NorvTray::alarmState({{"b", "warning"}, {"a", "unknown"}}), qMakePair(QStringLiteral("unknown"), true));
    QCOMPARE(NorvTray::alarmState({{"a", "warning"}, {"z", "critical"}}), qMakePair(QStringLiteral("critical"), true));

    tray->updateStatus(payload("[" + problem(1, 1, "warning") + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    tray->updateStatus(payload("[" + problem(2, 2, "unknown") + "]"), QStringLiteral("s2"), QStringLiteral("B"));
    QVERIFY(tray->toolTip().startsWith(QStringLiteral("Norv – UNKNOWN:")));
    tray->updateStatus(payload("[" + problem(1, 1, "warning") + "," + problem(1, 3, "critical") + "]"),
        QStringLiteral("s1"), QStringLiteral("A"));
    QVERIFY(tray->toolTip().startsWith(QStringLiteral("Norv – CRITICAL:")));
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("critical"), false));
}

void TestTray::firstPayloadIsNeverAnnounced()
{
    QSignalSpy notified(tray, &NorvTray::notified);
    const QByteArray two = problem(1, 1, "critical") + "," + problem(1, 2, "warning");
    tray->updateStatus(payload("[" + two + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), 0);
    // A second server connecting later with its own alarms: suppressed too.
    tray->updateStatus(payload("[" + problem(9, 9, "critical") + "]"), QStringLiteral("s2"), QStringLiteral("B"));
    QCOMPARE(notified.count(), 0);
    tray->updateStatus(
        payload("[" + two + "," + problem(1, 3, "unknown") + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), 1);
    QCOMPARE(notified.first().at(0).toString(), QStringLiteral("Norv: 1 nya larm"));
    QCOMPARE(notified.first().at(1).toString(), QStringLiteral("[A] h1 / c3: UNKNOWN"));
    tray->updateStatus(
        payload("[" + two + "," + problem(1, 3, "unknown") + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), 1);
}

void TestTray::clearedAlarmIsAnnouncedAgain()
{
    QSignalSpy notified(tray, &NorvTray::notified);
    tray->updateStatus(payload("[]"), QStringLiteral("s1"), QStringLiteral("A"));
    tray->updateStatus(payload("[" + problem(1, 1, "critical") + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), 1);
    // Acknowledged: no longer an alarm; un-acknowledged later: new again.
    tray->updateStatus(payload("[" + problem(1, 1, "critical", R"("acknowledged":true)") + "]"), QStringLiteral("s1"),
        QStringLiteral("A"));
    tray->updateStatus(payload("[" + problem(1, 1, "critical") + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), 2);
    QCOMPARE(notified.last().at(1).toString(), QStringLiteral("h1 / c1: CRITICAL"));
}

void TestTray::removedServerIsSuppressedWhenBack()
{
    QSignalSpy notified(tray, &NorvTray::notified);
    tray->updateStatus(payload("[]"), QStringLiteral("s1"), QStringLiteral("A"));
    tray->updateStatus(payload("[" + problem(1, 1, "critical") + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), 1);
    tray->removeServer(QStringLiteral("s1"));
    QCOMPARE(tray->toolTip(), QStringLiteral("Norv – OK: 0 kritiska, 0 varningar, 0 ok"));
    tray->updateStatus(payload("[" + problem(1, 1, "critical") + "," + problem(1, 2, "warning") + "]"),
        QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(notified.count(), 1);
}

void TestTray::removingUnknownServerChangesNothing()
{
    tray->updateStatus(
        payload("[" + problem(1, 1, "warning") + "]", R"({"warning":1})"), QStringLiteral("s1"), QStringLiteral("A"));
    const QString tip = tray->toolTip();
    tray->setToolTip(QStringLiteral("markör"));
    tray->removeServer(QStringLiteral("okänd"));
    QCOMPARE(tray->toolTip(), QStringLiteral("markör")); // no refresh happened
    tray->removeServer(QStringLiteral("s1"));
    QVERIFY(tray->toolTip() != tip);
}

void TestTray::tooltipSumsServers()
{
    QCOMPARE(tray->toolTip(), QStringLiteral("Norv"));
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("pending"), false));
    tray->updateStatus(
        payload("[]", R"({"critical":0,"warning":1,"ok":5})"), QStringLiteral("s1"), QStringLiteral("A"));
    QCOMPARE(tray->toolTip(), QStringLiteral("Norv – OK: 0 kritiska, 1 varningar, 5 ok"));
    tray->updateStatus(
        payload("[]", R"({"critical":0,"warning":0,"ok":3,"stale":4})"), QStringLiteral("s2"), QStringLiteral("B"));
    QCOMPARE(tray->toolTip(), QStringLiteral("Norv – OK: 0 kritiska, 1 varningar, 8 ok (2 servrar)"));
    QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("ok"), false));
    tray->updateStatus(
        payload("[]", R"({"critical":"2","warning":1.5,"ok":null})"), QStringLiteral("s3"), QStringLiteral("C"));
    QCOMPARE(tray->toolTip(), QStringLiteral("Norv – OK: 0 kritiska, 1 varningar, 8 ok (3 servrar)"));
}

void TestTray::notificationLines_data()
{
    QTest::addColumn<int>("servers");
    QTest::addColumn<QByteArray>("problems");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QByteArray seven;
    for (int i = 1; i <= 7; ++i)
        seven += (i > 1 ? "," : "") + problem(1, i, "critical");
    // clang-format off
    QTest::newRow("seven alarms, one server") << 1 << seven << "Norv: 7 nya larm" << "h1 / c1: CRITICAL\nh1 / c2: CRITICAL\nh1 / c3: CRITICAL\nh1 / c4: " "CRITICAL\nh1 / c5: CRITICAL\n… och 2 till";
    QTest::newRow("port name and missing names") << 1 << QByteArray(R"({"host_id":1,"port_id":4,"status":"warning","host_name":"sw","port_name":"Gi0/4"}, {"host_id":2,"port_id":5,"status":"unknown","host_name":3})") << "Norv: 2 nya larm" << "sw / Gi0/4: WARNING\n? / ?: UNKNOWN";
    QTest::newRow("label prefix with two servers") << 2 << problem(1, 1, "warning") << "Norv: 1 nya larm" << "[Drift Syd] h1 / c1: WARNING";
    // clang-format on
}

void TestTray::notificationLines()
{
    QFETCH(int, servers);
    QFETCH(QByteArray, problems);
    QFETCH(QString, title);
    QFETCH(QString, body);
    if (servers > 1)
        tray->updateStatus(payload("[]"), QStringLiteral("s0"), QString());
    tray->updateStatus(payload("[]"), QStringLiteral("s1"), QStringLiteral("Drift Syd"));
    QSignalSpy notified(tray, &NorvTray::notified);
    tray->updateStatus(payload("[" + problems + "]"), QStringLiteral("s1"), QStringLiteral("Drift Syd"));
    QCOMPARE(notified.count(), 1);
    QCOMPARE(notified.first().at(0).toString(), title);
    QCOMPARE(notified.first().at(1).toString(), body);
}

void TestTray::blinkingFollowsAlarms()
{
    tray->updateStatus(payload("[" + problem(1, 1, "warning") + "]"), QStringLiteral("s1"), QStringLiteral("A"));
    const QColor warning = icons::statusColor(QStringLiteral("warning"), false);
    const QColor none = icons::statusColor(QStringLiteral("none"), false);
    QCOMPARE(badgeColor(*tray), warning);
    QTRY_COMPARE_WITH_TIMEOUT(badgeColor(*tray), none, 1500);
    QTRY_COMPARE_WITH_TIMEOUT(badgeColor(*tray), warning, 1500);
    // The last alarm is acknowledged: blinking stops on the steady badge of the new state.
    tray->updateStatus(payload("[" + problem(1, 1, "warning", R"("acknowledged":true)") + "]"), QStringLiteral("s1"),
        QStringLiteral("A"));
    const QColor ok = icons::statusColor(QStringLiteral("ok"), false);
    QCOMPARE(badgeColor(*tray), ok);
    QTest::qWait(1400);
    QCOMPARE(badgeColor(*tray), ok);
}

void TestTray::anyPayloadShapeIsHarmless_data()
{
    QTest::addColumn<QByteArray>("json");
    // clang-format off
    QTest::newRow("empty") << QByteArray("{}");
    QTest::newRow("problems not an array") << QByteArray(R"({"problems":{"a":1},"summary":[]})");
    QTest::newRow("problems of every type") << QByteArray(R"({"problems":[1,"x",null,[],true,{}]})");
    QTest::newRow("status of every type") << QByteArray(R"({"problems":[{"status":1},{"status":null},{"status":["critical"]},{"status":{}}]})");
    QTest::newRow("ids of every type") << QByteArray( R"({"problems":[{"status":"critical","host_id":[1],"plugin_id":{},"port_id":-0.0, "instance_id":"2","host_name":[],"plugin_name":5}]})");
    QTest::newRow("repeated keys, later wins") << QByteArray(R"({"problems":[{"host_id":1,"status":"warning"},{"host_id":1,"status":"critical"}]})");
    // clang-format on
}

void TestTray::anyPayloadShapeIsHarmless()
{
    QFETCH(QByteArray, json);
    const QJsonObject status = QJsonDocument::fromJson(json).object();
    tray->updateStatus(payload("[]"), QStringLiteral("s1"), QStringLiteral("A"));
    tray->updateStatus(status, QStringLiteral("s1"), QStringLiteral("A"));
    tray->updateStatus(status, QStringLiteral("s2"), QStringLiteral("B"));
    QVERIFY(tray->toolTip().startsWith(QStringLiteral("Norv – ")));
    if (QByteArray(QTest::currentDataTag()).startsWith("repeated"))
        QVERIFY(tray->toolTip().startsWith(QStringLiteral("Norv – CRITICAL")));
}

NORV_TEST_MAIN(TestTray)
#include "tst_tray.moc"
