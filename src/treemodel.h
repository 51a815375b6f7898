#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <Qt>

class QStandardItemModel;

// Turns the server's tree payload into the rows of a server tab's item model: groups nested by their parents, hosts
// in their groups, and under each host its checks, then its switch ports. GUI thread only.
namespace treemodel {

// Data on the first cell of every row.
enum Role {
    KeyRole = Qt::UserRole, // node key, stable across rebuilds
    TargetRole = Qt::UserRole + 1, // map with the kind and the ids an action needs
    StatusRole = Qt::UserRole + 2, // status word as received
    HandledRole = Qt::UserRole + 3, // acknowledged or silenced alarm, drawn muted
};

// Clears the model and fills it from the payload.
void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model);
QString checkKey(int hostId, const QJsonObject& check);
// The worst status of the list by the tree's roll-up priority; "none" for an empty list.
QString aggregateStatus(const QList<QString>& statuses);

} // namespace treemodel
