// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The client's start once its application object exists: one running copy per user, the main window with the
// servers marked to connect at start (or, on a first run, a login), the event loop, and an orderly end, also on
// SIGTERM and SIGINT. The program's exit code.
namespace startup {

// "norv-gui-" and the user's name: the name by which copies of one user find each other.
QString instanceName();
int run();

} // namespace startup
