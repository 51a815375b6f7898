// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/actions.h"

class ApiClient;

namespace actions {

// Sends the one request of an action through the client; throws ApiError as the client does. The chart sends none.
void send(ApiClient& client, Kind kind, const treemodel::Target& target, const Choice& choice);

} // namespace actions
