// SPDX-License-Identifier: GPL-3.0-or-later
#include "treemodel.h"

#include "statuses.h"
#include "treereader.h"

#include <QStandardItemModel>

namespace treemodel {

QString aggregateStatus(const QList<QString>& statuses)
{
    QString worst = QStringLiteral("none");
    for (const QString& status : statuses) {
        if (statuses::rollUpPriority(status) > statuses::rollUpPriority(worst))
            worst = status;
    }
    return worst;
}

bool isAlarming(const QString& status)
{
    return statuses::alarmingInTree(status);
}

void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model)
{
    LiveTree live(model);
    TreeReader reader;
    reader.read(payload);
    auto update = std::make_shared<TreeUpdate>(compareTrees(live.shown, reader.shape()));
    reader.addAllRows(update->rows);
    live.apply(update);
}

} // namespace treemodel
