// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Status colours and the two painted icons of the client: the status dot of every tree row and the square badge with
// the product's initial (window, tab and tray icon). Both tell a status by its shape as well as its colour (a check
// mark for OK, a triangle for WARNING, a cross for CRITICAL, a question mark for UNKNOWN, a clock for stale).
// Colours follow the light or dark look of the application palette. GUI thread only.
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
// The colour a status word is written in: its status colour where that stands out from the rows' background by
// 4.5:1 or more, else the palette's text colour.
QColor wordColor(const QString& status, bool handled, bool dark);
// The contrast ratio of two colours, from 1 to 21.
double contrast(const QColor& a, const QColor& b);

} // namespace icons
