// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings.h"

#include <QDialog>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <optional>

class ActiveAlarmsView;
class AlarmFeed;
class Announcer;
class AlarmBook;
class BulkBar;
class DesktopNotifier;
class NorvTray;
class QDockWidget;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class ServerTabs;
class ServerView;
struct Notice;
struct OpenAlarm;
namespace treemodel {
struct Target;
}
namespace actions {
enum class Kind;
}

// The worst of the views' status words by the main window's status rank; "ok" for none, "pending" when every
// word ranks 0.
QString worstStatus(const QList<QString>& statuses);

// The application's only window: one tab per connected server, a toolbar with the search filter, a status bar
// that mirrors the current tab, and the tray icon. The hub between the server views, the tray, the settings and
// the dialogs. Closing it hides it to the tray; only "Avsluta" ends the program.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    ServerView* openServer(const settings::ServerEntry& entry, const QString& token);
    void closeServer(const QString& id);
    void removeServer(const QString& id);
    void renameServer(const QString& id);
    void relogin(const QString& id);
    std::optional<settings::ServerEntry> addServer();

    QList<ServerView*> views() const; // in tab order
    ServerView* view(const QString& id) const; // the open view of a server, or none
    ServerView* currentView() const;
    NorvTray* trayIcon() const { return tray; }
    AlarmBook* alarms() const { return alarmBook; }

    void applyFilter(const QString& text);
    void focusTree();
    void refreshCurrent();
    void selectFirstTab();
    void openSettings();
    void openServersDialog();
    void bringToTop();
    void quitApp();
    bool isQuitting() const { return quitting; }
    // Called once when the program starts to end, before the servers are let go of (which can take a while): start-up
    // lets a copy started now run at once.
    std::function<void()> beforeQuit;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    // The steps of construction.
    void buildToolbar();
    void buildShortcuts();
    void buildStatusBar();
    void buildTabs();
    void buildEmptyPage();
    void buildAlarmPanel();
    void buildTrayAndNotifications();

    void attach(ServerView* view);
    void onViewStatus(const QString& id);
    void onViewAuthLost(const QString& id);
    void updateOverall();
    void updateStatusLabels();
    void updateTab(ServerView* view);
    void onCurrentChanged();
    // The alarm's server's tab, and in it the alarm's row; the tab alone for a server's own alarm.
    void showAlarm(const QString& serverId, const treemodel::Target& target);
    // The menu of several selected alarms of "Aktiva larm": one action, one prompt, every alarm's own request.
    void onNoticeAction(const Notice& notice, const QString& action, const QString& activationToken);
    // Whether the tray icon is really there to bring the window back: shown, on a desktop that has a tray.
    bool trayShown() const;

    QLineEdit* filterEdit;
    QLabel* timeLabel;
    QLabel* summaryLabel;
    QLabel* versionLabel;
    ServerTabs* serverTabs;
    QWidget* emptyPage;
    QStackedWidget* stack;
    ActiveAlarmsView* alarmPanel;
    AlarmFeed* alarmFeed = nullptr;
    QDockWidget* alarmDock;
    QPushButton* problemsButton;
    QPushButton* changedButton;
    QPushButton* panelButton;
    BulkBar* bulkBar; // in the status bar
    AlarmBook* alarmBook;
    NorvTray* tray;
    DesktopNotifier* notifier;
    Announcer* announcer;
    bool toldWatching = false; // the operator has heard that the client watches on without its window
    bool quitting = false;
};
