// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QUrlQuery>

#include <stdexcept>

class QNetworkAccessManager;

// A failed server call: the HTTP status (0 when no response arrived) and a message ready to show.
class ApiError : public std::runtime_error {
public:
    ApiError(int status, const QString& message);

    int status;
    QString message;
};

// The server rejected the token (HTTP 401).
class AuthError : public ApiError {
public:
    AuthError(int status, const QString& message);
};

// The TLS handshake failed: the certificate the server showed, and why it is not trusted (in Swedish). Only a
// certificate that is merely untrusted (self-signed, of an unknown issuer, with an incomplete chain, or for another
// name) may be trusted by the operator; an expired one, or any other fault, never.
class CertificateError : public ApiError {
public:
    CertificateError(const QSslCertificate& certificate, const QList<QSslError>& errors);

    QSslCertificate certificate;
    QStringList reasons;
    bool trustable;
};

// A certificate's SHA-256: as stored (lower-case hex) and as shown (upper-case hex pairs joined by ":").
QString certificateSha256(const QSslCertificate& certificate);
QString displayedFingerprint(const QString& sha256);

// What a failure message says went wrong: for a server that gave no answer, the reason alone ("inget svar inom
// 10 s", "anslutningen nekades" ...); any other message as it is.
QString failureReason(const QString& message);

// Synchronous JSON REST client for one Norv server. Every call returns the decoded JSON object or throws ApiError.
// A client belongs to the thread of its first request; on the GUI thread a call waits in a nested event loop that
// keeps delivering timers, repaints and queued signals but no user input.
class ApiClient {
public:
    ApiClient(const QString& baseUrl, const QString& token);
    ~ApiClient();
    Q_DISABLE_COPY(ApiClient)

    // How long a request may wait, for every client of the program. Tests shorten them; the values shipped are
    // these.
    struct RequestLimits {
        int silenceMs = 10000; // not a byte for this long: the server does not answer
        int stallWindowMs = 10000; // less than stallBytes within one such window: the answer is stuck
        qint64 stallBytes = 16 * 1024;
        int capMs = 5 * 60 * 1000; // no request takes longer
    };
    static RequestLimits& limits();

    // The certificate the operator chose to trust for a server (SHA-256, lower-case hex; empty: none). Every client
    // of the program then accepts, for that server, the system's trust and exactly this certificate. Thread-safe.
    static void pinCertificate(const QString& baseUrl, const QString& sha256);
    static QString pinnedCertificate(const QString& baseUrl);

    QString baseUrl() const { return m_baseUrl; }
    QString token() const { return m_token; }
    // Whether a request of this client is waiting for its answer (on the GUI thread, other code runs meanwhile).
    bool busy() const { return waiting > 0; }

    QJsonObject request(const QByteArray& method, const QString& path, const QByteArray& body,
        const QByteArray& contentType, const QUrlQuery& query, bool authenticated);

    // A successful answer whose body the caller decodes itself.
    struct RawAnswer {
        int status;
        QByteArray body;
    };
    // The same request with the same failures, except that the body is not decoded. Given a buffer, the body is read
    // into it as it arrives and the answer's own body stays empty.
    RawAnswer requestRaw(const QByteArray& method, const QString& path, const QByteArray& body,
        const QByteArray& contentType, const QUrlQuery& query, bool authenticated, QByteArray* into = nullptr);

    // The decision on a complete HTTP answer: the decoded object, or the ApiError or AuthError it means.
    static QJsonObject decide(int status, const QByteArray& body);
    // The decision on the body of a successful answer: the decoded object, or the ApiError an invalid body means.
    static QJsonObject decodeBody(int status, const QByteArray& body);

    QJsonObject login(const QString& username, const QString& password, const QString& client);
    QJsonObject me();
    void logout();

    QJsonObject status();
    // The tree's JSON text, for the poller's own reader, read into the caller's buffer; returns the HTTP status. A
    // buffer kept from one poll to the next keeps its memory: a tree of tens of megabytes is not given fresh pages,
    // and Qt's own buffer does not grow to the whole text, every round.
    int treeStatusRaw(QByteArray& text);
    QJsonObject alarmlog(int page, int limit, bool active, const QString& q);
    QJsonObject metricLabels(int hostId, int pluginId, int portId, int instanceId);
    QJsonObject metricSeries(int hostId, int pluginId, int portId, const QString& label, int hours, int instanceId);
    QJsonObject acknowledge(int hostId, int pluginId, int portId, const QString& comment, int instanceId);
    QJsonObject unacknowledge(int hostId, int pluginId, int portId, int instanceId);
    QJsonObject dndCreate(
        const QString& scope, int hostId, int pluginId, int portId, int minutes, const QString& reason, int instanceId);
    QJsonObject dndCancel(int id);
    QJsonObject recheckPlugin(int hostId, int pluginId, int instanceId);
    QJsonObject recheckHost(int hostId);

private:
    // The requests the operations are made of, each with the token.
    QJsonObject get(const QString& path, const QUrlQuery& query = {});
    QJsonObject post(const QString& path, const QUrlQuery& query = {});
    QJsonObject postJson(const QString& path, const QJsonObject& body, const QUrlQuery& query = {});
    QJsonObject postForm(const QString& path, const QUrlQuery& form);

    QString m_baseUrl;
    QString m_token;
    QNetworkAccessManager* manager = nullptr;
    int waiting = 0;
    QByteArray userAgent; // "norv-gui/<version>": servers can tell which clients talk to them
};
