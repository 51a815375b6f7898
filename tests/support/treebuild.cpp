// SPDX-License-Identifier: GPL-3.0-or-later
#include "treebuild.h"

#include "tree/livetree.h"
#include "tree/treediff.h"

namespace treemodel {

Tree readTree(const QJsonObject& payload)
{
    TreeReader reader;
    reader.read(payload);
    Tree tree {reader.shape(), Rows(int(reader.shape()->nodes.size()))};
    reader.addAllRows(tree.rows);
    return tree;
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
