// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/mainwindow.h"
#include "gui/appearance.h"

#include "core/alarms.h"
#include "core/icons.h"
#include "core/statuses.h"
#include "gui/actionmenu.h"
#include "gui/alarmview.h"
#include "gui/dialogs/dialogs.h"
#include "gui/dialogs/logindialog.h"
#include "gui/notifications.h"
#include "gui/serverview.h"
#include "gui/tray.h"
#include "gui/treeactions.h"
#include "net/apiclient.h"
#include "net/bulkaction.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <utility>

QString worstStatus(const QList<QString>& statuses)
{
    return statuses::worst(
        statuses, statuses::windowRank, statuses.isEmpty() ? QStringLiteral("ok") : QStringLiteral("pending"));
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , filterEdit(new QLineEdit(this))
    , timeLabel(new QLabel(this))
    , summaryLabel(new QLabel(this))
    , versionLabel(new QLabel(this))
    , serverTabs(new QTabWidget(this))
    , emptyPage(new QWidget(this))
    , stack(new QStackedWidget(this))
    , alarmPanel(new ActiveAlarmsView(this))
    , alarmDock(new QDockWidget(QStringLiteral("Aktiva larm"), this))
    , problemsButton(new QPushButton(QStringLiteral("Bara problem"), this))
    , panelButton(new QPushButton(QStringLiteral("Larmlista"), this))
    , bulkBox(new QWidget(this))
    , bulkLabel(new QLabel(bulkBox))
    , bulkEscape(new QShortcut(QKeySequence(Qt::Key_Escape), this))
    , alarmBook(new AlarmBook(this))
{
    setWindowTitle(QStringLiteral("Norv"));
    setWindowIcon(icons::norvIcon(QStringLiteral("ok"), 64));
    resize(1150, 720);
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    timeLabel->setObjectName(QStringLiteral("timeLabel"));
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    serverTabs->setObjectName(QStringLiteral("serverTabs"));
    emptyPage->setObjectName(QStringLiteral("emptyPage"));
    stack->setObjectName(QStringLiteral("stack"));
    alarmPanel->setObjectName(QStringLiteral("alarmPanel"));
    alarmDock->setObjectName(QStringLiteral("alarmDock"));
    problemsButton->setObjectName(QStringLiteral("problemsButton"));
    panelButton->setObjectName(QStringLiteral("panelButton"));
    bulkBox->setObjectName(QStringLiteral("bulkBox"));
    bulkLabel->setObjectName(QStringLiteral("bulkLabel"));

    buildToolbar();
    buildShortcuts();
    buildStatusBar();
    buildTabs();
    buildEmptyPage();
    stack->addWidget(emptyPage);
    stack->addWidget(serverTabs);
    setCentralWidget(stack);
    buildAlarmPanel();
    buildTrayAndNotifications();
    updateOverall();
}

void MainWindow::buildToolbar()
{
    QToolBar* toolbar = addToolBar(QStringLiteral("Norv"));
    toolbar->setMovable(false);
    filterEdit->setPlaceholderText(QStringLiteral("Sök enhet, grupp eller check…"));
    filterEdit->setClearButtonEnabled(true);
    connect(filterEdit, &QLineEdit::textChanged, this, &MainWindow::applyFilter);
    connect(filterEdit, &QLineEdit::returnPressed, this, &MainWindow::focusTree);
    filterEdit->installEventFilter(this);
    toolbar->addWidget(filterEdit);
    problemsButton->setCheckable(true);
    problemsButton->setChecked(settings::problemsOnly());
    problemsButton->setToolTip(QStringLiteral("Visa bara larmande rader och det de ligger under"));
    connect(problemsButton, &QPushButton::toggled, this, [this](bool on) {
        settings::setProblemsOnly(on);
        for (ServerView* v : views())
            v->setProblemsOnly(on);
    });
    toolbar->addWidget(problemsButton);
    auto addButton = [this, toolbar](const QString& text, void (MainWindow::*slot)()) {
        auto* button = new QPushButton(text, toolbar);
        connect(button, &QPushButton::clicked, this, slot);
        toolbar->addWidget(button);
        return button;
    };
    addButton(QStringLiteral("Uppdatera nu"), &MainWindow::refreshCurrent)->setToolTip(QStringLiteral("F5"));
    addButton(QStringLiteral("Servrar…"), &MainWindow::openServersDialog);
    addButton(QStringLiteral("Inställningar…"), &MainWindow::openSettings);
    panelButton->setCheckable(true);
    panelButton->setChecked(settings::alarmPanelShown());
    panelButton->setToolTip(QStringLiteral("Visa eller dölj Aktiva larm (F9)"));
    connect(panelButton, &QPushButton::toggled, this, [this](bool on) {
        settings::setAlarmPanelShown(on);
        alarmDock->setVisible(on);
    });
    toolbar->addWidget(panelButton);
}

// The keyboard's fast path: the search field, a poll now, the panel, and the tabs.
void MainWindow::buildShortcuts()
{
    auto shortcut = [this](const QKeySequence& keys, const std::function<void()>& act) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, act);
    };
    shortcut(QKeySequence::Find, [this] {
        filterEdit->setFocus(Qt::ShortcutFocusReason);
        filterEdit->selectAll();
    });
    shortcut(QKeySequence(Qt::Key_F5), [this] { refreshCurrent(); });
    shortcut(QKeySequence(Qt::Key_F9), [this] { panelButton->toggle(); });
    for (int n = 1; n <= 9; ++n) {
        shortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + n)), [this, n] {
            if (n <= serverTabs->count())
                serverTabs->setCurrentIndex(n - 1);
        });
    }
    for (const auto& [key, step] : {std::pair(Qt::Key_PageUp, -1), std::pair(Qt::Key_PageDown, 1)}) {
        shortcut(QKeySequence(Qt::CTRL | key), [this, step = step] {
            if (serverTabs->count() > 1)
                serverTabs->setCurrentIndex(
                    (serverTabs->currentIndex() + step + serverTabs->count()) % serverTabs->count());
        });
    }
}

void MainWindow::buildStatusBar()
{
    statusBar()->addWidget(timeLabel, 0);
    // While an action on many alarms runs: how far it has come, and a way to stop the rest (also Escape).
    auto* bulkLayout = new QHBoxLayout(bulkBox);
    bulkLayout->setContentsMargins(0, 0, 0, 0);
    bulkLayout->addWidget(bulkLabel);
    auto* stop = new QPushButton(QStringLiteral("Avbryt"), bulkBox);
    stop->setObjectName(QStringLiteral("bulkStop"));
    bulkLayout->addWidget(stop);
    statusBar()->addWidget(bulkBox, 0);
    bulkBox->hide();
    bulkEscape->setEnabled(false);
    const auto cancel = [this] {
        if (bulk)
            bulk->cancel();
    };
    connect(stop, &QPushButton::clicked, this, cancel);
    connect(bulkEscape, &QShortcut::activated, this, cancel);
    statusBar()->addPermanentWidget(summaryLabel, 0);
    statusBar()->addPermanentWidget(versionLabel, 0);
}

void MainWindow::buildTabs()
{
    serverTabs->setDocumentMode(true);
    serverTabs->setTabsClosable(true);
    serverTabs->setTabBarAutoHide(true);
    connect(serverTabs, &QTabWidget::tabCloseRequested, this, [this](int index) {
        if (auto* v = qobject_cast<ServerView*>(serverTabs->widget(index)))
            closeServer(v->entry.id);
    });
    connect(serverTabs, &QTabWidget::currentChanged, this, &MainWindow::onCurrentChanged);
}

void MainWindow::buildEmptyPage()
{
    auto* emptyLayout = new QVBoxLayout(emptyPage);
    emptyLayout->addStretch(1);
    emptyLayout->addWidget(
        new QLabel(QStringLiteral("Inte ansluten till någon Norv-server."), emptyPage), 0, Qt::AlignCenter);
    auto* emptyButtons = new QHBoxLayout;
    emptyButtons->addStretch(1);
    auto* servers = new QPushButton(QStringLiteral("Servrar…"), emptyPage);
    connect(servers, &QPushButton::clicked, this, &MainWindow::openServersDialog);
    emptyButtons->addWidget(servers);
    auto* add = new QPushButton(QStringLiteral("Lägg till server…"), emptyPage);
    connect(add, &QPushButton::clicked, this, [this] { addServer(); });
    emptyButtons->addWidget(add);
    emptyButtons->addStretch(1);
    emptyLayout->addLayout(emptyButtons);
    emptyLayout->addStretch(2);
}

// Below the tabs, always docked: its place is fixed, only its height and whether it shows are the operator's.
void MainWindow::buildAlarmPanel()
{
    alarmDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    alarmDock->setAllowedAreas(Qt::BottomDockWidgetArea);
    alarmDock->setWidget(alarmPanel);
    addDockWidget(Qt::BottomDockWidgetArea, alarmDock);
    alarmDock->setVisible(panelButton->isChecked());
    const int panelHeight = settings::alarmPanelHeight();
    resizeDocks({alarmDock}, {panelHeight > 0 ? panelHeight : 170}, Qt::Vertical);
    alarmPanel->activate = [this](const ActiveAlarm& alarm) { showAlarm(alarm.serverId, alarm.target); };
    alarmPanel->openMenu = [this](const ActiveAlarm& alarm, const QPoint& at) {
        ServerView* v = viewsById.value(alarm.serverId);
        if (v && alarm.target.kind != treemodel::Kind::None)
            v->showTargetMenu(alarm.target, {alarm.status, false}, at); // an open alarm is not acknowledged
    };
    alarmPanel->openMenuForMany = [this](const QList<ActiveAlarm>& alarms, const QPoint& at) { actOnMany(alarms, at); };
    connect(alarmBook, &AlarmBook::changed, this, &MainWindow::updateAlarmPanel);
}

// The tray icon and the desktop's notifications are views of the alarm book; the window answers their requests.
void MainWindow::buildTrayAndNotifications()
{
    tray = new NorvTray(alarmBook, this);
    connect(tray, &NorvTray::showWindowRequested, this, &MainWindow::bringToTop);
    connect(tray, &NorvTray::toggleWindowRequested, this, [this] {
        if (isVisible() && !isMinimized())
            hide();
        else
            bringToTop();
    });
    connect(tray, &NorvTray::quitRequested, this, &MainWindow::quitApp);
    tray->show();
    notifier = new DesktopNotifier(tray, this);
    connect(alarmBook, &AlarmBook::newAlarms, this, &MainWindow::announce);
    connect(notifier, &DesktopNotifier::actionInvoked, this, &MainWindow::onNoticeAction);
}

MainWindow::~MainWindow()
{
    for (ServerView* v : views())
        v->shutdown();
}

ServerView* MainWindow::openServer(const settings::ServerEntry& entry, const QString& token)
{
    if (ServerView* existing = viewsById.value(entry.id)) {
        if (!token.isEmpty())
            existing->reconnect(token);
        serverTabs->setCurrentWidget(existing);
        return existing;
    }
    ApiClient::pinCertificate(entry.url, entry.certSha256);
    auto* v = new ServerView(entry, token.isEmpty() ? settings::loadServerToken(entry.id) : token, nullptr);
    connect(v, &ServerView::statusChanged, this, &MainWindow::onViewStatus);
    connect(v, &ServerView::authLost, this, &MainWindow::onViewAuthLost);
    connect(v, &ServerView::reloginRequested, this, &MainWindow::relogin);
    connect(v, &ServerView::message, this,
        [this](const QString& text, int timeoutMs) { statusBar()->showMessage(text, timeoutMs); });
    connect(v, &ServerView::treeShown, this, &MainWindow::updateAlarmPanel);
    v->applyFilter(filterEdit->text());
    v->setProblemsOnly(problemsButton->isChecked());
    viewsById.insert(entry.id, v);

    // Tabs follow the order of the server list, however they were opened.
    QStringList order;
    for (const settings::ServerEntry& known : settings::servers())
        order.append(known.id);
    auto position = [&order](const QString& id) {
        const qsizetype at = order.indexOf(id);
        return at < 0 ? order.size() : at;
    };
    int index = 0;
    for (ServerView* open : views()) {
        if (open != v && position(open->entry.id) < position(entry.id))
            ++index;
    }
    serverTabs->insertTab(index, v, entry.label());
    serverTabs->setTabToolTip(index, entry.url);
    serverTabs->setCurrentWidget(v);
    updateTab(v);
    updateOverall();
    return v;
}

void MainWindow::closeServer(const QString& id)
{
    ServerView* v = viewsById.take(id);
    if (!v)
        return;
    v->shutdown();
    serverTabs->removeTab(serverTabs->indexOf(v));
    v->deleteLater(); // the request may come from the view's own signal
    alarmBook->removeServer(id);
    updateOverall();
}

void MainWindow::removeServer(const QString& id)
{
    if (ServerView* v = viewsById.value(id)) {
        v->logout();
        ApiClient::pinCertificate(v->entry.url, QString());
        closeServer(id);
        settings::removeServer(id);
        return;
    }
    const std::optional<settings::ServerEntry> entry = settings::findServer(id);
    const QString token = settings::loadServerToken(id);
    if (entry && !token.isEmpty()) {
        ApiClient::pinCertificate(entry->url, entry->certSha256);
        ApiClient(entry->url, token).logout(); // best effort: a failing logout still lets the server go
        ApiClient::pinCertificate(entry->url, QString());
    }
    settings::removeServer(id);
}

void MainWindow::renameServer(const QString& id)
{
    ServerView* v = viewsById.value(id);
    const std::optional<settings::ServerEntry> entry = settings::findServer(id);
    if (!v || !entry)
        return;
    v->setEntry(*entry);
    serverTabs->setTabText(serverTabs->indexOf(v), entry->label());
    updateOverall();
}

void MainWindow::relogin(const QString& id)
{
    const std::optional<settings::ServerEntry> entry = settings::findServer(id);
    if (!entry)
        return;
    LoginDialog dialog(this, entry->url, true);
    if (dialog.exec() != QDialog::Accepted || !dialog.client)
        return;
    const QString token = dialog.client->token();
    const settings::ServerEntry stored = settings::rememberLogin(entry->url, token, dialog.certSha256);
    openServer(stored, token);
}

std::optional<settings::ServerEntry> MainWindow::addServer()
{
    LoginDialog dialog(this, QString(), false);
    if (dialog.exec() != QDialog::Accepted || !dialog.client)
        return std::nullopt;
    const QString token = dialog.client->token();
    const settings::ServerEntry stored = settings::rememberLogin(dialog.url, token, dialog.certSha256);
    openServer(stored, token);
    return stored;
}

QList<ServerView*> MainWindow::views() const
{
    QList<ServerView*> list;
    for (int i = 0; i < serverTabs->count(); ++i) {
        if (auto* v = qobject_cast<ServerView*>(serverTabs->widget(i)))
            list.append(v);
    }
    return list;
}

ServerView* MainWindow::view(const QString& id) const
{
    return viewsById.value(id);
}

ServerView* MainWindow::currentView() const
{
    return qobject_cast<ServerView*>(serverTabs->currentWidget());
}

void MainWindow::onViewStatus(const QString& id)
{
    ServerView* v = viewsById.value(id);
    if (!v)
        return;
    updateTab(v);
    if (v->unreachable)
        alarmBook->setUnreachable(id, v->entry.label());
    else if (v->hasStatus)
        alarmBook->updateStatus(v->lastStatus, id, v->entry.label());
    updateOverall();
}

void MainWindow::onViewAuthLost(const QString& id)
{
    alarmBook->removeServer(id);
    onViewStatus(id);
    if (ServerView* v = viewsById.value(id))
        notifier->show(loginLostNotice(id, v->entry.label()));
}

void MainWindow::updateOverall()
{
    const QList<ServerView*> open = views();
    stack->setCurrentWidget(open.isEmpty() ? emptyPage : static_cast<QWidget*>(serverTabs));
    QList<QString> statuses;
    for (const ServerView* v : open)
        statuses.append(v->status);
    setWindowIcon(icons::norvIcon(worstStatus(statuses), 64));
    onCurrentChanged();
}

// The book's alarms, with what each server's tree shows of them.
void MainWindow::updateAlarmPanel()
{
    QList<ActiveAlarm> rows;
    for (const OpenAlarm& alarm : alarmBook->openAlarms()) {
        ActiveAlarm row {
            alarm.key, alarm.serverId, alarm.status, alarm.label, alarm.host, alarm.item, {}, {}, alarm.target, false};
        if (const ServerView* v = viewsById.value(alarm.serverId)) {
            v->describe(row, alarm);
            // The server's own alarm is what is so now; its other rows are what it said last.
            row.stale = v->unreachable && !alarm.serverDown();
        }
        rows.append(row);
    }
    alarmPanel->setAlarms(rows);
}

// From an alarm to the tree: the server's tab, and in it the alarm's row. A row the text filter hides is worth
// more than the filter.
void MainWindow::showAlarm(const QString& serverId, const treemodel::Target& target)
{
    ServerView* v = viewsById.value(serverId);
    if (!v)
        return;
    serverTabs->setCurrentWidget(v);
    if (target.kind == treemodel::Kind::None || v->showRow(target))
        return;
    if (!filterEdit->text().isEmpty()) {
        filterEdit->clear();
        if (v->showRow(target))
            return;
    }
    v->focusTree();
}

void MainWindow::announce(const QList<OpenAlarm>& fresh)
{
    Notice notice = newAlarmsNotice(fresh, alarmBook->serverCount() >= 2);
    notice.sound = settings::alarmSound();
    if (fresh.size() == 1 && fresh.first().target.chartable()) {
        const ServerView* v = viewsById.value(fresh.first().serverId);
        notice.acknowledgeable = v && v->mayAct();
    }
    notifier->show(notice);
}

void MainWindow::actOnMany(const QList<ActiveAlarm>& alarms, const QPoint& at)
{
    // An open alarm is not acknowledged; while one action on many runs, no other starts.
    QList<ActionRow> rows;
    for (const ActiveAlarm& alarm : alarms) {
        const ServerView* v = viewsById.value(alarm.serverId);
        rows.append({alarm.target, {alarm.status, false}, !bulk && v && v->mayAct()});
    }
    // The chosen action runs after the menu has closed, not inside its event loop.
    if (const std::optional<actions::Kind> chosen = chooseAction(rows, this, at))
        runOnMany(*chosen, alarms);
}

void MainWindow::runOnMany(actions::Kind kind, const QList<ActiveAlarm>& alarms)
{
    QList<BulkAction::Item> items;
    for (const ActiveAlarm& alarm : alarms) {
        const ServerView* v = viewsById.value(alarm.serverId);
        if (v && v->mayAct() && actions::applies(kind, alarm.target))
            items.append({alarm.serverId, v->entry.url, v->token(), alarm.target});
    }
    if (items.isEmpty() || bulk)
        return;
    const std::optional<actions::Choice> choice
        = TreeActions::ask(kind, QStringLiteral("%1 larm").arg(items.size()), this);
    if (!choice)
        return;
    bulk = new BulkAction(kind, *choice, items, this);
    connect(bulk, &BulkAction::progressed, this, [this] { bulkLabel->setText(bulk->progressText()); });
    // Each server is polled once its part is done, so that its rows show what the requests did.
    connect(bulk, &BulkAction::serverDone, this, [this](const QString& serverId) {
        if (ServerView* v = viewsById.value(serverId))
            v->refreshNow();
    });
    connect(bulk, &BulkAction::finished, this, &MainWindow::endBulk, Qt::QueuedConnection);
    bulkLabel->setText(bulk->progressText());
    statusBar()->clearMessage();
    bulkBox->show();
    bulkEscape->setEnabled(true);
    bulk->start();
}

void MainWindow::endBulk()
{
    if (!bulk)
        return;
    bulkBox->hide();
    bulkEscape->setEnabled(false);
    statusBar()->showMessage(bulk->resultText(), 15000);
    std::exchange(bulk, nullptr)->deleteLater();
}

// An action of a notification: the window comes up at what it was about. The alarm may have ended since: the
// operator then sees its server and is told so, rather than being left at some other row.
void MainWindow::onNoticeAction(const Notice& notice, const QString& action)
{
    bringToTop();
    std::optional<OpenAlarm> alarm;
    for (const QString& key : notice.alarmKeys) {
        if ((alarm = alarmBook->alarm(key)))
            break;
    }
    if (notice.alarmKeys.isEmpty() || !alarm) {
        if (ServerView* v = viewsById.value(notice.serverId))
            serverTabs->setCurrentWidget(v);
        if (!notice.alarmKeys.isEmpty())
            statusBar()->showMessage(QStringLiteral("Larmet är inte längre aktivt."), 10000);
        return;
    }
    showAlarm(alarm->serverId, alarm->target);
    if (notice.alarmKeys.size() > 1)
        panelButton->setChecked(true);
    if (action == DesktopNotifier::AcknowledgeAction) {
        if (ServerView* v = viewsById.value(alarm->serverId); v && v->mayAct())
            v->acknowledge(alarm->target);
    }
}

void MainWindow::onCurrentChanged()
{
    updateStatusLabels();
    const ServerView* current = currentView();
    setWindowTitle(current ? QStringLiteral("Norv – %1").arg(current->entry.url) : QStringLiteral("Norv"));
}

void MainWindow::updateStatusLabels()
{
    const ServerView* current = currentView();
    timeLabel->setText(current ? current->serverTimeText : QString());
    summaryLabel->setText(current ? current->summaryText : QString());
    versionLabel->setText(current ? current->versionText : QString());
}

void MainWindow::updateTab(ServerView* v)
{
    const int index = serverTabs->indexOf(v);
    if (index >= 0)
        serverTabs->setTabIcon(index, icons::norvIcon(v->status, 64));
}

void MainWindow::applyFilter(const QString& text)
{
    for (ServerView* v : views())
        v->applyFilter(text);
}

void MainWindow::focusTree()
{
    if (ServerView* current = currentView())
        current->focusTree();
}

void MainWindow::refreshCurrent()
{
    if (ServerView* current = currentView())
        current->refreshNow();
}

void MainWindow::selectFirstTab()
{
    if (serverTabs->count() > 0)
        serverTabs->setCurrentIndex(0);
}

void MainWindow::openSettings()
{
    SettingsDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    dialog.save();
    settings::applySavedTheme();
    settings::applySavedFont();
    for (ServerView* v : views()) {
        v->applySettings();
        updateTab(v);
    }
    updateOverall();
    updateAlarmPanel(); // drawn in the look just chosen
}

void MainWindow::openServersDialog()
{
    ServersDialog dialog(this);
    dialog.exec();
}

void MainWindow::bringToTop()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::quitApp()
{
    quitting = true;
    tray->hide();
    close();
    QCoreApplication::quit();
}

bool MainWindow::trayShown() const
{
    return tray->isVisible() && NorvTray::available();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (alarmDock->isVisible())
        settings::setAlarmPanelHeight(alarmDock->height());
    if (trayShown() && !quitting) {
        event->ignore();
        hide();
        return;
    }
    if (beforeQuit)
        std::exchange(beforeQuit, nullptr)();
    for (ServerView* v : views())
        v->shutdown();
    event->accept();
    // Without a tray there is no way back to a closed window: closing it ends the program.
    if (!quitting) {
        quitting = true;
        QCoreApplication::quit();
    }
}

bool MainWindow::eventFilter(QObject* object, QEvent* event)
{
    if (object == filterEdit && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        filterEdit->clear();
        focusTree();
        return true;
    }
    return QMainWindow::eventFilter(object, event);
}

ServersDialog::ServersDialog(MainWindow* window)
    : QDialog(window)
    , window(window)
    , table(new QTableWidget(0, 4, this))
    , addButton(new QPushButton(QStringLiteral("Lägg till server…"), this))
    , connectButton(new QPushButton(QStringLiteral("Anslut"), this))
    , disconnectButton(new QPushButton(QStringLiteral("Koppla från"), this))
    , removeButton(new QPushButton(QStringLiteral("Ta bort…"), this))
{
    setWindowTitle(QStringLiteral("Servrar – Norv"));
    resize(720, 320);
    table->setObjectName(QStringLiteral("table"));

    auto* layout = new QVBoxLayout(this);
    auto* intro
        = new QLabel(QStringLiteral("Servrar som klienten känner till. Kryssa i <b>Anslut vid start</b> för de som "
                                    "ska öppnas automatiskt när Norv startar. Dubbelklicka på namnet för att byta "
                                    "namn på fliken."),
            this);
    intro->setTextFormat(Qt::RichText);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    table->setHorizontalHeaderLabels({QStringLiteral("Namn"), QStringLiteral("Adress"),
        QStringLiteral("Anslut vid start"), QStringLiteral("Status")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (const int column : {0, 2, 3})
        table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(table, &QTableWidget::itemChanged, this, &ServersDialog::itemChanged);
    connect(table, &QTableWidget::itemSelectionChanged, this, &ServersDialog::updateButtons);
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column == 3)
            connectSelected();
    });
    layout->addWidget(table);

    auto* row = new QHBoxLayout;
    row->addWidget(addButton);
    row->addWidget(connectButton);
    row->addWidget(disconnectButton);
    row->addWidget(removeButton);
    row->addStretch();
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    row->addWidget(close);
    layout->addLayout(row);
    connect(addButton, &QPushButton::clicked, this, &ServersDialog::addServer);
    connect(connectButton, &QPushButton::clicked, this, &ServersDialog::connectSelected);
    connect(disconnectButton, &QPushButton::clicked, this, &ServersDialog::disconnectSelected);
    connect(removeButton, &QPushButton::clicked, this, &ServersDialog::removeSelected);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

    reload(QString());
}

void ServersDialog::reload(const QString& selectId)
{
    const QString select = selectId.isEmpty() ? selectedId() : selectId;
    reloading = true;
    table->clearSelection();
    const QList<settings::ServerEntry> list = settings::servers();
    table->setRowCount(int(list.size()));
    for (int r = 0; r < list.size(); ++r) {
        const settings::ServerEntry& entry = list.at(r);
        auto* name = new QTableWidgetItem(entry.label());
        name->setData(Qt::UserRole, entry.id);
        auto* address = new QTableWidgetItem(entry.url);
        address->setFlags(address->flags() & ~Qt::ItemIsEditable);
        auto* autoconnect = new QTableWidgetItem;
        autoconnect->setFlags((autoconnect->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
        autoconnect->setCheckState(entry.autoconnect ? Qt::Checked : Qt::Unchecked);
        auto* state = new QTableWidgetItem(
            window->view(entry.id) ? QStringLiteral("Ansluten") : QStringLiteral("Inte ansluten"));
        state->setFlags(state->flags() & ~Qt::ItemIsEditable);
        table->setItem(r, 0, name);
        table->setItem(r, 1, address);
        table->setItem(r, 2, autoconnect);
        table->setItem(r, 3, state);
        if (entry.id == select)
            table->selectRow(r);
    }
    reloading = false;
    updateButtons();
}

QString ServersDialog::selectedId() const
{
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    if (selected.isEmpty())
        return QString();
    const QTableWidgetItem* name = table->item(selected.first()->row(), 0);
    return name ? name->data(Qt::UserRole).toString() : QString();
}

void ServersDialog::updateButtons()
{
    const QString id = selectedId();
    const bool open = !id.isEmpty() && window->view(id);
    connectButton->setEnabled(!id.isEmpty() && !open);
    disconnectButton->setEnabled(open);
    removeButton->setEnabled(!id.isEmpty());
    addButton->setEnabled(true);
}

void ServersDialog::itemChanged(QTableWidgetItem* item)
{
    if (reloading)
        return;
    const QTableWidgetItem* nameItem = table->item(item->row(), 0);
    const QString id = nameItem ? nameItem->data(Qt::UserRole).toString() : QString();
    if (id.isEmpty())
        return;
    if (item->column() == 0) {
        QString name = item->text().trimmed();
        // Renamed to the URL's own host: store no name, so that the label keeps following the URL.
        const std::optional<settings::ServerEntry> entry = settings::findServer(id);
        if (entry && name == settings::defaultServerName(entry->url))
            name.clear();
        settings::setServerName(id, name);
        window->renameServer(id);
        // Not inside the table's own change notification.
        QTimer::singleShot(0, this, [this, id] { reload(id); });
    } else if (item->column() == 2) {
        settings::setServerAutoconnect(id, item->checkState() == Qt::Checked);
    }
}

void ServersDialog::addServer()
{
    if (const std::optional<settings::ServerEntry> entry = window->addServer())
        reload(entry->id);
}

void ServersDialog::connectSelected()
{
    const std::optional<settings::ServerEntry> entry = settings::findServer(selectedId());
    if (!entry)
        return;
    window->openServer(*entry, QString());
    reload(entry->id);
}

void ServersDialog::disconnectSelected()
{
    const QString id = selectedId();
    if (id.isEmpty())
        return;
    window->closeServer(id);
    reload(id);
}

void ServersDialog::removeSelected()
{
    const std::optional<settings::ServerEntry> entry = settings::findServer(selectedId());
    if (!entry)
        return;
    const QMessageBox::StandardButton answer = QMessageBox::question(this, QStringLiteral("Ta bort server"),
        QStringLiteral("Ta bort %1 (%2) ur listan?\n\nInloggningen återkallas på servern och tokenen tas bort från den "
                       "här datorn.")
            .arg(entry->label(), entry->url),
        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    window->removeServer(entry->id);
    reload(QString());
}
