// SPDX-License-Identifier: GPL-3.0-or-later
#include "standinserver.h"

#include "norvapi.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QMetaEnum>
#include <QMutex>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

namespace standin {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray head(const Answer& answer, qsizetype contentLength)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reasonPhrase(answer.status) + "\r\n";
    if (!answer.contentType.isEmpty())
        out += "Content-Type: " + answer.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    for (const auto& header : answer.headers)
        out += header.first + ": " + header.second + "\r\n";
    out += "Connection: keep-alive\r\n\r\n";
    return out;
}

// The request as a server that decodes "+" as a space reads it.
RecordedRequest withPlusAsSpace(RecordedRequest request)
{
    QString raw = QString::fromUtf8(request.query);
    request.queryItems = QUrlQuery(raw.replace(QLatin1Char('+'), QLatin1String("%20"))).queryItems(QUrl::FullyDecoded);
    if (request.header("content-type").startsWith("application/x-www-form-urlencoded"))
        request.body.replace('+', "%20");
    return request;
}

void dripNext(QTcpSocket* socket, const QByteArray& rest, int intervalMs, int bytes)
{
    if (rest.isEmpty())
        return;
    socket->write(rest.left(bytes));
    QTimer::singleShot(intervalMs, socket,
        [socket, rest, intervalMs, bytes] { dripNext(socket, rest.mid(bytes), intervalMs, bytes); });
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray& name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

bool RecordedRequest::hasHeader(const QByteArray& name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

Fault Fault::raw(int status, const QByteArray& body, const QByteArray& contentType)
{
    Fault fault;
    fault.answer = Answer {status, body, contentType, {}};
    return fault;
}

Fault Fault::slow(int delayMs)
{
    Fault fault;
    fault.delayMs = delayMs;
    return fault;
}

Fault Fault::hang()
{
    Fault fault;
    fault.delivery = Delivery::Hang;
    return fault;
}

Fault Fault::drop()
{
    Fault fault;
    fault.delivery = Delivery::Drop;
    return fault;
}

Fault Fault::drip(int intervalMs, int bytes)
{
    Fault fault;
    fault.delivery = Delivery::Drip;
    fault.dripIntervalMs = intervalMs;
    fault.dripBytes = bytes;
    return fault;
}

Fault Fault::redirect(int status, const QByteArray& location)
{
    Fault fault = raw(status, QByteArray(), QByteArray());
    fault.answer->headers.append({"Location", location});
    return fault;
}

Fault Fault::cutOff()
{
    Fault fault;
    fault.delivery = Delivery::CutOff;
    return fault;
}

struct StandinServer::State {
    mutable QMutex mutex;
    Accounts accounts = Accounts::standard();
    Network network = Network::sample();
    QHash<QString, Fault> faults;
    QList<RecordedRequest> requests;
    bool recording = true;
    bool plusAsSpace = false;
    std::unique_ptr<QFile> accessLog;
    quint16 port = 0;
    QSslCertificate certificate; // null: plain HTTP
    QSslKey key;
};

// The HTTP side, on the server's thread: records each request, applies a scripted fault, and writes the answer
// itself so that any status, body and breakage can be produced.
class StandinServer::Front : public QAbstractHttpServer {
public:
    explicit Front(std::shared_ptr<State> state)
        : state(std::move(state))
    { }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        RecordedRequest recorded;
        recorded.method = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(request.method()));
        recorded.method = recorded.method.toUpper();
        recorded.path = request.url().path();
        recorded.query = request.url().query(QUrl::FullyEncoded).toUtf8();
        recorded.queryItems = request.query().queryItems(QUrl::FullyDecoded);
        recorded.headers = request.headers();
        recorded.body = request.body();

        Fault fault;
        Answer answer;
        {
            QMutexLocker lock(&state->mutex);
            if (state->recording)
                state->requests.append(recorded);
            auto found = state->faults.find(recorded.path);
            if (found != state->faults.end()) {
                fault = *found;
                if (found->times > 0 && --found->times == 0)
                    state->faults.erase(found);
            }
            const bool answers = fault.delivery != Fault::Delivery::Hang && fault.delivery != Fault::Delivery::Drop;
            if (fault.answer)
                answer = *fault.answer;
            else if (answers)
                answer = answerRequest(state->plusAsSpace ? withPlusAsSpace(recorded) : recorded, state->accounts,
                    state->network, QDateTime::currentDateTime());
            if (state->accessLog) {
                const QString line
                    = QStringLiteral("%1 %2 %3 %4 %5\n")
                          .arg(QDateTime::currentDateTime().toString(Qt::ISODate), QString::fromLatin1(recorded.method),
                              recorded.path, answers ? QString::number(answer.status) : QStringLiteral("-"),
                              QString::fromUtf8(recorded.header("user-agent")));
                state->accessLog->write(line.toUtf8());
                state->accessLog->flush();
            }
        }

        QPointer<QTcpSocket> target(socket);
        auto deliver = [target, fault, answer] {
            if (!target)
                return;
            switch (fault.delivery) {
            case Fault::Delivery::Hang:
                return;
            case Fault::Delivery::Drop:
                target->abort();
                return;
            case Fault::Delivery::Whole:
                target->write(head(answer, answer.body.size()) + answer.body);
                return;
            case Fault::Delivery::Drip:
                target->write(head(answer, answer.body.size()));
                dripNext(target, answer.body, fault.dripIntervalMs, fault.dripBytes);
                return;
            case Fault::Delivery::CutOff:
                target->write(head(answer, answer.body.size() + 16) + answer.body.left(answer.body.size() / 2));
                target->disconnectFromHost();
                return;
            }
        };
        if (fault.delayMs > 0)
            QTimer::singleShot(fault.delayMs, socket, deliver);
        else
            deliver();
        return true;
    }

    void missingHandler(const QHttpServerRequest&, QTcpSocket* socket) override { socket->abort(); }

private:
    std::shared_ptr<State> state;
};

StandinServer::StandinServer()
    : state(std::make_shared<State>())
    , thread(std::make_unique<QThread>())
    , anchor(std::make_unique<QObject>())
{
    thread->setObjectName(QStringLiteral("standin-server"));
    anchor->moveToThread(thread.get());
    thread->start();
}

StandinServer::~StandinServer()
{
    close();
    thread->quit();
    thread->wait();
}

bool StandinServer::listen(quint16 port, const QHostAddress& address)
{
    close();
    quint16 bound = 0;
    auto state = this->state;
    QMetaObject::invokeMethod(
        anchor.get(),
        [&] {
            front = new Front(state);
            if (!state->certificate.isNull())
                front->sslSetup(state->certificate, state->key);
            bound = front->listen(address, port);
            if (bound == 0) {
                delete front;
                front = nullptr;
            }
        },
        Qt::BlockingQueuedConnection);
    QMutexLocker lock(&state->mutex);
    state->port = bound;
    return bound != 0;
}

void StandinServer::close()
{
    if (!front)
        return;
    QMetaObject::invokeMethod(
        anchor.get(),
        [this] {
            delete front;
            front = nullptr;
        },
        Qt::BlockingQueuedConnection);
}

quint16 StandinServer::port() const
{
    QMutexLocker lock(&state->mutex);
    return state->port;
}

QString StandinServer::url() const
{
    QMutexLocker lock(&state->mutex);
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(state->certificate.isNull() ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(state->port);
}

bool StandinServer::useTls(const QByteArray& certificatePem, const QByteArray& keyPem)
{
    QMutexLocker lock(&state->mutex);
    state->certificate = QSslCertificate(certificatePem);
    state->key = QSslKey(keyPem, QSsl::Rsa);
    if (certificatePem.isEmpty())
        return true;
    return !state->certificate.isNull() && !state->key.isNull();
}

void StandinServer::addUser(const User& user)
{
    QMutexLocker lock(&state->mutex);
    state->accounts.users.insert(user.name, user);
}

QString StandinServer::issueToken(const QString& userName)
{
    QMutexLocker lock(&state->mutex);
    return state->accounts.issue(userName);
}

void StandinServer::revokeToken(const QString& token)
{
    QMutexLocker lock(&state->mutex);
    state->accounts.tokens.remove(token);
}

void StandinServer::revokeAllTokens()
{
    QMutexLocker lock(&state->mutex);
    state->accounts.tokens.clear();
}

int StandinServer::tokenCount() const
{
    QMutexLocker lock(&state->mutex);
    return int(state->accounts.tokens.size());
}

Network StandinServer::network() const
{
    QMutexLocker lock(&state->mutex);
    return state->network;
}

void StandinServer::setNetwork(const Network& network)
{
    QMutexLocker lock(&state->mutex);
    state->network = network;
}

void StandinServer::update(const std::function<void(Network&)>& change)
{
    QMutexLocker lock(&state->mutex);
    change(state->network);
}

void StandinServer::reset()
{
    QMutexLocker lock(&state->mutex);
    state->network = Network::sample();
    state->faults.clear();
    state->requests.clear();
    state->plusAsSpace = false;
}

void StandinServer::setFault(const QString& path, const Fault& fault)
{
    QMutexLocker lock(&state->mutex);
    state->faults.insert(path, fault);
}

void StandinServer::clearFault(const QString& path)
{
    QMutexLocker lock(&state->mutex);
    state->faults.remove(path);
}

void StandinServer::clearFaults()
{
    QMutexLocker lock(&state->mutex);
    state->faults.clear();
}

QList<RecordedRequest> StandinServer::requests() const
{
    QMutexLocker lock(&state->mutex);
    return state->requests;
}

QList<RecordedRequest> StandinServer::requests(const QString& path) const
{
    QMutexLocker lock(&state->mutex);
    QList<RecordedRequest> matching;
    for (const RecordedRequest& r : std::as_const(state->requests)) {
        if (r.path == path)
            matching.append(r);
    }
    return matching;
}

void StandinServer::setPlusAsSpace(bool on)
{
    QMutexLocker lock(&state->mutex);
    state->plusAsSpace = on;
}

void StandinServer::setRecording(bool on)
{
    QMutexLocker lock(&state->mutex);
    state->recording = on;
    if (!on)
        state->requests.clear();
}

bool StandinServer::setAccessLog(const QString& path)
{
    QMutexLocker lock(&state->mutex);
    state->accessLog.reset();
    if (path.isEmpty())
        return true;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return false;
    state->accessLog = std::move(file);
    return true;
}

void StandinServer::clearRequests()
{
    QMutexLocker lock(&state->mutex);
    state->requests.clear();
}

} // namespace standin
