#pragma once

#include <QJsonObject>
#include <QMap>
#include <QMenu>
#include <QPair>
#include <QSet>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <optional>

class MainWindow;

// The tray icon that sums up every connected server: its badge shows the worst open alarm, it blinks while any
// alarm is open, its tooltip gives the counts, and a notification lists alarms that are new since the last poll.
// Fed by the main window, its parent, with each server's status payload. GUI thread only.
class NorvTray : public QSystemTrayIcon {
    Q_OBJECT
public:
    // What the tray keeps of one server's last status payload.
    struct ServerState {
        QString label;
        QJsonObject summary;
        QMap<QString, QJsonObject> alarms; // alarming problems by alarm key
    };

    // One alarm the tray counts: an alarming problem of a server's last payload, or a server that does not answer
    // (its problem then empty, its status "unknown").
    struct OpenAlarm {
        QString key;
        QString serverId;
        QString label; // the server's
        QJsonObject problem;
        QString status;
        QString host; // the host and the check or port, as the notifications name them
        QString item;
    };

    NorvTray(MainWindow* window, QObject* parent);

    void updateStatus(const QJsonObject& status, const QString& serverId, const QString& label);
    void removeServer(const QString& serverId);
    // The server does not answer: one alarm of state "unknown" until its next status payload (its last alarms stay).
    void setUnreachable(const QString& serverId, const QString& label);
    // Whether a tray host shows the icon: the desktop's answer, unless a test has set it.
    static bool available();
    static std::optional<bool>& availabilityForTests();
    // The worst state word of the alarms, by alarm priority, and whether there is any alarm.
    static QPair<QString, bool> alarmState(const QMap<QString, QString>& statuses);
    // Every alarm counted now, in the order of their keys.
    QList<OpenAlarm> openAlarms() const;
    // The rank of an alarm's status word: "critical" over "unknown" over "warning"; 0 for any other word.
    static int alarmPriority(const QString& status);
    void refresh(bool notify, const QSet<QString>& suppress);
    // Shows a balloon message beside the tray (new alarms, a lost login), for 10 s.
    void showBalloon(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon);

Q_SIGNALS:
    // Emitted with every balloon message, just before it is shown.
    void notified(const QString& title, const QString& body);

private:
    void blinkTick();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void showWindow();
    void toggleWindow();
    void announce(const QList<OpenAlarm>& fresh);

    MainWindow* window;
    std::optional<QSet<QString>> knownAlarms;
    QMap<QString, ServerState> states;
    QMap<QString, QString> unreachable; // labels of the servers that do not answer, by id
    QTimer blinkTimer;
    QString currentState = QStringLiteral("pending");
    bool blinkPhase = true;
    QMenu menu;
};
