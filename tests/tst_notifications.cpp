// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarms.h"
#include "core/icons.h"
#include "gui/announcer.h"
#include "gui/mainwindow.h"
#include "gui/notifications.h"
#include "gui/serverview.h"
#include "gui/tray.h"
#include "gui/windowfront.h"
#include "net/poller.h"
#include "notificationservice.h"
#include "testsupport.h"
#include "tree/treemodel.h"

#include <QDockWidget>
#include <QInputDialog>
#include <QStatusBar>

using testsupport::child;
using testsupport::NotificationService;

namespace {

enum What { NewAlarm, NewAlarms, LostLogin, NotAnswering };
enum Service { WithActions, WithoutActions, WithMarkup, NoService };

const QStringList ShowOnly {QStringLiteral("default"), QStringLiteral("Visa")};
const QStringList ShowAndAcknowledge
    = ShowOnly + QStringList {QStringLiteral("acknowledge"), QStringLiteral("Kvittera…")};

} // namespace

Q_DECLARE_METATYPE(What)
Q_DECLARE_METATYPE(Service)
Q_DECLARE_METATYPE(settings::Sound)

// New alarms, lost logins and servers that stop answering, announced through a notification service of the tests'
// own on a private session bus, or as the tray's balloon when there is none; and what the notifications' actions do.
class TestNotifications : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::shortTimes();
        QVERIFY2(bus.start(), "dbus-daemon (package dbus) is needed");
        service = std::make_unique<NotificationService>(bus.address());
    }
    void init()
    {
        testsupport::resetForTabs();
        server.reset();
    }
    void cleanup()
    {
        NorvTray::availabilityForTests().reset();
        windowfront::activator() = [](QWidget* w) { w->activateWindow(); };
        window.reset();
        service->stop();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void announcements_data()
    {
        testsupport::columns<What, Service, QString, settings::Sound, QString, QStringList, int, QString>(
            "what", "service", "user", "sound", "title", "actions", "urgency", "sound name");
        using settings::Sound;
        // clang-format off
        QTest::newRow("a critical alarm, with sound") << NewAlarm << WithActions << "operator" << Sound::All << "Norv: 1 nya larm" << ShowAndAcknowledge << 2 << "dialog-error";
        QTest::newRow("a critical alarm, for a viewer") << NewAlarm << WithActions << "viewer" << Sound::Critical << "Norv: 1 nya larm" << ShowOnly << 2 << "dialog-error";
        QTest::newRow("two warnings, all sound") << NewAlarms << WithActions << "operator" << Sound::All << "Norv: 2 nya larm" << ShowOnly << 1 << "dialog-warning";
        QTest::newRow("two warnings, critical ones sound") << NewAlarms << WithActions << "operator" << Sound::Critical << "Norv: 2 nya larm" << ShowOnly << 1 << "";
        QTest::newRow("a lost login") << LostLogin << WithActions << "operator" << Sound::Off << "Norv" << ShowOnly << 1 << "";
        QTest::newRow("a server that stops answering") << NotAnswering << WithActions << "operator" << Sound::Off << "Norv: 1 nya larm" << ShowOnly << 1 << "";
        QTest::newRow("a service that reads markup") << NewAlarm << WithMarkup << "operator" << Sound::Off << "Norv: 1 nya larm" << QStringList() << 2 << "";
        QTest::newRow("no service: the balloon") << NewAlarm << NoService << "operator" << Sound::All << "Norv: 1 nya larm" << QStringList() << 0 << "";
        QTest::newRow("no service, a lost login: the balloon") << LostLogin << NoService << "operator" << Sound::Off << "Norv" << QStringList() << 0 << "";
        // clang-format on
    }

    // Every announcement goes to the service when there is one, with the actions it can show, and only there;
    // without one, it is the tray's balloon.
    void announcements()
    {
        QFETCH(Service, service);
        QFETCH(QString, title);
        settings::setAlarmSound(testsupport::fetch<settings::Sound>("sound"));
        const QStringList offers[] = {{"body", "actions"}, {"body"}, {"body", "body-markup"}, {}};
        ServerView* view = open(testsupport::fetch<QString>("user"), offers[service]);
        QSignalSpy balloons(window->trayIcon(), &NorvTray::notified);
        happen(testsupport::fetch<What>("what"), view);
        QTRY_COMPARE(balloons.count() + this->service->notifications.size(), 1);
        QVERIFY(this->service->sync());
        QCOMPARE(balloons.count() + this->service->notifications.size(), 1);
        if (service == NoService) {
            QCOMPARE(balloons.first().at(0).toString(), title);
            QCOMPARE(balloons.first().at(2).value<QSystemTrayIcon::MessageIcon>(),
                testsupport::fetch<What>("what") == LostLogin ? QSystemTrayIcon::Information
                                                              : QSystemTrayIcon::Warning);
            return;
        }
        const NotificationService::Notification& shown = this->service->notifications.first();
        QCOMPARE(shown.summary, title);
        QTEST(shown.actions, "actions");
        QCOMPARE(shown.appName, QStringLiteral("Norv"));
        QVERIFY(QUrl(shown.icon).isLocalFile()); // the icon is not installed here: the client's own badge, all well
        QCOMPARE(QImage(QUrl(shown.icon).toLocalFile()),
            icons::norvIcon("ok", 128).pixmap(128, 128).toImage().convertToFormat(QImage::Format_ARGB32));
        QCOMPARE(shown.hints.value("desktop-entry").toString(), QGuiApplication::desktopFileName());
        QTEST(int(shown.hints.value("urgency").value<uchar>()), "urgency");
        QTEST(shown.hints.value("sound-name").toString(), "sound name");
        // A host's name is text, never an instruction to a service that reads markup.
        if (testsupport::fetch<What>("what") == NewAlarm)
            QVERIFY(shown.body.startsWith(service == WithMarkup ? "web&lt;1&gt; / HTTP" : "web<1> / HTTP"));
    }

    void actions_data()
    {
        // What happens before the action, the action, and where the window is then: the current row of the tree,
        // whether "Aktiva larm" shows, the status bar's message, and the acknowledgements the server got.
        // Before the action, the notification may have been closed, or the action may name another program's.
        testsupport::columns<What, QString, QString, QString, QString, bool, int>(
            "what", "action", "not ours", "row", "message", "panel", "acks");
        // clang-format off
        QTest::newRow("Visa: the alarm's row") << NewAlarm << "default" << "" << "p:10:100" << "" << false << 0;
        QTest::newRow("Visa, two alarms: the first one's row, and the panel") << NewAlarms << "default" << "" << "p:10:100" << "" << true << 0;
        QTest::newRow("Kvittera: prompt and request") << NewAlarm << "acknowledge" << "" << "p:10:100" << "Kvittensen utförd" << false << 1;
        QTest::newRow("another program's notification") << NewAlarm << "default" << "foreign" << "" << "" << false << 0;
        QTest::newRow("a notification closed since") << NewAlarm << "acknowledge" << "closed" << "" << "" << false << 0;
        // clang-format on
    }

    void actions()
    {
        QFETCH(QString, row);
        settings::setAlarmPanelShown(false);
        ServerView* view = open(QStringLiteral("operator"));
        happen(testsupport::fetch<What>("what"), view);
        QTRY_COMPARE(service->notifications.size(), 1);
        QWidget* over = nullptr; // the prompt opens over the window
        QPointer<QTimer> watcher = testsupport::whenModal([&over](QWidget* prompt) {
            over = prompt->parentWidget()->window();
            static_cast<QInputDialog*>(prompt)->setTextValue(QStringLiteral("på väg"));
            static_cast<QInputDialog*>(prompt)->accept();
        });
        server.clearRequests();
        QStringList activatedWith; // the activation token a service hands over just before an action, and only then
        windowfront::activator() = [&](QWidget* w) {
            activatedWith.append(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
            w->activateWindow();
        };
        const QString notOurs = testsupport::fetch<QString>("not ours");
        const uint id = service->notifications.first().id + (notOurs == QLatin1String("foreign") ? 100 : 0);
        if (notOurs == QLatin1String("closed"))
            service->emitSignal(QStringLiteral("NotificationClosed"), {id, 2u});
        service->emitSignal(QStringLiteral("ActivationToken"), {id, "token-1"});
        service->emitSignal(QStringLiteral("ActionInvoked"), {id, testsupport::fetch<QString>("action")});
        QVERIFY(service->sync());
        delete watcher; // actions without a prompt leave it waiting
        QCOMPARE(window->isVisible(), notOurs.isEmpty());
        QCOMPARE(activatedWith, notOurs.isEmpty() ? QStringList {"token-1"} : QStringList());
        QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
        QCOMPARE(child<QTreeView>(view, "tree")->currentIndex().data(treemodel::KeyRole).toString(), row);
        QTEST(window->statusBar()->currentMessage(), "message");
        QTEST(child<QDockWidget>(window.get(), "alarmDock")->isVisible(), "panel");
        const QList<standin::RecordedRequest> acks
            = server.requests(QStringLiteral("/api/hosts/10/plugins/100/acknowledge"));
        QTEST(int(acks.size()), "acks");
        if (!acks.isEmpty()) {
            QCOMPARE(over, window.get());
            QCOMPARE(QJsonDocument::fromJson(acks.first().body).object().value("comment").toString(), "på väg");
            QTRY_VERIFY(!server.requests(QStringLiteral("/api/status")).isEmpty()); // the refresh that follows
        }
    }

    void liveNotification_data()
    {
        // Polls, each a list of checks of host 10 and the status each takes ("closed": the operator closes the
        // notification before the poll); then every call the service got.
        testsupport::columns<QList<QStringList>, QStringList>("polls", "calls");
        const QString one = "Notify 0 Norv: 1 nya larm 2";
        // clang-format off
        QTest::newRow("a second alarm joins the first") << QList<QStringList> {{"100 critical"}, {"102 warning"}} << QStringList {one, "Notify 1 Norv: 2 nya larm 2"};
        QTest::newRow("alarms end: it follows them, then closes") << QList<QStringList> {{"100 critical", "102 warning"}, {"100 ok"}, {"102 ok"}} << QStringList {"Notify 0 Norv: 2 nya larm 2", "Notify 1 Norv: 1 nya larm 1", "Close 1"};
        QTest::newRow("closed by the operator: the next alarm has its own") << QList<QStringList> {{"100 critical"}, {"closed", "102 warning"}} << QStringList {one, "Notify 0 Norv: 1 nya larm 1"};
        QTest::newRow("an alarm that ends and comes back is new again") << QList<QStringList> {{"100 critical", "102 warning"}, {"100 ok"}, {"100 critical"}} << QStringList {"Notify 0 Norv: 2 nya larm 2", "Notify 1 Norv: 1 nya larm 1", "Notify 1 Norv: 2 nya larm 2"};
        // clang-format on
    }
    // New alarms go into one notification while it is shown: it lists those still open and closes when none is.
    void liveNotification()
    {
        ServerView* view = open(QStringLiteral("operator"));
        for (const QStringList& changes : testsupport::fetch<QList<QStringList>>("polls")) {
            for (const QString& change : changes) {
                if (change == QLatin1String("closed")) {
                    service->emitSignal(QStringLiteral("NotificationClosed"), {service->notifications.last().id, 2u});
                    QVERIFY(service->sync()); // the client has heard it before the next poll's answer
                } else {
                    server.update([change](standin::Network& n) {
                        n.check(10, change.section(' ', 0, 0).toInt(), 0)->status = change.section(' ', 1);
                    });
                }
            }
            poll(view);
            QVERIFY(service->sync());
        }
        QTEST(service->calls, "calls");
        QCOMPARE(service->notifications.last().timeout, 0); // it stays until it is closed
    }

    // Two notices of one slot sent before the service answered the first (two servers' alarms at once): the first
    // is closed rather than left on screen for good.
    void crossingNoticesLeaveOne()
    {
        open(QStringLiteral("operator"));
        for (const QString& title : {QStringLiteral("a"), QStringLiteral("b")})
            window->findChild<DesktopNotifier*>()->show(alarmsNotice(title + "%1", {}, false), "nya larm");
        QTRY_COMPARE(service->calls, QStringList({"Notify 0 a0 1", "Notify 0 b0 1", "Close 1"}));
    }

    void reminders_data()
    {
        // Minutes since the alarms came, and what the operator did to the critical check meanwhile; the reminder's
        // title, first line and sound, none when nothing waits long enough.
        testsupport::columns<int, QString, QString>("minutes", "done", "reminder");
        // clang-format off
        QTest::newRow("before the interval: nothing") << 4 << "" << "";
        QTest::newRow("after it: every alarm waiting, the worst first") << 5 << "" << "Norv: 3 larm väntar fortfarande|db1 / PostgreSQL: CRITICAL|dialog-error";
        QTest::newRow("an acknowledged alarm waits no more") << 15 << "acknowledged" << "Norv: 2 larm väntar fortfarande|sw-core / Gi0/2: CRITICAL|dialog-error";
        // clang-format on
    }
    // Reminders of the alarms nobody took, at the chosen interval; acting on one whose alarms have ended since
    // tells so.
    void reminders()
    {
        settings::setReminderMinutes(5);
        settings::setAlarmSound(settings::Sound::Critical);
        ServerView* view = open(QStringLiteral("operator"));
        auto* announcer = window->findChild<Announcer*>();
        const QDateTime start = QDateTime::currentDateTimeUtc();
        const QString done = testsupport::fetch<QString>("done");
        if (!done.isEmpty()) {
            server.update([done](standin::Network& n) {
                (done == QLatin1String("acknowledged") ? n.check(11, 103, 0)->acknowledged : n.check(11, 103, 0)->dnd)
                    = true;
            });
            poll(view);
        }
        announcer->now = [&] { return start.addSecs(60 * testsupport::fetch<int>("minutes")); };
        announcer->remind();
        QVERIFY(service->sync());
        const QString shown = service->notifications.isEmpty()
            ? QString()
            : QStringList {service->notifications.last().summary,
                service->notifications.last().body.section('\n', 0, 0),
                service->notifications.last().hints.value("sound-name").toString()}
                  .join('|');
        QTEST(shown, "reminder");
        if (shown.isEmpty())
            return;
        QVERIFY(service->notifications.last().actions.contains(DesktopNotifier::ShowAction));
        server.update([](standin::Network& n) {
            for (standin::Check& check : n.checks)
                check.status = QStringLiteral("ok");
            for (standin::Port& port : n.ports)
                port.status = QStringLiteral("ok");
        });
        poll(view);
        service->emitSignal(QStringLiteral("ActionInvoked"), {service->notifications.last().id, "default"});
        QVERIFY(service->sync());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Larmet är inte längre aktivt."));
    }

    void gnomeShell_data()
    {
        testsupport::columns<qint64, QString>("after", "row");
        QTest::newRow("the window active right after: the click") << qint64(500) << "p:10:100";
        QTest::newRow("later: the operator's own") << DesktopNotifier::DismissedClickMs + 1 << "";
    }
    // GNOME Shell raises the window itself when a notification without a default action is clicked: none is sent,
    // and the window's activation just after the notification was closed by the operator leads to the alarm.
    void gnomeShell()
    {
        QVERIFY(service->start({"actions"}, QStringLiteral("gnome-shell")));
        ServerView* view = open(QStringLiteral("operator"), {});
        window->show();
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        happen(NewAlarm, view);
        QTRY_COMPARE(service->notifications.size(), 1);
        QCOMPARE(service->notifications.first().actions, QStringList({"acknowledge", "Kvittera…"}));
        auto* notifier = window->findChild<DesktopNotifier*>();
        notifier->clockMs = [] { return qint64(1000); };
        service->emitSignal(QStringLiteral("NotificationClosed"), {service->notifications.first().id, 2u});
        QVERIFY(service->sync());
        notifier->clockMs = [] { return 1000 + testsupport::fetch<qint64>("after"); };
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTEST(child<QTreeView>(view, "tree")->currentIndex().data(treemodel::KeyRole).toString(), "row");
    }

    void closingTheWindow_data()
    {
        testsupport::columns<bool, bool, bool, bool>("tray", "service", "keep watching", "quits");
        QTest::newRow("a tray shows the icon: hidden, still polling") << true << true << true << false;
        QTest::newRow("no tray, a notification service: hidden, told once") << false << true << true << false;
        QTest::newRow("no tray, not to keep watching: the program ends") << false << true << false << true;
        // Without a tray or a service a closed window could never tell anything: closing it ends the program.
        QTest::newRow("neither") << false << false << true << true;
    }
    void closingTheWindow()
    {
        QFETCH(bool, quits);
        NorvTray::availabilityForTests() = testsupport::fetch<bool>("tray");
        settings::setKeepWatching(testsupport::fetch<bool>("keep watching"));
        ServerView* view = open(
            QStringLiteral("operator"), testsupport::fetch<bool>("service") ? QStringList {"actions"} : QStringList());
        window->show();
        QTRY_COMPARE(window->findChild<DesktopNotifier*>()->hasService(), testsupport::fetch<bool>("service"));
        for (int twice = 0; twice < 2; ++twice) {
            window->show();
            QCOMPARE(window->close(), quits);
        }
        QVERIFY(!window->isVisible());
        QCOMPARE(window->isQuitting(), quits);
        QVERIFY(service->sync());
        const bool told = !testsupport::fetch<bool>("tray") && !quits;
        QCOMPARE(service->notifications.size(), told ? 1 : 0);
        if (told) {
            QCOMPARE(service->notifications.first().body,
                QStringLiteral("Norv bevakar vidare i bakgrunden. Starta Norv igen för att visa fönstret."));
        }
        server.clearRequests();
        view->refreshNow();
        if (quits)
            QVERIFY(!view->findChild<PollerThread*>()); // the tab polls no more
        else
            QTRY_VERIFY(!server.requests().isEmpty());
    }

    // Ctrl+Q ends the program, tray or not, and takes its notifications away.
    void quitKey()
    {
        ServerView* view = open(QStringLiteral("operator"));
        happen(NewAlarm, view);
        QVERIFY(service->sync());
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(window->isQuitting());
        QVERIFY(service->sync());
        QCOMPARE(service->calls.last(), QStringLiteral("Close %1").arg(service->notifications.first().id));
    }

private:
    // The notification service offering these first (none: no service), then the window with the stand-in's
    // server open as the user, after its first round (whose alarms are not new).
    ServerView* open(const QString& user, const QStringList& offers = {"actions"})
    {
        if (!offers.isEmpty() && !service->start(offers))
            qFatal("the notification service did not start");
        window = std::make_unique<MainWindow>();
        return testsupport::openTab(window.get(), server.store(user));
    }
    void poll(ServerView* view)
    {
        QSignalSpy shown(view, &ServerView::treeShown);
        view->refreshNow();
        QTRY_VERIFY(!shown.isEmpty());
    }
    void happen(What what, ServerView* view)
    {
        switch (what) {
        case NewAlarm:
            server.update([](standin::Network& n) {
                n.check(10, 100, 0)->status = QStringLiteral("critical");
                n.host(10)->name = QStringLiteral("web<1>");
            });
            return poll(view);
        case NewAlarms:
            server.update([](standin::Network& n) {
                n.check(10, 100, 0)->status = QStringLiteral("warning");
                n.check(10, 102, 0)->status = QStringLiteral("warning");
            });
            return poll(view);
        case LostLogin:
            server.revokeAllTokens();
            view->refreshNow();
            return;
        case NotAnswering:
            server.setFault(QStringLiteral("/api/status"), standin::Fault::drop());
            view->refreshNow();
            QTRY_VERIFY(child<QWidget>(view, "banner")->isVisibleTo(view));
            view->refreshNow();
            return;
        }
    }

    testsupport::PrivateBus bus;
    std::unique_ptr<NotificationService> service;
    testsupport::Standin server;
    std::unique_ptr<MainWindow> window;
};

NORV_TEST_MAIN(TestNotifications)
#include "tst_notifications.moc"
