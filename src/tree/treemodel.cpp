// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/treemodel.h"

#include "core/statuses.h"
#include "tree/treediff.h"
#include "tree/treereader.h"

#include <QStandardItemModel>

namespace treemodel {

QString aggregateStatus(const QList<QString>& statuses)
{
    return statuses::worst(statuses, statuses::rollUpPriority, QStringLiteral("none"));
}

bool isAlarming(const QString& status)
{
    return statuses::alarmingInTree(status);
}

void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model)
{
    // A diff of its own knows no tree before this one; the live tree compares the update with the rows it shows.
    LiveTree live(model);
    TreeReader reader;
    TreeDiff diff;
    reader.read(payload);
    live.apply(diff.next(reader));
}

} // namespace treemodel
