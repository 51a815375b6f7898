// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/icons.h"

#include "core/statuses.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace icons {

namespace {

enum class IconCache { Dot, Badge };

// Painted icons by kind, exact colour and size: a few dozen at most. Released with the application, since pixmaps
// must not outlive it. paint draws on a transparent square with the colour as its brush and no pen.
template <typename Paint> QIcon cachedIcon(IconCache kind, const QColor& color, int size, Paint paint)
{
    static QHash<quint64, QIcon> cache;
    static const bool releasedWithApplication = [] {
        qAddPostRoutine([] { cache.clear(); });
        return true;
    }();
    Q_UNUSED(releasedWithApplication)
    const quint64 key = quint64(kind) << 56 | quint64(size & 0xffffff) << 32 | color.rgba();
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

QIcon dotIcon(const QString& status, int size, bool handled)
{
    return dotIcon(statusColor(status, handled), size);
}

QIcon dotIcon(const QColor& color, int size)
{
    // The tree paints a dot for every row on every poll; a dot depends only on its colour and size, so each is
    // painted once.
    return cachedIcon(IconCache::Dot, color, size,
        [size](QPainter& painter) { painter.drawEllipse(QRect(1, 1, size - 2, size - 2)); });
}

QIcon norvIcon(const QString& status, int size)
{
    // The window, every tab and the tray show a badge again on every status; the same badge must be the same icon,
    // or every new one would add its rendered copies to Qt's pixmap cache.
    const QColor color = statusColor(status, false);
    return cachedIcon(IconCache::Badge, color, size, [size](QPainter& painter) {
        const QRectF rect(0, 0, size, size);
        painter.drawRoundedRect(rect, 0.18 * size, 0.18 * size, Qt::AbsoluteSize);
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(int(0.55 * size));
        font.setWeight(QFont::Bold);
        painter.setFont(font);
        painter.setPen(QColor(QStringLiteral("#ffffff")));
        painter.drawText(rect, Qt::AlignCenter, QStringLiteral("N"));
    });
}

} // namespace icons
