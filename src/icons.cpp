#include "icons.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QMap>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace icons {

namespace {

using ColorTable = QMap<QString, QString>;

const ColorTable& statusColors()
{
    static const ColorTable table {{QStringLiteral("ok"), QStringLiteral("#15803d")},
        {QStringLiteral("warning"), QStringLiteral("#b45309")}, {QStringLiteral("critical"), QStringLiteral("#b91c1c")},
        {QStringLiteral("unknown"), QStringLiteral("#6d28d9")}, {QStringLiteral("pending"), QStringLiteral("#6b7280")},
        {QStringLiteral("stale"), QStringLiteral("#92400e")}, {QStringLiteral("ignored"), QStringLiteral("#6b7280")},
        {QStringLiteral("none"), QStringLiteral("#9ca3af")}};
    return table;
}

const ColorTable& handledColors()
{
    static const ColorTable table {{QStringLiteral("warning"), QStringLiteral("#8f6a2f")},
        {QStringLiteral("critical"), QStringLiteral("#a65353")}, {QStringLiteral("unknown"), QStringLiteral("#7a63a8")},
        {QStringLiteral("stale"), QStringLiteral("#8a6a4f")}};
    return table;
}

const ColorTable& statusColorsDark()
{
    static const ColorTable table {{QStringLiteral("ok"), QStringLiteral("#22c55e")},
        {QStringLiteral("warning"), QStringLiteral("#f59e0b")}, {QStringLiteral("critical"), QStringLiteral("#ff8080")},
        {QStringLiteral("unknown"), QStringLiteral("#c4b5fd")}, {QStringLiteral("pending"), QStringLiteral("#97a2b6")},
        {QStringLiteral("stale"), QStringLiteral("#fb923c")}, {QStringLiteral("ignored"), QStringLiteral("#97a2b6")},
        {QStringLiteral("none"), QStringLiteral("#949daf")}};
    return table;
}

const ColorTable& handledColorsDark()
{
    static const ColorTable table {{QStringLiteral("warning"), QStringLiteral("#c8a96e")},
        {QStringLiteral("critical"), QStringLiteral("#cf9292")}, {QStringLiteral("unknown"), QStringLiteral("#a79ac7")},
        {QStringLiteral("stale"), QStringLiteral("#cb9a7e")}};
    return table;
}

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
    if (handled) {
        const ColorTable& muted = dark ? handledColorsDark() : handledColors();
        const auto found = muted.constFind(status);
        if (found != muted.cend())
            return QColor::fromString(*found);
    }
    const ColorTable& table = dark ? statusColorsDark() : statusColors();
    const auto found = table.constFind(status);
    return QColor::fromString(found != table.cend() ? *found : table.value(QStringLiteral("pending")));
}

QColor statusColor(const QString& status, bool handled)
{
    return statusColor(status, handled, darkLook());
}

QIcon dotIcon(const QString& status, int size, bool handled)
{
    // The tree paints a dot for every row on every poll; a dot depends only on its colour and size, so each is
    // painted once.
    const QColor color = statusColor(status, handled);
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
