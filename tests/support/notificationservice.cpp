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

bool NotificationService::start(const QStringList& withCapabilities, const QString& withName)
{
    capabilities = withCapabilities;
    name = withName;
    return connection.registerVirtualObject(Path, this) && connection.registerService(Name);
}

void NotificationService::stop()
{
    notifications.clear();
    calls.clear();
    lastId = 0;
    connection.unregisterService(Name);
    connection.unregisterObject(Path);
}

bool NotificationService::sync()
{
    // A bus keeps the order of the messages between two connections: the answer to this call comes after every
    // call made before it, the marker after every signal emitted before it. A notification takes the program two
    // calls, the second made once the first is answered: three rounds see it through.
    for (int round = 0; round < 3; ++round) {
        const QDBusPendingCall answered = QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(Name, Path, Name, QStringLiteral("GetServerInformation")));
        const int markers = marker->seen + 1;
        emitSignal(QStringLiteral("NorvTestMarker"), {});
        if (!QTest::qWaitFor([&] { return answered.isFinished() && marker->seen >= markers; }, 5000))
            return false;
    }
    return true;
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
        from.send(message.createReply({name, QStringLiteral("Trelvik"), QStringLiteral("1"), QStringLiteral("1.2")}));
        return true;
    }
    if (message.member() == QLatin1String("CloseNotification")) {
        calls.append(QStringLiteral("Close %1").arg(message.arguments().value(0).toUInt()));
        from.send(message.createReply());
        emitSignal(QStringLiteral("NotificationClosed"), {message.arguments().value(0), 3u});
        return true;
    }
    if (message.member() != QLatin1String("Notify"))
        return false;
    const QList<QVariant> args = message.arguments();
    QVariantMap hints;
    const QDBusArgument map = args.value(6).value<QDBusArgument>();
    map >> hints;
    // A notification replaced keeps its id.
    const uint replaces = args.value(1).toUInt();
    const uint id = replaces != 0 ? replaces : ++lastId;
    notifications.append({id, args.value(0).toString(), args.value(2).toString(), args.value(3).toString(),
        args.value(4).toString(), args.value(5).toStringList(), hints, args.value(7).toInt()});
    calls.append(QStringLiteral("Notify %1 %2 %3")
                     .arg(replaces)
                     .arg(args.value(3).toString())
                     .arg(hints.value(QStringLiteral("urgency")).value<uchar>()));
    from.send(message.createReply(QVariant(id)));
    return true;
}

} // namespace testsupport

#include "notificationservice.moc"
