// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/serverview.h"

#include "core/alarms.h"
#include "core/lenient.h"
#include "core/version.h"
#include "gui/alarmview.h"
#include "gui/dialogs/versionnotice.h"
#include "gui/statustreeview.h"
#include "gui/treeactions.h"
#include "gui/treestate.h"
#include "net/apiclient.h"
#include "net/poller.h"
#include "tree/livetree.h"
#include "tree/treemodel.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int PollerWaitMs = 3000;
const QString ReloginText = QStringLiteral("Logga in igen…");

// A moment of the operator's own clock: the time of day, and the date too when it was not today.
QString localTime(const QDateTime& moment)
{
    return moment.toString(
        moment.date() == QDate::currentDate() ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

ServerView::ServerView(const settings::ServerEntry& entry, const QString& token, QWidget* parent)
    : QWidget(parent)
    , entry(entry)
    , versionText(QStringLiteral("klient %1 · server ?").arg(appversion::clientVersion()))
    , client(std::make_unique<ApiClient>(entry.url, token))
    , banner(new QFrame(this))
    , bannerLabel(new QLabel(banner))
    , bannerButton(new QPushButton(ReloginText, banner))
    , model(new QStandardItemModel(this))
    , liveTree(std::make_unique<treemodel::LiveTree>(model))
    , tree(new StatusTreeView(this))
    , seenAction(new QAction(QStringLiteral("Markera allt som sett"), this))
    , treeState(std::make_unique<TreeState>(tree, model, liveTree.get(), &marks))
    , treeActions(new TreeActions(
          this, [this]() -> ApiClient& { return *client; }, [this] { return canAct; }))
    , tabs(new QTabWidget(this))
    , alarmLog(new AlarmLogView(client.get(), tabs))
    , versionNotice(new VersionNotice(this))
{
    banner->setObjectName(QStringLiteral("banner"));
    bannerLabel->setObjectName(QStringLiteral("bannerLabel"));
    bannerButton->setObjectName(QStringLiteral("bannerButton"));
    tree->setObjectName(QStringLiteral("tree"));
    tabs->setObjectName(QStringLiteral("tabs"));
    alarmLog->setObjectName(QStringLiteral("alarmLog"));
    nameForScreenReaders();
    tree->setAccessibleDescription(QStringLiteral("Grupper, enheter, checkar och portar med status. Retur öppnar en "
                                                  "checks graf, menytangenten visar vad du kan göra med raden."));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    banner->setFrameShape(QFrame::StyledPanel);
    bannerLabel->setWordWrap(true);
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->addWidget(bannerLabel, 1);
    bannerLayout->addWidget(bannerButton, 0);
    connect(bannerButton, &QPushButton::clicked, this, [this] { Q_EMIT reloginRequested(this->entry.id); });
    connect(treeActions, &TreeActions::message, this, &ServerView::message);
    connect(treeActions, &TreeActions::acted, this, [this](const treemodel::Target& target) {
        actedOn(target);
        refreshNow();
    });
    // The operator sees a row by choosing it, with the mouse, the keys or from "Aktiva larm"; not when a poll puts
    // the current row back.
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!treeState->restoringCurrent())
            see(current);
    });
    connect(tree, &QTreeView::clicked, this, &ServerView::see);
    seenAction->setObjectName(QStringLiteral("markSeenAction"));
    seenAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)); // shown; the window's shortcut acts
    connect(seenAction, &QAction::triggered, this, &ServerView::markAllSeen);
    banner->hide();
    layout->addWidget(banner);

    connect(tree, &QWidget::customContextMenuRequested, this, &ServerView::contextMenu);
    // The keyboard's ways to the same menu, for the current row.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, tree, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (tree->currentIndex().isValid())
                contextMenu(tree->visualRect(tree->currentIndex()).center());
        });
    }
    connect(tree, &QTreeView::doubleClicked, this, &ServerView::onDoubleClick);
    tree->installEventFilter(this);

    tabs->addTab(tree, QStringLiteral("Översikt"));
    tabs->addTab(alarmLog, QStringLiteral("Larmlogg"));
    layout->addWidget(tabs);

    versionNotice->serverLabel = entry.label();

    if (!token.isEmpty())
        startPoller();
    else
        showLoginNeeded();
}

ServerView::~ServerView()
{
    stopPoller();
    // The tree, a child, outlives the members its filter and its signals reach (the marks, the tree's state): it
    // must not read them while it is taken down.
    QObject::disconnect(tree->selectionModel(), nullptr, this, nullptr);
    QObject::disconnect(tree, nullptr, this, nullptr);
    tree->setModel(nullptr);
}

void ServerView::setEntry(const settings::ServerEntry& newEntry)
{
    entry = newEntry;
    versionNotice->serverLabel = entry.label();
    nameForScreenReaders();
}

// A screen reader tells one server's tree from another's by the server's name.
void ServerView::nameForScreenReaders()
{
    tree->setAccessibleName(QStringLiteral("Statusträd – %1").arg(entry.label()));
    tabs->setAccessibleName(QStringLiteral("Vyer – %1").arg(entry.label()));
}

void ServerView::reconnect(const QString& token)
{
    stopPoller();
    retiredClients.erase(std::remove_if(retiredClients.begin(), retiredClients.end(),
                             [](const std::unique_ptr<ApiClient>& c) { return !c->busy(); }),
        retiredClients.end());
    // The old client may be waiting for an answer further up the stack (an action, an alarm-log page): it must
    // not be deleted under that call.
    if (client->busy())
        retiredClients.push_back(std::move(client));
    client = std::make_unique<ApiClient>(entry.url, token);
    alarmLog->setClient(client.get());
    banner->hide();
    status = QStringLiteral("pending");
    summaryText = QStringLiteral("Ansluter…");
    failedRounds = 0;
    setUnreachable(false);
    Q_EMIT statusChanged(entry.id);
    startPoller();
}

QString ServerView::token() const
{
    return client->token();
}

void ServerView::logout()
{
    stopPoller();
    if (!client->token().isEmpty())
        client->logout();
}

void ServerView::shutdown()
{
    stopPoller();
    versionNotice->close();
}

void ServerView::refreshNow()
{
    if (poller)
        poller->refreshNow();
}

void ServerView::applySettings()
{
    if (!poller)
        return;
    if (alarmLog->isLoaded())
        alarmLog->reload();
    // The page request above waited in an event loop, where the login may have been lost and the poller stopped.
    if (!poller)
        return;
    poller->setInterval(settings::refreshSeconds());
    poller->refreshNow();
}

void ServerView::startPoller()
{
    auto* p = new PollerThread(client->baseUrl(), client->token(), settings::refreshSeconds(), this, true);
    poller = p;
    // Payloads a stopped poller had already sent are not for this view any more.
    auto fromCurrent = [this, p](auto handler) {
        return [this, p, handler](const auto&... payload) {
            if (poller == p)
                (this->*handler)(payload...);
        };
    };
    connect(p, &PollerThread::meReady, this, fromCurrent(&ServerView::onMe));
    connect(p, &PollerThread::statusReady, this, fromCurrent(&ServerView::onStatus));
    connect(p, &PollerThread::pollError, this, fromCurrent(&ServerView::onError));
    connect(p, &PollerThread::authLost, this, fromCurrent(&ServerView::onAuthLost));
    connect(p, &PollerThread::certificateRefused, this, fromCurrent(&ServerView::onCertificateRefused));
    // Only the newest tree is built: when building takes longer than the interval (a very large tree on a slow
    // machine), trees queue up, and building each of them would only fall further behind.
    treesHandled = 0;
    connect(p, &PollerThread::treeUpdated, this, [this, p](const treemodel::TreeUpdatePtr& update) {
        if (poller == p && ++treesHandled >= p->treesSent())
            onTree(update);
    });
    p->start();
}

void ServerView::stopPoller()
{
    if (PollerThread* p = std::exchange(poller, nullptr))
        p->release(PollerWaitMs);
}

void ServerView::onMe(const QJsonObject& payload)
{
    canAct = false;
    const QJsonArray roles = payload.value(QLatin1String("user")).toObject().value(QLatin1String("roles")).toArray();
    for (const QJsonValue& role : roles) {
        if (role.toString() == QLatin1String("admin") || role.toString() == QLatin1String("operator"))
            canAct = true;
    }
    setServerVersion(lenient::text(payload.value(QLatin1String("server_version"))));
    Q_EMIT statusChanged(entry.id);
}

void ServerView::setServerVersion(const QString& version)
{
    versionText = QStringLiteral("klient %1 · server %2")
                      .arg(appversion::clientVersion(), version.isEmpty() ? QStringLiteral("?") : version);
    versionNotice->checkVersion(version);
}

void ServerView::onStatus(const QJsonObject& payload, const AlarmReadingPtr& alarms)
{
    failedRounds = 0;
    lastAnswer = QDateTime::currentDateTime();
    setUnreachable(false);
    banner->hide();
    updateStatusLabels(payload);
    const QJsonValue word = payload.value(QLatin1String("status"));
    status = word.isString() ? word.toString() : QStringLiteral("ok");
    lastStatus = payload;
    lastAlarms = alarms ? alarms : std::make_shared<const AlarmReading>(AlarmReading::of(payload));
    hasStatus = true;
    Q_EMIT statusChanged(entry.id);
}

void ServerView::updateStatusLabels(const QJsonObject& payload)
{
    const QJsonValue version = payload.value(QLatin1String("server_version"));
    if (!version.isUndefined() && !version.isNull())
        setServerVersion(lenient::text(version));
    const QString time = payload.value(QLatin1String("server_time")).toString();
    if (!time.isEmpty())
        serverTime = time;
    if (!serverTime.isEmpty())
        serverTimeText = QStringLiteral("servertid %1").arg(serverTime);
    const QJsonObject summary = payload.value(QLatin1String("summary")).toObject();
    auto count = [&summary](const char* key) { return summary.value(QLatin1String(key)).toInt(0); };
    summaryText = QStringLiteral("%1 kritiska · %2 varningar · %3 stale · %4 ok av %5")
                      .arg(count("critical"))
                      .arg(count("warning"))
                      .arg(count("stale"))
                      .arg(count("ok"))
                      .arg(count("total"));
}

// A round that fails once may be a lost packet: only the banner tells of it. From the second failed round in a row
// the server counts as unreachable: showing its last answer as if it were current would tell the operator that all
// is well while nothing is watched.
void ServerView::onError(const QString& text)
{
    if (++failedRounds == 1)
        firstFailure = QDateTime::currentDateTime();
    if (failedRounds >= 2) {
        setUnreachable(true);
        status = QStringLiteral("unknown");
        showBanner(QStringLiteral("Kan inte nå servern sedan %1: %2").arg(localTime(firstFailure), failureReason(text)),
            false, ReloginText);
        if (lastAnswer.isValid())
            serverTimeText = QStringLiteral("senaste svar %1").arg(localTime(lastAnswer));
        Q_EMIT statusChanged(entry.id);
        return;
    }
    showBanner(QStringLiteral("%1: %2").arg(entry.label(), text), false, ReloginText);
    if (hasStatus)
        return;
    summaryText = QStringLiteral("Ej ansluten");
    Q_EMIT statusChanged(entry.id);
}

void ServerView::onAuthLost()
{
    settings::clearServerToken(entry.id);
    stopPoller();
    failedRounds = 0;
    setUnreachable(false);
    canAct = false;
    status = QStringLiteral("pending");
    lastStatus = QJsonObject();
    lastAlarms.reset();
    hasStatus = false;
    summaryText = QStringLiteral("Inte inloggad");
    showBanner(QStringLiteral("Inloggningen på %1 har gått ut eller återkallats.").arg(entry.url), true, ReloginText);
    Q_EMIT authLost(entry.id);
}

// The server's certificate is no longer the one trusted: nothing more goes there until the operator has looked at
// the new one (the login shows it). Meanwhile nothing is watched: the server counts as unreachable.
void ServerView::onCertificateRefused()
{
    stopPoller();
    setUnreachable(true);
    status = QStringLiteral("unknown");
    showBanner(QStringLiteral("Certifikatet för %1 har ändrats.").arg(entry.label()), true, ReloginText);
    Q_EMIT statusChanged(entry.id);
}

// While the server does not answer, its tree is the last one it gave: drawn in the disabled colour, it does not pass
// for what is so now.
void ServerView::setUnreachable(bool on)
{
    if (on == unreachable)
        return;
    unreachable = on;
    treeState->setOld(on);
}

void ServerView::showLoginNeeded()
{
    summaryText = QStringLiteral("Inte inloggad");
    showBanner(QStringLiteral("Inte inloggad på %1.").arg(entry.url), true, QStringLiteral("Logga in…"));
}

void ServerView::showBanner(const QString& text, bool buttonVisible, const QString& buttonText)
{
    bannerLabel->setText(text);
    bannerButton->setText(buttonText);
    bannerButton->setVisible(buttonVisible);
    banner->show();
}

void ServerView::describe(ActiveAlarm& row, const OpenAlarm& alarm) const
{
    if (alarm.serverDown()) {
        row.output = banner->isVisible() ? bannerLabel->text() : QString();
        return;
    }
    const treemodel::LiveTree::Row found = liveTree->findTarget(alarm.target);
    if (!found.node)
        return;
    row.output = found.node->output;
    row.lastOk = found.node->lastOk;
    row.unseen = marks.markedAt(found.node->key).has_value();
}

bool ServerView::describedAnew(const treemodel::Target& target) const
{
    return liveTree->textsChangedOf(target);
}

void ServerView::onTree(const treemodel::TreeUpdatePtr& update)
{
    treeState->show(update);
    noteChanges();
    if (firstTree) {
        firstTree = false;
        tree->setColumnWidth(0, 380);
        tree->setColumnWidth(1, 110);
        tree->setColumnWidth(3, 170);
        tree->header()->setStretchLastSection(false);
        tree->header()->setSectionResizeMode(2, QHeaderView::Stretch);
        tree->header()->setSectionResizeMode(4, QHeaderView::ResizeToContents);
        // Flaggor fits the rows in view: measuring a thousand rows at every change of a large tree's layout would
        // cost a poll more than the rest of its update.
        tree->header()->setResizeContentsPrecision(0);
    }
    Q_EMIT treeShown(entry.id);
}

bool ServerView::looking() const
{
    return isVisible() && window()->isActiveWindow() && !window()->isMinimized();
}

void ServerView::noteChanges()
{
    bool changed = false;
    // Rows moved: the view draws the new layout, branches found anew included; only marks of rows that went change
    // what the tab, the tray and Aktiva larm show.
    if (liveTree->laidOutAnew() && !marks.isEmpty())
        changed = marks.follow([this](const QString& key) { return liveTree->find(key); });
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ownChanges.removeIf([&now](const auto& own) { return own.second < now; });
    if (!looking()) {
        for (const QStandardItem* row : liveTree->statusChangedRows()) {
            const auto target = treemodel::Target::of(row->data(treemodel::TargetRole).toMap());
            if (target.kind == treemodel::Kind::Group || target.kind == treemodel::Kind::None)
                continue; // a group's status sums up its rows', which are marked themselves
            const bool own = std::any_of(ownChanges.cbegin(), ownChanges.cend(), [&target](const auto& acted) {
                return acted.first == target
                    || (acted.first.kind == treemodel::Kind::Host && acted.first.hostId == target.hostId);
            });
            if (!own) {
                marks.mark(row, now);
                changed = true;
            }
        }
    }
    if (changed) {
        treeState->marksChanged();
        Q_EMIT marksChanged(entry.id);
    }
}

void ServerView::see(const QModelIndex& index)
{
    if (index.isValid() && marks.unmark(treeState->keyAt(index))) {
        treeState->marksChanged(true);
        Q_EMIT marksChanged(entry.id);
    }
}

void ServerView::markAllSeen()
{
    if (marks.isEmpty())
        return;
    marks.clear();
    treeState->marksChanged();
    Q_EMIT marksChanged(entry.id);
}

void ServerView::setChangedOnly(bool on)
{
    treeState->setChangedOnly(on);
}

void ServerView::actedOn(const treemodel::Target& target)
{
    // A re-check runs at the server's pace; two minutes cover the polls that bring its result.
    ownChanges.append({target, QDateTime::currentDateTimeUtc().addSecs(120)});
}

void ServerView::applyFilter(const QString& text)
{
    treeState->applyFilter(text);
}

void ServerView::setProblemsOnly(bool on)
{
    treeState->setProblemsOnly(on);
}

bool ServerView::showRow(const treemodel::Target& target)
{
    if (!treeState->showRow(target))
        return false;
    tabs->setCurrentWidget(tree);
    tree->setFocus(Qt::OtherFocusReason);
    return true;
}

void ServerView::showTargetMenu(const treemodel::Target& target, const actions::RowState& row, const QPoint& at)
{
    treeActions->showMenu(target, row, at);
}

void ServerView::acknowledge(const treemodel::Target& target)
{
    treeActions->run(actions::Kind::Acknowledge, target);
}

void ServerView::focusTree()
{
    tabs->setCurrentWidget(tree);
    tree->setFocus(Qt::ShortcutFocusReason);
    if (!tree->currentIndex().isValid() && tree->model()->rowCount() > 0)
        tree->setCurrentIndex(tree->model()->index(0, 0));
}

bool ServerView::eventFilter(QObject* object, QEvent* event)
{
    if (object == tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            activateCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(object, event);
}

// Return on a check or port opens its chart; on any other row, it opens or closes the row.
void ServerView::activateCurrent()
{
    const QModelIndex current = tree->currentIndex();
    if (!current.isValid())
        return;
    const treemodel::Target target = treeState->targetAt(current);
    if (target.chartable()) {
        treeActions->run(actions::Kind::Chart, target);
        return;
    }
    const QModelIndex row = current.siblingAtColumn(0);
    tree->setExpanded(row, !tree->isExpanded(row));
}

void ServerView::onDoubleClick(const QModelIndex& index)
{
    const treemodel::Target target = treeState->targetAt(index);
    if (target.chartable())
        treeActions->run(actions::Kind::Chart, target);
}

void ServerView::contextMenu(const QPoint& pos)
{
    const QModelIndex index = tree->indexAt(pos);
    if (!index.isValid() || !index.siblingAtColumn(0).data(treemodel::TargetRole).isValid())
        return;
    // Copies: the tree may change while the menu or an action waits.
    seenAction->setEnabled(!marks.isEmpty());
    treeActions->showMenu(
        treeState->targetAt(index), treeState->stateAt(index), tree->viewport()->mapToGlobal(pos), {seenAction});
}
