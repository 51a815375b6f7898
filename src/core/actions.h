// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/treemodel.h"

#include <QString>

class ApiClient;

// What the operator does to a check, a port or a host, and the one request each action sends: the same whether it
// comes from the tree's menu, a notification or many alarms of "Aktiva larm" at once.
namespace actions {

enum class Kind { Acknowledge, Unacknowledge, Silence, Recheck };

// What the operator chose in the prompt before the action: the acknowledgement's comment, or the silence's length
// (0 minutes: until further notice) and reason.
struct Choice {
    QString comment;
    int minutes = 0;
    QString reason;
};

// Whether the action exists for such a target at all: acknowledging and silencing a check or a port, re-checking a
// check; silencing and re-checking a whole host.
bool applies(Kind kind, const treemodel::Target& target);
// Sends the action's request through the client; throws ApiError as the client does.
void send(ApiClient& client, Kind kind, const treemodel::Target& target, const Choice& choice);

} // namespace actions
