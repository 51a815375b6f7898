// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/treereader.h"

#include <QJsonObject>

class QStandardItemModel;

// Trees made the plain way, to compare the client's own ways with: a payload read whole, and a model made to hold
// exactly its rows.
namespace treemodel {

// A whole tree with the cells of every row.
struct Tree {
    std::shared_ptr<TreeShape> shape;
    Rows rows;
};
Tree readTree(const QJsonObject& payload);

// Makes the model hold exactly the rows of the payload, changing it in place as the server tab does.
void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model);

} // namespace treemodel
