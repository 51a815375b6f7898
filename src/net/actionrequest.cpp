// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/actionrequest.h"

#include "net/apiclient.h"

namespace actions {

void send(ApiClient& client, Kind kind, const treemodel::Target& t, const Choice& choice)
{
    const QString scope = treemodel::kindName(t.kind);
    switch (kind) {
    case Kind::Acknowledge:
        client.acknowledge(t.hostId, t.pluginId, t.portId, choice.comment, t.instanceId);
        return;
    case Kind::Unacknowledge:
        client.unacknowledge(t.hostId, t.pluginId, t.portId, t.instanceId);
        return;
    case Kind::Silence:
        // A port is silenced by its port id alone, a host by its host id.
        if (t.kind == treemodel::Kind::Plugin)
            client.dndCreate(scope, t.hostId, t.pluginId, 0, choice.minutes, choice.reason, t.instanceId);
        else if (t.kind == treemodel::Kind::Port)
            client.dndCreate(scope, 0, 0, t.portId, choice.minutes, choice.reason, 0);
        else
            client.dndCreate(QStringLiteral("host"), t.hostId, 0, 0, choice.minutes, choice.reason, 0);
        return;
    case Kind::Recheck:
        if (t.kind == treemodel::Kind::Plugin)
            client.recheckPlugin(t.hostId, t.pluginId, t.instanceId);
        else
            client.recheckHost(t.hostId);
        return;
    case Kind::Chart:
        return;
    }
}

} // namespace actions
