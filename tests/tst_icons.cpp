// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/icons.h"
#include "testsupport.h"

namespace {

// An icon reduced to background, dark and light: its shape as a colour-blind operator or a greyscale tray sees it.
QByteArray shapeOf(const QImage& image)
{
    QByteArray mask;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            mask.append(qAlpha(pixel) < 128 ? ' ' : qGray(pixel) < 128 ? '#' : '.');
        }
    }
    return mask;
}

} // namespace

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

    // The dot is in the row's colour and the badge in the plain one, never muted; the same badge is the same icon
    // every time, or every blink of the tray would paint a new one.
    void paintedIcons()
    {
        const QImage dot = icons::dotIcon(QStringLiteral("warning"), 12, true).pixmap(12, 12).toImage();
        QVERIFY(qAlpha(dot.pixel(0, 0)) < 128);
        QCOMPARE(QColor(dot.pixel(4, 9)), icons::statusColor(QStringLiteral("warning"), true));
        const QIcon badge = icons::norvIcon(QStringLiteral("critical"), 64);
        const QImage image = badge.pixmap(64, 64).toImage();
        QCOMPARE(QColor(image.pixel(1, 32)), icons::statusColor("critical", false));
        QCOMPARE(QColor(image.pixel(44, 28)), QColor(Qt::white)); // the disc under the status's shape
        QCOMPARE(qAlpha(image.pixel(32, 0)), 255);
        // The critical octagon is the same turned a quarter round.
        const QImage octagon = icons::dotIcon(QStringLiteral("critical"), 48, false).pixmap(48, 48).toImage();
        QCOMPARE(shapeOf(octagon.transformed(QTransform().rotate(90))), shapeOf(octagon));
        QCOMPARE(icons::norvIcon(QStringLiteral("critical"), 64).cacheKey(), badge.cacheKey());
        const QImage old = icons::dotIcon(QColor(Qt::gray), 12).pixmap(12, 12).toImage(); // an old row's, centred
        const QImage turned = old.mirrored(true, true); // the same but for the edges' smoothing
        for (int i = 0; i < 144; ++i)
            QVERIFY(std::abs(qAlpha(old.pixel(i % 12, i / 12)) - qAlpha(turned.pixel(i % 12, i / 12))) < 8);
    }

    void shapesAndContrast_data()
    {
        testsupport::columns<QColor, QColor>("base", "text");
        QTest::newRow("light") << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("dark") << QColor(0x2b, 0x2b, 0x2b) << QColor(Qt::white);
        QTest::newRow("high contrast, white on black") << QColor(Qt::black) << QColor(Qt::white);
        QTest::newRow("grey rows") << QColor(0x80, 0x80, 0x80) << QColor(Qt::black);
    }
    // In each look, as a colour-blind operator or a greyscale tray sees them: every status's dot and badge has a
    // shape unlike every other's (the icons reduced to background, dark and light), and every status word stands
    // out from the rows by WCAG AA's 4.5:1.
    void shapesAndContrast()
    {
        QFETCH(QColor, base);
        QFETCH(QColor, text);
        QPalette palette;
        for (const auto role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase})
            palette.setColor(role, base);
        palette.setColor(QPalette::Text, text);
        QGuiApplication::setPalette(palette);
        const QStringList words {"ok", "warning", "critical", "unknown", "stale", "pending", "ignored", "none"};
        const auto shape = [](const QIcon& icon, int size) { return shapeOf(icon.pixmap(size, size).toImage()); };
        QSet<QByteArray> dots, badges;
        for (const QString& word : words) {
            dots.insert(shape(icons::dotIcon(word, 12, false), 12));
            badges.insert(shape(icons::norvIcon(word, 64), 16));
            for (const bool handled : {false, true}) {
                const double ratio = icons::contrast(icons::wordColor(word, handled, icons::darkLook()), base);
                QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(word).arg(ratio)));
            }
        }
        QCOMPARE(dots.size(), words.size());
        QCOMPARE(badges.size(), words.size());
    }
};

NORV_TEST_MAIN(TestIcons)
#include "tst_icons.moc"
