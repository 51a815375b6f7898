// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/apiclient.h"

#include "core/settings.h"
#include "core/version.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

const QString Unreachable = QStringLiteral("Kan inte nå servern: ");

// Why a request got no answer, in words for the operator; Qt's own text only for the rare rest.
QString reasonFor(QNetworkReply::NetworkError error, const QString& qtText)
{
    switch (error) {
    case QNetworkReply::OperationCanceledError: // the transfer timeout aborts the reply
    case QNetworkReply::TimeoutError:
        return QStringLiteral("inget svar inom 10 s");
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("anslutningen nekades");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("okänd värd");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("anslutningen bröts");
    default:
        return qtText;
    }
}

QUrlQuery instanceParams(int instance)
{
    QUrlQuery query;
    if (instance >= 1)
        query.addQueryItem(QStringLiteral("instance"), QString::number(instance));
    return query;
}

QString errorText(int status, const QByteArray& body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (doc.isObject()) {
        const QJsonValue error = doc.object().value(QLatin1String("error"));
        if (error.isString() && !error.toString().isEmpty())
            return error.toString();
    }
    return QStringLiteral("HTTP %1").arg(status);
}

// Errors of the connection itself, as opposed to HTTP answers. A reply that breaks off after its headers (the
// server closed the connection or went silent) carries a status code, but it is no answer: judging its partial
// body could turn a cut-off transfer into a success.
bool transferBroken(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError
        && error != QNetworkReply::TooManyRedirectsError && error != QNetworkReply::InsecureRedirectError;
}

void checkStatus(int status, const QByteArray& body)
{
    if (status == 401)
        throw AuthError(401, errorText(401, body));
    // A redirect that was not followed (it led to another origin) is no answer: taken as an empty success, a
    // server that has moved would show as working.
    if (status >= 300)
        throw ApiError(status, errorText(status, body));
}

// The system's proxy settings (the environment's and the desktop's, as Qt reads them), except for the machine
// itself: loopback never goes through a proxy.
class ProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        const QString host = query.peerHostName();
        if (host == QLatin1String("localhost") || QHostAddress(host).isLoopback())
            return {QNetworkProxy::NoProxy};
        return systemProxyForQuery(query);
    }
};

// Pins are per server: per scheme, host and port.
QString originOf(const QString& baseUrl)
{
    const QUrl url(baseUrl);
    return QStringLiteral("%1://%2:%3").arg(url.scheme(), url.host().toLower()).arg(url.port(-1));
}

QMutex& pinsLock()
{
    static QMutex lock;
    return lock;
}

QHash<QString, QString>& pins()
{
    static QHash<QString, QString> byOrigin;
    return byOrigin;
}

QString sslReason(const QSslError& error)
{
    switch (error.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return QStringLiteral("certifikatet är självsignerat");
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("utfärdaren är okänd");
    case QSslError::UnableToVerifyFirstCertificate:
        return QStringLiteral("certifikatkedjan är ofullständig");
    case QSslError::HostNameMismatch:
        return QStringLiteral("certifikatet gäller ett annat namn än serverns");
    case QSslError::CertificateExpired:
        return QStringLiteral("certifikatet har gått ut");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("certifikatet gäller inte än");
    default:
        return error.errorString();
    }
}

QStringList sslReasons(const QList<QSslError>& errors)
{
    QStringList reasons;
    for (const QSslError& error : errors) {
        if (!reasons.contains(sslReason(error)))
            reasons.append(sslReason(error));
    }
    return reasons;
}

bool merelyUntrusted(const QSslError& error)
{
    switch (error.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::HostNameMismatch:
        return true;
    default:
        return false;
    }
}

QByteArray compactJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A query or form as QUrlQuery writes it, except that a literal "+" is sent as %2B: QUrlQuery leaves it as it is,
// and a server that decodes forms and queries the usual way would read it as a space ("disk+cpu" as "disk cpu").
// A server that keeps "+" literal decodes %2B to "+" as well.
QString encoded(const QUrlQuery& query)
{
    return query.query(QUrl::FullyEncoded).replace(QLatin1Char('+'), QLatin1String("%2B"));
}

QString checkPath(int hostId, int pluginId, const char* suffix)
{
    return QStringLiteral("/api/hosts/%1/plugins/%2%3").arg(hostId).arg(pluginId).arg(QLatin1String(suffix));
}

} // namespace

ApiClient::RequestLimits& ApiClient::limits()
{
    static RequestLimits shipped;
    return shipped;
}

QString failureReason(const QString& message)
{
    return message.startsWith(Unreachable) ? message.mid(Unreachable.size()) : message;
}

void ApiClient::pinCertificate(const QString& baseUrl, const QString& sha256)
{
    QMutexLocker lock(&pinsLock());
    if (sha256.isEmpty())
        pins().remove(originOf(baseUrl));
    else
        pins().insert(originOf(baseUrl), sha256.toLower());
}

QString ApiClient::pinnedCertificate(const QString& baseUrl)
{
    QMutexLocker lock(&pinsLock());
    return pins().value(originOf(baseUrl));
}

QString certificateSha256(const QSslCertificate& certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex());
}

QString displayedFingerprint(const QString& sha256)
{
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < sha256.size(); i += 2)
        pairs.append(sha256.mid(i, 2).toUpper());
    return pairs.join(QLatin1Char(':'));
}

CertificateError::CertificateError(const QSslCertificate& certificate, const QList<QSslError>& errors)
    : ApiError(0, Unreachable + sslReasons(errors).join(QStringLiteral(", ")))
    , certificate(certificate)
    , reasons(sslReasons(errors))
    , trustable(!errors.isEmpty()
          && std::all_of(errors.cbegin(), errors.cend(), [](const QSslError& e) { return merelyUntrusted(e); }))
{ }

ApiError::ApiError(int status, const QString& message)
    : std::runtime_error(message.toStdString())
    , status(status)
    , message(message)
{ }

AuthError::AuthError(int status, const QString& message)
    : ApiError(status, message)
{ }

ApiClient::ApiClient(const QString& baseUrl, const QString& token)
    : m_baseUrl(settings::stripTrailingSlashes(baseUrl))
    , m_token(token)
    , userAgent("norv-gui/" + appversion::clientVersion().toUtf8())
{ }

ApiClient::~ApiClient()
{
    delete manager;
}

QJsonObject ApiClient::request(const QByteArray& method, const QString& path, const QByteArray& body,
    const QByteArray& contentType, const QUrlQuery& query, bool authenticated)
{
    const RawAnswer answer = requestRaw(method, path, body, contentType, query, authenticated);
    return decodeBody(answer.status, answer.body);
}

namespace {

// Reads what an open reply holds straight into the buffer, without a block of its own in between.
void readAvailable(QNetworkReply& reply, QByteArray& into)
{
    const qsizetype had = into.size();
    into.resize(had + qsizetype(reply.bytesAvailable())); // within its capacity, once a first tree has come
    into.truncate(had + qsizetype(reply.read(into.data() + had, into.size() - had)));
}

} // namespace

ApiClient::RawAnswer ApiClient::requestRaw(const QByteArray& method, const QString& path, const QByteArray& body,
    const QByteArray& contentType, const QUrlQuery& query, bool authenticated, QByteArray* into)
{
    if (!manager) {
        manager = new QNetworkAccessManager;
        manager->setProxyFactory(new ProxyFactory);
    }

    QUrl url(m_baseUrl + path, QUrl::TolerantMode);
    if (!query.isEmpty())
        url.setQuery(encoded(query), QUrl::StrictMode);

    const RequestLimits& limit = limits();
    QNetworkRequest req(url);
    req.setTransferTimeout(limit.silenceMs);
    req.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    // The bearer token must never reach another server: redirects are followed only within the same origin.
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    if (authenticated && !m_token.isEmpty())
        req.setRawHeader("Authorization", "Bearer " + m_token.toUtf8());
    if (!body.isEmpty() && !contentType.isEmpty())
        req.setHeader(QNetworkRequest::ContentTypeHeader, contentType);

    QNetworkReply* reply = nullptr;
    if (method != "POST") {
        reply = manager->get(req);
    } else if (body.isEmpty()) {
        // post() with an empty body makes Qt invent a form Content-Type for some URLs: a bodiless POST carries none.
        // It does say that its body is empty; some proxies and servers refuse a POST without a length.
        req.setHeader(QNetworkRequest::ContentLengthHeader, 0);
        reply = manager->sendCustomRequest(req, "POST");
    } else {
        reply = manager->post(req, body);
    }
    // A certificate the system does not trust is accepted only when it is exactly the one the operator trusts for
    // this server. The request itself, with the token, goes out only after the handshake.
    std::optional<CertificateError> refused;
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [this, reply, &refused](const QList<QSslError>& errors) {
        const QSslCertificate shown = reply->sslConfiguration().peerCertificate();
        const CertificateError error(shown, errors);
        if (error.trustable && certificateSha256(shown) == pinnedCertificate(m_baseUrl))
            reply->ignoreSslErrors(errors);
        else
            refused = error;
    });
    if (into) {
        into->resize(0); // keeps its memory
        QObject::connect(reply, &QIODevice::readyRead, reply, [reply, into] { readAvailable(*reply, *into); });
    }
    bool tooSlow = false;
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        // The transfer timeout only fires after a silence; a server that drips its answer would keep a request, and
        // with it the window, waiting without end. A transfer is given up when less than stallBytes arrived within a
        // window, and in any case after capMs; a large answer on a slow but working link still arrives.
        auto giveUp = [&tooSlow, reply] {
            tooSlow = true;
            reply->abort();
        };
        QTimer cap;
        cap.setSingleShot(true);
        QObject::connect(&cap, &QTimer::timeout, reply, giveUp);
        cap.start(limit.capMs);
        qint64 received = 0;
        qint64 atWindowStart = 0;
        QTimer window;
        QObject::connect(reply, &QNetworkReply::downloadProgress, &window, [&](qint64 bytes) {
            received = bytes;
            if (!window.isActive()) // the silence before the first byte is the transfer timeout's
                window.start(limit.stallWindowMs);
        });
        QObject::connect(&window, &QTimer::timeout, reply, [&] {
            if (received - std::exchange(atWindowStart, received) < limit.stallBytes)
                giveUp();
        });
        ++waiting;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        --waiting;
    }

    int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorString = reply->errorString();
    QByteArray data;
    if (into && reply->isOpen())
        readAvailable(*reply, *into);
    else if (reply->isOpen())
        data = reply->readAll();
    delete reply;

    if (refused)
        throw *refused;
    if (transferBroken(error))
        status = 0;
    if (status == 0) {
        throw ApiError(
            0, Unreachable + (tooSlow ? QStringLiteral("svaret tog för lång tid") : reasonFor(error, errorString)));
    }
    checkStatus(status, into ? *into : data);
    return {status, data};
}

QJsonObject ApiClient::decide(int status, const QByteArray& body)
{
    checkStatus(status, body);
    return decodeBody(status, body);
}

QJsonObject ApiClient::decodeBody(int status, const QByteArray& body)
{
    if (body.isEmpty())
        return {};
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        throw ApiError(status, QStringLiteral("Ogiltigt svar från servern"));
    return doc.object();
}

QJsonObject ApiClient::login(const QString& username, const QString& password, const QString& client)
{
    const QJsonObject body {{QStringLiteral("username"), username}, {QStringLiteral("password"), password},
        {QStringLiteral("client"), client}};
    const QJsonObject response = request(
        "POST", QStringLiteral("/api/auth/login"), compactJson(body), "application/json", {}, /*authenticated=*/false);
    m_token = response.value(QLatin1String("token")).toString();
    return response;
}

QJsonObject ApiClient::me()
{
    return get(QStringLiteral("/api/auth/me"));
}

void ApiClient::logout()
{
    try {
        post(QStringLiteral("/api/auth/logout"));
    } catch (const ApiError&) {
        // Logging out is best effort: the token is forgotten here whatever the server says.
    }
    m_token.clear();
}

QJsonObject ApiClient::status()
{
    return get(QStringLiteral("/api/status"));
}

int ApiClient::treeStatusRaw(QByteArray& text)
{
    return requestRaw("GET", QStringLiteral("/api/tree/status"), {}, {}, {}, true, &text).status;
}

QJsonObject ApiClient::alarmlog(int page, int limit, bool active, const QString& q)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("page"), QString::number(page));
    query.addQueryItem(QStringLiteral("limit"), QString::number(limit));
    if (active)
        query.addQueryItem(QStringLiteral("active"), QStringLiteral("1"));
    if (!q.isEmpty())
        query.addQueryItem(QStringLiteral("q"), q);
    return get(QStringLiteral("/api/alarmlog"), query);
}

QJsonObject ApiClient::metricLabels(int hostId, int pluginId, int portId, int instanceId)
{
    if (portId != 0) {
        const QString path = QStringLiteral("/api/hosts/%1/switch-ports/%2/metrics").arg(hostId).arg(portId);
        return get(path);
    }
    return get(checkPath(hostId, pluginId, "/metrics"), instanceParams(instanceId));
}

QJsonObject ApiClient::metricSeries(
    int hostId, int pluginId, int portId, const QString& label, int hours, int instanceId)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("label"), label);
    query.addQueryItem(QStringLiteral("hours"), QString::number(hours));
    if (portId != 0) {
        const QString path = QStringLiteral("/api/hosts/%1/switch-ports/%2/metrics/data").arg(hostId).arg(portId);
        return get(path, query);
    }
    if (instanceId > 0)
        query.addQueryItem(QStringLiteral("instance"), QString::number(instanceId));
    return get(checkPath(hostId, pluginId, "/metrics/data"), query);
}

QJsonObject ApiClient::acknowledge(int hostId, int pluginId, int portId, const QString& comment, int instanceId)
{
    QJsonObject body;
    if (!comment.isEmpty())
        body.insert(QStringLiteral("comment"), comment);
    if (portId != 0) {
        const QString path = QStringLiteral("/api/switch-ports/%1/acknowledge").arg(portId);
        return postJson(path, body);
    }
    return postJson(checkPath(hostId, pluginId, "/acknowledge"), body, instanceParams(instanceId));
}

QJsonObject ApiClient::unacknowledge(int hostId, int pluginId, int portId, int instanceId)
{
    if (portId != 0)
        return post(QStringLiteral("/api/switch-ports/%1/acknowledge/clear").arg(portId));
    return post(checkPath(hostId, pluginId, "/acknowledge/clear"), instanceParams(instanceId));
}

QJsonObject ApiClient::dndCreate(
    const QString& scope, int hostId, int pluginId, int portId, int minutes, const QString& reason, int instanceId)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("scope"), scope);
    if (hostId != 0)
        form.addQueryItem(QStringLiteral("host_id"), QString::number(hostId));
    if (pluginId != 0)
        form.addQueryItem(QStringLiteral("plugin_id"), QString::number(pluginId));
    if (instanceId > 0)
        form.addQueryItem(QStringLiteral("instance_id"), QString::number(instanceId));
    if (portId != 0)
        form.addQueryItem(QStringLiteral("port_id"), QString::number(portId));
    if (minutes != 0)
        form.addQueryItem(QStringLiteral("minutes"), QString::number(minutes));
    if (!reason.isEmpty())
        form.addQueryItem(QStringLiteral("reason"), reason);
    return postForm(QStringLiteral("/api/dnd"), form);
}

QJsonObject ApiClient::dndCancel(int id)
{
    return post(QStringLiteral("/api/dnd/%1/cancel").arg(id));
}

QJsonObject ApiClient::recheckPlugin(int hostId, int pluginId, int instanceId)
{
    return post(checkPath(hostId, pluginId, "/recheck"), instanceParams(instanceId));
}

QJsonObject ApiClient::recheckHost(int hostId)
{
    return post(QStringLiteral("/api/hosts/%1/recheck").arg(hostId));
}

QJsonObject ApiClient::get(const QString& path, const QUrlQuery& query)
{
    return request("GET", path, {}, {}, query, true);
}

QJsonObject ApiClient::post(const QString& path, const QUrlQuery& query)
{
    return request("POST", path, {}, {}, query, true);
}

QJsonObject ApiClient::postJson(const QString& path, const QJsonObject& body, const QUrlQuery& query)
{
    return request("POST", path, compactJson(body), "application/json", query, true);
}

QJsonObject ApiClient::postForm(const QString& path, const QUrlQuery& form)
{
    return request("POST", path, encoded(form).toUtf8(), "application/x-www-form-urlencoded", {}, true);
}
