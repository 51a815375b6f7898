// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/treemodel.h"

#include "core/statuses.h"

namespace treemodel {

QString aggregateStatus(const QList<QString>& statuses)
{
    return statuses::worst(statuses, statuses::rollUpPriority, QStringLiteral("none"));
}

bool isAlarming(const QString& status)
{
    return statuses::alarmingInTree(status);
}

} // namespace treemodel
