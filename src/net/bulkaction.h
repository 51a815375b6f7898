// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/actions.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

// One action on many alarms at once: each alarm gets its own request, on its own server, sent in the background a
// few at a time per server, so that neither the window nor the polls wait for them. Can be stopped; requests under
// way then still finish, no new ones start. A server that rejects the token or stops answering gets no more of
// them. GUI thread only; the requests run on background jobs.
class BulkAction : public QObject {
    Q_OBJECT
public:
    // One alarm's request: its server (address and token) and what the alarm is about.
    struct Item {
        QString serverId;
        QString url;
        QString token;
        treemodel::Target target;
    };
    // At most this many requests to one server at a time.
    static constexpr int PerServer = 3;

    BulkAction(actions::Kind kind, const actions::Choice& choice, const QList<Item>& items, QObject* parent);

    void start();
    // Starts nothing more; what is under way finishes.
    void cancel();
    bool isRunning() const { return !ended; }

    // "Kvitterar 3 av 12…", and at the end "12 larm kvitterade" or "10 av 12 larm kvitterade; 2 misslyckades: …".
    QString progressText() const;
    QString resultText() const;

Q_SIGNALS:
    // A request has finished.
    void progressed();
    // No more requests go to this server.
    void serverDone(const QString& serverId);
    // Every request has finished, or was stopped.
    void finished();

private:
    struct Queue {
        QList<Item> waiting;
        int running = 0;
    };

    void startNext(const QString& serverId);
    void onAnswer(const QString& serverId, const QString& failure, int status);
    void checkEnd(const QString& serverId);

    actions::Kind kind;
    actions::Choice choice;
    QMap<QString, Queue> queues; // by server id
    int total = 0;
    int succeeded = 0;
    int failed = 0;
    int stopped = 0; // not sent: stopped by the operator
    QString firstFailure;
    bool ended = false;
};
