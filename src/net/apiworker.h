// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonValue>
#include <QSet>
#include <QString>
#include <QThread>

#include <functional>

class ApiClient;

// Runs one job of server calls on a thread of its own, with a client of its own, reports the outcome by a signal
// and deletes itself. The caller creates it with new, connects done and failed with itself as context, calls
// startTracked() and never touches it again.
class ApiWorker : public QThread {
    Q_OBJECT
public:
    using Job = std::function<QJsonValue(ApiClient&)>;

    ApiWorker(Job job, QString url, QString token);

    void startTracked();
    // The workers started and not yet finished. GUI thread only.
    static QSet<ApiWorker*>& active();

Q_SIGNALS:
    void done(const QJsonValue& value);
    // The message of the failure, and the HTTP status (0 when no answer came; 401 for a rejected token).
    void failed(const QString& message, int status);

protected:
    void run() override;

private:
    Job job;
    QString url;
    QString token;
};
