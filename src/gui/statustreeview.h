// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeView>

// The server's status tree. A poll changes thousands of rows, most of them inside collapsed groups and hosts; a
// plain tree view looks for each of them among its shown rows, only to find that it is not shown. Rows inside a
// collapsed row are passed over: nothing of them is on screen, and they are drawn as they are when opened. Its
// context menu is the server view's.
class StatusTreeView : public QTreeView {
public:
    explicit StatusTreeView(QWidget* parent);

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override;
};
