// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarms.h"
#include "core/icons.h"
#include "gui/notifications.h"
#include "gui/tray.h"
#include "testsupport.h"

namespace {

QJsonObject payload(const QByteArray& problems, const QByteArray& summary = "{}")
{
    return QJsonDocument::fromJson(R"({"summary":)" + summary + R"(,"problems":[)" + problems + "]}").object();
}

// A problem of the status payload; `extra` holds more fields, each after a comma.
QByteArray problem(int host, int plugin, const char* status, const QByteArray& extra = {})
{
    return QString::asprintf(R"({"host_id":%d,"plugin_id":%d,"status":"%s","host_name":"h%d","plugin_name":"c%d"%s})",
        host, plugin, status, host, plugin, extra.constData())
        .toUtf8();
}

// One thing that happens to the book: a status payload of a server ("a" or "b", labelled "A" and "B"), the server
// gone, or the server not answering.
enum What { Payload, Gone, Silent };
struct Step {
    What what;
    QString server;
    QByteArray problems;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestAlarms : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testsupport::resetConfig();
        book = std::make_unique<AlarmBook>();
        tray = std::make_unique<NorvTray>(book.get(), nullptr);
    }
    void cleanup()
    {
        tray.reset();
        book.reset();
    }

    void whichProblemsAreAlarms_data()
    {
        testsupport::columns<QByteArray, QString, bool, bool>("extra", "status", "softOn", "alarm");
        // clang-format off
        QTest::newRow("critical") << QByteArray() << "critical" << false << true;
        QTest::newRow("stale is no alarm") << QByteArray() << "stale" << false << false;
        QTest::newRow("upper case is no alarm") << QByteArray() << "CRITICAL" << false << false;
        QTest::newRow("acknowledged") << QByteArray(R"(,"acknowledged":true)") << "critical" << false << false;
        QTest::newRow("acknowledged as text") << QByteArray(R"(,"acknowledged":"true")") << "critical" << false << true;
        QTest::newRow("silenced") << QByteArray(R"(,"dnd":true)") << "warning" << false << false;
        QTest::newRow("soft, alarm on soft on") << QByteArray(R"(,"hard":false)") << "warning" << true << true;
        QTest::newRow("a check that also names a port") << QByteArray(R"(,"port_id":5)") << "critical" << false << true;
        QTest::newRow("hard null is soft") << QByteArray(R"(,"hard":null)") << "warning" << false << false;
        // clang-format on
    }

    void whichProblemsAreAlarms()
    {
        QFETCH(QString, status);
        QFETCH(bool, alarm);
        settings::setAlarmOnSoft(testsupport::fetch<bool>("softOn"));
        book->updateStatus(payload(problem(1, 2, qPrintable(status), testsupport::fetch<QByteArray>("extra"))),
            QStringLiteral("s1"), QStringLiteral("A"));
        QCOMPARE(book->anyAlarm(), alarm);
        QCOMPARE(book->state(), alarm ? status : QStringLiteral("ok"));
        QVERIFY(
            !alarm || book->openAlarms().value(0).target.kind == treemodel::Kind::Plugin); // what acting on it reaches
    }

    // Steps in order, and every notice of new alarms they bring: title and body.
    void announcements_data()
    {
        testsupport::columns<QList<Step>, QStringList>("steps", "notifications");
        const QByteArray two = problem(1, 1, "critical") + "," + problem(1, 2, "warning");
        const QByteArray three = two + "," + problem(1, 3, "unknown");
        QByteArray six, five;
        for (int i = 1; i <= 6; ++i) {
            six += (i > 1 ? "," : "") + problem(1, i, "critical");
            five = i == 5 ? six : five;
        }
        const auto a = [](const QByteArray& problems) { return Step {Payload, "a", problems}; };
        const Step b {Payload, "b", problem(9, 9, "critical")}, gone {Gone, "a", {}}, silent {Silent, "a", {}};
        const QByteArray c1 = problem(1, 1, "critical"), acked = problem(1, 1, "critical", R"(,"acknowledged":true)");
        const QByteArray ports = R"({"host_id":1,"port_id":4,"status":"warning","host_name":"sw","port_name":"Gi0/4"},
            {"host_id":2,"port_id":5,"status":"unknown","host_name":3})";
        const QByteArray byNumber = R"({"host_id":7,"plugin_id":15,"status":"critical"})";
        const QByteArray byText = R"({"host_id":"7","plugin_id":15.0,"instance_id":0,"status":"critical"},
            {"host_id":7,"plugin_id":15,"instance_id":2,"status":"critical","host_name":"h7","plugin_name":"c15"})";
        const QString c1New = "Norv: 1 nya larm|h1 / c1: CRITICAL", down = "Norv: 1 nya larm|A: servern svarar inte";
        // clang-format off
        QTest::newRow("first payloads of each server are not announced") << QList<Step> {a(two), b, a(three), a(three)} << QStringList {"Norv: 1 nya larm|[A] h1 / c3: UNKNOWN"};
        QTest::newRow("cleared, acknowledged and back: new again") << QList<Step> {a(""), a(c1), a(acked), a(c1)} << QStringList {c1New, c1New};
        QTest::newRow("a server removed and back: first payload again") << QList<Step> {a(""), a(c1), gone, a(two)} << QStringList {c1New};
        QTest::newRow("five at once: all told") << QList<Step> {a(""), a(five)} << QStringList {"Norv: 5 nya larm|h1 / c1: CRITICAL\nh1 / c2: CRITICAL\nh1 / c3: CRITICAL\nh1 / c4: CRITICAL\nh1 / c5: CRITICAL"};
        QTest::newRow("six at once: one more than told") << QList<Step> {a(""), a(six)} << QStringList {"Norv: 6 nya larm|h1 / c1: CRITICAL\nh1 / c2: CRITICAL\nh1 / c3: CRITICAL\nh1 / c4: CRITICAL\nh1 / c5: CRITICAL\n… och 1 till"};
        QTest::newRow("port name and missing names") << QList<Step> {a(""), a(ports)} << QStringList {"Norv: 2 nya larm|sw / Gi0/4: WARNING\n? / ?: UNKNOWN"};
        QTest::newRow("a server stops answering: told once") << QList<Step> {a(two), {Payload, "b", ""}, silent, silent} << QStringList {down};
        QTest::newRow("back again: only what is new while away") << QList<Step> {a(two), silent, a(two + "," + problem(1, 3, "warning"))} << QStringList {down, "Norv: 1 nya larm|h1 / c3: WARNING"};
        QTest::newRow("ids as text or number are one alarm, another instance another") << QList<Step> {a(byNumber), a(byText)} << QStringList {"Norv: 1 nya larm|h7 / c15: CRITICAL"};
        QTest::newRow("one key twice in a payload: one alarm, the last") << QList<Step> {a(""), a(c1 + "," + problem(1, 1, "warning"))} << QStringList {"Norv: 1 nya larm|h1 / c1: WARNING"};
        QTest::newRow("an alarm's output changes, then stays") << QList<Step> {a(c1), a(c1 + "," + problem(1, 2, "warning")), a(problem(1, 1, "critical", R"(,"output":"x")") + "," + problem(1, 2, "warning")), a(problem(1, 1, "critical", R"(,"output":"x")"))} << QStringList {"Norv: 1 nya larm|h1 / c2: WARNING"};
        QTest::newRow("never answered, then answers") << QList<Step> {silent, a(two)} << QStringList {};
        // clang-format on
    }

    // The same steps also go to a second book fed readings the way pollers make them, one reader per server:
    // both books must tell of the same changes.
    void announcements()
    {
        AlarmBook byReading;
        std::map<QString, AlarmReader> readers;
        QStringList notifications, changes[2];
        connect(book.get(), &AlarmBook::newAlarms, this, [&](const QList<OpenAlarm>& fresh) {
            const Notice notice = newAlarmsNotice(fresh, book->serverCount() >= 2);
            notifications.append(notice.title + QLatin1Char('|') + notice.body);
        });
        for (AlarmBook* b : {book.get(), &byReading}) {
            connect(b, &AlarmBook::alarmsChanged, this, [into = &changes[b == &byReading]](const AlarmChanges& c) {
                into->append(QStringList {c.came.join(','), c.changed.join(','), c.went.join(',')}.join('/'));
            });
        }
        for (const Step& step : testsupport::fetch<QList<Step>>("steps")) {
            const QString label = step.server.toUpper();
            if (step.what == Payload) {
                book->updateStatus(payload(step.problems), step.server, label);
                byReading.updateStatus(readers[step.server].read(payload(step.problems)), step.server, label);
            } else if (step.what == Gone) {
                book->removeServer(step.server);
                byReading.removeServer(step.server);
            } else {
                book->setUnreachable(step.server, label);
                byReading.setUnreachable(step.server, label);
            }
        }
        QTEST(notifications, "notifications");
        QCOMPARE(changes[1], changes[0]);
    }

    // The worst state over two servers.
    void worstOverServers()
    {
        QCOMPARE(book->state(), QStringLiteral("ok")); // nothing open yet
        book->updateStatus(payload(problem(1, 1, "warning")), "a", "A");
        book->updateStatus(payload(problem(2, 1, "unknown")), "b", "B");
        QCOMPARE(book->state(), QStringLiteral("unknown"));
        book->updateStatus(payload(problem(2, 1, "unknown") + "," + problem(2, 2, "critical")), "b", "B");
        QCOMPARE(book->state(), QStringLiteral("critical"));
        book->removeServer("b"); // and a server that never answered, removed, leaves nothing open
        book->setUnreachable("c", "C");
        book->removeServer("c");
        QCOMPARE(book->state(), QStringLiteral("warning"));
    }

    // The tray icon, a view of the book.
    // The badge shows the worst open alarm and blinks while one is open; the tooltip sums up every server.
    void badgeBlinkAndTooltip()
    {
        QCOMPARE(badge(), icons::statusColor(QStringLiteral("pending"), false));
        book->updateStatus(
            payload(problem(1, 2, "warning"), R"({"warning":1})"), QStringLiteral("a"), QStringLiteral("A"));
        book->updateStatus(payload("", R"({"ok":3})"), QStringLiteral("b"), QStringLiteral("B"));
        QCOMPARE(badge(), icons::statusColor(QStringLiteral("warning"), false));
        QCOMPARE(tray->toolTip(), QStringLiteral("Norv – WARNING: 0 kritiska, 1 varningar, 3 ok (2 servrar)"));
        QTRY_COMPARE(badge(), icons::statusColor(QStringLiteral("none"), false)); // the blink's empty phase
        book->updateStatus(payload("", R"({"ok":6})"), QStringLiteral("a"), QStringLiteral("A"));
        QCOMPARE(badge(), icons::statusColor(QStringLiteral("ok"), false));
        QVERIFY(!tray->blinking());
        book->setUnreachable(QStringLiteral("b"), QStringLiteral("B"));
        QVERIFY(tray->toolTip().endsWith(QStringLiteral("\nSvarar inte: B")));
    }

    // A plain click asks for the window to be shown or hidden; the menu's entries ask for it to be shown, or for the
    // program to end. Other clicks ask for nothing.
    void clicksAndMenu()
    {
        QSignalSpy toggle(tray.get(), &NorvTray::toggleWindowRequested),
            show(tray.get(), &NorvTray::showWindowRequested), quit(tray.get(), &NorvTray::quitRequested);
        for (const auto click : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick})
            Q_EMIT tray->activated(click);
        QCOMPARE(toggle.count(), 1);
        const QList<QAction*> entries = tray->contextMenu()->actions();
        QCOMPARE(entries.first()->text(), QStringLiteral("Visa Norv"));
        QCOMPARE(entries.last()->text(), QStringLiteral("Avsluta"));
        entries.first()->trigger();
        QCOMPARE(show.count() + quit.count(), 1);
        entries.last()->trigger();
        QCOMPARE(quit.count(), 1);
    }

private:
    QColor badge() const { return QColor(tray->icon().pixmap(64, 64).toImage().pixel(32, 2)); }

    std::unique_ptr<AlarmBook> book;
    std::unique_ptr<NorvTray> tray;
};

NORV_TEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
