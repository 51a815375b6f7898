// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/target.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <Qt>

class QStandardItemModel;

// Turns the server's tree payload into the rows of a server tab's item model: groups nested by their parents, hosts
// in their groups, and under each host its checks, then its switch ports. Reading a payload and comparing it with
// the previous one are plain value work that any thread may do; only the model is touched on the GUI thread, and
// only where a row changed.
namespace treemodel {

// Data on the first cell of every row.
enum Role {
    KeyRole = Qt::UserRole, // node key, stable across rebuilds
    TargetRole = Qt::UserRole + 1, // map with the kind and the ids an action needs
    StatusRole = Qt::UserRole + 2, // status word as received
    HandledRole = Qt::UserRole + 3, // acknowledged or silenced alarm, drawn muted
    AcknowledgedRole = Qt::UserRole + 4, // a check or port whose alarm is acknowledged, whatever its status
};

// The status words the tree marks as alarming.
bool isAlarming(const QString& status);

} // namespace treemodel
