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

QImage imageOf(const QIcon& icon, int size)
{
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestIcons : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWindowColor(Qt::white); }

    void colourRules_data();
    void colourRules();
    void lookFollowsTheWindowColour_data();
    void lookFollowsTheWindowColour();
    void paintedIcons();
};

// Muted colours only for handled alarms; a word the client does not know, or one in capitals, like "pending".
void TestIcons::colourRules_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("muted");
    QTest::addColumn<QString>("drawnLike");
    for (const bool dark : {false, true}) {
        const char* look = dark ? "dark" : "light";
        QTest::addRow("critical, %s", look) << "critical" << true << "critical";
        QTest::addRow("stale, %s", look) << "stale" << true << "stale";
        QTest::addRow("ok, %s", look) << "ok" << false << "ok";
        QTest::addRow("unknown word, %s", look) << "fel" << false << "pending";
        QTest::addRow("Critical, %s", look) << "Critical" << false << "pending";
    }
}

void TestIcons::colourRules()
{
    QFETCH(QString, status);
    QFETCH(bool, muted);
    QFETCH(QString, drawnLike);
    const bool dark = QByteArray(QTest::currentDataTag()).endsWith("dark");
    setWindowColor(dark ? QColor(0x17, 0x1e, 0x2b) : QColor(Qt::white));
    QCOMPARE(icons::statusColor(status, false), icons::statusColor(drawnLike, false, dark));
    QCOMPARE(icons::statusColor(status, true) != icons::statusColor(status, false), muted);
    QVERIFY(icons::statusColor(status, false, true) != icons::statusColor(status, false, false));
}

void TestIcons::lookFollowsTheWindowColour_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<bool>("dark");
    // clang-format off
    QTest::newRow("grey 128 is light") << QColor(128, 128, 128) << false;
    QTest::newRow("grey 127 is dark") << QColor(127, 127, 127) << true;
    QTest::newRow("sum 127999 is dark") << QColor(6, 215, 0) << true;
    QTest::newRow("sum 128113 is light") << QColor(6, 215, 1) << false;
    // clang-format on
}

void TestIcons::lookFollowsTheWindowColour()
{
    QFETCH(QColor, window);
    QFETCH(bool, dark);
    setWindowColor(window);
    QCOMPARE(icons::darkLook(), dark);
    QCOMPARE(icons::statusColor(QStringLiteral("ok"), false), icons::statusColor(QStringLiteral("ok"), false, dark));
}

// The dot: a circle inset by a pixel, in the row's colour; the badge: the whole square in the plain colour, never
// muted, with a white letter; the same badge is the same icon every time.
void TestIcons::paintedIcons()
{
    const QImage dot = imageOf(icons::dotIcon(QStringLiteral("warning"), 12, true), 12);
    QCOMPARE(qAlpha(dot.pixel(0, 6)), 0);
    QVERIFY(qAlpha(dot.pixel(1, 1)) < 128); // round, not square
    QCOMPARE(dot.pixel(6, 6), icons::statusColor(QStringLiteral("warning"), true).rgba());
    const QImage badge = imageOf(icons::norvIcon(QStringLiteral("critical"), 64), 64);
    QCOMPARE(qAlpha(badge.pixel(0, 0)), 0);
    QCOMPARE(QColor(badge.pixel(1, 32)), icons::statusColor(QStringLiteral("critical"), false));
    QCOMPARE(QColor(badge.pixel(31, 32)).lightness(), 255);
    QCOMPARE(icons::norvIcon(QStringLiteral("critical"), 64).cacheKey(),
        icons::norvIcon(QStringLiteral("critical"), 64).cacheKey());
}

NORV_TEST_MAIN(TestIcons)
#include "tst_icons.moc"
