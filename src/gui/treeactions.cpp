// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/treeactions.h"

#include "gui/actionmenu.h"
#include "gui/dialogs/dialogs.h"
#include "net/actionrequest.h"
#include "net/apiclient.h"

#include <QApplication>
#include <QMessageBox>
#include <QScopeGuard>

namespace {

// How the outcome names the action: "Kvittensen utförd", "Recheck misslyckades: …".
QString labelOf(actions::Kind kind)
{
    switch (kind) {
    case actions::Kind::Acknowledge:
        return QStringLiteral("Kvittensen");
    case actions::Kind::Unacknowledge:
        return QStringLiteral("Avkvitteringen");
    case actions::Kind::Silence:
        return QStringLiteral("Stör ej");
    case actions::Kind::Recheck:
        return QStringLiteral("Recheck");
    case actions::Kind::Chart:
        break;
    }
    return QString();
}

} // namespace

TreeActions::TreeActions(QWidget* view, std::function<ApiClient&()> client, std::function<bool()> mayAct)
    : QObject(view)
    , view(view)
    , client(std::move(client))
    , mayAct(std::move(mayAct))
{ }

void TreeActions::showMenu(
    const treemodel::Target& target, const actions::RowState& row, const QPoint& at, const QList<QAction*>& more)
{
    // The chosen action runs after the menu has closed, not inside its event loop.
    if (const std::optional<actions::Kind> chosen = chooseAction({{target, row, mayAct()}}, view, at, more))
        run(*chosen, target);
}

void TreeActions::run(actions::Kind kind, const treemodel::Target& target)
{
    if (kind == actions::Kind::Chart) {
        auto* dialog = new ChartDialog(client().baseUrl(), client().token(), target.map(), view);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        return;
    }
    const std::optional<actions::Choice> choice = ask(kind, target.name(), view);
    if (!choice)
        return;
    const QString label = labelOf(kind);
    try {
        // The operator sees that the click was taken while the server is still answering.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        actions::send(client(), kind, target, *choice);
    } catch (const ApiError& e) {
        QMessageBox::warning(view, QStringLiteral("Norv"), QStringLiteral("%1 misslyckades: %2").arg(label, e.message));
        return;
    }
    Q_EMIT message(QStringLiteral("%1 utförd").arg(label), 5000);
    Q_EMIT acted(target);
}

std::optional<actions::Choice> TreeActions::ask(actions::Kind kind, const QString& name, QWidget* parent)
{
    actions::Choice choice;
    if (kind == actions::Kind::Acknowledge) {
        bool ok = false;
        choice.comment = askAckComment(parent, name, &ok);
        if (!ok)
            return std::nullopt;
    } else if (kind == actions::Kind::Silence) {
        DndDialog dialog(name, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        choice.minutes = dialog.minutes();
        choice.reason = dialog.reason();
    }
    return choice;
}
