#include "treemodel.h"

#include "statuses.h"
#include "treecells.h"
#include "treereader.h"

#include <QStandardItemModel>

namespace treemodel {

Target Target::of(const QVariantMap& map)
{
    auto id = [&map](const char* key) { return map.value(QLatin1String(key)).toInt(); };
    const QString shown = map.value(QStringLiteral("name")).toString();
    return {map.value(QStringLiteral("kind")).toString(), id("host_id"), id("plugin_id"), id("port_id"),
        id("instance_id"), shown.isEmpty() ? QStringLiteral("?") : shown, shown};
}

Target Target::ofProblem(const QJsonObject& problem, const QString& name)
{
    auto id = [&problem](const char* key) { return idOf(problem.value(QLatin1String(key))); };
    Target target;
    target.hostId = id("host_id");
    target.pluginId = id("plugin_id");
    target.name = name.isEmpty() ? QStringLiteral("?") : name;
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

int idOf(const QJsonValue& value)
{
    if (value.isString()) {
        bool ok = false;
        const int id = value.toString().toInt(&ok, 10);
        return ok ? id : 0;
    }
    return value.toInt(0);
}

QString aggregateStatus(const QList<QString>& statuses)
{
    QString worst = QStringLiteral("none");
    for (const QString& status : statuses) {
        if (statuses::rollUpPriority(status) > statuses::rollUpPriority(worst))
            worst = status;
    }
    return worst;
}

bool isAlarming(const QString& status)
{
    return statuses::alarmingInTree(status);
}

void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model)
{
    LiveTree live(model);
    TreeReader reader;
    reader.read(payload);
    auto update = std::make_shared<TreeUpdate>(compareTrees(live.shown, reader.shape()));
    reader.addAllRows(update->rows);
    live.apply(update);
}

} // namespace treemodel
