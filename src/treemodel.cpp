#include "treemodel.h"

#include <QMap>
#include <QStandardItemModel>

namespace treemodel {

namespace {

int statusPriority(const QString& status)
{
    static const QMap<QString, int> priorities {{QStringLiteral("stale"), 6}, {QStringLiteral("critical"), 5},
        {QStringLiteral("warning"), 4}, {QStringLiteral("unknown"), 3}, {QStringLiteral("pending"), 2},
        {QStringLiteral("ok"), 1}, {QStringLiteral("ignored"), 0}, {QStringLiteral("none"), -1}};
    return priorities.value(status, -1);
}
} // namespace

Target Target::of(const QVariantMap& map)
{
    auto id = [&map](const char* key) { return map.value(QLatin1String(key)).toInt(); };
    const QString shown = map.value(QStringLiteral("name")).toString();
    return {map.value(QStringLiteral("kind")).toString(), id("host_id"), id("plugin_id"), id("port_id"),
        id("instance_id"), shown.isEmpty() ? QStringLiteral("?") : shown, shown};
}
QString aggregateStatus(const QList<QString>& statuses)
{
    QString worst = QStringLiteral("none");
    for (const QString& status : statuses) {
        if (statusPriority(status) > statusPriority(worst))
            worst = status;
    }
    return worst;
}

bool isAlarming(const QString& status)
{
    return status == QLatin1String("warning") || status == QLatin1String("unknown")
        || status == QLatin1String("critical") || status == QLatin1String("stale");
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
