// Start-up: the application's identity, the saved look, one running copy per user, the main window and the tabs of
// the servers marked to connect at start (or, on a first run, a login).

#include "apiclient.h"
#include "apiworker.h"
#include "icons.h"
#include "logindialog.h"
#include "mainwindow.h"
#include "poller.h"
#include "settings.h"
#include "singleinstance.h"

#include <QApplication>

#include <memory>

namespace {

QString instanceName()
{
    QString user = QStringLiteral("norv");
    if (qEnvironmentVariableIsSet("USER"))
        user = qEnvironmentVariable("USER");
    else if (qEnvironmentVariableIsSet("USERNAME"))
        user = qEnvironmentVariable("USERNAME");
    return QStringLiteral("norv-gui-") + user;
}

// Threads still waiting for a server when the window has gone (a poll round or a chart request) are given a
// moment to end, so that none of them runs while the program tears down.
void waitForBackgroundThreads()
{
    QDeadlineTimer deadline(std::chrono::seconds(15));
    for (QThread* thread : PollerThread::stillRunning())
        thread->wait(deadline);
    for (QThread* thread : ApiWorker::active())
        thread->wait(deadline);
}

int run(QApplication& app)
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
        const settings::ServerEntry entry = settings::addOrUpdateServer(login.url, client->token());
        window->openServer(entry, client->token());
    }
    QObject::connect(guard.get(), &SingleInstance::activated, window.get(), &MainWindow::bringToTop);
    window->show();
    const int code = app.exec();
    window.reset(); // before the guard, which releases the local socket
    waitForBackgroundThreads();
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    settings::nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("se.trelvik.norvgui"));
    QApplication::setWindowIcon(icons::norvIcon(QStringLiteral("ok"), 64));
    settings::applySavedTheme();
    settings::applySavedFont();
    QApplication::setQuitOnLastWindowClosed(false);
    return run(app);
}
