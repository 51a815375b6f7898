// SPDX-License-Identifier: GPL-3.0-or-later
// norv-sim: a Norv server that monitors a simulated network, for demonstrations and load tests. Each check and port
// runs on a schedule of its own, and every few seconds some of them change state; the client's actions (acknowledge,
// silence, re-check) are honoured.

#include "simulation.h"
#include "standinserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norv-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A simulated Norv server for the Norv GUI client."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free one)."),
        QStringLiteral("port"), QStringLiteral("8080"));
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("Address to listen on."),
        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption hosts(QStringLiteral("hosts"), QStringLiteral("Number of hosts in the network."),
        QStringLiteral("count"), QStringLiteral("40"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the simulation."),
        QStringLiteral("number"), QStringLiteral("1"));
    const QCommandLineOption version(QStringLiteral("server-version"), QStringLiteral("Version the server reports."),
        QStringLiteral("version"), QStringLiteral(NORV_VERSION));
    const QCommandLineOption tick(QStringLiteral("tick"),
        QStringLiteral("Seconds between steps of the network: checks whose time has come run then."),
        QStringLiteral("seconds"), QStringLiteral("4"));
    const QCommandLineOption okInterval(QStringLiteral("ok-interval"),
        QStringLiteral("Seconds between runs of a healthy check."), QStringLiteral("seconds"), QStringLiteral("60"));
    const QCommandLineOption failingInterval(QStringLiteral("fail-interval"),
        QStringLiteral("Seconds between runs of a failing check."), QStringLiteral("seconds"), QStringLiteral("15"));
    const QCommandLineOption churn(QStringLiteral("churn"),
        QStringLiteral("Which checks run at each change: \"scheduled\" (those whose time has come) or \"all\" (every "
                       "check, so that every healthy check's last-OK time moves: the most a server can change)."),
        QStringLiteral("which"), QStringLiteral("scheduled"));
    const QCommandLineOption log(
        QStringLiteral("log"), QStringLiteral("Append a line per request to this file."), QStringLiteral("file"));
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"),
        QStringLiteral("Serve HTTPS with this certificate (PEM); needs --tls-key."), QStringLiteral("file"));
    const QCommandLineOption tlsKey(
        QStringLiteral("tls-key"), QStringLiteral("The certificate's private key (PEM, RSA)."), QStringLiteral("file"));
    parser.addOptions(
        {port, listen, hosts, seed, version, tick, okInterval, failingInterval, churn, log, tlsCert, tlsKey});
    parser.process(app);

    bool ok = true;
    const auto number = [&](const QCommandLineOption& option, int minimum, int maximum) {
        bool valid = false;
        const int value = parser.value(option).toInt(&valid);
        if (!valid || value < minimum || value > maximum) {
            std::fprintf(stderr, "norv-sim: --%s must be a number from %d to %d\n", qPrintable(option.names().first()),
                minimum, maximum);
            ok = false;
        }
        return value;
    };
    const int portNumber = number(port, 0, 65535);
    const int hostCount = number(hosts, 1, 100000);
    const int seedNumber = number(seed, 0, 2147483647);
    const int tickSeconds = number(tick, 1, 3600);
    standin::Schedule schedule;
    schedule.okSeconds = number(okInterval, 1, 86400);
    schedule.failingSeconds = number(failingInterval, 1, 86400);
    if (parser.value(churn) == QLatin1String("all")) {
        schedule.everyStep = true;
    } else if (parser.value(churn) != QLatin1String("scheduled")) {
        std::fprintf(stderr, "norv-sim: --churn is \"scheduled\" or \"all\"\n");
        ok = false;
    }
    const QHostAddress address(parser.value(listen));
    if (address.isNull()) {
        std::fprintf(stderr, "norv-sim: --listen needs an IP address\n");
        ok = false;
    }
    if (!ok)
        return 2;

    standin::Simulation simulation {quint32(seedNumber), schedule};
    standin::Network network = simulation.generate(hostCount, QDateTime::currentDateTime());
    network.serverVersion = parser.value(version);
    standin::StandinServer server;
    server.setRecording(false);
    server.setNetwork(network);
    if (parser.isSet(log) && !server.setAccessLog(parser.value(log))) {
        std::fprintf(stderr, "norv-sim: cannot write %s\n", qPrintable(parser.value(log)));
        return 1;
    }
    if (parser.isSet(tlsCert) || parser.isSet(tlsKey)) {
        QFile cert(parser.value(tlsCert));
        QFile key(parser.value(tlsKey));
        if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)
            || !server.useTls(cert.readAll(), key.readAll())) {
            std::fprintf(stderr, "norv-sim: --tls-cert and --tls-key need a readable PEM certificate and RSA key\n");
            return 2;
        }
    }
    if (!server.listen(quint16(portNumber), address)) {
        std::fprintf(stderr, "norv-sim: cannot listen on %s port %d\n", qPrintable(address.toString()), portNumber);
        return 1;
    }

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app,
        [&] { server.update([&](standin::Network& n) { simulation.tick(n, QDateTime::currentDateTime()); }); });
    timer.start(tickSeconds * 1000);

    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(address.toString())
        : address.toString();
    std::printf("norv-sim listening on %s://%s:%u with %d hosts (seed %d, version %s)\n",
        parser.isSet(tlsCert) ? "https" : "http", qPrintable(host), unsigned(server.port()), hostCount, seedNumber,
        qPrintable(network.serverVersion));
    std::printf("Log in as admin/admin, operator/operator, or viewer/viewer (read-only).\n");
    std::fflush(stdout);
    return app.exec();
}
