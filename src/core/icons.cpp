// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/icons.h"

#include "core/statuses.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <cmath>

namespace icons {

namespace {

enum class IconCache { Dot, Badge };

// What tells a status apart without its colour, for those who cannot tell red from orange and for the tray icon
// seen in greyscale: an outline and a glyph of its own, readable at 12 px.
enum class Shape : quint8 { Plain, Ok, Warning, Critical, Unknown, Stale, Pending, Ignored, None };

Shape shapeOf(const QString& status)
{
    static const QHash<QString, Shape> shapes {{QStringLiteral("ok"), Shape::Ok},
        {QStringLiteral("warning"), Shape::Warning}, {QStringLiteral("critical"), Shape::Critical},
        {QStringLiteral("unknown"), Shape::Unknown}, {QStringLiteral("stale"), Shape::Stale},
        {QStringLiteral("pending"), Shape::Pending}, {QStringLiteral("ignored"), Shape::Ignored},
        {QStringLiteral("none"), Shape::None}};
    return shapes.value(status, Shape::Plain);
}

// Paints a status's outline in the painter's brush within a square, and its glyph in `glyph` over it: a check mark
// in a circle (OK), an exclamation mark in a triangle (WARNING), a cross in an octagon (CRITICAL), a question mark
// in a diamond (UNKNOWN), clock hands (stale), a dot (pending), a bar (ignored), a ring (none).
void paintShape(QPainter& painter, const QRectF& box, Shape shape, const QColor& glyph)
{
    const qreal s = box.width();
    const auto at = [&box, s](qreal x, qreal y) { return QPointF(box.left() + x * s, box.top() + y * s); };
    QPainterPath outline;
    switch (shape) {
    case Shape::Warning:
        outline.moveTo(at(0.5, 0.02));
        outline.lineTo(at(1.0, 0.95));
        outline.lineTo(at(0.0, 0.95));
        outline.closeSubpath();
        break;
    case Shape::Critical:
        for (int corner = 0; corner < 8; ++corner) {
            const double angle = (corner + 0.5) * M_PI / 4;
            const QPointF point = at(0.5 + 0.52 * std::cos(angle), 0.5 + 0.52 * std::sin(angle));
            corner == 0 ? outline.moveTo(point) : outline.lineTo(point);
        }
        outline.closeSubpath();
        break;
    case Shape::Unknown:
        outline.moveTo(at(0.5, 0.0));
        outline.lineTo(at(1.0, 0.5));
        outline.lineTo(at(0.5, 1.0));
        outline.lineTo(at(0.0, 0.5));
        outline.closeSubpath();
        break;
    default:
        outline.addEllipse(box);
    }
    if (shape == Shape::None) {
        // A ring: nothing is known, not even a placeholder's status.
        painter.strokePath(outline, QPen(painter.brush().color(), std::max(1.0, 0.18 * s)));
        return;
    }
    painter.fillPath(outline, painter.brush());
    QPen pen(glyph, std::max(1.2, 0.14 * s), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    switch (shape) {
    case Shape::Ok:
        painter.drawPolyline(QPolygonF {at(0.27, 0.52), at(0.44, 0.69), at(0.74, 0.33)});
        break;
    case Shape::Warning:
        painter.drawLine(at(0.5, 0.38), at(0.5, 0.62));
        painter.drawPoint(at(0.5, 0.8));
        break;
    case Shape::Critical:
        painter.drawLine(at(0.32, 0.32), at(0.68, 0.68));
        painter.drawLine(at(0.68, 0.32), at(0.32, 0.68));
        break;
    case Shape::Unknown: {
        QPainterPath mark;
        mark.moveTo(at(0.38, 0.38));
        mark.cubicTo(at(0.38, 0.2), at(0.64, 0.2), at(0.62, 0.4));
        mark.cubicTo(at(0.6, 0.5), at(0.5, 0.5), at(0.5, 0.6));
        painter.drawPath(mark);
        painter.drawPoint(at(0.5, 0.77));
        break;
    }
    case Shape::Stale:
        painter.drawPolyline(QPolygonF {at(0.5, 0.24), at(0.5, 0.5), at(0.7, 0.62)});
        break;
    case Shape::Pending:
        painter.drawPoint(at(0.5, 0.5));
        break;
    case Shape::Ignored:
        painter.drawLine(at(0.3, 0.5), at(0.7, 0.5));
        break;
    case Shape::Plain:
    case Shape::None:
        break;
    }
}

// The glyph over a status colour: white on the light look's deep colours, near-black on the dark look's bright ones.
QColor glyphColor(bool dark)
{
    return dark ? QColor(0x11, 0x18, 0x27) : QColor(Qt::white);
}

// The relative luminance and contrast ratio of WCAG 2.
double luminance(const QColor& color)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

// Painted icons by kind, exact colour and size: a few dozen at most. Released with the application, since pixmaps
// must not outlive it. paint draws on a transparent square with the colour as its brush and no pen.
template <typename Paint> QIcon cachedIcon(IconCache kind, Shape shape, const QColor& color, int size, Paint paint)
{
    static QHash<quint64, QIcon> cache;
    static const bool releasedWithApplication = [] {
        qAddPostRoutine([] { cache.clear(); });
        return true;
    }();
    Q_UNUSED(releasedWithApplication)
    const quint64 key = quint64(kind) << 60 | quint64(shape) << 52 | quint64(size & 0xfffff) << 32 | color.rgba();
    auto found = cache.constFind(key);
    if (found == cache.cend()) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        paint(painter);
        painter.end();
        found = cache.insert(key, QIcon(pixmap));
    }
    return *found;
}

} // namespace

bool darkLook()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return 299 * window.red() + 587 * window.green() + 114 * window.blue() <= 127999;
}

QColor statusColor(const QString& status, bool handled, bool dark)
{
    return QColor::fromString(QLatin1String(statuses::colorName(status, handled, dark)));
}

QColor statusColor(const QString& status, bool handled)
{
    return statusColor(status, handled, darkLook());
}

QColor wordColor(const QString& status, bool handled, bool dark)
{
    const QColor color = statusColor(status, handled, dark);
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return color;
    const QPalette palette = QGuiApplication::palette();
    // WCAG AA for text: 4.5:1 against the rows' background, plain and alternate. A palette that leaves less (a
    // high-contrast one, or a colour the status table did not foresee) gets its own text colour: the word and the
    // dot's shape still tell the status.
    for (const QPalette::ColorRole background : {QPalette::Base, QPalette::AlternateBase}) {
        if (contrast(color, palette.color(background)) < 4.5)
            return palette.color(QPalette::Text);
    }
    return color;
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QIcon dotIcon(const QString& status, int size, bool handled)
{
    // The tree paints a dot for every row on every poll; a dot depends only on its status, colour and size, so each
    // is painted once.
    const Shape shape = shapeOf(status);
    const QColor color = statusColor(status, handled);
    const QColor glyph = glyphColor(darkLook());
    return cachedIcon(IconCache::Dot, shape, color, size, [size, shape, glyph](QPainter& painter) {
        paintShape(painter, QRectF(0.5, 0.5, size - 1, size - 1), shape, glyph);
    });
}

QIcon dotIcon(const QColor& color, int size)
{
    return cachedIcon(IconCache::Dot, Shape::Plain, color, size,
        [size](QPainter& painter) { painter.drawEllipse(QRect(1, 1, size - 2, size - 2)); });
}

QIcon norvIcon(const QString& status, int size)
{
    // The window, every tab and the tray show a badge again on every status; the same badge must be the same icon,
    // or every new one would add its rendered copies to Qt's pixmap cache.
    // The status's shape sits in the lower right corner on a white disc, large enough to read in a 16 px tray.
    const Shape shape = shapeOf(status);
    const QColor color = statusColor(status, false);
    const QColor glyph = glyphColor(darkLook());
    return cachedIcon(IconCache::Badge, shape, color, size, [size, shape, color, glyph](QPainter& painter) {
        const QRectF rect(0, 0, size, size);
        painter.drawRoundedRect(rect, 0.18 * size, 0.18 * size, Qt::AbsoluteSize);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(std::max(1, int(0.5 * size)));
        font.setWeight(QFont::Bold);
        painter.setFont(font);
        painter.setPen(QColor(Qt::white));
        painter.drawText(QRectF(0, 0, 0.62 * size, 0.62 * size), Qt::AlignCenter, QStringLiteral("N"));
        painter.setBrush(QColor(Qt::white)); // the disc in the letter's white, outline and all
        painter.drawEllipse(QRectF(0.4 * size, 0.4 * size, 0.6 * size, 0.6 * size));
        painter.setBrush(color);
        paintShape(painter, QRectF(0.47 * size, 0.47 * size, 0.46 * size, 0.46 * size), shape, glyph);
    });
}

} // namespace icons
