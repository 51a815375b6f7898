// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the application's identity and its saved look; the rest of the start is startup::run.

#include "app/startup.h"
#include "core/icons.h"
#include "core/settings.h"
#include "gui/appearance.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    settings::nameApplication();
    settings::loadQtTranslation();
    QApplication::setWindowIcon(icons::norvIcon(QStringLiteral("ok"), 64));
    settings::applySavedTheme();
    settings::applySavedFont();
    QApplication::setQuitOnLastWindowClosed(false);
    return startup::run();
}
