// SPDX-License-Identifier: GPL-3.0-or-later
// norv-demo-login: logs in to a Norv server with the client's own login request and stores the server and its
// token the way the client does, in the configuration home of the environment (XDG_CONFIG_HOME). The demo uses it
// to prepare a configuration of its own.

#include "core/settings.h"
#include "gui/appearance.h"
#include "net/apiclient.h"

#include <QCoreApplication>
#include <QHostInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    settings::nameApplication();
    settings::loadQtTranslation();
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--store-only")) {
        // The server without a login: the client starts with "Logga in…" and the operator logs in there.
        settings::saveServers({{QStringLiteral("0000000000de"), settings::normalizeUrl(args.at(2)),
            QStringLiteral("Demo"), true, QString()}});
        std::printf("Stored %s without a login\n", qPrintable(args.at(2)));
        return 0;
    }
    if (args.size() < 4 || args.size() > 5) {
        std::fprintf(stderr,
            "usage: norv-demo-login URL USER PASSWORD [REFRESH_SECONDS]\n       norv-demo-login --store-only URL\n");
        return 2;
    }
    ApiClient client(settings::normalizeUrl(args.at(1)), QString());
    try {
        client.login(args.at(2), args.at(3), QHostInfo::localHostName().left(60));
    } catch (const ApiError& e) {
        std::fprintf(stderr, "norv-demo-login: %s\n", e.what());
        return 1;
    }
    if (client.token().isEmpty()) {
        std::fprintf(stderr, "norv-demo-login: the server answered without a token\n");
        return 1;
    }
    const settings::ServerEntry entry = settings::addOrUpdateServer(client.baseUrl(), client.token());
    settings::setServerName(entry.id, QStringLiteral("Demo"));
    if (args.size() == 5)
        settings::setRefreshSeconds(args.at(4).toInt());
    std::printf("Logged in to %s as %s\n", qPrintable(entry.url), qPrintable(args.at(2)));
    return 0;
}
