// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <optional>

class AlarmBook;

// The tray icon, a view of the alarm book: its badge shows the worst open alarm, it blinks while any alarm is open,
// and its tooltip gives the counts. Its clicks and menu ask for the window through signals; it also shows the balloon
// messages of a desktop without a notification service. Owned by the main window. GUI thread only.
class NorvTray : public QSystemTrayIcon {
    Q_OBJECT
public:
    NorvTray(const AlarmBook* book, QObject* parent);

    // Whether a tray host shows the icon: the desktop's answer, unless a test has set it.
    static bool available();
    static std::optional<bool>& availabilityForTests();
    // How many rows of every tree changed while the operator was away; the tooltip tells.
    void setUnseen(int count);
    // Whether the badge blinks: while any alarm is open.
    bool blinking() const { return blinkTimer.isActive(); }
    // Shows a balloon message beside the tray, for 10 s.
    void showBalloon(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon);

Q_SIGNALS:
    // Emitted with every balloon message, just before it is shown.
    void notified(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon);
    // "Visa Norv" in the menu.
    void showWindowRequested();
    // A plain click: the window is to be hidden when it is in view, shown otherwise.
    void toggleWindowRequested();
    // "Avsluta" in the menu.
    void quitRequested();

private:
    void refresh();
    void blinkTick();

    const AlarmBook* book;
    QTimer blinkTimer;
    QString currentState; // the alarm book's, as of the last refresh
    bool blinkPhase = true;
    int unseen = 0;
    QMenu menu;
};
