#include "treemodel.h"

#include "icons.h"

#include <QBrush>
#include <QHash>
#include <QJsonArray>
#include <QMap>
#include <QModelRoleDataSpan>
#include <QSet>
#include <QStandardItem>
#include <QStandardItemModel>

#include <cmath>
#include <limits>
#include <memory>
#include <unordered_map>

namespace treemodel {

namespace {

const QString Separator = QStringLiteral(" \u00b7 ");

// The readers look fields up with constFind and read them through the iterator: fetching a QJsonValue would copy
// every string into a value of its own first, and the tree reads a dozen fields of every row on every poll.

// Lenient text read: a string as it is, a number or boolean in its text form, anything else the default or
// (arrays, objects) empty.
QString js(const QJsonObject& obj, const char* key, const QString& def)
{
    const auto it = obj.constFind(QLatin1String(key));
    if (it == obj.constEnd())
        return def;
    switch (it->type()) {
    case QJsonValue::String:
        return it->toString();
    case QJsonValue::Double:
    case QJsonValue::Bool:
        return QJsonValue(*it).toVariant().toString();
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
    const auto it = obj.constFind(QLatin1String(key));
    if (it == obj.constEnd())
        return def;
    if (it->isDouble()) {
        const double d = it->toDouble();
        if (std::trunc(d) == d && d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max())
            return int(d);
        return def;
    }
    if (it->isString()) {
        bool ok = false;
        const int value = it->toString().toInt(&ok, 10);
        return ok ? value : 0;
    }
    return def;
}

bool isTrue(const QJsonValueConstRef& v)
{
    return v.isBool() && v.toBool();
}

bool flag(const QJsonObject& obj, const char* key)
{
    const auto it = obj.constFind(QLatin1String(key));
    return it != obj.constEnd() && isTrue(*it);
}

bool isAlarming(const QString& status)
{
    return status == QLatin1String("warning") || status == QLatin1String("unknown")
        || status == QLatin1String("critical") || status == QLatin1String("stale");
}

// The check rule, for a check or port whose status and flags have been read already.
bool checkHandled(const QJsonObject& record, const QString& status, bool acknowledged, bool dnd)
{
    const auto handled = record.constFind(QLatin1String("handled"));
    if (handled != record.constEnd())
        return isTrue(*handled);
    return isAlarming(status) && (acknowledged || dnd);
}

QString builtCheckKey(const QString& serverKey, int hostId, int pluginId, int instanceId)
{
    if (!serverKey.isEmpty())
        return QStringLiteral("p:") + serverKey;
    if (instanceId > 0)
        return QStringLiteral("p:%1:%2:%3").arg(hostId).arg(pluginId).arg(instanceId);
    return QStringLiteral("p:%1:%2").arg(hostId).arg(pluginId);
}

// The flag text of a check or port whose acknowledged and dnd flags have been read already.
QString flagText(const QJsonObject& record, bool acknowledged, bool dnd)
{
    QStringList parts;
    if (acknowledged) {
        const QString by = js(record, "acknowledged_by_name", QString());
        parts.append(by.isEmpty() ? QStringLiteral("\u2713 Sett") : QStringLiteral("\u2713 Sett av %1").arg(by));
    }
    if (dnd)
        parts.append(QStringLiteral("\U0001F515 Stör ej"));
    const QString reason = js(record, "suppressed_reason", QString());
    if (!reason.isEmpty())
        parts.append(QStringLiteral("\U0001F515 %1").arg(reason));
    const auto hard = record.constFind(QLatin1String("hard"));
    if (hard != record.constEnd() && !isTrue(*hard)) {
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

// What a row stands for, kept compact on the row and handed out as the target map when asked for.
struct Target {
    enum Kind { Group, Host, Plugin, Port };
    Kind kind = Group;
    int hostId = 0;
    int id = 0; // group, plugin or port id
    int instanceId = 0;
    QString name;

    QVariantMap map() const
    {
        switch (kind) {
        case Group:
            return {{QStringLiteral("kind"), QStringLiteral("group")}, {QStringLiteral("group_id"), id},
                {QStringLiteral("name"), name}};
        case Host:
            return {{QStringLiteral("kind"), QStringLiteral("host")}, {QStringLiteral("host_id"), hostId},
                {QStringLiteral("name"), name}};
        case Plugin:
            return {{QStringLiteral("kind"), QStringLiteral("plugin")}, {QStringLiteral("host_id"), hostId},
                {QStringLiteral("plugin_id"), id}, {QStringLiteral("instance_id"), instanceId},
                {QStringLiteral("name"), name}};
        case Port:
            return {{QStringLiteral("kind"), QStringLiteral("port")}, {QStringLiteral("host_id"), hostId},
                {QStringLiteral("port_id"), id}, {QStringLiteral("name"), name}};
        }
        return {};
    }
};

constexpr int FlagsRole = Qt::UserRole - 1; // where QStandardItem keeps an item's flags
constexpr Qt::ItemFlags ReadOnly
    = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;

// The cells of the tree keep their few values in members instead of QStandardItem's list of roles: the whole tree
// is rebuilt on every poll, and a row of five plain items with seven roles on the first costs several times the
// allocations. To the model and its views they answer exactly as items holding those roles would; roles they do not
// keep themselves are stored the usual way.
class Cell : public QStandardItem {
public:
    explicit Cell(QString text)
        : text(std::move(text))
    { }

    QVariant data(int role) const override
    {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return text;
        case FlagsRole: {
            const QVariant stored = QStandardItem::data(role);
            return stored.isValid() ? stored : QVariant(int(ReadOnly));
        }
        default:
            return QStandardItem::data(role);
        }
    }

    void setData(const QVariant& value, int role) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            text = value.toString();
            emitDataChanged();
            return;
        }
        QStandardItem::setData(value, role);
    }

    void multiData(QModelRoleDataSpan span) const override
    {
        for (QModelRoleData& roleData : span)
            roleData.setData(data(roleData.role()));
    }

    QStandardItem* clone() const override { return new Cell(*this); }

protected:
    Cell(const Cell& other) = default;

private:
    QString text;
};

// The "Status" cell: the upper-case status word in the status colour.
class StatusCell : public Cell {
public:
    StatusCell(const QString& upper, const QBrush& brush)
        : Cell(upper)
        , brush(brush)
    { }

    QVariant data(int role) const override { return role == Qt::ForegroundRole ? QVariant(brush) : Cell::data(role); }

    void setData(const QVariant& value, int role) override
    {
        if (role != Qt::ForegroundRole) {
            Cell::setData(value, role);
            return;
        }
        brush = value.value<QBrush>();
        emitDataChanged();
    }

    QStandardItem* clone() const override { return new StatusCell(*this); }

private:
    StatusCell(const StatusCell& other) = default;
    QBrush brush;
};

// The first cell: shown name, status dot, node key, target map, status word and handled flag.
class HeadCell : public Cell {
public:
    HeadCell(const QString& name, const QIcon& dot, const QString& key, const Target& target, const QString& status,
        bool handled)
        : Cell(name)
        , dot(dot)
        , key(key)
        , target(target)
        , status(status)
        , handled(handled)
    { }

    QVariant data(int role) const override
    {
        if (!overridden.isEmpty() && overridden.contains(role))
            return QStandardItem::data(role);
        switch (role) {
        case Qt::DecorationRole:
            return dot;
        case KeyRole:
            return key;
        case TargetRole:
            return target.map();
        case StatusRole:
            return status;
        case HandledRole:
            return handled;
        default:
            return Cell::data(role);
        }
    }

    // A value set after the build (a placeholder's summed-up status) is kept the usual way and takes precedence.
    void setData(const QVariant& value, int role) override
    {
        switch (role) {
        case Qt::DecorationRole:
        case KeyRole:
        case TargetRole:
        case StatusRole:
        case HandledRole:
            overridden.insert(role);
            QStandardItem::setData(value, role);
            return;
        default:
            Cell::setData(value, role);
        }
    }

    QStandardItem* clone() const override { return new HeadCell(*this); }

private:
    HeadCell(const HeadCell& other) = default;

    QIcon dot;
    QString key;
    Target target;
    QString status;
    bool handled;
    QSet<int> overridden;
};

// A tree holds few distinct statuses: each look (dot, colour, upper-case word) is made once per build.
class Looks {
public:
    struct Look {
        QIcon dot;
        QBrush brush;
        QString upper;
    };

    const Look& of(const QString& status, bool handled)
    {
        auto& looks = handled ? handledLooks : plainLooks;
        auto found = looks.find(status);
        if (found == looks.end()) {
            found = looks
                        .emplace(status,
                            Look {icons::dotIcon(status, 12, handled),
                                QBrush(icons::statusColor(status, handled, dark)), status.toUpper()})
                        .first;
        }
        return found->second;
    }

private:
    const bool dark = icons::darkLook();
    std::unordered_map<QString, Look> plainLooks;
    std::unordered_map<QString, Look> handledLooks;
};

// A check or port record with the fields that more than one rule reads.
struct ItemRecord {
    QJsonObject record;
    QString status;
    bool acknowledged;
    bool dnd;
    bool handled;
};

QList<QJsonObject> objects(const QJsonObject& payload, const char* key)
{
    const QJsonArray array = payload.value(QLatin1String(key)).toArray();
    QList<QJsonObject> list;
    list.reserve(array.size());
    for (const QJsonValue& v : array)
        list.append(v.toObject());
    return list;
}

// Real installations nest groups a few levels deep; deeper groups are placed at top level.
constexpr int MaxGroupDepth = 32;

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
    QList<QStandardItem*> makeRow(const QString& name, const QString& status, const QString& output,
        const QString& lastOk, const QString& flags, const QString& key, const Target& target, bool handled)
    {
        const Looks::Look& look = looks.of(status, handled);
        return {new HeadCell(name, look.dot, key, target, status, handled), new StatusCell(look.upper, look.brush),
            new Cell(output), new Cell(lastOk), new Cell(flags)};
    }

    // Makes the row of a group, and of its missing ancestors first, or finds it. Walks the parent chain with a
    // loop, not recursion, so that a payload with a very long chain of groups cannot exhaust the stack. A group
    // whose ancestors lead back to itself closes the cycle at top level, and so does a group that would sit more
    // than MaxGroupDepth levels deep: Qt's item model detaches and deletes a subtree level by level, so a chain of
    // thousands of nested groups would freeze the window for minutes at every poll.
    QStandardItem* ensureGroup(int id)
    {
        if (QStandardItem* made = groupItems.value(id))
            return made;
        QList<QPair<int, QList<QStandardItem*>>> chain; // from the group up to its topmost new ancestor
        QSet<int> beingMade;
        QStandardItem* parent = root;
        for (int current = id; chain.size() < MaxGroupDepth;) {
            if (QStandardItem* made = groupItems.value(current)) {
                if (depthOf(made) + chain.size() <= MaxGroupDepth)
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
            chain.append({current,
                makeRow(name, js(record, "status", QStringLiteral("none")), QString(), QString(), rollupFlags(record),
                    QStringLiteral("g:%1").arg(current), Target {Target::Group, 0, current, 0, name}, false)});
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

    // The number of group levels from the top down to this group row.
    int depthOf(const QStandardItem* item) const
    {
        int depth = 0;
        for (; item && item != root; item = item->parent())
            ++depth;
        return depth;
    }

    static QList<ItemRecord> readItems(const QList<QJsonObject>& records)
    {
        QList<ItemRecord> items;
        items.reserve(records.size());
        for (const QJsonObject& record : records) {
            const QString status = js(record, "status", QStringLiteral("pending"));
            const bool acknowledged = flag(record, "acknowledged");
            const bool dnd = flag(record, "dnd");
            items.append({record, status, acknowledged, dnd, checkHandled(record, status, acknowledged, dnd)});
        }
        return items;
    }

    // The host rule: an alarming host is handled when it has alarming checks or ports and all of them are.
    static bool hostHandled(const QJsonObject& host, const QList<ItemRecord>& checks, const QList<ItemRecord>& ports)
    {
        const auto handled = host.constFind(QLatin1String("handled"));
        if (handled != host.constEnd())
            return isTrue(*handled);
        if (!isAlarming(js(host, "status", QString())))
            return false;
        bool anyAlarming = false;
        for (const QList<ItemRecord>* items : {&checks, &ports}) {
            for (const ItemRecord& item : *items) {
                if (!isAlarming(item.status))
                    continue;
                anyAlarming = true;
                if (!item.handled)
                    return false;
            }
        }
        return anyAlarming;
    }

    void addHost(const QJsonObject& host)
    {
        const int id = jsInt(host, "id", 0);
        const QString name = js(host, "name", QStringLiteral("?"));
        const auto groupValue = host.constFind(QLatin1String("group_id"));
        const bool nullGroup = groupValue != host.constEnd() && groupValue->isNull();
        const int groupId = nullGroup ? -1 : jsInt(host, "group_id", 0);
        QStandardItem* group = ensureGroup(groupId);

        const QList<ItemRecord> checks = readItems(checksByHost.value(id));
        const QList<ItemRecord> ports = readItems(portsByHost.value(id));
        const QList<QStandardItem*> row = makeRow(QStringLiteral("%1  (%2)").arg(name, js(host, "address", QString())),
            js(host, "status", QStringLiteral("none")), QString(), QString(), rollupFlags(host),
            QStringLiteral("h:%1").arg(id), Target {Target::Host, id, 0, 0, name}, hostHandled(host, checks, ports));
        group->appendRow(row);
        QStandardItem* hostItem = row.first();

        for (const ItemRecord& check : checks) {
            const int pluginId = jsInt(check.record, "plugin_id", 0);
            const int instanceId = jsInt(check.record, "instance_id", 0);
            const QString shown = js(check.record, "name", QString());
            const QString checkName = shown.isEmpty() ? QStringLiteral("plugin %1").arg(pluginId) : shown;
            hostItem->appendRow(makeRow(checkName, check.status, js(check.record, "output_text", QString()),
                js(check.record, "last_success_at", QString()), flagText(check.record, check.acknowledged, check.dnd),
                builtCheckKey(js(check.record, "key", QString()), id, pluginId, instanceId),
                Target {Target::Plugin, id, pluginId, instanceId, checkName}, check.handled));
        }
        for (const ItemRecord& port : ports) {
            const int portId = jsInt(port.record, "port_id", 0);
            const QString shown = js(port.record, "name", QString());
            const QString portName = shown.isEmpty() ? QStringLiteral("port %1").arg(portId) : shown;
            hostItem->appendRow(makeRow(portName, port.status, js(port.record, "output_text", QString()),
                js(port.record, "collected_at", QString()), flagText(port.record, port.acknowledged, port.dnd),
                QStringLiteral("sp:%1").arg(portId), Target {Target::Port, id, portId, 0, portName}, port.handled));
        }
    }

    // A placeholder group has no status from the server: it shows the worst of its children, counting a handled
    // child as "ok".
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
        const Looks::Look& look = looks.of(status, false);
        first->setData(look.dot, Qt::DecorationRole);
        first->setData(status, StatusRole);
        row.at(1)->setText(look.upper);
        row.at(1)->setData(look.brush, Qt::ForegroundRole);
    }

    QStandardItem* root;
    Looks looks;
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
    return builtCheckKey(
        js(check, "key", QString()), hostId, jsInt(check, "plugin_id", 0), jsInt(check, "instance_id", 0));
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
