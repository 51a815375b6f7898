// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/bulkbar.h"

#include "gui/actionmenu.h"
#include "gui/alarmview.h"
#include "gui/servertabs.h"
#include "gui/serverview.h"
#include "gui/treeactions.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>

BulkBar::BulkBar(QStatusBar* bar, QWidget* window, ServerTabs* tabs)
    : QWidget(bar)
    , bar(bar)
    , tabs(tabs)
    , label(new QLabel(this))
    , escape(new QShortcut(QKeySequence(Qt::Key_Escape), window))
{
    setObjectName(QStringLiteral("bulkBox"));
    label->setObjectName(QStringLiteral("bulkLabel"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    auto* stop = new QPushButton(QStringLiteral("Avbryt"), this);
    stop->setObjectName(QStringLiteral("bulkStop"));
    layout->addWidget(stop);
    bar->addWidget(this, 0);
    hide();
    escape->setEnabled(false);
    const auto cancel = [this] {
        if (bulk)
            bulk->cancel();
    };
    connect(stop, &QPushButton::clicked, this, cancel);
    connect(escape, &QShortcut::activated, this, cancel);
}

void BulkBar::run(actions::Kind kind, const QList<BulkAction::Item>& items)
{
    if (items.isEmpty() || bulk)
        return;
    const std::optional<actions::Choice> choice
        = TreeActions::ask(kind, QStringLiteral("%1 larm").arg(items.size()), parentWidget()->window());
    if (!choice)
        return;
    bulk = new BulkAction(kind, *choice, items, this);
    connect(bulk, &BulkAction::progressed, this, [this] { label->setText(bulk->progressText()); });
    connect(bulk, &BulkAction::serverDone, this, [this](const QString& serverId) {
        if (ServerView* v = this->tabs->view(serverId))
            v->refreshNow();
    });
    connect(bulk, &BulkAction::finished, this, &BulkBar::end, Qt::QueuedConnection);
    label->setText(bulk->progressText());
    bar->clearMessage();
    show();
    escape->setEnabled(true);
    bulk->start();
}

void BulkBar::end()
{
    if (!bulk)
        return;
    hide();
    escape->setEnabled(false);
    bar->showMessage(bulk->resultText(), 15000);
    std::exchange(bulk, nullptr)->deleteLater();
}

void BulkBar::offer(const QList<ActiveAlarm>& alarms, const QPoint& at)
{
    QList<ActionRow> rows;
    for (const ActiveAlarm& alarm : alarms) {
        const ServerView* v = tabs->view(alarm.serverId);
        rows.append({alarm.target, {alarm.status, false}, !isRunning() && v && v->mayAct()});
    }
    // The chosen action runs after the menu has closed, not inside its event loop.
    if (const std::optional<actions::Kind> chosen = chooseAction(rows, window(), at))
        runOn(*chosen, alarms);
}

void BulkBar::runOn(actions::Kind kind, const QList<ActiveAlarm>& alarms)
{
    QList<BulkAction::Item> items;
    for (const ActiveAlarm& alarm : alarms) {
        const ServerView* v = tabs->view(alarm.serverId);
        if (v && v->mayAct() && actions::applies(kind, alarm.target, {alarm.status, false}))
            items.append({alarm.serverId, v->entry.url, v->token(), alarm.target});
    }
    run(kind, items);
    if (!isRunning())
        return;
    for (const BulkAction::Item& item : std::as_const(items)) {
        if (ServerView* v = tabs->view(item.serverId))
            v->actedOn(item.target);
    }
}
