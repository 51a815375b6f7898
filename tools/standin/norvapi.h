// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "network.h"
#include "standinserver.h"

#include <QDateTime>
#include <QHash>

namespace standin {

struct Accounts {
    QHash<QString, User> users; // by name
    QHash<QString, QString> tokens; // token to user name

    static Accounts standard();
    QString issue(const QString& userName);
};

// The Norv REST interface: answers one request from the accounts and the network, changing them as a server
// would. The caller holds the lock over both.
Answer answerRequest(const RecordedRequest& request, Accounts& accounts, Network& network, const QDateTime& now);

} // namespace standin
