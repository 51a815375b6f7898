// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/target.h"

#include "core/lenient.h"

#include <algorithm>

namespace treemodel {

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Group:
        return QStringLiteral("group");
    case Kind::Host:
        return QStringLiteral("host");
    case Kind::Plugin:
        return QStringLiteral("plugin");
    case Kind::Port:
        return QStringLiteral("port");
    case Kind::None:
        break;
    }
    return QString();
}

QVariantMap targetMap(Kind kind, int hostId, int id, int instanceId, const QString& name)
{
    QVariantMap map {{QStringLiteral("kind"), kindName(kind)}, {QStringLiteral("name"), name}};
    switch (kind) {
    case Kind::Group:
        map.insert(QStringLiteral("group_id"), id);
        break;
    case Kind::Host:
        map.insert(QStringLiteral("host_id"), hostId);
        break;
    case Kind::Plugin:
        map.insert(QStringLiteral("host_id"), hostId);
        map.insert(QStringLiteral("plugin_id"), id);
        map.insert(QStringLiteral("instance_id"), instanceId);
        break;
    case Kind::Port:
        map.insert(QStringLiteral("host_id"), hostId);
        map.insert(QStringLiteral("port_id"), id);
        break;
    case Kind::None:
        return {};
    }
    return map;
}

Target Target::of(const QVariantMap& map)
{
    auto id = [&map](const char* key) { return map.value(QLatin1String(key)).toInt(); };
    const QString name = map.value(QStringLiteral("kind")).toString();
    Kind kind = Kind::None;
    for (const Kind k : {Kind::Group, Kind::Host, Kind::Plugin, Kind::Port}) {
        if (kindName(k) == name)
            kind = k;
    }
    return {kind, id("host_id"), id("plugin_id"), id("port_id"), id("instance_id"),
        map.value(QStringLiteral("name")).toString()};
}

Target Target::ofProblem(const QJsonObject& problem, const QString& name)
{
    auto id = [&problem](const char* key) { return lenient::integer(problem.value(QLatin1String(key))); };
    Target target;
    target.hostId = id("host_id");
    target.pluginId = id("plugin_id");
    target.shownName = name;
    if (target.pluginId == 0 && id("port_id") != 0) {
        target.kind = Kind::Port;
        target.portId = id("port_id");
    } else {
        target.kind = Kind::Plugin;
        target.instanceId = id("instance_id");
    }
    return target;
}

QVariantMap Target::map() const
{
    switch (kind) {
    case Kind::Port:
        return targetMap(kind, hostId, portId, 0, shownName);
    case Kind::Plugin:
        return targetMap(kind, hostId, pluginId, instanceId, shownName);
    case Kind::Host:
        return targetMap(kind, hostId, 0, 0, shownName);
    default:
        return {};
    }
}

bool operator==(const Target& a, const Target& b)
{
    const bool port = a.kind == Kind::Port;
    if (port != (b.kind == Kind::Port))
        return false;
    if (port)
        return a.portId == b.portId;
    return a.hostId == b.hostId && a.pluginId == b.pluginId && std::max(a.instanceId, 0) == std::max(b.instanceId, 0);
}

size_t qHash(const Target& target, size_t seed)
{
    if (target.kind == Kind::Port)
        return qHashMulti(seed, true, target.portId);
    return qHashMulti(seed, false, target.hostId, target.pluginId, std::max(target.instanceId, 0));
}

} // namespace treemodel
