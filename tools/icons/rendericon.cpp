// SPDX-License-Identifier: GPL-3.0-or-later
// norv-render-icon DIR SIZE...: paints the client's own badge of status "ok" at each size into
// DIR/SIZExSIZE/apps/se.trelvik.norvgui.png, the PNG icons of the hicolor theme. Runs at build time.

#include "core/icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: norv-render-icon DIR SIZE...\n");
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
