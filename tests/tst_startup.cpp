// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/singleinstance.h"
#include "app/startup.h"
#include "gui/mainwindow.h"
#include "gui/tray.h"
#include "testsupport.h"

#include <QLocalSocket>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// The real program, started as its own process with a home of its own; and its start-up in this process.
class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("TMPDIR", QFile::encodeName(sockets.path())); }
    void init() { server.reset(); }
    void cleanup() { qDeleteAll(std::exchange(processes, {})); } // each copy is killed as its process goes

    // A socket file that nobody listens on, as a killed copy leaves it, does not keep the next copy from running.
    void staleSocketFileDoesNotBlock()
    {
        const QByteArray path = QFile::encodeName(sockets.path() + QStringLiteral("/norv-gui-gammal"));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
        QVERIFY(stillRunning(start(makeHome(), QStringLiteral("gammal")), 1500));
        QVERIFY(!SingleInstance(QStringLiteral("norv-gui-gammal"), nullptr).acquire());
    }

    // Other users of the machine may not connect to the running copy, whatever the umask.
    void socketIsTheUsersAlone()
    {
        const mode_t oldMask = ::umask(0);
        SingleInstance guard(QStringLiteral("norv-gui-egen"), nullptr);
        QVERIFY(guard.acquire());
        ::umask(oldMask);
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(sockets.path() + QStringLiteral("/norv-gui-egen")).constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 077, mode_t(0));
        QSignalSpy activated(&guard, &SingleInstance::activated);
        QVERIFY(!SingleInstance(QStringLiteral("norv-gui-egen"), nullptr).acquire());
        QTRY_COMPARE(activated.count(), 1);
    }

    void quitThenStartAgainAtOnce_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    // The first copy waits for a poll of a server that has gone silent when it is told to quit. A copy started at
    // once starts for real (it does not take the quitting one for a running copy), and the first still ends in
    // order; the copy that runs now is the one a third start wakes.
    void quitThenStartAgainAtOnce()
    {
        const QString home = makeHome();
        standin::Fault silentForAWhile = standin::Fault::drop(); // silent for 1.5 s, then the connection goes
        silentForAWhile.delayMs = 1500;
        server.setFault(QStringLiteral("/api/status"), silentForAWhile);
        QProcess* first = start(home, QStringLiteral("omstart"));
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests(QStringLiteral("/api/status")).isEmpty(), 10000);
        ::kill(pid_t(first->processId()), testsupport::fetch<int>("signal"));
        QTRY_VERIFY(!answers(QStringLiteral("norv-gui-omstart"))); // the quitting copy lets go of its name first
        QProcess* second = start(home, QStringLiteral("omstart"));
        QVERIFY(stillRunning(second, 2000));
        QVERIFY(first->waitForFinished(10000));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
        server.clearFaults();
        QVERIFY(start(home, QStringLiteral("omstart"))->waitForFinished(5000));
        QVERIFY(stillRunning(second, 10));
    }

    void firstStartAsksForALogin_data()
    {
        QTest::addColumn<bool>("logIn");
        QTest::newRow("cancelled: the program ends") << false;
        QTest::newRow("logged in: the server is kept and opened") << true;
    }
    // Started by hand, the window shows even where it would wait in the tray when started at login; hidden, it
    // comes back when the same user (named by USERNAME where USER is not set) starts the program again.
    void firstStartAsksForALogin()
    {
        QFETCH(bool, logIn);
        testsupport::resetConfig();
        settings::setStartHidden(true);
        NorvTray::availabilityForTests() = true;
        const QByteArray user = qgetenv("USER");
        qunsetenv("USER");
        qputenv("USERNAME", "forsta-start");
        bool shown = false;
        bool back = false;
        testsupport::whenModal([&](QWidget* login) {
            if (!logIn)
                return static_cast<QDialog*>(login)->reject();
            testsupport::logIn(login, server.url(), QStringLiteral("viewer"), QStringLiteral("viewer"));
            QTimer::singleShot(300, [&] {
                MainWindow* window = testsupport::topLevels<MainWindow>().value(0);
                shown = window->isVisible();
                window->hide();
                QVERIFY(!SingleInstance(QStringLiteral("norv-gui-forsta-start"), nullptr).acquire());
                QTimer::singleShot(300, [&back, window] {
                    back = window->isVisible();
                    window->quitApp();
                });
            });
        });
        QCOMPARE(startup::run(), 0);
        qputenv("USER", user);
        QCOMPARE(shown, logIn);
        QCOMPARE(back, logIn);
        QCOMPARE(settings::servers().size(), logIn ? 1 : 0);
        QCOMPARE(server.requests(QStringLiteral("/api/auth/me")).size(), logIn ? 1 : 0);
    }

    // Without Qt's Swedish catalogue (a qt.conf beside a copy of the program points Qt at an empty folder) the client
    // starts and polls as before.
    void startsWithoutQtsCatalogue()
    {
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("norv-gui"));
        QVERIFY(QFile::copy(QStringLiteral(NORV_GUI), copy));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("translations")));
        testsupport::writeFile(folder.filePath(QStringLiteral("qt.conf")),
            QStringLiteral("[Paths]\nPlugins=%1\nTranslations=%2\n")
                .arg(QLibraryInfo::path(QLibraryInfo::PluginsPath), folder.filePath(QStringLiteral("translations")))
                .toUtf8());
        QProcess* process = start(makeHome(), QStringLiteral("utan-katalog"), copy);
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests(QStringLiteral("/api/tree/status")).isEmpty(), 10000);
        QCOMPARE(process->state(), QProcess::Running);
    }

private:
    // A configuration home with the stand-in known, connected at start.
    QString makeHome()
    {
        homes.append(std::make_shared<QTemporaryDir>());
        const QString config = homes.last()->path() + QStringLiteral("/config/Trelvik");
        testsupport::writeFile(config + QStringLiteral("/NorvGUI.ini"),
            "[servers]\n1\\id=00000000000a\n1\\url=" + server.url().toUtf8() + "\n1\\autoconnect=true\nsize=1\n");
        testsupport::writeFile(config + QStringLiteral("/Norv GUI/tokens/00000000000a"),
            server.issueToken(QStringLiteral("viewer")).toUtf8() + '\n');
        return homes.last()->path();
    }
    QProcess* start(const QString& home, const QString& user, const QString& program = QStringLiteral(NORV_GUI))
    {
        auto* process = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("USER"), user);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, {});
        processes.append(process);
        process->waitForStarted(5000);
        return process;
    }
    // Whether a copy listens under the name.
    static bool answers(const QString& name)
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        return probe.waitForConnected(100);
    }
    static bool stillRunning(QProcess* process, int ms)
    {
        return !process->waitForFinished(ms) && process->state() == QProcess::Running;
    }

    QTemporaryDir sockets; // TMPDIR of the test and (inherited) of every copy: where the local sockets live
    QList<std::shared_ptr<QTemporaryDir>> homes;
    QList<QProcess*> processes;
    testsupport::Standin server;
};

NORV_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
