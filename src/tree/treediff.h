// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/treereader.h"

#include <atomic>
#include <memory>

// Comparing a tree with the one before it, by the shapes of both: nodes match by key under matching parents, and a
// matched node changed when the hash of its cells did.
namespace treemodel {

// What turns the model of one tree into the model of the next. Made where the payload is read; applied on the GUI
// thread.
struct TreeUpdate {
    std::shared_ptr<const TreeShape> base; // the tree it was worked out against; none for a first tree
    std::shared_ptr<const TreeShape> shape; // the new tree
    QList<int> previous; // per node of the new tree: its node in base, -1 for a new one
    QList<int> changed; // nodes of the new tree whose cells differ from their node's in base
    QList<int> reordered; // nodes of the new tree (-1: the top level) whose children are placed anew, in order
    Rows rows; // the cells of the changed and new nodes, or of every node
    // Set when the window has shown the tree: the next update then needs only the rows that changed.
    std::shared_ptr<std::atomic<bool>> taken;
};
using TreeUpdatePtr = std::shared_ptr<const TreeUpdate>;

// Compares the shape of a tree with the one before it (none, or empty: every node is new). The update has no rows.
TreeUpdate compareTrees(const std::shared_ptr<const TreeShape>& base, const std::shared_ptr<const TreeShape>& shape);

// Compares each tree a poller reads with the one it sent before, keeping of that one only its shape and whether the
// window has taken it. The update carries the cells of the rows that changed or are new, or of every row when the
// window had not taken the last update yet (it may then skip it, and compare with the tree it shows).
class TreeDiff {
public:
    TreeUpdatePtr next(const TreeReader& reader);

private:
    std::shared_ptr<const TreeShape> last;
    std::shared_ptr<std::atomic<bool>> taken;
};

} // namespace treemodel
