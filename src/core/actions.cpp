// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/actions.h"

#include "net/apiclient.h"

namespace actions {

bool applies(Kind kind, const treemodel::Target& target)
{
    const bool plugin = target.kind == QLatin1String("plugin");
    const bool port = target.kind == QLatin1String("port");
    const bool host = target.kind == QLatin1String("host");
    switch (kind) {
    case Kind::Acknowledge:
    case Kind::Unacknowledge:
        return plugin || port;
    case Kind::Silence:
    case Kind::Recheck:
        return plugin || host || (kind == Kind::Silence && port);
    }
    return false;
}

void send(ApiClient& client, Kind kind, const treemodel::Target& t, const Choice& choice)
{
    const bool plugin = t.kind == QLatin1String("plugin");
    const bool port = t.kind == QLatin1String("port");
    switch (kind) {
    case Kind::Acknowledge:
        client.acknowledge(t.hostId, t.pluginId, t.portId, choice.comment, t.instanceId);
        return;
    case Kind::Unacknowledge:
        client.unacknowledge(t.hostId, t.pluginId, t.portId, t.instanceId);
        return;
    case Kind::Silence:
        // A port is silenced by its port id alone, a host by its host id.
        if (plugin)
            client.dndCreate(t.kind, t.hostId, t.pluginId, 0, choice.minutes, choice.reason, t.instanceId);
        else if (port)
            client.dndCreate(t.kind, 0, 0, t.portId, choice.minutes, choice.reason, 0);
        else
            client.dndCreate(QStringLiteral("host"), t.hostId, 0, 0, choice.minutes, choice.reason, 0);
        return;
    case Kind::Recheck:
        if (plugin)
            client.recheckPlugin(t.hostId, t.pluginId, t.instanceId);
        else
            client.recheckHost(t.hostId);
        return;
    }
}

} // namespace actions
