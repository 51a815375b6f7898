// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/poller.h"

#include "core/settings.h"
#include "net/apiclient.h"

#include <algorithm>
#include <utility>

PollerThread::PollerThread(
    const QString& url, const QString& token, int intervalSeconds, QObject* parent, bool fetchIdentity)
    : QThread(parent)
    , url(url)
    , token(token)
    , intervalSeconds(std::max(intervalSeconds, settings::MinRefreshSeconds))
    , fetchIdentity(fetchIdentity)
{
    qRegisterMetaType<treemodel::TreeUpdatePtr>();
    qRegisterMetaType<AlarmReadingPtr>();
}

void PollerThread::refreshNow()
{
    QMutexLocker lock(&mutex);
    wakeRequested = true;
    wakeCondition.wakeAll();
}

void PollerThread::setInterval(int seconds)
{
    QMutexLocker lock(&mutex);
    intervalSeconds = std::max(seconds, settings::MinRefreshSeconds);
}

void PollerThread::stopPolling()
{
    QMutexLocker lock(&mutex);
    stopRequested = true;
    wakeCondition.wakeAll();
}

std::atomic<int>& PollerThread::secondMs()
{
    static std::atomic<int> length {1000};
    return length;
}

QSet<PollerThread*>& PollerThread::stillRunning()
{
    static QSet<PollerThread*> pollers;
    return pollers;
}

void PollerThread::release(int waitMs)
{
    setParent(nullptr);
    stopPolling();
    connect(this, &QThread::finished, this, [this] {
        stillRunning().remove(this);
        deleteLater();
    });
    // A thread that ended before the connection was made would never report it; a second deleteLater is harmless.
    if (!isRunning() || wait(waitMs))
        deleteLater();
    else
        stillRunning().insert(this);
}

void PollerThread::run()
{
    ApiClient client(url, token);
    while (pollOnce(client)) {
        QMutexLocker lock(&mutex);
        if (stopRequested)
            break;
        // The loop keeps a spurious wake-up from starting a round early.
        const QDeadlineTimer deadline {qint64(intervalSeconds) * secondMs()};
        while (!wakeRequested && !stopRequested && !deadline.hasExpired())
            wakeCondition.wait(&mutex, deadline);
        if (stopRequested)
            break;
        wakeRequested = false;
    }
}

bool PollerThread::pollOnce(ApiClient& client)
{
    try {
        if (fetchIdentity) {
            const QJsonObject me = client.me();
            Q_EMIT meReady(me);
            fetchIdentity = false;
        }
        sentStatus[1] = std::exchange(sentStatus[0], client.status());
        Q_EMIT statusReady(sentStatus[0], alarmReader.read(sentStatus[0]));
        // Reading and comparing a large tree costs as much as building it; done here, the window only applies
        // what changed. simdjson reads the tree's text several times quicker than a JSON document is made; the
        // document is made only when the text is beyond simdjson (Qt's parser then decides, with the error of any
        // other answer).
        sent.reset();
        const int status = client.treeStatusRaw(treeText);
        if (!reader.read(treeText))
            reader.read(ApiClient::decodeBody(status, treeText));
        // The rows of the update are read from the text now, before the next round reads the next tree into it.
        const treemodel::TreeUpdatePtr update = diff.next(reader);
        sentTrees.fetchAndAddRelease(1);
        Q_EMIT treeUpdated(update);
        sent = update;
    } catch (const AuthError&) {
        Q_EMIT authLost();
        return false;
    } catch (const CertificateError& e) {
        if (e.trustable) { // another certificate than the trusted one: the token must not go there
            Q_EMIT certificateRefused();
            return false;
        }
        Q_EMIT pollError(e.message);
    } catch (const ApiError& e) {
        Q_EMIT pollError(e.message);
    } catch (const std::exception& e) {
        // Nothing may escape the thread body; a round that failed otherwise is reported like a failed call.
        Q_EMIT pollError(QString::fromUtf8(e.what()));
    }
    return true;
}
