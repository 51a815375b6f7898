// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "network.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QObject;
class QThread;

// A stand-in for a Norv server: the REST interface the client talks to, over HTTP on a local port, with a network
// whose state the operator's actions change. It runs on a thread of its own, so a test thread that blocks (waiting
// for a poller, say) never keeps it from answering. Every public function is thread-safe.
namespace standin {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

struct User {
    QString name;
    QString password;
    QString displayName;
    QStringList roles;
};

struct RecordedRequest {
    QByteArray method;
    QString path;
    QByteArray query; // as it came over the wire
    QList<QPair<QString, QString>> queryItems; // decoded, in order
    HeaderList headers;
    QByteArray body;

    QByteArray header(const QByteArray& name) const; // empty when absent
    bool hasHeader(const QByteArray& name) const;
};

struct Answer {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    HeaderList headers;
};

// A misbehaviour scripted for one path.
struct Fault {
    enum class Delivery {
        Whole, // the answer at once (after the delay)
        Hang, // no answer at all; the connection stays open
        Drop, // the connection is closed without an answer
        Drip, // the answer one byte at a time
        CutOff, // the headers and half the body, then the connection is closed
    };

    std::optional<Answer> answer; // replaces the server's own answer
    Delivery delivery = Delivery::Whole;
    int delayMs = 0;
    int dripIntervalMs = 20;
    int dripBytes = 1; // how many bytes each drip
    int times = -1; // how many requests it applies to; -1 for every one

    static Fault raw(int status, const QByteArray& body, const QByteArray& contentType = "application/json");
    static Fault slow(int delayMs);
    static Fault hang();
    static Fault drop();
    static Fault drip(int intervalMs, int bytes = 1);
    static Fault cutOff();
    static Fault redirect(int status, const QByteArray& location);
};

class StandinServer {
public:
    StandinServer();
    ~StandinServer();
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    // Listens on the given port (0: any free one); false when the port cannot be taken.
    bool listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    // Serves HTTPS with this certificate and key (PEM) from the next listen() on; empty PEM: HTTP again. False when
    // they cannot be read.
    bool useTls(const QByteArray& certificatePem, const QByteArray& keyPem);
    // Stops listening and drops every open connection, as a server that goes down.
    void close();
    quint16 port() const;
    QString url() const; // http:// or https:// and the loopback address with the port

    // Users who can log in; admin, operator and viewer (password as name) exist from the start.
    void addUser(const User& user);
    QString issueToken(const QString& userName);
    void revokeToken(const QString& token);
    void revokeAllTokens();
    int tokenCount() const;

    Network network() const;
    void setNetwork(const Network& network);
    void update(const std::function<void(Network&)>& change);

    // Back to the start: the sample network, no faults, no recorded requests; issued tokens stay valid.
    void reset();

    // Faults are keyed by path without query.
    void setFault(const QString& path, const Fault& fault);
    void clearFault(const QString& path);
    void clearFaults();

    // Decode "+" in queries and forms as a space, as servers that decode forms the usual way do. Off by default:
    // "+" is then taken literally.
    void setPlusAsSpace(bool on);
    // Whether requests are kept for requests(); a long-running simulator turns it off.
    void setRecording(bool on);
    // Appends a line per request (time, method, path, status) to the file; an empty path stops logging.
    bool setAccessLog(const QString& path);

    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requests(const QString& path) const;
    void clearRequests();

    struct State;

private:
    std::shared_ptr<State> state;
    std::unique_ptr<QThread> thread;
    std::unique_ptr<QObject> anchor; // lives on the server's thread; work for that thread is queued to it
    class Front;
    Front* front = nullptr;
};

} // namespace standin
