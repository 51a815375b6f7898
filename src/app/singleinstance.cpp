// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent)
    , serverName(name)
{ }

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::acquire()
{
    QLocalSocket probe;
    probe.connectToServer(serverName, QIODevice::ReadWrite);
    if (probe.waitForConnected(200)) {
        probe.disconnectFromServer();
        return false;
    }
    // Nobody answers: a socket file left by a copy that ended without cleaning up would block listening.
    QLocalServer::removeServer(serverName);
    auto* listening = new QLocalServer(this);
    // Only this user may wake the running copy; the name stays what other copies look for.
    listening->setSocketOptions(QLocalServer::UserAccessOption);
    connect(listening, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    if (listening->listen(serverName))
        server = listening;
    else
        listening->deleteLater(); // run on without being reachable by later copies
    return true;
}

void SingleInstance::release()
{
    if (!server)
        return;
    server->close();
    delete server;
    server = nullptr;
}

void SingleInstance::onConnection()
{
    if (QLocalSocket* connection = server ? server->nextPendingConnection() : nullptr) {
        connection->close();
        connection->deleteLater();
    }
    Q_EMIT activated();
}
