#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// The client's start once its application object exists: one running copy per user, the main window with the
// servers marked to connect at start (or, on a first run, a login), the event loop, and an orderly end, also on
// SIGTERM and SIGINT. The program's exit code.
namespace startup {

// "norv-gui-" and the user's name: the name by which copies of one user find each other.
QString instanceName();
int run();

} // namespace startup

// Keeps one running copy of the client per user. The running copy listens on a local socket; a copy started later
// connects to it, which is the whole message, and exits. Lives in the GUI thread for the whole run.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    SingleInstance(const QString& name, QObject* parent);
    ~SingleInstance() override;

    // False when another copy already answers on the name; otherwise listens (when it can) and returns true.
    bool acquire();
    void release();

Q_SIGNALS:
    // Another copy of the program was started.
    void activated();

private:
    void onConnection();

    QString serverName;
    QLocalServer* server = nullptr;
};
