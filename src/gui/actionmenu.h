// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/actions.h"

#include <QList>

#include <optional>

class QAction;
class QPoint;
class QWidget;

// One of the rows an action menu is for: what it stands for, what it shows, and whether the user may change
// anything on its server.
struct ActionRow {
    treemodel::Target target;
    actions::RowState state;
    bool mayAct = false;
};

// The menu of actions, one table for a row of a tree (or one alarm) and for several alarms of "Aktiva larm". For one
// row: the entries of its kind, with a host's own texts, those that change the server only where the user may act;
// for several: the four requests. An entry that applies to none of the rows is disabled. Runs at a point of the
// screen and returns the chosen action once the menu has closed; none when nothing was chosen or there was nothing
// to offer. Actions of the caller's own (`more`) follow a line; they trigger themselves.
std::optional<actions::Kind> chooseAction(
    const QList<ActionRow>& rows, QWidget* parent, const QPoint& at, const QList<QAction*>& more = {});
