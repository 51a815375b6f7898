#include "singleinstance.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// The real program, started as its own process with a home of its own.
class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void secondStartWakesTheRunningCopy_data();
    void secondStartWakesTheRunningCopy();
    void secondProcessExitsAndFirstKeepsRunning();
    void staleSocketFileDoesNotBlock();
    void twoUsersRunOneCopyEach();
    void serversWithoutAutoconnectOpenNoTab();
    void socketIsTheUsersAlone();

private:
    // A configuration home with the stand-in server known; autoconnect as given.
    QString makeHome(bool autoconnect);
    QProcess* start(
        const QString& home, const QByteArray& user, bool unsetUser = false, const QByteArray& userName = QByteArray());
    bool stillRunning(QProcess* process, int ms);

    QTemporaryDir sockets; // TMPDIR of the test and of every copy: where the local sockets live
    QList<std::shared_ptr<QTemporaryDir>> homes;
    QList<QProcess*> processes;
    standin::StandinServer server;
};

void TestStartup::initTestCase()
{
    QVERIFY(server.listen());
    qputenv("TMPDIR", QFile::encodeName(sockets.path()));
}

void TestStartup::init()
{
    server.clearRequests();
}

void TestStartup::cleanup()
{
    for (QProcess* process : std::as_const(processes)) {
        process->kill();
        process->waitForFinished(5000);
        delete process;
    }
    processes.clear();
}

QString TestStartup::makeHome(bool autoconnect)
{
    auto home = std::make_shared<QTemporaryDir>();
    homes.append(home);
    const QString config = home->path() + QStringLiteral("/config/Trelvik");
    testsupport::writeFile(config + QStringLiteral("/NorvGUI.ini"),
        QStringLiteral("[servers]\n1\\id=00000000000a\n1\\url=%1\n1\\name=Stand-in\n"
                       "1\\autoconnect=%2\nsize=1\n")
            .arg(server.url(), autoconnect ? QStringLiteral("true") : QStringLiteral("false"))
            .toUtf8());
    testsupport::writeFile(config + QStringLiteral("/Norv GUI/tokens/00000000000a"),
        server.issueToken(QStringLiteral("viewer")).toUtf8() + '\n');
    return home->path();
}

QProcess* TestStartup::start(const QString& home, const QByteArray& user, bool unsetUser, const QByteArray& userName)
{
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("TMPDIR"), sockets.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("USERNAME"));
    if (unsetUser)
        env.remove(QStringLiteral("USER"));
    else
        env.insert(QStringLiteral("USER"), QString::fromUtf8(user));
    if (!userName.isNull())
        env.insert(QStringLiteral("USERNAME"), QString::fromUtf8(userName));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(NORV_GUI), {});
    processes.append(process);
    if (!process->waitForStarted(5000))
        qWarning("norv-gui did not start");
    return process;
}

bool TestStartup::stillRunning(QProcess* process, int ms)
{
    return !process->waitForFinished(ms) && process->state() == QProcess::Running;
}

void TestStartup::secondStartWakesTheRunningCopy_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<bool>("unsetUser");
    QTest::addColumn<QByteArray>("userName");
    QTest::addColumn<QString>("socket");
    // clang-format off
    QTest::newRow("USER") << QByteArray("anna") << false << QByteArray() << "norv-gui-anna";
    QTest::newRow("USER set but empty") << QByteArray("") << false << QByteArray("bo") << "norv-gui-";
    QTest::newRow("USERNAME when USER is unset") << QByteArray() << true << QByteArray("cilla") << "norv-gui-cilla";
    QTest::newRow("neither") << QByteArray() << true << QByteArray() << "norv-gui-norv";
    // clang-format on
}

// This process plays the running copy with the program's own guard; the real program is the second start.
void TestStartup::secondStartWakesTheRunningCopy()
{
    QFETCH(QByteArray, user);
    QFETCH(bool, unsetUser);
    QFETCH(QByteArray, userName);
    QFETCH(QString, socket);
    SingleInstance running(socket, nullptr);
    QVERIFY(running.acquire());
    QSignalSpy activated(&running, &SingleInstance::activated);
    QElapsedTimer clock;
    clock.start();
    QProcess* second = start(makeHome(true), user, unsetUser, userName);
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 10000);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE(activated.count(), 1);
    QVERIFY(server.requests().isEmpty()); // it ended before opening any tab
}

void TestStartup::secondProcessExitsAndFirstKeepsRunning()
{
    const QString home = makeHome(true);
    QProcess* first = start(home, "delad");
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests(QStringLiteral("/api/tree/status")).isEmpty(), 10000);
    QProcess* second = start(home, "delad");
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(stillRunning(first, 500));
    // The first copy answers again and again.
    QProcess* third = start(home, "delad");
    QVERIFY(third->waitForFinished(5000));
    QCOMPARE(third->exitCode(), 0);
    QVERIFY(stillRunning(first, 100));
}

void TestStartup::staleSocketFileDoesNotBlock()
{
    // A socket file that nobody listens on, as a killed copy leaves it.
    const QByteArray path = QFile::encodeName(sockets.path() + QStringLiteral("/norv-gui-gammal"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    QVERIFY(QFile::exists(QFile::decodeName(path)));

    const QString home = makeHome(true);
    QProcess* first = start(home, "gammal");
    QVERIFY(stillRunning(first, 1500));
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests().isEmpty(), 10000);
    QProcess* second = start(home, "gammal");
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitCode(), 0);
}

void TestStartup::twoUsersRunOneCopyEach()
{
    QProcess* first = start(makeHome(true), "user-ett");
    QProcess* second = start(makeHome(true), "user-tva");
    QVERIFY(stillRunning(first, 1500));
    QVERIFY(stillRunning(second, 100));
    // Each of them polls with its own token.
    QTRY_VERIFY_WITH_TIMEOUT(server.requests(QStringLiteral("/api/auth/me")).size() == 2, 10000);
    const QList<standin::RecordedRequest> identities = server.requests(QStringLiteral("/api/auth/me"));
    QVERIFY(identities.at(0).header("authorization") != identities.at(1).header("authorization"));
}

void TestStartup::serversWithoutAutoconnectOpenNoTab()
{
    QProcess* gui = start(makeHome(false), "utan-anslutning");
    QVERIFY(stillRunning(gui, 2500));
    QVERIFY(server.requests().isEmpty());
}

// Other users of the machine may not connect to the running copy, whatever the umask.
void TestStartup::socketIsTheUsersAlone()
{
    const mode_t oldMask = ::umask(0);
    SingleInstance guard(QStringLiteral("norv-gui-egen"), nullptr);
    QVERIFY(guard.acquire());
    ::umask(oldMask);
    struct stat info { };
    const QByteArray path = QFile::encodeName(sockets.path() + QStringLiteral("/norv-gui-egen"));
    QCOMPARE(::stat(path.constData(), &info), 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_mode & 077, mode_t(0));
    // It still answers its own user: a second guard of the same name finds it.
    SingleInstance second(QStringLiteral("norv-gui-egen"), nullptr);
    QVERIFY(!second.acquire());
}

NORV_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
