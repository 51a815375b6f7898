// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/statustreeview.h"

StatusTreeView::StatusTreeView(QWidget* parent)
    : QTreeView(parent)
{
    setAlternatingRowColors(true);
    // Every row is one line high. Without this, each changed cell makes the view lay its row's text out anew to
    // measure it, and a poll changes thousands of cells (every "Senast OK" moves on).
    setUniformRowHeights(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void StatusTreeView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (const QModelIndex parent = topLeft.parent(); parent.isValid() && !isExpanded(parent))
        return;
    QTreeView::dataChanged(topLeft, bottomRight, roles);
}
