#include "alarms.h"
#include "icons.h"
#include "testsupport.h"
#include "tray.h"

class TestTray : public QObject {
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

    // The badge shows the worst open alarm and blinks while one is open; the tooltip sums up every server.
    void badgeBlinkAndTooltip()
    {
        QCOMPARE(badge(), icons::statusColor(QStringLiteral("pending"), false));
        book->updateStatus(status(R"([{"host_id":1,"plugin_id":2,"status":"warning"}])", R"({"warning":1,"ok":5})"),
            QStringLiteral("a"), QStringLiteral("A"));
        book->updateStatus(status("[]", R"({"ok":3})"), QStringLiteral("b"), QStringLiteral("B"));
        QCOMPARE(badge(), icons::statusColor(QStringLiteral("warning"), false));
        QCOMPARE(tray->toolTip(), QStringLiteral("Norv – WARNING: 0 kritiska, 1 varningar, 8 ok (2 servrar)"));
        QTRY_COMPARE(badge(), icons::statusColor(QStringLiteral("none"), false)); // the blink's empty phase
        book->updateStatus(status("[]", R"({"ok":6})"), QStringLiteral("a"), QStringLiteral("A"));
        QCOMPARE(badge(), icons::statusColor(QStringLiteral("ok"), false));
        QTest::qWait(700);
        QCOMPARE(badge(), icons::statusColor(QStringLiteral("ok"), false)); // steady
        book->setUnreachable(QStringLiteral("b"), QStringLiteral("B"));
        QVERIFY(tray->toolTip().endsWith(QStringLiteral("\nSvarar inte: B")));
    }

    // A plain click asks for the window to be shown or hidden; the menu's entries ask for it to be shown, or for the
    // program to end. Other clicks ask for nothing.
    void clicksAndMenu()
    {
        QSignalSpy toggle(tray.get(), &NorvTray::toggleWindowRequested);
        QSignalSpy show(tray.get(), &NorvTray::showWindowRequested);
        QSignalSpy quit(tray.get(), &NorvTray::quitRequested);
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
        Q_EMIT tray->activated(QSystemTrayIcon::MiddleClick);
        QCOMPARE(toggle.count(), 1);
        const QList<QAction*> entries = tray->contextMenu()->actions();
        QCOMPARE(entries.first()->text(), QStringLiteral("Visa Norv"));
        QCOMPARE(entries.last()->text(), QStringLiteral("Avsluta"));
        entries.first()->trigger();
        QCOMPARE(show.count(), 1);
        QCOMPARE(quit.count(), 0);
        entries.last()->trigger();
        QCOMPARE(quit.count(), 1);
    }

private:
    static QJsonObject status(const QByteArray& problems, const QByteArray& summary)
    {
        return QJsonDocument::fromJson(R"({"summary":)" + summary + R"(,"problems":)" + problems + "}").object();
    }
    QColor badge() const { return QColor(tray->icon().pixmap(64, 64).toImage().pixel(32, 2)); }

    std::unique_ptr<AlarmBook> book;
    std::unique_ptr<NorvTray> tray;
};

NORV_TEST_MAIN(TestTray)
#include "tst_tray.moc"
