// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/activealarmsmodel.h"

#include <QJsonObject>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <optional>

class ApiClient;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QTreeView;

// The "Larmlogg" tab of a server tab: the server's alarm history as a paged, read-only table, 100 alarms a page,
// with the server's own search and an open-only filter. Pages are fetched on the GUI thread with the tab's client,
// the first time the tab is shown and whenever the user asks.
class AlarmLogView : public QWidget {
    Q_OBJECT
public:
    AlarmLogView(ApiClient* client, QWidget* parent);

    void reload();
    // Shows one page of the alarm-log response: the page line and the rows.
    void showPage(const QJsonObject& page);
    void go(int delta);
    void setClient(ApiClient* client);
    bool isLoaded() const { return loaded; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    ApiClient* client; // the server tab's, not owned
    int currentPage = 1;
    bool loaded = false;
    QLineEdit* searchEdit;
    QCheckBox* openOnlyBox;
    QPushButton* previousButton;
    QPushButton* nextButton;
    QLabel* pageLabel;
    QStandardItemModel* model;
    QTreeView* table;
};

// The "Aktiva larm" panel below the tabs: every open alarm of every connected server, worst first, then by server,
// host and item, or by any column the operator clicks. Rows are updated in place; the selection belongs to the
// alarms, so it stays with them when others come, go or move, and leaves with an alarm that ends. Ctrl+C copies the
// selected rows as text. It is told of the alarms that came, changed or went, never rebuilt. What a row leads to is the
// main window's: `activate` for Return or a double-click, `openMenu` for the context menu (mouse, Menu key or
// Shift+F10) of one alarm, `openMenuForMany` for that of several selected ones.
class ActiveAlarmsView : public QWidget {
    Q_OBJECT
public:
    explicit ActiveAlarmsView(QWidget* parent);

    // Takes the alarms that came or changed and drops those that went: only their rows are touched.
    void update(const QList<ActiveAlarm>& changed, const QStringList& gone);
    // The panel holds exactly these alarms.
    void setAlarms(const QList<ActiveAlarm>& alarms);
    // Draws every row anew, in the look the application has now.
    void redraw();
    std::optional<ActiveAlarm> currentAlarm() const;
    // The selected alarms, top to bottom.
    QList<ActiveAlarm> selectedAlarms() const;
    // The selected rows as text: one line per alarm, the cells separated by tabs, in the panel's column order.
    QString selectionText() const;

    std::function<void(const ActiveAlarm&)> activate;
    std::function<void(const ActiveAlarm&, const QPoint& at)> openMenu;
    std::function<void(const QList<ActiveAlarm>&, const QPoint& at)> openMenuForMany;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    std::optional<ActiveAlarm> alarmAt(const QModelIndex& index) const;
    void menuAt(const QModelIndex& index, const QPoint& at);

    ActiveAlarmsModel* model;
    bool drawnDark = false; // the look the rows were drawn in
    QTreeView* table;
    QStackedWidget* pages; // the table, or "Inga aktiva larm"
};
