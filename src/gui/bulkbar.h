// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/bulkaction.h"

#include <QWidget>

class QLabel;
class QPoint;
class QShortcut;
class QStatusBar;
class ServerTabs;
struct ActiveAlarm;

// The status bar's part for one action on many alarms: the prompt, how far the requests have come, and "Avbryt"
// (or Escape anywhere in the window) to stop the rest; the result stays in the status bar when it ends. Shown only
// while an action runs. GUI thread only.
class BulkBar : public QWidget {
    Q_OBJECT
public:
    // Lives in the window's status bar; prompts open over the window. Each server of an action is polled once its
    // part is done, so that its rows show what the requests did.
    BulkBar(QStatusBar* bar, QWidget* window, ServerTabs* tabs);

    bool isRunning() const { return bulk; }
    // The menu of the actions on several alarms of Aktiva larm. An open alarm is not acknowledged; while one
    // action on many runs, no other starts.
    void offer(const QList<ActiveAlarm>& alarms, const QPoint& at);
    // Runs an action on those of the alarms it applies to, on the servers where the operator may act.
    void runOn(actions::Kind kind, const QList<ActiveAlarm>& alarms);
    // Asks for what the action needs ("Kvittera 12 larm."), then sends each item's request in the background.
    // Nothing happens while another action runs, without items, or when the operator cancels.
    void run(actions::Kind kind, const QList<BulkAction::Item>& items);

private:
    void end();

    QStatusBar* bar;
    ServerTabs* tabs;
    QLabel* label;
    QShortcut* escape;
    BulkAction* bulk = nullptr;
};
