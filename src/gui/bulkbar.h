// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/bulkaction.h"

#include <QWidget>

class QLabel;
class QShortcut;
class QStatusBar;

// The status bar's part for one action on many alarms: the prompt, how far the requests have come, and "Avbryt"
// (or Escape anywhere in the window) to stop the rest; the result stays in the status bar when it ends. Shown only
// while an action runs. GUI thread only.
class BulkBar : public QWidget {
    Q_OBJECT
public:
    // Lives in the window's status bar; prompts open over the window.
    BulkBar(QStatusBar* bar, QWidget* window);

    bool isRunning() const { return bulk; }
    // Asks for what the action needs ("Kvittera 12 larm."), then sends each item's request in the background.
    // Nothing happens while another action runs, without items, or when the operator cancels.
    void run(actions::Kind kind, const QList<BulkAction::Item>& items);

Q_SIGNALS:
    // No more requests go to this server: its tree is worth a poll.
    void serverDone(const QString& serverId);

private:
    void end();

    QStatusBar* bar;
    QLabel* label;
    QShortcut* escape;
    BulkAction* bulk = nullptr;
};
