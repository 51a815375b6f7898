// SPDX-License-Identifier: GPL-3.0-or-later
// norv-render-icon DIR SIZE...: paints the client's own badge of status "ok" at each size into
// DIR/SIZExSIZE/apps/se.trelvik.norvgui.png, the PNG icons of the hicolor theme. Runs at build time.
// norv-render-icon --sheet FILE: paints every status's dot and badge, in the light and the dark look, in colour and
// in greyscale, into one picture for the README.

#include "core/icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <cstdio>

namespace {

const QStringList Statuses {QStringLiteral("ok"), QStringLiteral("warning"), QStringLiteral("critical"),
    QStringLiteral("unknown"), QStringLiteral("stale"), QStringLiteral("pending"), QStringLiteral("ignored"),
    QStringLiteral("none")};

// One look's column of rows: a status's name, its dot at 12 and 24 px, its badge at 16, 22 and 48 px.
QImage lookPanel(const QColor& background, const QColor& text)
{
    QImage panel(250, 40 * int(Statuses.size()) + 30, QImage::Format_ARGB32);
    panel.fill(background);
    QPainter painter(&panel);
    painter.setPen(text);
    int y = 30;
    for (const QString& status : Statuses) {
        painter.drawText(QRect(6, y, 70, 30), Qt::AlignVCenter, status);
        painter.drawPixmap(80, y + 9, icons::dotIcon(status, 12, false).pixmap(12, 12));
        painter.drawPixmap(100, y + 3, icons::dotIcon(status, 24, false).pixmap(24, 24));
        painter.drawPixmap(135, y + 7, icons::norvIcon(status, 64).pixmap(16, 16));
        painter.drawPixmap(160, y + 4, icons::norvIcon(status, 64).pixmap(22, 22));
        painter.drawPixmap(190, y - 6, icons::norvIcon(status, 64).pixmap(40, 40));
        y += 40;
    }
    return panel;
}

int sheet(const QString& file)
{
    QList<QImage> panels;
    for (const bool dark : {false, true}) {
        QPalette palette = QGuiApplication::palette();
        const QColor background = dark ? QColor(0x2b, 0x2b, 0x2b) : QColor(Qt::white);
        const QColor text = dark ? QColor(Qt::white) : QColor(Qt::black);
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Base, background);
        palette.setColor(QPalette::WindowText, text);
        QGuiApplication::setPalette(palette);
        const QImage colour = lookPanel(background, text);
        panels << colour << colour.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_ARGB32);
    }
    QImage out(int(panels.size()) * 250, panels.first().height(), QImage::Format_ARGB32);
    QPainter painter(&out);
    const QStringList titles {QStringLiteral("Ljust"), QStringLiteral("Ljust, gråskala"), QStringLiteral("Mörkt"),
        QStringLiteral("Mörkt, gråskala")};
    for (int n = 0; n < panels.size(); ++n) {
        painter.drawImage(n * 250, 0, panels.at(n));
        painter.setPen(n < 2 ? Qt::black : Qt::white);
        painter.drawText(QRect(n * 250 + 6, 4, 240, 20), Qt::AlignVCenter, titles.at(n));
    }
    painter.end();
    return out.save(file) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--sheet"))
        return sheet(args.at(2));
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: norv-render-icon DIR SIZE...\n       norv-render-icon --sheet FILE\n");
        return 2;
    }
    for (const QString& text : args.mid(2)) {
        const int size = text.toInt();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.at(1)).arg(size);
        QDir().mkpath(dir);
        const QPixmap badge = icons::norvIcon(QStringLiteral("ok"), size).pixmap(size, size);
        if (size < 1 || !badge.save(dir + QStringLiteral("/se.trelvik.norvgui.png"))) {
            std::fprintf(stderr, "norv-render-icon: cannot write size %s\n", qPrintable(text));
            return 1;
        }
    }
    return 0;
}
