// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/version.h"

#include "buildconfig.h"

#include <QCoreApplication>
#include <QFile>

namespace appversion {

QString clientVersion()
{
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/VERSION"));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll().trimmed();
        if (!text.isEmpty())
            return QString::fromUtf8(text);
    }
    return QStringLiteral(NORV_VERSION);
}

} // namespace appversion
