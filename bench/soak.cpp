// SPDX-License-Identifier: GPL-3.0-or-later
// Soak: the client with three server tabs, polled round after round against three simulated servers (norv-sim
// processes, so that only the client's memory is measured; their networks change every second). Measures the
// resident memory and the number of live QObjects after a warm-up and at the end; both must stay flat.
// Usage: soak [ROUNDS] (default 3000).

#include "core/settings.h"
#include "gui/mainwindow.h"
#include "gui/serverview.h"
#include "net/apiclient.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QAtomicInt>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <memory>

// Qt's hooks for debugging tools: called for every QObject made and destroyed.
extern Q_CORE_EXPORT quintptr qtHookData[];

namespace {

enum HookIndex { AddQObject = 3, RemoveQObject = 4 };
QAtomicInt liveObjects;

void objectAdded(QObject*)
{
    liveObjects.ref();
}

void objectRemoved(QObject*)
{
    liveObjects.deref();
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    qtHookData[AddQObject] = reinterpret_cast<quintptr>(&objectAdded);
    qtHookData[RemoveQObject] = reinterpret_cast<quintptr>(&objectRemoved);
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    settings::nameApplication();
    const int rounds = argc > 1 ? std::max(300, atoi(argv[1])) : 3000;
    const int warmUp = 200;

    std::vector<std::unique_ptr<QProcess>> servers;
    for (int seed = 1; seed <= 3; ++seed) {
        auto server = std::make_unique<QProcess>();
        server->start(QStringLiteral(NORV_SIM),
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--seed"), QString::number(seed),
                QStringLiteral("--tick"), QStringLiteral("1")});
        if (!server->waitForReadyRead(10000)) {
            std::fprintf(stderr, "soak: norv-sim did not start\n");
            return 1;
        }
        const QString url = QString::fromUtf8(server->readAllStandardOutput()).section(QLatin1Char(' '), 3, 3);
        ApiClient login(url, QString());
        login.login(QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("soak"));
        settings::addOrUpdateServer(url, login.token());
        servers.push_back(std::move(server));
    }
    MainWindow window;
    for (const settings::ServerEntry& entry : settings::servers())
        window.openServer(entry, QString());
    window.show();

    QElapsedTimer clock;
    clock.start();
    long memoryAfterWarmUp = 0;
    int objectsAfterWarmUp = 0;
    for (int round = 1; round <= rounds; ++round) {
        std::vector<std::unique_ptr<QSignalSpy>> rebuilt;
        for (ServerView* view : window.views()) {
            rebuilt.push_back(std::make_unique<QSignalSpy>(
                view->findChild<QTreeView*>(QStringLiteral("tree"))->model(), &QAbstractItemModel::modelReset));
            view->refreshNow();
        }
        for (auto& spy : rebuilt) {
            if (spy->isEmpty() && !spy->wait(30000)) {
                std::fprintf(stderr, "soak: a tab stopped polling at round %d\n", round);
                return 1;
            }
        }
        if (round == warmUp) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            memoryAfterWarmUp = residentKiB();
            objectsAfterWarmUp = liveObjects.loadRelaxed();
        }
        if (round % 500 == 0)
            std::printf(
                "round %5d: %6ld KiB resident, %6d live objects\n", round, residentKiB(), liveObjects.loadRelaxed());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const long memoryAtEnd = residentKiB();
    const int objectsAtEnd = liveObjects.loadRelaxed();
    std::printf("\n%d rounds of three tabs in %.0f s (%.1f ms a round)\n", rounds, clock.elapsed() / 1000.0,
        double(clock.elapsed()) / rounds);
    std::printf("resident memory after %d rounds: %ld KiB, at the end: %ld KiB, growth %+.1f %%\n", warmUp,
        memoryAfterWarmUp, memoryAtEnd, 100.0 * double(memoryAtEnd - memoryAfterWarmUp) / double(memoryAfterWarmUp));
    for (auto& server : servers) {
        server->kill();
        server->waitForFinished();
    }
    std::printf("live QObjects after %d rounds: %d, at the end: %d, growth %+d\n", warmUp, objectsAfterWarmUp,
        objectsAtEnd, objectsAtEnd - objectsAfterWarmUp);
    return 0;
}
