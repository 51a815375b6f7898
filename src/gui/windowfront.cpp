// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/windowfront.h"

#include <QWidget>

namespace windowfront {

std::function<void(QWidget*)>& activator()
{
    static std::function<void(QWidget*)> activate = [](QWidget* window) { window->activateWindow(); };
    return activate;
}

void raise(QWidget* window, const QString& activationToken)
{
    window->showNormal();
    window->raise();
    if (activationToken.isEmpty())
        return activator()(window);
    const QByteArray before = qgetenv("XDG_ACTIVATION_TOKEN");
    qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    activator()(window);
    if (before.isEmpty())
        qunsetenv("XDG_ACTIVATION_TOKEN");
    else
        qputenv("XDG_ACTIVATION_TOKEN", before);
}

} // namespace windowfront
