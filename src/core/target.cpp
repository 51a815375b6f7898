// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/target.h"

#include "tree/treecells.h"

#include <algorithm>

namespace treemodel {

Target Target::of(const QVariantMap& map)
{
    auto id = [&map](const char* key) { return map.value(QLatin1String(key)).toInt(); };
    return {map.value(QStringLiteral("kind")).toString(), id("host_id"), id("plugin_id"), id("port_id"),
        id("instance_id"), map.value(QStringLiteral("name")).toString()};
}

Target Target::ofProblem(const QJsonObject& problem, const QString& name)
{
    auto id = [&problem](const char* key) { return idOf(problem.value(QLatin1String(key))); };
    Target target;
    target.hostId = id("host_id");
    target.pluginId = id("plugin_id");
    target.shownName = name;
    if (target.pluginId == 0 && id("port_id") != 0) {
        target.kind = QStringLiteral("port");
        target.portId = id("port_id");
    } else {
        target.kind = QStringLiteral("plugin");
        target.instanceId = id("instance_id");
    }
    return target;
}

QVariantMap Target::map() const
{
    if (kind == QLatin1String("port"))
        return targetMap(Node::Port, hostId, portId, 0, shownName);
    if (kind == QLatin1String("plugin"))
        return targetMap(Node::Plugin, hostId, pluginId, instanceId, shownName);
    if (kind == QLatin1String("host"))
        return targetMap(Node::Host, hostId, 0, 0, shownName);
    return {};
}

bool operator==(const Target& a, const Target& b)
{
    const bool port = a.kind == QLatin1String("port");
    if (port != (b.kind == QLatin1String("port")))
        return false;
    if (port)
        return a.portId == b.portId;
    return a.hostId == b.hostId && a.pluginId == b.pluginId && std::max(a.instanceId, 0) == std::max(b.instanceId, 0);
}

size_t qHash(const Target& target, size_t seed)
{
    if (target.kind == QLatin1String("port"))
        return qHashMulti(seed, true, target.portId);
    return qHashMulti(seed, false, target.hostId, target.pluginId, std::max(target.instanceId, 0));
}

int idOf(const QJsonValue& value)
{
    if (value.isString()) {
        bool ok = false;
        const int id = value.toString().toInt(&ok, 10);
        return ok ? id : 0;
    }
    return value.toInt(0);
}

} // namespace treemodel
