// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/icons.h"
#include "testsupport.h"

class TestIcons : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void colourRules_data()
    {
        // drawnLike: the word whose colour it has; empty for a colour of its own, unlike every other word's.
        testsupport::columns<QString, bool, QString>("status", "muted", "drawnLike");
        for (const char* alarm : {"warning", "critical", "unknown", "stale"})
            QTest::newRow(alarm) << alarm << true << "";
        for (const char* calm : {"ok", "pending", "none"})
            QTest::newRow(calm) << calm << false << "";
        QTest::newRow("ignored") << "ignored" << false << "pending";
        QTest::newRow("unknown word") << "fel" << false << "pending";
        QTest::newRow("Critical") << "Critical" << false << "pending";
    }
    // Muted colours only for handled alarms; "ignored", a word the client does not know, or one in capitals, like
    // "pending"; every other word in a colour of its own; the dark look has colours of its own.
    void colourRules()
    {
        QFETCH(QString, status);
        QFETCH(QString, drawnLike);
        const QStringList words {"ok", "warning", "critical", "unknown", "pending", "stale", "none"};
        for (const bool dark : {false, true}) {
            for (const QString& other : words) {
                const bool alike = other == status || other == drawnLike;
                QCOMPARE(icons::statusColor(status, false, dark) == icons::statusColor(other, false, dark), alike);
            }
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
