// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/treemodel.h"

#include "core/statuses.h"

namespace treemodel {

bool isAlarming(const QString& status)
{
    return statuses::alarmingInTree(status);
}

} // namespace treemodel
