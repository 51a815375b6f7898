// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

class ServerTabs;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// Lists the known servers with their state; renames them, marks them to connect at start, connects, disconnects,
// adds and removes them through the window's server tabs. Every change is stored at once.
class ServersDialog : public QDialog {
    Q_OBJECT
public:
    explicit ServersDialog(ServerTabs* tabs);

    void reload(const QString& selectId);
    QString selectedId() const;

private:
    void itemChanged(QTableWidgetItem* item);
    void updateButtons();
    void addServer();
    void connectSelected();
    void disconnectSelected();
    void removeSelected();

    ServerTabs* tabs;
    bool reloading = false;
    QTableWidget* table;
    QPushButton* addButton;
    QPushButton* connectButton;
    QPushButton* disconnectButton;
    QPushButton* removeButton;
};
