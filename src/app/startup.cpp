// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include "app/singleinstance.h"
#include "core/autostart.h"
#include "core/settings.h"
#include "gui/dialogs/logindialog.h"
#include "gui/mainwindow.h"
#include "gui/tray.h"
#include "net/apiclient.h"
#include "net/apiworker.h"
#include "net/poller.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT reach the event loop through a socket pair; the handler does nothing else (no Qt call is safe
// there). A second signal while the program is shutting down ends it at once.
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t signalsSeen = 0;

void onQuitSignal(int signal)
{
    if (++signalsSeen > 1)
        _exit(128 + signal);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Quits the window when a quit signal arrives. Lives for the run.
std::unique_ptr<QSocketNotifier> watchQuitSignals(MainWindow* window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        window->quitApp();
    });
    struct sigaction action { };
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return notifier;
}

// Threads still waiting for a server when the window has gone (a poll round or a chart request) are given a
// moment to end, so that none of them runs while the program tears down. One that still runs then cannot be taken
// apart safely: the program ends without tearing down (everything it keeps is already on disk).
void waitForBackgroundThreads(int code)
{
    QDeadlineTimer deadline(std::chrono::seconds(15));
    bool running = false;
    for (QThread* thread : PollerThread::stillRunning())
        running |= !thread->wait(deadline);
    for (QThread* thread : ApiWorker::active())
        running |= !thread->wait(deadline);
    if (running) {
        std::fflush(nullptr);
        _exit(code);
    }
}

} // namespace

namespace startup {

QString instanceName()
{
    QString user = QStringLiteral("norv");
    if (qEnvironmentVariableIsSet("USER"))
        user = qEnvironmentVariable("USER");
    else if (qEnvironmentVariableIsSet("USERNAME"))
        user = qEnvironmentVariable("USERNAME");
    return QStringLiteral("norv-gui-") + user;
}

int run()
{
    auto guard = std::make_unique<SingleInstance>(instanceName(), nullptr);
    if (!guard->acquire())
        return 0;

    auto window = std::make_unique<MainWindow>();
    const QList<settings::ServerEntry> known = settings::servers();
    if (!known.isEmpty()) {
        for (const settings::ServerEntry& entry : known) {
            if (entry.autoconnect)
                window->openServer(entry, QString());
        }
        window->selectFirstTab();
    } else {
        LoginDialog login(nullptr, QString(), false);
        if (login.exec() != QDialog::Accepted || !login.client)
            return 0;
        const std::unique_ptr<ApiClient> client = std::move(login.client);
        const settings::ServerEntry entry = settings::rememberLogin(login.url, client->token(), login.certSha256);
        window->openServer(entry, client->token());
    }
    QObject::connect(guard.get(), &SingleInstance::activated, window.get(), &MainWindow::bringToTop);
    // A copy started while this one still waits for its threads must find nobody here, and start.
    window->beforeQuit = [&guard] { guard->release(); };
    const std::unique_ptr<QSocketNotifier> quitSignals = watchQuitSignals(window.get());
    // Started at login, it may wait in the tray until the operator asks for it; without a tray the window shows.
    const bool atLogin = QCoreApplication::arguments().contains(QLatin1String(autostart::Argument));
    if (!(atLogin && settings::startHidden() && NorvTray::available()))
        window->show();
    const int code = QApplication::exec();
    signalsSeen = 1; // shutting down: a quit signal now ends the program at once
    window.reset();
    guard.reset();
    waitForBackgroundThreads(code);
    return code;
}

} // namespace startup
