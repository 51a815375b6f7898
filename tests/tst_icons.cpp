#include "icons.h"
#include "testsupport.h"

#include <QImage>
#include <QPalette>

namespace {

void setWindowColor(const QColor& color)
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, color);
    QApplication::setPalette(palette);
}

const QColor Light(0xff, 0xff, 0xff);
const QColor Dark(0x17, 0x1e, 0x2b);

// The bounding box of the pixels that match a predicate.
QRect boxOf(const QImage& image, const std::function<bool(QRgb)>& match)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (match(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

QImage imageOf(const QIcon& icon, int size)
{
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestIcons : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWindowColor(Light); }

    void statusColor_data();
    void statusColor();
    void lookThreshold_data();
    void lookThreshold();
    void dotIsInsetCircle();
    void badgeIsRoundedSquareWithLetter();
    void badgeNeverMuted();
};

// Representative colours of both looks, with and without the handled variant; the full tables are the code's own.
void TestIcons::statusColor_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("handled");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("critical handled, light") << "critical" << true << false << "#a65353";
    QTest::newRow("critical, light") << "critical" << false << false << "#b91c1c";
    QTest::newRow("ok has no handled variant") << "ok" << true << false << "#15803d";
    QTest::newRow("stale handled, dark") << "stale" << true << true << "#cb9a7e";
    QTest::newRow("pending, dark") << "pending" << false << true << "#97a2b6";
    QTest::newRow("none, dark") << "none" << false << true << "#949daf";
    QTest::newRow("unknown word like pending") << "error" << true << false << "#6b7280";
    QTest::newRow("capital C like pending, dark") << "Critical" << true << true << "#97a2b6";
    // clang-format on
}

void TestIcons::statusColor()
{
    QFETCH(QString, status);
    QFETCH(bool, handled);
    QFETCH(bool, dark);
    QFETCH(QString, expected);
    setWindowColor(dark ? Dark : Light);
    QCOMPARE(icons::statusColor(status, handled).name(), expected);
}

void TestIcons::lookThreshold_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<bool>("dark");
    // clang-format off
    QTest::newRow("grey 128 is light") << QColor(128, 128, 128) << false;
    QTest::newRow("grey 127 is dark") << QColor(127, 127, 127) << true;
    QTest::newRow("sum 127999 is dark") << QColor(6, 215, 0) << true;
    QTest::newRow("sum 128113 is light") << QColor(6, 215, 1) << false;
    QTest::newRow("pure green is light") << QColor(0, 255, 0) << false;
    QTest::newRow("pure red is dark") << QColor(255, 0, 0) << true;
    // clang-format on
}

void TestIcons::lookThreshold()
{
    QFETCH(QColor, window);
    QFETCH(bool, dark);
    setWindowColor(window);
    QCOMPARE(icons::darkLook(), dark);
    QCOMPARE(icons::statusColor(QStringLiteral("ok"), false).name(),
        dark ? QStringLiteral("#22c55e") : QStringLiteral("#15803d"));
}

void TestIcons::dotIsInsetCircle()
{
    const QImage image = imageOf(icons::dotIcon(QStringLiteral("critical"), 12, false), 12);
    QCOMPARE(image.size(), QSize(12, 12));
    // A 10-pixel circle from pixel (1, 1): nothing on the outer ring of pixels, solid colour in the middle.
    QCOMPARE(boxOf(image, [](QRgb p) { return qAlpha(p) > 0; }), QRect(1, 1, 10, 10));
    QCOMPARE(image.pixel(6, 6), icons::statusColor(QStringLiteral("critical"), false).rgba());
    QCOMPARE(qAlpha(image.pixel(5, 5)), 255);
    // A handled dot takes the muted colour.
    QCOMPARE(imageOf(icons::dotIcon(QStringLiteral("warning"), 12, true), 12).pixel(6, 6),
        icons::statusColor(QStringLiteral("warning"), true).rgba());
    // The corners of the circle's square stay (nearly) clear: it is round, not square.
    QVERIFY(qAlpha(image.pixel(1, 1)) < 128);
    QVERIFY(qAlpha(image.pixel(10, 10)) < 128);

    const QImage big = imageOf(icons::dotIcon(QStringLiteral("ok"), 40, false), 40);
    QCOMPARE(boxOf(big, [](QRgb p) { return qAlpha(p) > 0; }), QRect(1, 1, 38, 38));
}

void TestIcons::badgeIsRoundedSquareWithLetter()
{
    const QImage image = imageOf(icons::norvIcon(QStringLiteral("ok"), 64), 64);
    // The square covers the whole pixmap ...
    QCOMPARE(boxOf(image, [](QRgb p) { return qAlpha(p) > 0; }), QRect(0, 0, 64, 64));
    QCOMPARE(QColor(image.pixel(1, 32)).name(), QStringLiteral("#15803d"));
    // ... with corners rounded by 11.52 pixels: the corner pixel is clear, the pixel where the arc meets the
    // edges is solid, and the point 11.52 * (1 - 1/sqrt(2)) = 3.4 pixels in on the diagonal lies on the arc.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(63, 63)), 0);
    QCOMPARE(qAlpha(image.pixel(12, 0)), 255);
    QVERIFY(qAlpha(image.pixel(2, 2)) < 64);
    QVERIFY(qAlpha(image.pixel(5, 5)) == 255);
    // The white letter sits in the middle.
    const QRect letter = boxOf(image, [](QRgb p) { return qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240; });
    QVERIFY(!letter.isEmpty());
    QVERIFY2(qAbs(letter.center().x() - 31.5) <= 3 && qAbs(letter.center().y() - 31.5) <= 4,
        qPrintable(QStringLiteral("%1,%2").arg(letter.center().x()).arg(letter.center().y())));
    // A 35-point letter is far larger than the margin and smaller than the badge.
    QVERIFY2(letter.height() >= 20 && letter.height() <= 56, qPrintable(QString::number(letter.height())));
}

void TestIcons::badgeNeverMuted()
{
    // There is no handled badge: an acknowledged critical alarm still shows the plain critical colour.
    QCOMPARE(QColor(imageOf(icons::norvIcon(QStringLiteral("critical"), 64), 64).pixel(32, 2)).name(),
        QStringLiteral("#b91c1c"));
}

NORV_TEST_MAIN(TestIcons)
#include "tst_icons.moc"
