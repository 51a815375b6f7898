// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace appversion {

// The client's version: the text of the file VERSION beside the running executable, or the built-in version when
// that file is missing or blank. Read afresh on every call.
QString clientVersion();

} // namespace appversion
