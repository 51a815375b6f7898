// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/bulkaction.h"

#include "net/actionrequest.h"
#include "net/apiclient.h"
#include "net/apiworker.h"

namespace {

// What the status bar says while the action runs ("Kvitterar %1 av %2…") and what was done ("kvitterade").
struct Words {
    const char* progress;
    const char* done;
};

Words wordsOf(actions::Kind kind)
{
    switch (kind) {
    case actions::Kind::Acknowledge:
        return {"Kvitterar %1 av %2…", "kvitterade"};
    case actions::Kind::Unacknowledge:
        return {"Avkvitterar %1 av %2…", "avkvitterade"};
    case actions::Kind::Silence:
        return {"Tystar %1 av %2…", "tystade"};
    case actions::Kind::Recheck:
        return {"Skickar %1 av %2 till recheck…", "skickade till recheck"};
    case actions::Kind::Chart: // one target at a time, never many
        break;
    }
    return {"", ""};
}

} // namespace

BulkAction::BulkAction(actions::Kind kind, const actions::Choice& choice, const QList<Item>& items, QObject* parent)
    : QObject(parent)
    , kind(kind)
    , choice(choice)
    , total(int(items.size()))
{
    for (const Item& item : items)
        queues[item.serverId].waiting.append(item);
}

void BulkAction::start()
{
    if (queues.isEmpty()) {
        ended = true;
        Q_EMIT finished();
        return;
    }
    for (const QString& serverId : queues.keys()) {
        for (int i = 0; i < PerServer; ++i)
            startNext(serverId);
    }
}

void BulkAction::cancel()
{
    for (auto it = queues.begin(); it != queues.end(); ++it) {
        stopped += int(it->waiting.size());
        it->waiting.clear();
    }
    for (const QString& serverId : queues.keys())
        checkEnd(serverId);
}

void BulkAction::startNext(const QString& serverId)
{
    Queue& queue = queues[serverId];
    if (queue.waiting.isEmpty())
        return;
    const Item item = queue.waiting.takeFirst();
    ++queue.running;
    auto* worker = new ApiWorker(
        [kind = kind, choice = choice, target = item.target](ApiClient& client) {
            actions::send(client, kind, target, choice);
            return QJsonValue();
        },
        item.url, item.token);
    connect(worker, &ApiWorker::done, this, [this, serverId] { onAnswer(serverId, QString(), 200); });
    connect(worker, &ApiWorker::failed, this,
        [this, serverId](const QString& message, int status) { onAnswer(serverId, message, status); });
    worker->startTracked();
}

void BulkAction::onAnswer(const QString& serverId, const QString& failure, int status)
{
    Queue& queue = queues[serverId];
    --queue.running;
    if (failure.isNull()) {
        ++succeeded;
    } else {
        ++failed;
        if (firstFailure.isEmpty())
            firstFailure = failure;
        // A rejected token or a server that does not answer will not take the rest either: they fail with it.
        if (status == 401 || status == 0) {
            failed += int(queue.waiting.size());
            queue.waiting.clear();
        }
    }
    Q_EMIT progressed();
    startNext(serverId);
    checkEnd(serverId);
}

void BulkAction::checkEnd(const QString& serverId)
{
    const auto found = queues.constFind(serverId);
    if (found == queues.cend() || found->running > 0 || !found->waiting.isEmpty())
        return;
    queues.remove(serverId);
    Q_EMIT serverDone(serverId);
    if (queues.isEmpty() && !ended) {
        ended = true;
        Q_EMIT finished();
    }
}

QString BulkAction::progressText() const
{
    return QString::fromUtf8(wordsOf(kind).progress).arg(succeeded + failed + stopped).arg(total);
}

QString BulkAction::resultText() const
{
    const QString done = QString::fromUtf8(wordsOf(kind).done);
    if (succeeded == total)
        return QStringLiteral("%1 larm %2").arg(total).arg(done);
    QString text = QStringLiteral("%1 av %2 larm %3").arg(succeeded).arg(total).arg(done);
    if (failed > 0)
        text += QStringLiteral("; %1 misslyckades: %2").arg(failed).arg(firstFailure);
    if (stopped > 0)
        text += QStringLiteral("; %1 avbröts").arg(stopped);
    return text;
}
