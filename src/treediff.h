#pragma once

#include "treereader.h"

#include <memory>

namespace treemodel {

// What turns the model of one tree into the model of the next: the nodes that changed their cells, and the parents
// whose children appeared, vanished or moved. Made where the payload is read; applied on the GUI thread.
struct TreeUpdate {
    std::shared_ptr<const Tree> base; // the tree it was worked out against; none for a first tree
    std::shared_ptr<const Tree> tree; // the new tree
    QList<int> changed; // nodes of the new tree whose cells differ from their row in base
    // Nodes of the new tree (-1: the top level) whose children are to be placed anew. When there are none, the two
    // trees have the same shape and a node's index in base is its own.
    QList<int> reordered;
    QList<int> previous; // with reordered nodes: per node of the new tree its index in base, -1 for a new row
};
using TreeUpdatePtr = std::shared_ptr<const TreeUpdate>;

// Compares a tree with the one before it. Cells that did not change share the earlier tree's texts.
TreeUpdatePtr diffTrees(const std::shared_ptr<const Tree>& base, const std::shared_ptr<Tree>& tree);
// The same for a tree that others hold already: its texts stay as they are.
TreeUpdatePtr compareTrees(const std::shared_ptr<const Tree>& base, const std::shared_ptr<const Tree>& tree);

} // namespace treemodel
