// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPalette>

// How the client looks: the theme, the dark palette, the font, and Qt's own texts in Swedish. The choices are the
// stored settings; these functions apply them to the running application. GUI thread only.
namespace settings {

// Qt's own texts (standard buttons, the menus of text fields, its choosers) in Swedish whatever the user's locale,
// since the whole interface is Swedish. Before the first widget. False when Qt's Swedish translation is not
// installed: Qt's English texts then stay, and everything else works as before.
bool loadQtTranslation();

// Apply the stored choices to the running application; they do nothing without a widget application.
void applySavedTheme();
void applySavedFont();
QPalette darkPalette();

} // namespace settings
