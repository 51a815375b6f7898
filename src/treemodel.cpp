#include "treemodel.h"

#include "icons.h"

#include <QBrush>
#include <QHash>
#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <QStandardItem>
#include <QStandardItemModel>

#include <cmath>
#include <limits>

namespace treemodel {

namespace {

const QString Separator = QStringLiteral(" \u00b7 ");

// Lenient text read: a string as it is, a number or boolean in its text form, anything else the default or
// (arrays, objects) empty.
QString js(const QJsonObject& obj, const char* key, const QString& def)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    switch (v.type()) {
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Double:
    case QJsonValue::Bool:
        return v.toVariant().toString();
    case QJsonValue::Array:
    case QJsonValue::Object:
        return QString();
    default:
        return def;
    }
}

// Lenient integer read: a whole number within 32 bits, or a string holding one (0 when it does not).
int jsInt(const QJsonObject& obj, const char* key, int def)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (std::trunc(d) == d && d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max())
            return int(d);
        return def;
    }
    if (v.isString()) {
        bool ok = false;
        const int value = v.toString().toInt(&ok, 10);
        return ok ? value : 0;
    }
    return def;
}

bool flag(const QJsonObject& obj, const char* key)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    return v.isBool() && v.toBool();
}

bool isAlarming(const QString& status)
{
    return status == QLatin1String("warning") || status == QLatin1String("unknown")
        || status == QLatin1String("critical") || status == QLatin1String("stale");
}

bool checkHandled(const QJsonObject& record)
{
    const auto handled = record.constFind(QLatin1String("handled"));
    if (handled != record.constEnd())
        return handled->isBool() && handled->toBool();
    if (!isAlarming(js(record, "status", QString())))
        return false;
    return flag(record, "acknowledged") || flag(record, "dnd");
}

bool hostHandled(const QJsonObject& host, const QList<QJsonObject>& checks, const QList<QJsonObject>& ports)
{
    const auto handled = host.constFind(QLatin1String("handled"));
    if (handled != host.constEnd())
        return handled->isBool() && handled->toBool();
    if (!isAlarming(js(host, "status", QString())))
        return false;
    bool anyAlarming = false;
    for (const QList<QJsonObject>* items : {&checks, &ports}) {
        for (const QJsonObject& item : *items) {
            if (!isAlarming(js(item, "status", QString())))
                continue;
            anyAlarming = true;
            if (!checkHandled(item))
                return false;
        }
    }
    return anyAlarming;
}

QString flagText(const QJsonObject& record)
{
    QStringList parts;
    if (flag(record, "acknowledged")) {
        const QString by = js(record, "acknowledged_by_name", QString());
        parts.append(by.isEmpty() ? QStringLiteral("\u2713 Sett") : QStringLiteral("\u2713 Sett av %1").arg(by));
    }
    if (flag(record, "dnd"))
        parts.append(QStringLiteral("\U0001F515 Stör ej"));
    const QString reason = js(record, "suppressed_reason", QString());
    if (!reason.isEmpty())
        parts.append(QStringLiteral("\U0001F515 %1").arg(reason));
    const auto hard = record.constFind(QLatin1String("hard"));
    if (hard != record.constEnd() && !(hard->isBool() && hard->toBool())) {
        parts.append(QStringLiteral("försök %1/%2")
                         .arg(jsInt(record, "consecutive_failures", 0))
                         .arg(jsInt(record, "max_attempts", 1)));
    }
    return parts.join(Separator);
}

QString rollupFlags(const QJsonObject& record)
{
    QStringList parts;
    if (flag(record, "dnd"))
        parts.append(QStringLiteral("\U0001F515 Stör ej"));
    else if (flag(record, "has_dnd"))
        parts.append(QStringLiteral("\U0001F515 Stör ej under"));
    if (flag(record, "has_acked"))
        parts.append(QStringLiteral("\u2713 kvitterat under"));
    return parts.join(Separator);
}

int statusPriority(const QString& status)
{
    static const QMap<QString, int> priorities {{QStringLiteral("stale"), 6}, {QStringLiteral("critical"), 5},
        {QStringLiteral("warning"), 4}, {QStringLiteral("unknown"), 3}, {QStringLiteral("pending"), 2},
        {QStringLiteral("ok"), 1}, {QStringLiteral("ignored"), 0}, {QStringLiteral("none"), -1}};
    return priorities.value(status, -1);
}

// How one status looks in a row. A tree holds few distinct statuses, so each build paints each look once.
struct Look {
    QIcon dot;
    QBrush brush;
    QString upper;
};

class Painter {
public:
    const Look& look(const QString& status, bool handled)
    {
        auto& looks = handled ? handledLooks : plainLooks;
        auto found = looks.find(status);
        if (found == looks.end()) {
            found = looks.insert(status,
                Look {icons::dotIcon(status, 12, handled), QBrush(icons::statusColor(status, handled, dark)),
                    status.toUpper()});
        }
        return *found;
    }

private:
    const bool dark = icons::darkLook();
    QHash<QString, Look> plainLooks;
    QHash<QString, Look> handledLooks;
};

QStandardItem* cell(const QString& text)
{
    auto* item = new QStandardItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QList<QStandardItem*> makeRow(Painter& painter, const QString& name, const QString& status, const QString& output,
    const QString& lastOk, const QString& flags, const QString& key, const QVariantMap& target, bool handled)
{
    const Look& look = painter.look(status, handled);
    QStandardItem* first = cell(name);
    first->setData(look.dot, Qt::DecorationRole);
    first->setData(key, KeyRole);
    first->setData(target, TargetRole);
    first->setData(status, StatusRole);
    first->setData(handled, HandledRole);
    QStandardItem* statusCell = cell(look.upper);
    statusCell->setData(look.brush, Qt::ForegroundRole);
    return {first, statusCell, cell(output), cell(lastOk), cell(flags)};
}

QList<QJsonObject> objects(const QJsonObject& payload, const char* key)
{
    const QJsonArray array = payload.value(QLatin1String(key)).toArray();
    QList<QJsonObject> list;
    list.reserve(array.size());
    for (const QJsonValue& v : array)
        list.append(v.toObject());
    return list;
}

// The state of one build: records indexed by id, and the group rows made so far.
class Builder {
public:
    Builder(const QJsonObject& payload, QStandardItem* root)
        : root(root)
    {
        groupRecords = objects(payload, "groups");
        for (const QJsonObject& g : std::as_const(groupRecords))
            groupsById.insert(jsInt(g, "id", 0), g);
        for (const QJsonObject& c : objects(payload, "plugins"))
            checksByHost[jsInt(c, "host_id", 0)].append(c);
        for (const QJsonObject& p : objects(payload, "ports"))
            portsByHost[jsInt(p, "host_id", 0)].append(p);
        hostRecords = objects(payload, "hosts");
    }

    void build()
    {
        for (const QJsonObject& g : std::as_const(groupRecords))
            ensureGroup(jsInt(g, "id", 0));
        for (const QJsonObject& h : std::as_const(hostRecords))
            addHost(h);
        for (const int id : std::as_const(placeholderIds))
            sumUpPlaceholder(id);
    }

private:
    // Makes the row of a group, and of its missing ancestors first, or finds it. Walks the parent chain with
    // a loop, not recursion, so that a payload with a very long chain of groups cannot exhaust the stack. A
    // group whose ancestors lead back to itself closes the cycle at top level.
    QStandardItem* ensureGroup(int id)
    {
        if (QStandardItem* made = groupItems.value(id))
            return made;
        QList<QPair<int, QList<QStandardItem*>>> chain; // from the group up to its topmost new ancestor
        QSet<int> beingMade;
        QStandardItem* parent = root;
        for (int current = id;;) {
            if (QStandardItem* made = groupItems.value(current)) {
                parent = made;
                break;
            }
            if (beingMade.contains(current))
                break;
            beingMade.insert(current);
            QJsonObject record = groupsById.value(current);
            if (!groupsById.contains(current)) {
                placeholderIds.insert(current);
                record = QJsonObject {{QStringLiteral("id"), current},
                    {QStringLiteral("name"), QStringLiteral("Utan grupp")},
                    {QStringLiteral("status"), QStringLiteral("none")},
                    {QStringLiteral("parent_id"), QJsonValue::Null}};
            }
            const QString name = js(record, "name", QStringLiteral("?"));
            const QVariantMap target {{QStringLiteral("kind"), QStringLiteral("group")},
                {QStringLiteral("group_id"), current}, {QStringLiteral("name"), name}};
            chain.append({current,
                makeRow(painter, name, js(record, "status", QStringLiteral("none")), QString(), QString(),
                    rollupFlags(record), QStringLiteral("g:%1").arg(current), target, false)});
            const int parentId = jsInt(record, "parent_id", 0);
            if (parentId == 0)
                break;
            current = parentId;
        }
        for (auto it = chain.crbegin(); it != chain.crend(); ++it) {
            parent->appendRow(it->second);
            parent = it->second.first();
            groupItems.insert(it->first, parent);
            if (placeholderIds.contains(it->first))
                placeholderRows.insert(it->first, it->second);
        }
        return parent;
    }

    void addHost(const QJsonObject& host)
    {
        const int id = jsInt(host, "id", 0);
        const QString name = js(host, "name", QStringLiteral("?"));
        const auto groupValue = host.value(QLatin1String("group_id"));
        const int groupId = groupValue.isNull() ? -1 : jsInt(host, "group_id", 0);
        QStandardItem* group = ensureGroup(groupId);

        const QList<QJsonObject> checks = checksByHost.value(id);
        const QList<QJsonObject> ports = portsByHost.value(id);
        const QVariantMap target {{QStringLiteral("kind"), QStringLiteral("host")}, {QStringLiteral("host_id"), id},
            {QStringLiteral("name"), name}};
        const QList<QStandardItem*> row
            = makeRow(painter, QStringLiteral("%1  (%2)").arg(name, js(host, "address", QString())),
                js(host, "status", QStringLiteral("none")), QString(), QString(), rollupFlags(host),
                QStringLiteral("h:%1").arg(id), target, hostHandled(host, checks, ports));
        group->appendRow(row);
        QStandardItem* hostItem = row.first();

        for (const QJsonObject& check : checks) {
            const int pluginId = jsInt(check, "plugin_id", 0);
            const QString shown = js(check, "name", QString());
            const QString checkName = shown.isEmpty() ? QStringLiteral("plugin %1").arg(pluginId) : shown;
            const QVariantMap checkTarget {{QStringLiteral("kind"), QStringLiteral("plugin")},
                {QStringLiteral("host_id"), id}, {QStringLiteral("plugin_id"), pluginId},
                {QStringLiteral("instance_id"), jsInt(check, "instance_id", 0)}, {QStringLiteral("name"), checkName}};
            hostItem->appendRow(makeRow(painter, checkName, js(check, "status", QStringLiteral("pending")),
                js(check, "output_text", QString()), js(check, "last_success_at", QString()), flagText(check),
                checkKey(id, check), checkTarget, checkHandled(check)));
        }
        for (const QJsonObject& port : ports) {
            const int portId = jsInt(port, "port_id", 0);
            const QString shown = js(port, "name", QString());
            const QString portName = shown.isEmpty() ? QStringLiteral("port %1").arg(portId) : shown;
            const QVariantMap portTarget {{QStringLiteral("kind"), QStringLiteral("port")},
                {QStringLiteral("host_id"), id}, {QStringLiteral("port_id"), portId},
                {QStringLiteral("name"), portName}};
            hostItem->appendRow(makeRow(painter, portName, js(port, "status", QStringLiteral("pending")),
                js(port, "output_text", QString()), js(port, "collected_at", QString()), flagText(port),
                QStringLiteral("sp:%1").arg(portId), portTarget, checkHandled(port)));
        }
    }

    // A placeholder group has no status from the server: it shows the worst of its children, counting a
    // handled child as "ok".
    void sumUpPlaceholder(int id)
    {
        const QList<QStandardItem*> row = placeholderRows.value(id);
        QStandardItem* first = row.value(0);
        if (!first)
            return;
        QList<QString> statuses;
        for (int r = 0; r < first->rowCount(); ++r) {
            const QStandardItem* child = first->child(r, 0);
            if (!child)
                continue;
            statuses.append(
                child->data(HandledRole).toBool() ? QStringLiteral("ok") : child->data(StatusRole).toString());
        }
        const QString status = aggregateStatus(statuses);
        const Look& look = painter.look(status, false);
        first->setData(look.dot, Qt::DecorationRole);
        first->setData(status, StatusRole);
        row.at(1)->setText(look.upper);
        row.at(1)->setData(look.brush, Qt::ForegroundRole);
    }

    QStandardItem* root;
    Painter painter;
    QList<QJsonObject> groupRecords;
    QList<QJsonObject> hostRecords;
    QHash<int, QJsonObject> groupsById;
    QHash<int, QList<QJsonObject>> checksByHost;
    QHash<int, QList<QJsonObject>> portsByHost;
    QHash<int, QStandardItem*> groupItems;
    QSet<int> placeholderIds;
    QHash<int, QList<QStandardItem*>> placeholderRows;
};

} // namespace

QString checkKey(int hostId, const QJsonObject& check)
{
    const QString key = js(check, "key", QString());
    if (!key.isEmpty())
        return QStringLiteral("p:") + key;
    const int instance = jsInt(check, "instance_id", 0);
    QString result = QStringLiteral("p:%1:%2").arg(hostId).arg(jsInt(check, "plugin_id", 0));
    if (instance > 0)
        result += QStringLiteral(":%1").arg(instance);
    return result;
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

void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model)
{
    model->clear();
    model->setHorizontalHeaderLabels({QStringLiteral("Namn"), QStringLiteral("Status"), QStringLiteral("Utdata"),
        QStringLiteral("Senast OK"), QStringLiteral("Flaggor")});

    // The rows are assembled under a detached root and handed to the model at the end, top-level row by top-level
    // row, so that the views and the filter see a handful of insertions instead of one per row.
    QStandardItem root;
    Builder(payload, &root).build();
    QList<QList<QStandardItem*>> topLevel;
    topLevel.reserve(root.rowCount());
    while (root.rowCount() > 0)
        topLevel.append(root.takeRow(root.rowCount() - 1));
    for (auto it = topLevel.crbegin(); it != topLevel.crend(); ++it)
        model->appendRow(*it);
}

} // namespace treemodel
