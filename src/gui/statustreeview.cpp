// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/statustreeview.h"

void StatusTreeView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (const QModelIndex parent = topLeft.parent(); parent.isValid() && !isExpanded(parent))
        return;
    QTreeView::dataChanged(topLeft, bottomRight, roles);
}
