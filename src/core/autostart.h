// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Starting the client when the operator logs in: an entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart, where every freedesktop desktop looks at login) that starts the installed client, with
// an argument that tells it it was started so. GUI thread only.
namespace autostart {

// The argument the entry starts the client with.
inline constexpr char Argument[] = "--autostart";

QString entryPath();
bool enabled();
// Writes or removes the entry; false when the folder or the file cannot be written.
bool setEnabled(bool on);

} // namespace autostart
