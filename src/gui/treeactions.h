// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/actions.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class ApiClient;
class QAction;
class QPoint;
class QWidget;

// What the operator does to one check, port or host of a server tab, from its tree, from "Aktiva larm" or from a
// notification: the menu, the prompts, and one request through the tab's client, whose outcome is told by a message
// (and the tab then polls) or in a warning box. Owned by the server tab; GUI thread only.
class TreeActions : public QObject {
    Q_OBJECT
public:
    // Prompts, warnings and charts open over `view`; requests go through the client `client` gives at the time (a
    // new login replaces it); `mayAct` tells whether the user may change anything on the server.
    TreeActions(QWidget* view, std::function<ApiClient&()> client, std::function<bool()> mayAct);

    // The menu for a target as its row shows it, at a point of the screen; the chosen entry runs.
    // Actions of the tab's own (`more`) follow the target's.
    void showMenu(const treemodel::Target& target, const actions::RowState& row, const QPoint& at,
        const QList<QAction*>& more = {});
    // The action's prompt, if it has one, then its request, or the chart.
    void run(actions::Kind kind, const treemodel::Target& target);

    // The prompt before an action, for something of that name ("db1", "12 larm"): the acknowledgement's comment or
    // the silence's length and reason; nothing to ask for the others. None when the operator cancels.
    static std::optional<actions::Choice> ask(actions::Kind kind, const QString& name, QWidget* parent);

Q_SIGNALS:
    // The outcome of a request that went through, for the status bar.
    void message(const QString& text, int timeoutMs);
    // A request went through: the server's tree shows it at the next poll.
    void acted(const treemodel::Target& target);

private:
    QWidget* view;
    std::function<ApiClient&()> client;
    std::function<bool()> mayAct;
};
