// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace autostart {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/se.trelvik.norvgui.desktop");
}

bool enabled()
{
    return QFileInfo::exists(entryPath());
}

bool setEnabled(bool on)
{
    const QString path = entryPath();
    if (!on)
        return !QFileInfo::exists(path) || QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // The installed client, on the PATH; its own menu entry's icon and name.
    file.write(QStringLiteral("[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Norv GUI\n"
                              "Comment=Bevaka Norv-servrar från inloggningen\n"
                              "Exec=norv-gui %1\n"
                              "Icon=se.trelvik.norvgui\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                   .arg(QLatin1String(Argument))
                   .toUtf8());
    return file.flush();
}

} // namespace autostart
