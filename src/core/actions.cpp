// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/actions.h"

#include "core/statuses.h"

namespace actions {

bool applies(Kind kind, const treemodel::Target& target)
{
    using treemodel::Kind;
    const bool item = target.kind == Kind::Plugin || target.kind == Kind::Port;
    switch (kind) {
    case actions::Kind::Acknowledge:
    case actions::Kind::Unacknowledge:
    case actions::Kind::Chart:
        return item;
    case actions::Kind::Silence:
        return item || target.kind == Kind::Host;
    case actions::Kind::Recheck:
        return target.kind == Kind::Plugin || target.kind == Kind::Host;
    }
    return false;
}

bool applies(Kind kind, const treemodel::Target& target, const RowState& row)
{
    if (!applies(kind, target))
        return false;
    if (kind == Kind::Acknowledge)
        return statuses::alarmingInTree(row.status);
    if (kind == Kind::Unacknowledge)
        return row.acknowledged;
    return true;
}

} // namespace actions
