// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

class MainWindow;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// Lists the known servers with their state; renames them, marks them to connect at start, connects, disconnects,
// adds and removes them through the main window. Every change is stored at once.
class ServersDialog : public QDialog {
    Q_OBJECT
public:
    explicit ServersDialog(MainWindow* window);

    void reload(const QString& selectId);
    QString selectedId() const;

private:
    void itemChanged(QTableWidgetItem* item);
    void updateButtons();
    void addServer();
    void connectSelected();
    void disconnectSelected();
    void removeSelected();

    MainWindow* window;
    bool reloading = false;
    QTableWidget* table;
    QPushButton* addButton;
    QPushButton* connectButton;
    QPushButton* disconnectButton;
    QPushButton* removeButton;
};
