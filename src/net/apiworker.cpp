// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/apiworker.h"

#include "net/apiclient.h"

ApiWorker::ApiWorker(Job job, QString url, QString token)
    : job(std::move(job))
    , url(std::move(url))
    , token(std::move(token))
{ }

QSet<ApiWorker*>& ApiWorker::active()
{
    static QSet<ApiWorker*> workers;
    return workers;
}

void ApiWorker::startTracked()
{
    active().insert(this);
    // The worker lives in the GUI thread, so this runs there, queued, after the thread has ended.
    connect(this, &QThread::finished, this, [this] {
        active().remove(this);
        deleteLater();
    });
    start();
}

void ApiWorker::run()
{
    // The client belongs to this thread: it is made and destroyed here.
    ApiClient client(url, token);
    try {
        const QJsonValue value = job(client);
        Q_EMIT done(value);
    } catch (const ApiError& e) {
        Q_EMIT failed(e.message, e.status);
    } catch (const std::exception& e) {
        Q_EMIT failed(QString::fromUtf8(e.what()), 0);
    } catch (...) {
        // Nothing may escape a thread body: that would end the program.
        Q_EMIT failed(QStringLiteral("Okänt fel"), 0);
    }
}
