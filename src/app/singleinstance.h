// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

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
