#include "serverview.h"

#include "actions.h"
#include "alarms.h"
#include "alarmview.h"
#include "apiclient.h"
#include "dialogs.h"
#include "icons.h"
#include "poller.h"
#include "treemodel.h"
#include "version.h"
#include "versionnotice.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStack>
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

// What the row of a tree index stands for.
treemodel::Target targetAt(
    const QSortFilterProxyModel* proxy, const QStandardItemModel* model, const QModelIndex& proxyIndex)
{
    const QStandardItem* item = model->itemFromIndex(proxy->mapToSource(proxyIndex).siblingAtColumn(0));
    return treemodel::Target::of(item ? item->data(treemodel::TargetRole).toMap() : QVariantMap());
}

// A scalar as its text; arrays, objects, null and absence as empty text.
QString scalarText(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble() || value.isBool())
        return value.toVariant().toString();
    return QString();
}

// Visits every item of column 0 below an item, depth first, rows in order, without recursion.
template <typename Visit> void forEachRow(QStandardItem* top, Visit visit)
{
    QStack<QStandardItem*> pending;
    pending.push(top);
    while (!pending.isEmpty()) {
        QStandardItem* parent = pending.pop();
        for (int r = parent->rowCount() - 1; r >= 0; --r) {
            if (QStandardItem* child = parent->child(r, 0))
                pending.push(child);
        }
        if (parent != top && !visit(parent))
            return;
    }
}

// The tree's filter: the operator's text and, with "Bara problem", alarming rows only. A row must pass both; the
// ancestors of a row that passes show as well (recursive filtering, on while either is in force).
class TreeFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setProblemsOnly(bool on)
    {
        problemsOnly = on;
        invalidateFilter();
    }

    // Rows drawn as old: every text, status word and dot in this colour; an invalid colour draws them as they are.
    void setOld(const QColor& color)
    {
        old = color;
        oldDot = color.isValid() ? icons::dotIcon(color, 12) : QIcon();
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (old.isValid() && role == Qt::ForegroundRole)
            return QBrush(old);
        if (old.isValid() && role == Qt::DecorationRole && index.column() == 0)
            return oldDot;
        return QSortFilterProxyModel::data(index, role);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (problemsOnly
            && !treemodel::isAlarming(sourceModel()->index(row, 0, parent).data(treemodel::StatusRole).toString()))
            return false;
        return QSortFilterProxyModel::filterAcceptsRow(row, parent);
    }

private:
    bool problemsOnly = false;
    QColor old;
    QIcon oldDot;
};

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
    , proxy(new TreeFilter(this))
    , tree(new QTreeView(this))
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
    versionNotice->setObjectName(QStringLiteral("versionNotice"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    banner->setFrameShape(QFrame::StyledPanel);
    bannerLabel->setWordWrap(true);
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->addWidget(bannerLabel, 1);
    bannerLayout->addWidget(bannerButton, 0);
    connect(bannerButton, &QPushButton::clicked, this, [this] { Q_EMIT reloginRequested(this->entry.id); });
    banner->hide();
    layout->addWidget(banner);

    proxy->setSourceModel(model);
    // Recursive filtering re-examines every ancestor of a changed row, up to the top: only worth it while a filter
    // is in force (applyFilter).
    proxy->setRecursiveFilteringEnabled(false);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setFilterKeyColumn(0);

    tree->setModel(proxy);
    tree->setAlternatingRowColors(true);
    // Every row is one line high. Without this, each changed cell makes the view lay its row's text out anew to
    // measure it, and a poll changes thousands of cells (every "Senast OK" moves on).
    tree->setUniformRowHeights(true);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, &ServerView::contextMenu);
    // The keyboard's ways to the same menu, for the current row.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, tree, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (tree->currentIndex().isValid())
                contextMenu(tree->visualRect(tree->currentIndex()).center());
        });
    }
    connect(tree, &QTreeView::expanded, this, &ServerView::rememberExpanded);
    connect(tree, &QTreeView::collapsed, this, &ServerView::forgetExpanded);
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
}

void ServerView::setEntry(const settings::ServerEntry& newEntry)
{
    entry = newEntry;
    versionNotice->serverLabel = entry.label();
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
    setServerVersion(scalarText(payload.value(QLatin1String("server_version"))));
    Q_EMIT statusChanged(entry.id);
}

void ServerView::setServerVersion(const QString& version)
{
    versionText = QStringLiteral("klient %1 · server %2")
                      .arg(appversion::clientVersion(), version.isEmpty() ? QStringLiteral("?") : version);
    versionNotice->checkVersion(version);
}

void ServerView::onStatus(const QJsonObject& payload)
{
    failedRounds = 0;
    lastAnswer = QDateTime::currentDateTime();
    setUnreachable(false);
    banner->hide();
    updateStatusLabels(payload);
    const QJsonValue word = payload.value(QLatin1String("status"));
    status = word.isString() ? word.toString() : QStringLiteral("ok");
    lastStatus = payload;
    hasStatus = true;
    Q_EMIT statusChanged(entry.id);
}

void ServerView::updateStatusLabels(const QJsonObject& payload)
{
    const QJsonValue version = payload.value(QLatin1String("server_version"));
    if (!version.isUndefined() && !version.isNull())
        setServerVersion(scalarText(version));
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

void ServerView::onTree(const treemodel::TreeUpdatePtr& update)
{
    const QString key = keyAt(tree->currentIndex());
    // The row at the top of the viewport is the operator's place in the tree: it stays at the top.
    const QModelIndex top = tree->indexAt(QPoint(1, 1));
    const QString topKey = keyAt(top);
    const int topOffset = top.isValid() ? tree->visualRect(top).top() : 0;
    QList<QPersistentModelIndex> inserted;
    const QMetaObject::Connection watch = connect(proxy, &QAbstractItemModel::rowsInserted, this,
        [this, &inserted](const QModelIndex& parent, int first, int last) {
            for (int r = first; r <= last; ++r)
                inserted.append(proxy->index(r, 0, parent));
        });
    liveTree->apply(update);
    disconnect(watch);

    if (firstTree) {
        firstTree = false;
        tree->setColumnWidth(0, 380);
        tree->setColumnWidth(1, 110);
        tree->setColumnWidth(3, 170);
        tree->header()->setStretchLastSection(false);
        tree->header()->setSectionResizeMode(2, QHeaderView::Stretch);
        tree->header()->setSectionResizeMode(4, QHeaderView::ResizeToContents);
    }
    // Rows that are new to the view (new nodes, moved nodes, rows the filter lets through now) open as the
    // operator left their nodes, or all of them under a filter.
    restoring = true;
    for (const QPersistentModelIndex& index : std::as_const(inserted))
        expandInserted(index);
    restoring = false;
    if (!key.isEmpty() && keyAt(tree->currentIndex()) != key)
        restoreCurrent(key);
    if (!topKey.isEmpty()) {
        const QStandardItem* item = liveTree->find(topKey);
        const QModelIndex now = item ? proxy->mapFromSource(item->index()) : QModelIndex();
        if (now.isValid() && tree->visualRect(now).top() != topOffset)
            tree->scrollTo(now, QAbstractItemView::PositionAtTop);
    }
    Q_EMIT treeShown(entry.id);
}

void ServerView::expandInserted(const QModelIndex& proxyIndex)
{
    if (!proxyIndex.isValid())
        return;
    if (filtering()) {
        tree->expandRecursively(proxyIndex);
        return;
    }
    if (expandedKeys.isEmpty())
        return;
    QStandardItem* top = model->itemFromIndex(proxy->mapToSource(proxyIndex).siblingAtColumn(0));
    if (!top)
        return;
    auto expandKnown = [this](QStandardItem* item) {
        if (expandedKeys.contains(item->data(treemodel::KeyRole).toString())) {
            const QModelIndex index = proxy->mapFromSource(item->index());
            if (index.isValid())
                tree->expand(index);
        }
        return true;
    };
    expandKnown(top);
    forEachRow(top, expandKnown);
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
    static_cast<TreeFilter*>(proxy)->setOld(on ? tree->palette().color(QPalette::Disabled, QPalette::Text) : QColor());
    tree->viewport()->update();
}

void ServerView::showLoginNeeded()
{
    status = QStringLiteral("pending");
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

QString ServerView::keyAt(const QModelIndex& proxyIndex) const
{
    const QStandardItem* item = model->itemFromIndex(proxy->mapToSource(proxyIndex).siblingAtColumn(0));
    return item ? item->data(treemodel::KeyRole).toString() : QString();
}

void ServerView::rememberExpanded(const QModelIndex& index)
{
    if (restoring)
        return;
    const QString key = keyAt(index);
    if (!key.isEmpty())
        expandedKeys.insert(key);
}

void ServerView::forgetExpanded(const QModelIndex& index)
{
    if (restoring)
        return;
    expandedKeys.remove(keyAt(index));
}

void ServerView::restoreExpanded()
{
    restoring = true;
    if (!expandedKeys.isEmpty()) {
        forEachRow(model->invisibleRootItem(), [this](QStandardItem* item) {
            if (expandedKeys.contains(item->data(treemodel::KeyRole).toString())) {
                const QModelIndex index = proxy->mapFromSource(item->index());
                if (index.isValid())
                    tree->expand(index);
            }
            return true;
        });
    }
    restoring = false;
}

// Makes the row with this key current again without scrolling to it: a poll never moves the viewport. A row that
// vanished leaves no current row.
void ServerView::restoreCurrent(const QString& key)
{
    const QStandardItem* found = liveTree->find(key);
    const QModelIndex index = found ? proxy->mapFromSource(found->index()) : QModelIndex();
    restoring = true;
    if (index.isValid())
        tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else
        tree->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    restoring = false;
}

void ServerView::applyFilter(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == filterText)
        return;
    filterText = trimmed;
    refilter([this] { proxy->setFilterFixedString(filterText); });
}

void ServerView::setProblemsOnly(bool on)
{
    if (on == problemsOnly)
        return;
    problemsOnly = on;
    refilter([this] { static_cast<TreeFilter*>(proxy)->setProblemsOnly(problemsOnly); });
}

bool ServerView::filtering() const
{
    return !filterText.isEmpty() || problemsOnly;
}

// Under a filter every row that passes shows, the whole tree open; without one, the operator's own expansion.
void ServerView::refilter(const std::function<void()>& change)
{
    proxy->setRecursiveFilteringEnabled(filtering());
    change();
    restoring = true;
    if (filtering())
        tree->expandAll();
    else
        tree->collapseAll();
    restoring = false;
    if (!filtering())
        restoreExpanded();
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
}

bool ServerView::showRow(const treemodel::Target& target)
{
    const treemodel::LiveTree::Row row = liveTree->findTarget(target);
    const QModelIndex index = row.item ? proxy->mapFromSource(row.item->index()) : QModelIndex();
    if (!index.isValid())
        return false;
    tabs->setCurrentWidget(tree);
    // Not a restore: the ancestors opened here stay open, as if the operator had opened them.
    for (QModelIndex ancestor = index.parent(); ancestor.isValid(); ancestor = ancestor.parent())
        tree->expand(ancestor);
    tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree->scrollTo(index);
    tree->setFocus(Qt::OtherFocusReason);
    return true;
}

void ServerView::focusTree()
{
    tabs->setCurrentWidget(tree);
    tree->setFocus(Qt::ShortcutFocusReason);
    if (!tree->currentIndex().isValid() && proxy->rowCount() > 0)
        tree->setCurrentIndex(proxy->index(0, 0));
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

void ServerView::activateCurrent()
{
    const QModelIndex current = tree->currentIndex();
    if (!current.isValid())
        return;
    const treemodel::Target target = targetAt(proxy, model, current);
    if (target.chartable()) {
        showChart(target);
        return;
    }
    const QModelIndex row = current.siblingAtColumn(0);
    tree->setExpanded(row, !tree->isExpanded(row));
}

void ServerView::onDoubleClick(const QModelIndex& index)
{
    const treemodel::Target target = targetAt(proxy, model, index);
    if (target.chartable())
        showChart(target);
}

void ServerView::contextMenu(const QPoint& pos)
{
    const QModelIndex index = tree->indexAt(pos);
    if (!index.isValid())
        return;
    const QStandardItem* item = model->itemFromIndex(proxy->mapToSource(index).siblingAtColumn(0));
    if (!item)
        return;
    const QVariant data = item->data(treemodel::TargetRole);
    if (!data.isValid() || data.isNull())
        return;
    // Copies: the tree may be rebuilt while the menu or an action waits.
    showTargetMenu(treemodel::Target::of(data.toMap()), item->data(treemodel::StatusRole).toString(),
        tree->viewport()->mapToGlobal(pos));
}

void ServerView::showTargetMenu(const treemodel::Target& target, const QString& statusWord, const QPoint& at)
{
    const QString& kind = target.kind;
    QMenu menu(this);
    QHash<QAction*, std::function<void()>> entries;
    auto add = [&](const QString& text, void (ServerView::*action)(const treemodel::Target&)) {
        entries.insert(menu.addAction(text), [this, action, target] { (this->*action)(target); });
    };
    if (kind == QLatin1String("plugin") || kind == QLatin1String("port")) {
        if (canAct) {
            if (treemodel::isAlarming(statusWord))
                add(QStringLiteral("&Kvittera…"), &ServerView::acknowledge);
            add(QStringLiteral("&Avkvittera"), &ServerView::unacknowledge);
            add(QStringLiteral("&Stör ej…"), &ServerView::dnd);
            if (kind == QLatin1String("plugin"))
                add(QStringLiteral("Kör &recheck"), &ServerView::recheck);
            menu.addSeparator();
        }
        add(QStringLiteral("&Graf…"), &ServerView::showChart);
    } else if (kind == QLatin1String("host") && canAct) {
        add(QStringLiteral("&Kör recheck (alla checkar)"), &ServerView::recheck);
        add(QStringLiteral("&Stör ej hela enheten…"), &ServerView::dnd);
    }
    if (entries.isEmpty())
        return;
    // The chosen action runs after the menu has closed, not inside its event loop.
    if (QAction* chosen = menu.exec(at))
        entries.value(chosen)();
}

void ServerView::acknowledge(const treemodel::Target& t)
{
    bool ok = false;
    const QString comment = askAckComment(this, t.name, &ok);
    if (ok)
        act(QStringLiteral("Kvittensen"), actions::Kind::Acknowledge, t, {comment, 0, {}});
}

void ServerView::unacknowledge(const treemodel::Target& t)
{
    act(QStringLiteral("Avkvitteringen"), actions::Kind::Unacknowledge, t, {});
}

void ServerView::recheck(const treemodel::Target& t)
{
    act(QStringLiteral("Recheck"), actions::Kind::Recheck, t, {});
}

void ServerView::dnd(const treemodel::Target& t)
{
    DndDialog dialog(t.name, this);
    if (dialog.exec() == QDialog::Accepted)
        act(QStringLiteral("Stör ej"), actions::Kind::Silence, t, {{}, dialog.minutes(), dialog.reason()});
}

void ServerView::showChart(const treemodel::Target& target)
{
    auto* dialog = new ChartDialog(client->baseUrl(), client->token(), target.map(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void ServerView::act(
    const QString& label, actions::Kind kind, const treemodel::Target& target, const actions::Choice& choice)
{
    try {
        // The operator sees that the click was taken while the server is still answering.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        actions::send(*client, kind, target, choice);
    } catch (const ApiError& e) {
        QMessageBox::warning(this, QStringLiteral("Norv"), QStringLiteral("%1 misslyckades: %2").arg(label, e.message));
        return;
    }
    Q_EMIT message(QStringLiteral("%1 utförd").arg(label), 5000);
    refreshNow();
}
