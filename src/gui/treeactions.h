// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/actions.h"
#include "tree/treemodel.h"

#include <QString>

#include <optional>

class QPoint;
class QWidget;
class ServerView;

// What the operator does to one check, port or host of a server tab, from its tree, from "Aktiva larm" or from a
// notification: the row's menu, the prompts, and one request through the tab's client, whose outcome is told in the
// status bar (and followed by a poll) or in a warning box. Owned by the server tab; GUI thread only.
class TreeActions {
public:
    explicit TreeActions(ServerView* view);

    // The menu for a target whose row shows this status word, at a point of the screen; the chosen entry runs.
    void showMenu(const treemodel::Target& target, const QString& statusWord, const QPoint& at);
    void acknowledge(const treemodel::Target& target);
    void unacknowledge(const treemodel::Target& target);
    void recheck(const treemodel::Target& target);
    void silence(const treemodel::Target& target);
    void showChart(const treemodel::Target& target);

    // The prompt before an action, for something of that name ("db1", "12 larm"): the acknowledgement's comment or
    // the silence's length and reason; nothing to ask for the others. None when the operator cancels.
    static std::optional<actions::Choice> ask(actions::Kind kind, const QString& name, QWidget* parent);

private:
    // Sends one action's request and reports its outcome.
    void act(const QString& label, actions::Kind kind, const treemodel::Target& target, const actions::Choice& choice);

    ServerView* view;
};
