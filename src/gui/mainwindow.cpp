// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/mainwindow.h"

#include "core/alarms.h"
#include "core/icons.h"
#include "core/statuses.h"
#include "gui/actionmenu.h"
#include "gui/alarmfeed.h"
#include "gui/alarmview.h"
#include "gui/announcer.h"
#include "gui/appearance.h"
#include "gui/bulkbar.h"
#include "gui/dialogs/dialogs.h"
#include "gui/dialogs/serversdialog.h"
#include "gui/notifications.h"
#include "gui/servertabs.h"
#include "gui/serverview.h"
#include "gui/tray.h"
#include "gui/treeactions.h"
#include "gui/windowfront.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
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
    , serverTabs(new ServerTabs(this))
    , emptyPage(new QWidget(this))
    , stack(new QStackedWidget(this))
    , alarmPanel(new ActiveAlarmsView(this))
    , alarmDock(new QDockWidget(QStringLiteral("Aktiva larm"), this))
    , problemsButton(new QPushButton(QStringLiteral("Bara problem"), this))
    , changedButton(new QPushButton(QStringLiteral("Bara ändrade"), this))
    , panelButton(new QPushButton(QStringLiteral("Larmlista"), this))
    , alarmBook(new AlarmBook(this))
{
    setWindowTitle(QStringLiteral("Norv"));
    setWindowIcon(icons::norvIcon(QStringLiteral("ok"), 64));
    resize(1150, 720);
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    timeLabel->setObjectName(QStringLiteral("timeLabel"));
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    emptyPage->setObjectName(QStringLiteral("emptyPage"));
    stack->setObjectName(QStringLiteral("stack"));
    alarmPanel->setObjectName(QStringLiteral("alarmPanel"));
    alarmDock->setObjectName(QStringLiteral("alarmDock"));
    problemsButton->setObjectName(QStringLiteral("problemsButton"));
    changedButton->setObjectName(QStringLiteral("changedButton"));
    panelButton->setObjectName(QStringLiteral("panelButton"));

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
    filterEdit->setAccessibleName(QStringLiteral("Sök"));
    filterEdit->setAccessibleDescription(
        QStringLiteral("Visar bara rader vars namn innehåller texten, i alla servrars träd"));
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
    changedButton->setCheckable(true);
    changedButton->setToolTip(QStringLiteral("Visa bara rader som ändrats sedan du tittade senast"));
    connect(changedButton, &QPushButton::toggled, this, [this](bool on) {
        for (ServerView* v : views())
            v->setChangedOnly(on);
    });
    toolbar->addWidget(changedButton);
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
    toolbar->addSeparator();
    QAction* quit = toolbar->addAction(QStringLiteral("Avsluta"), this, &MainWindow::quitApp);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setToolTip(QStringLiteral("Avsluta Norv (Ctrl+Q)"));
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
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), [this] {
        if (ServerView* current = currentView())
            current->markAllSeen();
    });
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
    bulkBar = new BulkBar(statusBar(), this, serverTabs);
    statusBar()->addPermanentWidget(summaryLabel, 0);
    statusBar()->addPermanentWidget(versionLabel, 0);
}

void MainWindow::buildTabs()
{
    connect(serverTabs, &QTabWidget::currentChanged, this, &MainWindow::onCurrentChanged);
    connect(serverTabs, &ServerTabs::opened, this, &MainWindow::attach);
    connect(serverTabs, &ServerTabs::closed, this, [this](const QString& id) {
        alarmFeed->forget(id);
        alarmBook->removeServer(id);
    });
    connect(serverTabs, &ServerTabs::changed, this, &MainWindow::updateOverall);
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
        ServerView* v = serverTabs->view(alarm.serverId);
        if (v && alarm.target.kind != treemodel::Kind::None)
            v->showTargetMenu(alarm.target, {alarm.status, false}, at); // an open alarm is not acknowledged
    };
    alarmPanel->openMenuForMany
        = [this](const QList<ActiveAlarm>& alarms, const QPoint& at) { bulkBar->offer(alarms, at); };
    alarmFeed = new AlarmFeed(alarmBook, serverTabs, alarmPanel, this);
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
    announcer = new Announcer(alarmBook, notifier, serverTabs, this);
    connect(notifier, &DesktopNotifier::actionInvoked, this, &MainWindow::onNoticeAction);
}

MainWindow::~MainWindow()
{
    for (ServerView* v : views())
        v->shutdown();
}

ServerView* MainWindow::openServer(const settings::ServerEntry& entry, const QString& token)
{
    return serverTabs->open(entry, token);
}

// A new server view: what it tells goes to the window, and it filters as the other tabs do.
void MainWindow::attach(ServerView* v)
{
    connect(v, &ServerView::statusChanged, this, &MainWindow::onViewStatus);
    connect(v, &ServerView::authLost, this, &MainWindow::onViewAuthLost);
    connect(v, &ServerView::reloginRequested, this, &MainWindow::relogin);
    connect(v, &ServerView::message, this,
        [this](const QString& text, int timeoutMs) { statusBar()->showMessage(text, timeoutMs); });
    connect(v, &ServerView::treeShown, alarmFeed, &AlarmFeed::treeShown);
    connect(v, &ServerView::marksChanged, this, [this, v](const QString& id) {
        serverTabs->updateTab(v);
        int unseen = 0;
        for (const ServerView* open : views())
            unseen += open->unseenCount();
        tray->setUnseen(unseen);
        alarmFeed->marksChanged(id);
    });
    v->applyFilter(filterEdit->text());
    v->setProblemsOnly(problemsButton->isChecked());
    v->setChangedOnly(changedButton->isChecked());
}

void MainWindow::closeServer(const QString& id)
{
    serverTabs->close(id);
}

void MainWindow::removeServer(const QString& id)
{
    serverTabs->remove(id);
}

void MainWindow::renameServer(const QString& id)
{
    serverTabs->rename(id);
}

void MainWindow::relogin(const QString& id)
{
    serverTabs->logIn(id);
}

std::optional<settings::ServerEntry> MainWindow::addServer()
{
    return serverTabs->logIn(QString());
}

QList<ServerView*> MainWindow::views() const
{
    return serverTabs->views();
}

ServerView* MainWindow::view(const QString& id) const
{
    return serverTabs->view(id);
}

ServerView* MainWindow::currentView() const
{
    return serverTabs->current();
}

void MainWindow::onViewStatus(const QString& id)
{
    ServerView* v = serverTabs->view(id);
    if (!v)
        return;
    updateTab(v);
    if (v->unreachable)
        alarmBook->setUnreachable(id, v->entry.label());
    else if (v->hasStatus)
        alarmBook->updateStatus(v->lastAlarms, id, v->entry.label());
    alarmFeed->statusShown(v);
    updateOverall();
}

void MainWindow::onViewAuthLost(const QString& id)
{
    alarmBook->removeServer(id);
    onViewStatus(id);
    if (ServerView* v = serverTabs->view(id))
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

// From an alarm to the tree: the server's tab, and in it the alarm's row. A row the text filter hides is worth
// more than the filter.
void MainWindow::showAlarm(const QString& serverId, const treemodel::Target& target)
{
    ServerView* v = serverTabs->view(serverId);
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

// An action of a notification: the window comes up at what it was about. The alarm may have ended since: the
// operator then sees its server and is told so, rather than being left at some other row.
void MainWindow::onNoticeAction(const Notice& notice, const QString& action, const QString& activationToken)
{
    windowfront::raise(this, activationToken);
    std::optional<OpenAlarm> alarm;
    for (const QString& key : notice.alarmKeys) {
        if ((alarm = alarmBook->alarm(key)))
            break;
    }
    if (notice.alarmKeys.isEmpty() || !alarm) {
        if (ServerView* v = serverTabs->view(notice.serverId))
            serverTabs->setCurrentWidget(v);
        if (!notice.alarmKeys.isEmpty())
            statusBar()->showMessage(QStringLiteral("Larmet är inte längre aktivt."), 10000);
        return;
    }
    showAlarm(alarm->serverId, alarm->target);
    if (notice.alarmKeys.size() > 1)
        panelButton->setChecked(true);
    if (action == DesktopNotifier::AcknowledgeAction) {
        if (ServerView* v = serverTabs->view(alarm->serverId); v && v->mayAct())
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
    serverTabs->updateTab(v);
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
    alarmPanel->redraw(); // in the look just chosen
    announcer->applySettings();
}

void MainWindow::openServersDialog()
{
    ServersDialog dialog(serverTabs);
    dialog.exec();
}

void MainWindow::bringToTop()
{
    windowfront::raise(this);
}

void MainWindow::quitApp()
{
    quitting = true;
    notifier->withdrawAll();
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
    // Without a tray, a desktop's notifications are what is left of the client once its window has closed; started
    // again, it shows the window.
    const bool watchOn = !trayShown() && notifier->hasService() && settings::keepWatching();
    if ((trayShown() || watchOn) && !quitting) {
        event->ignore();
        hide();
        if (watchOn && !toldWatching) {
            toldWatching = true;
            Notice notice;
            notice.title = QStringLiteral("Norv");
            notice.body = QStringLiteral("Norv bevakar vidare i bakgrunden. Starta Norv igen för att visa fönstret.");
            notifier->show(notice);
        }
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

// Where the notification service raises the window itself on a click (GNOME Shell), the click reaches the client as
// the notification closed by the operator and then the window activated.
void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        if (const std::optional<Notice> clicked = notifier->clickedBeforeActivation())
            onNoticeAction(*clicked, DesktopNotifier::ShowAction, QString());
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
