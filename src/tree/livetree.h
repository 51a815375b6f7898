// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/target.h"
#include "tree/treediff.h"

#include <QBitArray>
#include <QHash>

#include <optional>

class QStandardItem;
class QStandardItemModel;

namespace treemodel {

// Keeps one item model in step with a server's trees, in place: a steady tree touches nothing, a changed row's cells
// are set and announced together, and rows are inserted, removed or moved only where the tree's shape changed. Keeps
// of the shown tree only its shape; the cells are the model's. GUI thread only; the model must not be changed by
// anyone else.
class LiveTree {
public:
    explicit LiveTree(QStandardItemModel* model);
    ~LiveTree();
    LiveTree(const LiveTree&) = delete;
    LiveTree& operator=(const LiveTree&) = delete;

    // Applies an update. One worked out against another tree than the one shown (a superseded tree was skipped, or
    // a new poller started afresh) is compared with the shown tree here first; such an update carries every row.
    void apply(const TreeUpdatePtr& update);
    // The first cell of the first row with this key, depth first; none when the shown tree has no such row.
    QStandardItem* find(const QString& key) const;
    // The first row of a check (by host, check and instance) or of a switch port (by port id), with what it shows;
    // none when the shown tree has no such row.
    struct Row {
        std::optional<Node> node;
        QStandardItem* item = nullptr;
    };
    Row findTarget(const Target& target) const;
    // Whether the last update may have changed the output or last-OK text of a check's or port's row: it changed
    // them, or rows came, went or moved.
    bool textsChangedOf(const Target& target) const;
    // The first cells of the rows whose status word the last update changed; until the next update.
    const QList<QStandardItem*>& statusChangedRows() const { return statusChanged; }
    // Whether the last update laid rows out anew (rows came, went or moved), or was the first.
    bool laidOutAnew() const { return allChanged; }

private:
    class Applier;
    int nodeOf(const Target& target) const; // -1 for none

    QStandardItemModel* model;
    std::shared_ptr<const TreeShape> shown;
    QList<QStandardItem*> items; // first cells of the shown tree's rows, by node
    bool dark = false; // the look the rows were drawn in
    // Nodes of checks and ports by their ids, made when first asked for, and again after the rows moved or a row's
    // ids changed.
    mutable QHash<Target, int> byTarget;
    QBitArray textsChanged; // by node of the shown tree
    QList<QStandardItem*> statusChanged;
    bool allChanged = true;
};

} // namespace treemodel
