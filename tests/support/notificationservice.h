// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace testsupport {

class Marker;

// A private session bus for one test program: a dbus-daemon of its own, which nothing else can reach, made the
// program's session bus. Start it before anything in the program uses the session bus.
class PrivateBus {
public:
    ~PrivateBus();

    bool start(); // false when no dbus-daemon can be started
    QString address() const { return busAddress; }

private:
    QProcess daemon;
    QString busAddress;
};

// A desktop notification service of the tests' own: owns org.freedesktop.Notifications on a bus through a connection
// of its own, answers with the name and capabilities it is given, records every Notify and CloseNotification, and
// emits the service's signals on request.
class NotificationService : public QDBusVirtualObject {
public:
    struct Notification {
        uint id;
        QString appName;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout;
    };

    explicit NotificationService(const QString& busAddress);
    ~NotificationService() override;

    // Takes the service's name with these capabilities, naming itself so; false when the name cannot be had.
    bool start(const QStringList& capabilities, const QString& name = QStringLiteral("norv-test"));
    // Gives the name up: the bus then has no notification service.
    void stop();
    // Emits a signal of the service: ActionInvoked (id, action) or NotificationClosed (id, reason).
    void emitSignal(const QString& name, const QList<QVariant>& arguments);
    // Waits until every call the program has made on its session bus has reached the service, and every signal the
    // service has emitted has been handled on the program's thread: what has not happened by then never will.
    bool sync();

    QList<Notification> notifications;
    // Every call, in order: "Notify <replaced id> <summary> <urgency>" or "Close <id>".
    QStringList calls;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusConnection connection;
    std::unique_ptr<Marker> marker;
    QStringList capabilities;
    QString name;
    uint lastId = 0;
};

} // namespace testsupport
