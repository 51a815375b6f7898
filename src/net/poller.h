// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/alarmreading.h"
#include "tree/treediff.h"

#include <QAtomicInt>
#include <QJsonObject>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class ApiClient;

// One server's status poller. The object lives in the GUI thread (its parent is the server tab); run() polls on its
// own thread with its own client: the identity once, then status and tree every round, and hands the payloads back
// by queued signals, each tree also as the update that turns the tree before it into this one. Stop it with
// stopPolling(); it must not be destroyed while its thread runs (see release()).
class PollerThread : public QThread {
    Q_OBJECT
public:
    PollerThread(const QString& url, const QString& token, int intervalSeconds, QObject* parent, bool fetchIdentity);

    // Thread-safe.
    void refreshNow();
    void setInterval(int seconds);
    void stopPolling();

    // Stops polling and gives the poller up: it is deleted once its thread has ended, at once when that happens
    // within waitMs, otherwise when the thread finishes. It is detached from its parent first, so that a parent
    // deleted meanwhile cannot destroy a running thread. GUI thread only; do not touch the poller afterwards.
    void release(int waitMs);
    // How many trees the thread has emitted so far. Thread-safe; the receiver compares it with the number it
    // has handled to tell a tree that a newer one has superseded already.
    int treesSent() const { return sentTrees.loadAcquire(); }

    // Released pollers whose thread has not ended yet. GUI thread only.
    static QSet<PollerThread*>& stillRunning();
    // How long a second of the interval lasts, in milliseconds: 1000, except in tests.
    static std::atomic<int>& secondMs();

Q_SIGNALS:
    void meReady(const QJsonObject& payload);
    // With the alarm book's reading of the payload, made here.
    void statusReady(const QJsonObject& payload, const AlarmReadingPtr& alarms);
    // The same tree read, and compared with the one before it, on this thread: what the model has to change.
    void treeUpdated(const treemodel::TreeUpdatePtr& update);
    void pollError(const QString& message);
    void authLost();
    // The server showed a certificate that is not trusted (not the one the operator trusts); the thread then ends.
    void certificateRefused();

protected:
    void run() override;

private:
    bool pollOnce(ApiClient& client);

    QString url;
    QString token;
    QMutex mutex;
    QWaitCondition wakeCondition;
    bool wakeRequested = false;
    bool stopRequested = false;
    int intervalSeconds;
    bool fetchIdentity;
    QAtomicInt sentTrees;
    // Used only inside the thread: the tree's reader, and what is kept of the tree sent last for the next comparison.
    treemodel::TreeReader reader;
    QByteArray treeText; // the tree's text, kept with its memory from one round to the next
    treemodel::TreeDiff diff;
    // The update sent last, let go of at the next round: taking its rows apart is then this thread's work, not the
    // window's.
    treemodel::TreeUpdatePtr sent;
    // The same for the status: its reader keeps the last two readings, and the payloads sent in the last two rounds
    // are kept here, so that it is this thread that takes apart the one the window let go of.
    AlarmReader alarmReader;
    QJsonObject sentStatus[2];
};
