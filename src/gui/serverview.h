// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/actions.h"
#include "core/alarmreading.h"
#include "core/settings.h"
#include "gui/changemarks.h"
#include "tree/treediff.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

struct ActiveAlarm;
struct OpenAlarm;
class AlarmLogView;
class ApiClient;
class PollerThread;
class QAction;
class QFrame;
class QLabel;
class QModelIndex;
class QPushButton;
class QStandardItemModel;
class QTabWidget;
class QTreeView;
class TreeActions;
class TreeState;
class VersionNotice;
namespace treemodel {
class LiveTree;
}

// The tab of one server in the main window: the live status tree, the alarm log, the status texts the main window
// shows for the current tab, a banner when polling fails or the login is lost, and the actions on checks, ports and
// hosts. Owns the server's client for the user's actions and one background poller. GUI thread only.
class ServerView : public QWidget {
    Q_OBJECT
public:
    ServerView(const settings::ServerEntry& entry, const QString& token, QWidget* parent);
    ~ServerView() override;

    void setEntry(const settings::ServerEntry& entry);
    void reconnect(const QString& token);
    void logout();
    void shutdown();
    void refreshNow();
    void applySettings();
    void applyFilter(const QString& text);
    // "Bara problem": only alarming rows and their ancestors; combines with the text filter.
    void setProblemsOnly(bool on);
    void focusTree();
    // Fills in what the tree shows of an open alarm: the output and last-OK texts of its row (for a server that does
    // not answer, the banner's text).
    void describe(ActiveAlarm& row, const OpenAlarm& alarm) const;
    // Makes the row of a check or port current, its ancestors open, and gives the tree the focus. False when the
    // tree shows no such row (it is not there, or a filter hides it).
    bool showRow(const treemodel::Target& target);
    // The tree's context menu for a target, at a point of the screen.
    void showTargetMenu(const treemodel::Target& target, const actions::RowState& row, const QPoint& at);
    // Asks for the comment of an acknowledgement and sends it, as the menu's "Kvittera…" does.
    void acknowledge(const treemodel::Target& target);
    // The operator acted on a target: for a while, its status changes (for a host, those of its checks and ports
    // too) are the action's, not news.
    void actedOn(const treemodel::Target& target);
    // Rows whose status changed while the operator was not looking at them, and the operator having seen them all.
    int unseenCount() const { return marks.count(); }
    void markAllSeen();
    // "Bara ändrade": only those rows and their ancestors.
    void setChangedOnly(bool on);
    // Whether the user may act on alarms here (the roles "admin" and "operator").
    bool mayAct() const { return canAct; }
    // The login's token, for requests that run beside the tab's own.
    QString token() const;
    // The tab's own client, for the operator's actions. It is replaced when the server is logged in to anew.
    ApiClient& apiClient() const { return *client; }
    // Shows a tree in place: rows change where the tree changed, and the viewport, the current row, the expansion
    // and the filter stay as the user left them. Fed by the poller.
    void onTree(const treemodel::TreeUpdatePtr& update);
    // Whether the last tree shown may have changed what describe() tells of an alarm about this check or port.
    bool describedAnew(const treemodel::Target& target) const;

    // Read by the main window; written only by the view.
    settings::ServerEntry entry;
    QString status = QStringLiteral("pending");
    QJsonObject lastStatus;
    AlarmReadingPtr lastAlarms; // the alarm book's reading of lastStatus
    bool hasStatus = false;
    QString serverTimeText;
    QString summaryText = QStringLiteral("Ansluter…");
    QString versionText;
    bool unreachable = false; // poll rounds failed twice or more in a row; status is then "unknown"

Q_SIGNALS:
    void statusChanged(const QString& serverId);
    void authLost(const QString& serverId);
    void reloginRequested(const QString& serverId);
    void message(const QString& text, int timeoutMs);
    // A tree has been shown: the texts describe() reads may have changed.
    void treeShown(const QString& serverId);
    // Rows were marked as changed unseen, or seen.
    void marksChanged(const QString& serverId);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    // Polling and status texts.
    void startPoller();
    void stopPoller();
    void onMe(const QJsonObject& payload);
    void onStatus(const QJsonObject& payload, const AlarmReadingPtr& alarms);
    void onError(const QString& message);
    void onAuthLost();
    void onCertificateRefused();
    void showBanner(const QString& text, bool buttonVisible, const QString& buttonText);
    void showLoginNeeded();
    void setUnreachable(bool on);
    void updateStatusLabels(const QJsonObject& payload);
    void setServerVersion(const QString& version);

    void nameForScreenReaders();

    // The tree.
    // Whether the operator is looking at this tab: its window active, not minimised or hidden, the tab current.
    bool looking() const;
    // Marks the rows whose status the last tree changed while the operator was not looking.
    void noteChanges();
    void see(const QModelIndex& index);
    void activateCurrent();
    void onDoubleClick(const QModelIndex& index);
    void contextMenu(const QPoint& pos);

    std::unique_ptr<ApiClient> client;
    // Clients replaced while a request of theirs still waited; kept until it has returned.
    std::vector<std::unique_ptr<ApiClient>> retiredClients;
    bool canAct = false;
    QFrame* banner;
    QLabel* bannerLabel;
    QPushButton* bannerButton;
    QStandardItemModel* model;
    std::unique_ptr<treemodel::LiveTree> liveTree;
    QTreeView* tree;
    ChangeMarks marks;
    QAction* seenAction; // "Markera allt som sett", in the row menu; a child
    // Targets the operator has acted on, until when a change of their status is the action's own.
    QList<QPair<treemodel::Target, QDateTime>> ownChanges;
    std::unique_ptr<TreeState> treeState;
    TreeActions* treeActions; // a child
    QTabWidget* tabs;
    AlarmLogView* alarmLog;
    VersionNotice* versionNotice;
    PollerThread* poller = nullptr;
    int treesHandled = 0; // tree payloads of the current poller that have reached the view
    bool firstTree = true;
    int failedRounds = 0; // in a row
    QDateTime firstFailure; // of the failures in a row
    QDateTime lastAnswer; // the last status payload's arrival
    QString serverTime; // the last server time a status payload gave
};
