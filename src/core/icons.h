// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Status colours and the two painted icons of the client: the round status dot of every tree row and the square
// badge with the product's initial (window, tab and tray icon). Colours follow the light or dark look of the
// application palette. GUI thread only.
namespace icons {

QColor statusColor(const QString& status, bool handled);
QIcon dotIcon(const QString& status, int size, bool handled);
// A dot of any colour: the disabled text colour of rows whose server does not answer.
QIcon dotIcon(const QColor& color, int size);
QIcon norvIcon(const QString& status, int size);

// Whether the application palette is dark: the perceived brightness of its window colour.
bool darkLook();
// The colour for a look decided by the caller once, for painting many rows in one go.
QColor statusColor(const QString& status, bool handled, bool dark);

} // namespace icons
