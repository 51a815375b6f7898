// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/actionmenu.h"

#include <QHash>
#include <QMenu>

#include <algorithm>

namespace {

using actions::Kind;

struct Entry {
    Kind kind;
    const char* text; // for a check or a port, and for several alarms
    const char* hostText; // for a host; none when the action is not one for hosts
    int hostPlace; // a host's entries stand in this order
};

// In the order shown; the chart after a line.
const Entry Entries[] = {
    {Kind::Acknowledge, "&Kvittera…", nullptr, 0},
    {Kind::Unacknowledge, "&Avkvittera", nullptr, 0},
    {Kind::Silence, "&Stör ej…", "&Stör ej hela enheten…", 1},
    {Kind::Recheck, "Kör &recheck", "&Kör recheck (alla checkar)", 0},
    {Kind::Chart, "&Graf…", nullptr, 0},
};

} // namespace

std::optional<actions::Kind> chooseAction(
    const QList<ActionRow>& rows, QWidget* parent, const QPoint& at, const QList<QAction*>& more)
{
    const bool one = rows.size() == 1;
    const bool host = one && rows.first().target.kind == treemodel::Kind::Host;
    QList<const Entry*> shown;
    for (const Entry& entry : Entries) {
        const bool offered = one ? actions::applies(entry.kind, rows.first().target)
                && (rows.first().mayAct || !actions::changesServer(entry.kind))
                                 : entry.kind != Kind::Chart;
        if (offered)
            shown.append(&entry);
    }
    if (host)
        std::stable_sort(shown.begin(), shown.end(), [](auto a, auto b) { return a->hostPlace < b->hostPlace; });
    if (shown.isEmpty() && more.isEmpty())
        return std::nullopt;
    QMenu menu(parent);
    QHash<QAction*, Kind> kinds;
    for (const Entry* entry : std::as_const(shown)) {
        if (entry->kind == Kind::Chart && !menu.isEmpty())
            menu.addSeparator();
        QAction* action = menu.addAction(QString::fromUtf8(host ? entry->hostText : entry->text));
        action->setEnabled(std::any_of(rows.cbegin(), rows.cend(), [entry](const ActionRow& row) {
            return (row.mayAct || !actions::changesServer(entry->kind))
                && actions::applies(entry->kind, row.target, row.state);
        }));
        kinds.insert(action, entry->kind);
    }
    if (!more.isEmpty() && !menu.isEmpty())
        menu.addSeparator();
    menu.addActions(more);
    if (QAction* chosen = menu.exec(at); chosen && kinds.contains(chosen))
        return kinds.value(chosen);
    return std::nullopt;
}
