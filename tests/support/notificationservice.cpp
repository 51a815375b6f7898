// SPDX-License-Identifier: GPL-3.0-or-later
#include "notificationservice.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QTemporaryFile>
#include <QTest>

namespace testsupport {

namespace {

const QString Name = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

// A session bus that anyone on it may use, and that starts no services of the machine's own: a notification
// daemon that happens to be installed would otherwise answer when the test has no service.
const char* const Config = "<busconfig><type>session</type><listen>unix:tmpdir=%1</listen><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                           "<allow own=\"*\"/></policy></busconfig>";

} // namespace

PrivateBus::~PrivateBus()
{
    daemon.kill();
    daemon.waitForFinished(3000);
}

bool PrivateBus::start()
{
    static QTemporaryFile config(QDir::tempPath() + QStringLiteral("/norv-bus-XXXXXX.conf"));
    if (!config.open())
        return false;
    config.write(QString::fromLatin1(Config).arg(QDir::tempPath()).toUtf8());
    config.flush();
    daemon.start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--print-address"),
            QStringLiteral("--nofork")});
    if (!daemon.waitForStarted(5000))
        return false;
    while (!daemon.canReadLine()) {
        if (!daemon.waitForReadyRead(5000))
            return false;
    }
    busAddress = QString::fromUtf8(daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());
    return !busAddress.isEmpty();
}

// Counts the service's marker signals as the program's own session bus connection delivers them.
class Marker : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void arrived() { ++seen; }
    int seen = 0;
};

NotificationService::NotificationService(const QString& busAddress)
    : connection(QDBusConnection::connectToBus(busAddress, QStringLiteral("norv-test-notifications")))
    , marker(std::make_unique<Marker>())
{
    // Listened for from the start: the bus learns of a listener while the program runs on.
    QDBusConnection::sessionBus().connect(
        QString(), Path, Name, QStringLiteral("NorvTestMarker"), marker.get(), SLOT(arrived()));
}

NotificationService::~NotificationService()
{
    stop();
    QDBusConnection::disconnectFromBus(connection.name());
}

bool NotificationService::start(const QStringList& withCapabilities)
{
    capabilities = withCapabilities;
    return connection.registerVirtualObject(Path, this) && connection.registerService(Name);
}

void NotificationService::stop()
{
    notifications.clear();
    connection.unregisterService(Name);
    connection.unregisterObject(Path);
}

bool NotificationService::sync()
{
    // A bus keeps the order of the messages between two connections: the answer to this call comes after every
    // call made before it, the marker after every signal emitted before it.
    const QDBusPendingCall answered = QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(Name, Path, Name, QStringLiteral("GetServerInformation")));
    const int markers = marker->seen + 1;
    emitSignal(QStringLiteral("NorvTestMarker"), {});
    return QTest::qWaitFor([&] { return answered.isFinished() && marker->seen >= markers; }, 5000);
}

void NotificationService::emitSignal(const QString& name, const QList<QVariant>& arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(Path, Name, name);
    signal.setArguments(arguments);
    connection.send(signal);
}

// The client calls the service without asking what it offers.
QString NotificationService::introspect(const QString&) const
{
    return {};
}

bool NotificationService::handleMessage(const QDBusMessage& message, const QDBusConnection& from)
{
    if (message.member() == QLatin1String("GetCapabilities")) {
        from.send(message.createReply(QVariant(capabilities)));
        return true;
    }
    if (message.member() == QLatin1String("GetServerInformation")) {
        from.send(message.createReply(
            {QStringLiteral("norv-test"), QStringLiteral("Trelvik"), QStringLiteral("1"), QStringLiteral("1.2")}));
        return true;
    }
    if (message.member() != QLatin1String("Notify"))
        return false;
    const QList<QVariant> args = message.arguments();
    QVariantMap hints;
    const QDBusArgument map = args.value(6).value<QDBusArgument>();
    map >> hints;
    notifications.append({++lastId, args.value(0).toString(), args.value(2).toString(), args.value(3).toString(),
        args.value(4).toString(), args.value(5).toStringList(), hints});
    from.send(message.createReply(QVariant(lastId)));
    return true;
}

} // namespace testsupport

#include "notificationservice.moc"
