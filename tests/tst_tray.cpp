#include "icons.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "tray.h"

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
// gone, or the server not answering.
enum What { Payload, Gone, Silent };
struct Step {
    What what;
    QString server;
    QByteArray problems;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestTray : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testsupport::resetConfig();
        window = std::make_unique<MainWindow>();
        tray = window->trayIcon();
    }
    void cleanup() { window.reset(); }

    void whichProblemsAreAlarms_data()
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

    void whichProblemsAreAlarms()
    {
        QFETCH(QByteArray, extra);
        QFETCH(QString, status);
        QFETCH(bool, softOn);
        QFETCH(bool, alarm);
        settings::setAlarmOnSoft(softOn);
        tray->updateStatus(
            payload(problem(1, 2, qPrintable(status), extra)), QStringLiteral("s1"), QStringLiteral("A"));
        QCOMPARE(badgeColor(*tray), icons::statusColor(alarm ? status : QStringLiteral("ok"), false));
    }

    // A first payload (never announced), then a second one with one more problem: whether it is a new alarm tells
    // which problems share an alarm key.
    void alarmKeys_data()
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

    void alarmKeys()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QSignalSpy notified(tray, &NorvTray::notified);
        tray->updateStatus(payload(first), QStringLiteral("s1"), QStringLiteral("A"));
        tray->updateStatus(payload(first + "," + second), QStringLiteral("s1"), QStringLiteral("A"));
        QTEST(notified.count() == 1, "newAlarm");
    }

    // Steps in order, and every notification they bring: title and body.
    void announcements_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QStringList>("notifications");
        const QByteArray two = problem(1, 1, "critical") + "," + problem(1, 2, "warning");
        QByteArray seven;
        for (int i = 1; i <= 7; ++i)
            seven += (i > 1 ? "," : "") + problem(1, i, "critical");
        // clang-format off
        QTest::newRow("first payloads of each server are not announced") << QList<Step> {{Payload, "a", two}, {Payload, "b", problem(9, 9, "critical")}, {Payload, "a", two + "," + problem(1, 3, "unknown")}, {Payload, "a", two + "," + problem(1, 3, "unknown")}} << QStringList {"Norv: 1 nya larm|[A] h1 / c3: UNKNOWN"};
        QTest::newRow("cleared, acknowledged and back: new again") << QList<Step> {{Payload, "a", ""}, {Payload, "a", problem(1, 1, "critical")}, {Payload, "a", problem(1, 1, "critical", R"("acknowledged":true)")}, {Payload, "a", problem(1, 1, "critical")}} << QStringList {"Norv: 1 nya larm|h1 / c1: CRITICAL", "Norv: 1 nya larm|h1 / c1: CRITICAL"};
        QTest::newRow("a server removed and back: first payload again") << QList<Step> {{Payload, "a", ""}, {Payload, "a", problem(1, 1, "critical")}, {Gone, "a", {}}, {Payload, "a", two}} << QStringList {"Norv: 1 nya larm|h1 / c1: CRITICAL"};
        QTest::newRow("seven at once") << QList<Step> {{Payload, "a", ""}, {Payload, "a", seven}} << QStringList {"Norv: 7 nya larm|h1 / c1: CRITICAL\nh1 / c2: CRITICAL\nh1 / c3: CRITICAL\nh1 / c4: CRITICAL\nh1 / c5: CRITICAL\n… och 2 till"};
        QTest::newRow("port name and missing names") << QList<Step> {{Payload, "a", ""}, {Payload, "a", R"({"host_id":1,"port_id":4,"status":"warning","host_name":"sw","port_name":"Gi0/4"}, {"host_id":2,"port_id":5,"status":"unknown","host_name":3})"}} << QStringList {"Norv: 2 nya larm|sw / Gi0/4: WARNING\n? / ?: UNKNOWN"};
        QTest::newRow("a server stops answering: told once") << QList<Step> {{Payload, "a", two}, {Payload, "b", ""}, {Silent, "a", {}}, {Silent, "a", {}}} << QStringList {"Norv: 1 nya larm|A: servern svarar inte"};
        QTest::newRow("back again: only what is new while away") << QList<Step> {{Payload, "a", two}, {Silent, "a", {}}, {Payload, "a", two + "," + problem(1, 3, "warning")}} << QStringList {"Norv: 1 nya larm|A: servern svarar inte", "Norv: 1 nya larm|h1 / c3: WARNING"};
        QTest::newRow("never answered, then answers") << QList<Step> {{Silent, "a", {}}, {Payload, "a", two}} << QStringList {};
        // clang-format on
    }

    void announcements()
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
    // The tooltip sums the counts of every server and names those that do not answer; the badge shows the worst
    // alarm, a server that does not answer being one of its own, "unknown" at least.
    void tooltipAndBadge()
    {
        tray->updateStatus(payload(problem(1, 1, "warning"), R"({"critical":0,"warning":1,"ok":5})"),
            QStringLiteral("a"), QStringLiteral("A"));
        tray->updateStatus(
            payload("", R"({"critical":"2","warning":1.5,"ok":3})"), QStringLiteral("b"), QStringLiteral("B"));
        QCOMPARE(tray->toolTip(), QStringLiteral("Norv – WARNING: 0 kritiska, 1 varningar, 8 ok (2 servrar)"));
        QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("warning"), false));
        tray->setUnreachable(QStringLiteral("b"), QStringLiteral("B"));
        QVERIFY(tray->toolTip().startsWith(QStringLiteral("Norv – UNKNOWN: ")));
        QVERIFY(tray->toolTip().endsWith(QStringLiteral("\nSvarar inte: B")));
        QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("unknown"), false));
        tray->updateStatus(payload(problem(2, 1, "critical")), QStringLiteral("b"), QStringLiteral("B"));
        QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("critical"), false));
        tray->removeServer(QStringLiteral("b"));
        QVERIFY(tray->toolTip().startsWith(QStringLiteral("Norv – WARNING: 0 kritiska, 1 varningar, 5 ok")));
    }

    // The badge blinks while an alarm is open and stops on the steady badge once none is.
    void blinkingFollowsAlarms()
    {
        tray->updateStatus(payload(problem(1, 1, "warning")), QStringLiteral("a"), QStringLiteral("A"));
        QTRY_COMPARE_WITH_TIMEOUT(badgeColor(*tray), icons::statusColor(QStringLiteral("none"), false), 1500);
        QTRY_COMPARE_WITH_TIMEOUT(badgeColor(*tray), icons::statusColor(QStringLiteral("warning"), false), 1500);
        tray->updateStatus(
            payload(problem(1, 1, "warning", R"("acknowledged":true)")), QStringLiteral("a"), QStringLiteral("A"));
        QTest::qWait(700);
        QCOMPARE(badgeColor(*tray), icons::statusColor(QStringLiteral("ok"), false));
    }

    // A plain click shows and hides the window; the menu's "Visa Norv" shows it, and its "Avsluta" ends the program.
    void clicksAndMenu()
    {
        QVERIFY(!window->isVisible());
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isVisible());
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!window->isVisible());
        const QList<QAction*> entries = tray->contextMenu()->actions();
        QCOMPARE(entries.first()->text(), QStringLiteral("Visa Norv"));
        QCOMPARE(entries.last()->text(), QStringLiteral("Avsluta"));
        entries.first()->trigger();
        QVERIFY(window->isVisible() && !window->isMinimized());
        entries.last()->trigger();
        QVERIFY(window->isQuitting() && !window->isVisible());
    }

private:
    void apply(const Step& step)
    {
        const QString label = step.server.toUpper();
        switch (step.what) {
        case Payload:
            return tray->updateStatus(payload(step.problems), step.server, label);
        case Gone:
            return tray->removeServer(step.server);
        case Silent:
            return tray->setUnreachable(step.server, label);
        }
    }
    std::unique_ptr<MainWindow> window;
    NorvTray* tray = nullptr;
};

NORV_TEST_MAIN(TestTray)
#include "tst_tray.moc"
