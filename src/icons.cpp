#include "icons.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace icons {

namespace {

// One row per status: its colour in the light look, and muted for a handled alarm there; the same in the dark look.
// Only the alarming words have muted colours of their own.
struct Colors {
    const char* light;
    const char* lightHandled;
    const char* dark;
    const char* darkHandled;
};

const QHash<QString, Colors>& colorTable()
{
    static const QHash<QString, Colors> table {
        {QStringLiteral("ok"), {"#15803d", nullptr, "#22c55e", nullptr}},
        {QStringLiteral("warning"), {"#b45309", "#8f6a2f", "#f59e0b", "#c8a96e"}},
        {QStringLiteral("critical"), {"#b91c1c", "#a65353", "#ff8080", "#cf9292"}},
        {QStringLiteral("unknown"), {"#6d28d9", "#7a63a8", "#c4b5fd", "#a79ac7"}},
        {QStringLiteral("pending"), {"#6b7280", nullptr, "#97a2b6", nullptr}},
        {QStringLiteral("stale"), {"#92400e", "#8a6a4f", "#fb923c", "#cb9a7e"}},
        {QStringLiteral("ignored"), {"#6b7280", nullptr, "#97a2b6", nullptr}},
        {QStringLiteral("none"), {"#9ca3af", nullptr, "#949daf", nullptr}},
    };
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
    const auto found = colorTable().constFind(status);
    // A word the client does not know is drawn like "pending".
    const Colors& colors = found != colorTable().cend() ? *found : colorTable().value(QStringLiteral("pending"));
    const char* muted = dark ? colors.darkHandled : colors.lightHandled;
    return QColor::fromString(QLatin1String(handled && muted ? muted : dark ? colors.dark : colors.light));
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
