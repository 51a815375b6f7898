// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/target.h"

#include <QString>

// What the operator does to a check, a port or a host, and to which ones each action applies: the same whether it
// comes from the tree's menu, a notification or many alarms of "Aktiva larm" at once.
namespace actions {

// The four requests, and the chart, which changes nothing on the server.
enum class Kind { Acknowledge, Unacknowledge, Silence, Recheck, Chart };

// What the operator chose in the prompt before the action: the acknowledgement's comment, or the silence's length
// (0 minutes: until further notice) and reason.
struct Choice {
    QString comment;
    int minutes = 0;
    QString reason;
};

// What a row shows of the check, port or host an action would act on.
struct RowState {
    QString status;
    bool acknowledged = false;
};

// Whether the action exists for such a target at all: acknowledging, taking back and the chart for a check or a
// port; silencing a check, a port or a whole host; re-checking a check or a whole host.
bool applies(Kind kind, const treemodel::Target& target);
// Whether it applies to the target as its row shows it now: acknowledging an alarming row (stale too), taking back
// an acknowledgement that is there.
bool applies(Kind kind, const treemodel::Target& target, const RowState& row);
// Whether the action changes something on the server, which only a user who may act can do: all but the chart.
inline bool changesServer(Kind kind)
{
    return kind != Kind::Chart;
}

} // namespace actions
