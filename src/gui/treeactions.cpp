// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/treeactions.h"

#include "gui/dialogs/dialogs.h"
#include "gui/serverview.h"
#include "net/apiclient.h"

#include <QApplication>
#include <QHash>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>

#include <functional>

TreeActions::TreeActions(ServerView* view)
    : view(view)
{ }

void TreeActions::showMenu(const treemodel::Target& target, const QString& statusWord, const QPoint& at)
{
    const QString& kind = target.kind;
    QMenu menu(view);
    QHash<QAction*, std::function<void()>> entries;
    auto add = [&](const QString& text, void (TreeActions::*action)(const treemodel::Target&)) {
        entries.insert(menu.addAction(text), [this, action, target] { (this->*action)(target); });
    };
    if (kind == QLatin1String("plugin") || kind == QLatin1String("port")) {
        if (view->mayAct()) {
            if (treemodel::isAlarming(statusWord))
                add(QStringLiteral("&Kvittera…"), &TreeActions::acknowledge);
            add(QStringLiteral("&Avkvittera"), &TreeActions::unacknowledge);
            add(QStringLiteral("&Stör ej…"), &TreeActions::silence);
            if (kind == QLatin1String("plugin"))
                add(QStringLiteral("Kör &recheck"), &TreeActions::recheck);
            menu.addSeparator();
        }
        add(QStringLiteral("&Graf…"), &TreeActions::showChart);
    } else if (kind == QLatin1String("host") && view->mayAct()) {
        add(QStringLiteral("&Kör recheck (alla checkar)"), &TreeActions::recheck);
        add(QStringLiteral("&Stör ej hela enheten…"), &TreeActions::silence);
    }
    if (entries.isEmpty())
        return;
    // The chosen action runs after the menu has closed, not inside its event loop.
    if (QAction* chosen = menu.exec(at))
        entries.value(chosen)();
}

void TreeActions::acknowledge(const treemodel::Target& t)
{
    if (const std::optional<actions::Choice> choice = ask(actions::Kind::Acknowledge, t.name(), view))
        act(QStringLiteral("Kvittensen"), actions::Kind::Acknowledge, t, *choice);
}

void TreeActions::unacknowledge(const treemodel::Target& t)
{
    act(QStringLiteral("Avkvitteringen"), actions::Kind::Unacknowledge, t, {});
}

void TreeActions::recheck(const treemodel::Target& t)
{
    act(QStringLiteral("Recheck"), actions::Kind::Recheck, t, {});
}

void TreeActions::silence(const treemodel::Target& t)
{
    if (const std::optional<actions::Choice> choice = ask(actions::Kind::Silence, t.name(), view))
        act(QStringLiteral("Stör ej"), actions::Kind::Silence, t, *choice);
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

void TreeActions::showChart(const treemodel::Target& target)
{
    auto* dialog = new ChartDialog(view->apiClient().baseUrl(), view->token(), target.map(), view);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void TreeActions::act(
    const QString& label, actions::Kind kind, const treemodel::Target& target, const actions::Choice& choice)
{
    try {
        // The operator sees that the click was taken while the server is still answering.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        actions::send(view->apiClient(), kind, target, choice);
    } catch (const ApiError& e) {
        QMessageBox::warning(view, QStringLiteral("Norv"), QStringLiteral("%1 misslyckades: %2").arg(label, e.message));
        return;
    }
    Q_EMIT view->message(QStringLiteral("%1 utförd").arg(label), 5000);
    view->refreshNow();
}
