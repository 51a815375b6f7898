// SPDX-License-Identifier: GPL-3.0-or-later
// norv-fuzz-seeds DIR: writes the fuzz targets' seed inputs, the payloads of the stand-in server and of the
// simulator, into DIR/<target>/.

#include "network.h"
#include "simulation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

void write(const QString& dir, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QDateTime now(QDate(2026, 12, 6), QTime(12, 0));
    standin::Network sample = standin::Network::sample();
    standin::Simulation simulation(5);
    standin::Network simulated = simulation.generate(8, now);
    int n = 0;
    for (const standin::Network* network : {&sample, &simulated}) {
        const QString tag = QString::number(++n);
        write(root + QStringLiteral("/tree"), tag, json(network->treePayload()));
        write(root + QStringLiteral("/status"), tag, json(network->statusPayload(now)));
        write(root + QStringLiteral("/alarmlog"), tag, json(network->alarmLogPage(1, 20, false, QString())));
        const standin::Item& check = network->checks.first();
        const standin::Item& port = network->ports.first();
        write(root + QStringLiteral("/chart"), QStringLiteral("series-") + tag,
            json(standin::Network::seriesPayload(check, check.metrics.first(), 24, now)));
        write(root + QStringLiteral("/chart"), QStringLiteral("bps-") + tag,
            json(standin::Network::seriesPayload(port, port.metrics.first(), 1, now)));
        write(root + QStringLiteral("/chart"), QStringLiteral("labels-") + tag,
            json({{QStringLiteral("labels"), QJsonArray::fromStringList(check.metrics)}}));
        for (const int status : {200, 401, 500}) {
            const QByteArray body = status == 200 ? json(network->statusPayload(now)) : R"({"error":"nej"})";
            write(root + QStringLiteral("/response"), QStringLiteral("%1-%2").arg(status).arg(tag),
                QByteArray(1, char(status >> 8)) + char((status - 1) & 0xff) + body);
        }
    }
    write(root + QStringLiteral("/status"), QStringLiteral("identity"),
        R"({"user":{"roles":["operator","viewer"]},"server_version":"1.1"})");
    return 0;
}
