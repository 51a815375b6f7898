#include "icons.h"
#include "testsupport.h"

class TestIcons : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void colourRules_data()
    {
        testsupport::columns<QString, bool, QString>("status", "muted", "drawnLike");
        QTest::newRow("critical") << "critical" << true << "critical";
        QTest::newRow("stale") << "stale" << true << "stale";
        QTest::newRow("ok") << "ok" << false << "ok";
        QTest::newRow("unknown word") << "fel" << false << "pending";
        QTest::newRow("Critical") << "Critical" << false << "pending";
    }
    // Muted colours only for handled alarms; a word the client does not know, or one in capitals, like "pending";
    // the dark look has colours of its own.
    void colourRules()
    {
        QFETCH(QString, status);
        QFETCH(QString, drawnLike);
        for (const bool dark : {false, true}) {
            QCOMPARE(icons::statusColor(status, false, dark), icons::statusColor(drawnLike, false, dark));
            QTEST(icons::statusColor(status, true, dark) != icons::statusColor(status, false, dark), "muted");
        }
        QVERIFY(icons::statusColor(status, false, true) != icons::statusColor(status, false, false));
    }

    // The dot is round, in the row's colour; the badge fills its square in the plain colour, never muted, with a
    // white letter; the same badge is the same icon every time, or every blink of the tray would paint a new one.
    void paintedIcons()
    {
        const QImage dot = icons::dotIcon(QStringLiteral("warning"), 12, true).pixmap(12, 12).toImage();
        QVERIFY(qAlpha(dot.pixel(1, 1)) < 128);
        QCOMPARE(QColor(dot.pixel(6, 6)), icons::statusColor(QStringLiteral("warning"), true));
        const QIcon badge = icons::norvIcon(QStringLiteral("critical"), 64);
        const QImage image = badge.pixmap(64, 64).toImage();
        QCOMPARE(QColor(image.pixel(1, 32)), icons::statusColor(QStringLiteral("critical"), false));
        QCOMPARE(QColor(image.pixel(31, 32)).lightness(), 255);
        QCOMPARE(icons::norvIcon(QStringLiteral("critical"), 64).cacheKey(), badge.cacheKey());
    }
};

NORV_TEST_MAIN(TestIcons)
#include "tst_icons.moc"
