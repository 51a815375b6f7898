// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarms.h"
#include "gui/mainwindow.h"
#include "gui/serverview.h"
#include "gui/tray.h"
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
        window.reset();
        service->stop();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void announcements_data()
    {
        testsupport::columns<What, Service, QString, bool, QString, QStringList, int>(
            "what", "service", "user", "sound", "title", "actions", "urgency");
        // clang-format off
        QTest::newRow("a critical alarm, with sound") << NewAlarm << WithActions << "operator" << true << "Norv: 1 nya larm" << ShowAndAcknowledge << 2;
        QTest::newRow("a critical alarm, for a viewer") << NewAlarm << WithActions << "viewer" << false << "Norv: 1 nya larm" << ShowOnly << 2;
        QTest::newRow("two warnings") << NewAlarms << WithActions << "operator" << false << "Norv: 2 nya larm" << ShowOnly << 1;
        QTest::newRow("a lost login") << LostLogin << WithActions << "operator" << false << "Norv" << ShowOnly << 1;
        QTest::newRow("a server that stops answering") << NotAnswering << WithActions << "operator" << false << "Norv: 1 nya larm" << ShowOnly << 1;
        QTest::newRow("a service without actions") << NewAlarm << WithoutActions << "operator" << false << "Norv: 1 nya larm" << QStringList() << 2;
        QTest::newRow("a service that reads markup") << NewAlarm << WithMarkup << "operator" << false << "Norv: 1 nya larm" << QStringList() << 2;
        QTest::newRow("no service: the balloon") << NewAlarm << NoService << "operator" << true << "Norv: 1 nya larm" << QStringList() << 0;
        QTest::newRow("no service, a lost login: the balloon") << LostLogin << NoService << "operator" << false << "Norv" << QStringList() << 0;
        // clang-format on
    }

    // Every announcement goes to the service when there is one, with the actions it can show, and only there;
    // without one, it is the tray's balloon.
    void announcements()
    {
        QFETCH(Service, service);
        QFETCH(QString, title);
        QFETCH(bool, sound);
        settings::setAlarmSound(sound);
        const QStringList offers[] = {{"body", "actions"}, {"body"}, {"body", "body-markup"}};
        if (service != NoService)
            QVERIFY(this->service->start(offers[service]));
        ServerView* view = open(testsupport::fetch<QString>("user"));
        QSignalSpy balloons(window->trayIcon(), &NorvTray::notified);
        happen(testsupport::fetch<What>("what"), view);
        QTRY_COMPARE(balloons.count() + this->service->notifications.size(), 1);
        QVERIFY(this->service->sync());
        QCOMPARE(balloons.count() + this->service->notifications.size(), 1);
        if (service == NoService) {
            QCOMPARE(balloons.first().at(0).toString(), title);
            return;
        }
        const NotificationService::Notification& shown = this->service->notifications.first();
        QCOMPARE(shown.summary, title);
        QTEST(shown.actions, "actions");
        QCOMPARE(shown.appName, QStringLiteral("Norv"));
        QCOMPARE(shown.icon, QGuiApplication::desktopFileName());
        QCOMPARE(shown.hints.value("desktop-entry").toString(), QGuiApplication::desktopFileName());
        QTEST(int(shown.hints.value("urgency").value<uchar>()), "urgency");
        QCOMPARE(shown.hints.value("sound-name").toString(), sound ? QStringLiteral("dialog-warning") : QString());
        // A host's name is text, never an instruction to a service that reads markup.
        if (testsupport::fetch<What>("what") == NewAlarm)
            QVERIFY(shown.body.startsWith(service == WithMarkup ? "web&lt;1&gt; / HTTP" : "web<1> / HTTP"));
    }

    void actions_data()
    {
        // What happens before the action, the action, and where the window is then: the current row of the tree,
        // whether "Aktiva larm" shows, the status bar's message, and the acknowledgements the server got.
        // Before the action, the notification may have been closed, or the action may name another program's.
        testsupport::columns<What, bool, QString, QString, QString, QString, bool, int>(
            "what", "ended", "action", "not ours", "row", "message", "panel", "acks");
        // clang-format off
        QTest::newRow("Visa: the alarm's row") << NewAlarm << false << "default" << "" << "p:10:100" << "" << false << 0;
        QTest::newRow("Visa, two alarms: the first one's row, and the panel") << NewAlarms << false << "default" << "" << "p:10:100" << "" << true << 0;
        QTest::newRow("Kvittera: prompt and request") << NewAlarm << false << "acknowledge" << "" << "p:10:100" << "Kvittensen utförd" << false << 1;
        QTest::newRow("another program's notification") << NewAlarm << false << "default" << "foreign" << "" << "" << false << 0;
        QTest::newRow("a notification closed since") << NewAlarm << false << "acknowledge" << "closed" << "" << "" << false << 0;
        QTest::newRow("an alarm that has ended") << NewAlarm << true << "acknowledge" << "" << "" << "Larmet är inte längre aktivt." << false << 0;
        // clang-format on
    }

    void actions()
    {
        QFETCH(QString, row);
        settings::setAlarmPanelShown(false);
        QVERIFY(service->start({"actions"}));
        ServerView* view = open(QStringLiteral("operator"));
        happen(testsupport::fetch<What>("what"), view);
        QTRY_COMPARE(service->notifications.size(), 1);
        if (testsupport::fetch<bool>("ended")) {
            server.update([](standin::Network& n) { n.check(10, 100, 0)->status = QStringLiteral("ok"); });
            poll(view);
            QCOMPARE(window->alarms()->openAlarms().size(), openBefore);
        }
        QPointer<QTimer> watcher = testsupport::whenModal([](QWidget* prompt) {
            static_cast<QInputDialog*>(prompt)->setTextValue(QStringLiteral("på väg"));
            static_cast<QInputDialog*>(prompt)->accept();
        });
        server.clearRequests();
        const QString notOurs = testsupport::fetch<QString>("not ours");
        const uint id = service->notifications.first().id + (notOurs == QLatin1String("foreign") ? 100 : 0);
        if (notOurs == QLatin1String("closed"))
            service->emitSignal(QStringLiteral("NotificationClosed"), {id, 2u});
        service->emitSignal(QStringLiteral("ActionInvoked"), {id, testsupport::fetch<QString>("action")});
        QVERIFY(service->sync());
        delete watcher; // actions without a prompt leave it waiting
        QCOMPARE(window->isVisible(), notOurs.isEmpty());
        QCOMPARE(child<QTreeView>(view, "tree")->currentIndex().data(treemodel::KeyRole).toString(), row);
        QTEST(window->statusBar()->currentMessage(), "message");
        QTEST(child<QDockWidget>(window.get(), "alarmDock")->isVisible(), "panel");
        const QList<standin::RecordedRequest> acks
            = server.requests(QStringLiteral("/api/hosts/10/plugins/100/acknowledge"));
        QTEST(int(acks.size()), "acks");
        if (!acks.isEmpty()) {
            QCOMPARE(QJsonDocument::fromJson(acks.first().body).object().value("comment").toString(), "på väg");
            QTRY_VERIFY(!server.requests(QStringLiteral("/api/status")).isEmpty()); // the refresh that follows
        }
    }

private:
    // The window with the stand-in's server open as the user, after its first round (whose alarms are not new).
    ServerView* open(const QString& user)
    {
        window = std::make_unique<MainWindow>();
        ServerView* view = testsupport::openTab(window.get(), server.store(user));
        openBefore = window->alarms()->openAlarms().size();
        return view;
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
    qsizetype openBefore = 0;
};

NORV_TEST_MAIN(TestNotifications)
#include "tst_notifications.moc"
