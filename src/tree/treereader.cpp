// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/treereader.h"

#include "core/statuses.h"
#include "tree/nodekeys.h"
#include "tree/recordmemo.h"
#include "tree/rowdigest.h"
#include "tree/rowtexts.h"
#include "tree/statuswords.h"
#include "tree/treerecords.h"

#include <QHash>
#include <QVarLengthArray>

#include <array>
#include <string_view>

namespace treemodel {

namespace {

using namespace records;

// The check rule, for a check or port.
bool checkHandled(const Fields& record, Word status)
{
    if (record.has(Handled))
        return lenient::flag(record[Handled]);
    return alarming(status) && (lenient::flag(record[Acknowledged]) || lenient::flag(record[Dnd]));
}

// Real installations nest groups a few levels deep; deeper groups are placed at top level.
constexpr int MaxGroupDepth = 32;

} // namespace

bool Node::operator==(const Node& o) const
{
    return key == o.key && name == o.name && status == o.status && output == o.output && lastOk == o.lastOk
        && flags == o.flags && targetName == o.targetName && hostId == o.hostId && id == o.id
        && instanceId == o.instanceId && kind == o.kind && handled == o.handled && acknowledged == o.acknowledged;
}

QList<int> TreeShape::children(int parent) const
{
    QList<int> list;
    for (int child = parent + 1, last = end(parent); child < last; child += nodes.at(child).size)
        list.append(child);
    return list;
}

int TreeShape::end(int parent) const
{
    return parent < 0 ? int(nodes.size()) : parent + nodes.at(parent).size;
}

Rows::Rows(int nodes)
    : at(nodes, -1)
{ }

void Rows::add(int node, Node row)
{
    at[node] = int(nodes.size());
    nodes.append(std::move(row));
}

const Node* Rows::find(int node) const
{
    const int i = node < at.size() ? at.at(node) : -1;
    return i < 0 ? nullptr : &nodes.at(i);
}

// One payload's nodes as they are made: groups once each, a host and its checks and ports together; linked to their
// parents, children and siblings in the order made, then laid out depth first.
struct TreeReader::Private {
    struct Made {
        Kind kind;
        Word status; // for a placeholder group, summed up from its children
        bool handled;
        int record; // in its array; -1 for a placeholder group
        int id; // group, host, plugin or port id
        int hostId;
        int parent, firstChild = -1, lastChild = -1, next = -1;
        int depth; // group levels from the top; 1 for a top-level row
        size_t key;
        size_t cells = 0;
    };
    // A check or port, read before the hosts are placed.
    struct Item {
        int record;
        int hostId;
        int id;
        int instanceId;
        Word status;
        bool handled;
        size_t key;
        size_t cells;
        int next = -1; // the next one of the same host
    };
    // What a host's own record says.
    struct HostRecord {
        int id;
        int groupId;
        Word status;
        bool hasHandled; // the record decides "handled" itself
        bool handled;
        size_t cells; // of the record; the tree adds whether the host is handled
    };
    JsonSource json;
    Memo<Item> knownItems[2];
    Memo<HostRecord> knownHosts;
    std::unique_ptr<DocumentSource> document;
    const Source* source = nullptr;
    mutable Fields fields;
    mutable Texts texts;
    QVarLengthArray<char, 512> digestBytes;

    QHash<int, int> groupRecords; // the last record of each group id
    QList<Item> items[2]; // checks and ports
    QHash<int, QPair<int, int>> itemsOfHost[2]; // first and last item of each host id
    QHash<int, int> groupNodes; // group id to its node
    QList<int> placeholders;
    QList<Made> made; // in the order made
    QList<int> roots;
    QList<int> order; // by node of the shape: its place in made
    std::shared_ptr<TreeShape> shape;

    bool read(const Source& from);
    bool readItems(Array array);
    int add(int parent, Made node);
    int ensureGroup(int id);
    bool addHost(int record);
    void sumUp(int placeholder);
    void layOut();
    Node row(int node) const;
};

bool TreeReader::Private::read(const Source& from)
{
    source = &from;
    texts.clear();
    // The tables of the last payload are emptied but keep their room: the next one is much like it.
    for (QHash<int, int>* table : {&groupRecords, &groupNodes}) {
        const qsizetype size = table->size();
        table->clear();
        table->reserve(size);
    }
    placeholders.clear();
    made.clear();
    roots.clear();
    order.clear();
    for (int i = 0; i < 2; ++i) {
        items[i].clear();
        const qsizetype hosts = itemsOfHost[i].size();
        itemsOfHost[i].clear();
        itemsOfHost[i].reserve(hosts);
    }
    shape = std::make_shared<TreeShape>();
    made.reserve(from.count(Groups) + from.count(Hosts) + from.count(Plugins) + from.count(Ports));
    // Records read from a text are remembered by their text's hash for the next one; a document's are not.
    const bool fromText = &from == &json;
    if (fromText) {
        knownItems[0].begin(from.count(Plugins));
        knownItems[1].begin(from.count(Ports));
        knownHosts.begin(from.count(Hosts));
    }
    for (int g = 0; g < from.count(Groups); ++g) {
        if (!from.fields(Groups, g, fields))
            return false;
        groupRecords.insert(lenient::integer(fields[Id], 0), g);
    }
    if (!readItems(Plugins) || !readItems(Ports))
        return false;
    for (int g = 0; g < from.count(Groups); ++g) {
        from.fields(Groups, g, fields);
        ensureGroup(lenient::integer(fields[Id], 0));
    }
    for (int h = 0; h < from.count(Hosts); ++h) {
        if (!addHost(h))
            return false;
    }
    for (const int placeholder : std::as_const(placeholders))
        sumUp(placeholder);
    layOut();
    if (fromText) {
        knownItems[0].end();
        knownItems[1].end();
        knownHosts.end();
    }
    return true;
}

bool TreeReader::Private::readItems(Array array)
{
    const int kind = array == Plugins ? 0 : 1;
    QList<Item>& list = items[kind];
    list.reserve(source->count(array));
    KeyText key;
    for (int i = 0; i < source->count(array); ++i) {
        TextHash seen;
        const bool hashed = source->textHash(array, i, seen);
        Item item;
        if (const Item* known = hashed ? knownItems[kind].find(*source, array, i, seen) : nullptr) {
            item = *known;
            item.record = i;
            item.next = -1;
        } else {
            if (!source->fields(array, i, fields))
                return false;
            item = {i, lenient::integer(fields[HostId], 0),
                lenient::integer(fields[array == Plugins ? PluginId : PortId], 0),
                array == Plugins ? lenient::integer(fields[InstanceId], 0) : 0, wordOf(fields[Status], Pending), false,
                0, 0};
            item.handled = checkHandled(fields, item.status);
            key.clear();
            if (array == Plugins)
                writeCheckKey(key, lenient::text(fields[Key]), item.hostId, item.id, item.instanceId);
            else
                writeKey(key, "sp:", {item.id});
            item.key = keyHash(key);
            Digest digest(digestBytes, array == Plugins ? 'p' : 's');
            digest.add(item.hostId).add(item.id).add(item.instanceId).add(int(item.handled));
            for (const Field f : FieldsOf[array]) {
                if (f != HostId && f != PluginId && f != PortId && f != InstanceId)
                    digest.add(fields[f]);
            }
            item.cells = digest.finish();
        }
        if (hashed)
            knownItems[kind].note(seen, item);
        const auto slot = itemsOfHost[kind].find(item.hostId);
        if (slot == itemsOfHost[kind].end()) {
            itemsOfHost[kind].insert(item.hostId, {int(list.size()), int(list.size())});
        } else {
            list[slot->second].next = int(list.size());
            slot->second = int(list.size());
        }
        list.append(item);
    }
    return true;
}

int TreeReader::Private::add(int parent, Made node)
{
    const int index = int(made.size());
    node.parent = parent;
    node.depth = parent < 0 ? 1 : made.at(parent).depth + 1;
    made.append(node);
    if (parent < 0) {
        roots.append(index);
    } else {
        Made& p = made[parent];
        if (p.lastChild >= 0)
            made[p.lastChild].next = index;
        else
            p.firstChild = index;
        p.lastChild = index;
    }
    return index;
}

// Makes the node of a group, and of its missing ancestors first, or finds it. Walks the parent chain with a loop, not
// recursion, so that a payload with a very long chain of groups cannot exhaust the stack. A group whose ancestors lead
// back to itself closes the cycle at top level, and so does a group that would sit more than MaxGroupDepth levels
// deep: Qt's item model takes a subtree apart level by level, so a chain of thousands of nested groups would freeze
// the window.
int TreeReader::Private::ensureGroup(int id)
{
    if (const int found = groupNodes.value(id, -1); found >= 0)
        return found;
    QVarLengthArray<Made, 8> chain; // from the group up to its topmost new ancestor
    QVarLengthArray<int, 8> ids;
    int parent = -1;
    KeyText key;
    for (int current = id; chain.size() < MaxGroupDepth;) {
        if (const int found = groupNodes.value(current, -1); found >= 0) {
            if (made.at(found).depth + chain.size() <= MaxGroupDepth)
                parent = found;
            break;
        }
        if (ids.contains(current))
            break;
        ids.append(current);
        const int record = groupRecords.value(current, -1);
        key.clear();
        writeKey(key, "g:", {current});
        Made node {Kind::Group, None, false, record, current, 0, -1, -1, -1, -1, 0, keyHash(key), 0};
        int parentId = 0;
        if (record >= 0) {
            source->fields(Groups, record, fields);
            Digest digest(digestBytes, 'g');
            digest.add(current).add(fields[Name]).add(fields[Status]);
            for (const Field f : {Dnd, HasDnd, HasAcked})
                digest.add(int(lenient::flag(fields[f])));
            node.cells = digest.finish();
            parentId = lenient::integer(fields[ParentId], 0);
        }
        chain.append(node);
        if (parentId == 0)
            break;
        current = parentId;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        parent = add(parent, *it);
        groupNodes.insert(it->id, parent);
        // A group that hosts or groups refer to but the payload lacks: a placeholder at top level.
        if (it->record < 0)
            placeholders.append(parent);
    }
    return parent;
}

// A host, placed in its group, with its checks and then its ports. The host rule: an alarming host is handled when it
// has alarming checks or ports and all of them are.
bool TreeReader::Private::addHost(int record)
{
    TextHash seen;
    const bool hashed = source->textHash(Hosts, record, seen);
    HostRecord host;
    if (const HostRecord* known = hashed ? knownHosts.find(*source, Hosts, record, seen) : nullptr) {
        host = *known;
    } else {
        if (!source->fields(Hosts, record, fields))
            return false;
        host.id = lenient::integer(fields[Id], 0);
        host.groupId = fields[GroupId].type == Scalar::Null ? -1 : lenient::integer(fields[GroupId], 0);
        host.status = wordOf(fields[Status], None);
        host.hasHandled = fields.has(Handled);
        host.handled = lenient::flag(fields[Handled]);
        Digest digest(digestBytes, 'h');
        digest.add(host.id);
        for (const Field f : {Name, Address, Status})
            digest.add(fields[f]);
        for (const Field f : {Dnd, HasDnd, HasAcked})
            digest.add(int(lenient::flag(fields[f])));
        host.cells = digest.finish();
    }
    if (hashed)
        knownHosts.note(seen, host);
    bool handled = host.handled;
    if (!host.hasHandled) {
        bool anyAlarming = false;
        bool allHandled = true;
        for (const int kind : {0, 1}) {
            for (int i = itemsOfHost[kind].value(host.id, {-1, -1}).first; i >= 0; i = items[kind].at(i).next) {
                const Item& item = items[kind].at(i);
                if (alarming(item.status)) {
                    anyAlarming = true;
                    allHandled = allHandled && item.handled;
                }
            }
        }
        handled = alarming(host.status) && anyAlarming && allHandled;
    }
    KeyText key;
    writeKey(key, "h:", {host.id});
    const size_t cells = Digest(digestBytes, 'H').add(host.cells).add(int(handled)).finish();
    const int group = ensureGroup(host.groupId);
    const int node = add(
        group, {Kind::Host, host.status, handled, record, host.id, host.id, -1, -1, -1, -1, 0, keyHash(key), cells});
    for (const int kind : {0, 1}) {
        for (int i = itemsOfHost[kind].value(host.id, {-1, -1}).first; i >= 0; i = items[kind].at(i).next) {
            const Item& item = items[kind].at(i);
            add(node,
                {kind == 0 ? Kind::Plugin : Kind::Port, item.status, item.handled, item.record, item.id, host.id, -1,
                    -1, -1, -1, 0, item.key, item.cells});
        }
    }
    return true;
}

// A placeholder group has no status from the server: it shows the worst of its children, counting a handled child as
// "ok". Only a known word can be the worst.
void TreeReader::Private::sumUp(int placeholder)
{
    QList<QString> statuses;
    for (int child = made.at(placeholder).firstChild; child >= 0; child = made.at(child).next)
        statuses.append(wordText(made.at(child).handled ? Ok : made.at(child).status));
    Made& node = made[placeholder];
    node.status = wordOf(statuses::worst(statuses, statuses::rollUpPriority, QStringLiteral("none")));
    node.cells = Digest(digestBytes, 'u').add(node.id).add(int(node.status)).finish();
}

// Children are always made after their parents, so sizes add up from the last node made to the first.
void TreeReader::Private::layOut()
{
    QList<int> sizes(made.size(), 1);
    for (qsizetype m = made.size() - 1; m >= 0; --m) {
        if (made.at(m).parent >= 0)
            sizes[made.at(m).parent] += sizes.at(m);
    }
    shape->nodes.reserve(made.size());
    order.reserve(made.size());
    QList<int> pending;
    for (auto it = roots.crbegin(); it != roots.crend(); ++it)
        pending.append(*it);
    QVarLengthArray<int, 64> children;
    while (!pending.isEmpty()) {
        const int m = pending.takeLast();
        shape->nodes.append({made.at(m).key, made.at(m).cells, sizes.at(m), false});
        order.append(m);
        children.clear();
        for (int child = made.at(m).firstChild; child >= 0; child = made.at(child).next)
            children.append(child);
        for (auto it = children.crbegin(); it != children.crend(); ++it)
            pending.append(*it);
    }
}

Node TreeReader::Private::row(int n) const
{
    const Made& m = made.at(order.at(n));
    Node node;
    node.kind = m.kind;
    node.handled = m.handled;
    node.hostId = m.hostId;
    node.id = m.kind == Kind::Host ? 0 : m.id;
    KeyText key;
    if (m.kind == Kind::Group && m.record < 0) {
        node.name = node.targetName = QStringLiteral("Utan grupp");
        node.status = wordText(m.status);
        writeKey(key, "g:", {m.id});
        node.key = toString(key);
        return node;
    }
    const Array array = m.kind == Kind::Group ? Groups
        : m.kind == Kind::Host                ? Hosts
        : m.kind == Kind::Plugin              ? Plugins
                                              : Ports;
    source->fields(array, m.record, fields);
    switch (m.kind) {
    case Kind::Group:
        node.name = node.targetName = texts.text(fields[Name], QStringLiteral("?"));
        node.status = texts.text(fields[Status], QStringLiteral("none"));
        node.flags = rollupFlags(fields);
        writeKey(key, "g:", {m.id});
        break;
    case Kind::Host:
        node.targetName = texts.text(fields[Name], QStringLiteral("?"));
        node.name = node.targetName + QLatin1String("  (") + texts.text(fields[Address], QString()) + QLatin1Char(')');
        node.status = texts.text(fields[Status], QStringLiteral("none"));
        node.flags = rollupFlags(fields);
        writeKey(key, "h:", {m.id});
        break;
    case Kind::Plugin:
    case Kind::Port: {
        const bool plugin = m.kind == Kind::Plugin;
        const QString shown = texts.text(fields[Name], QString());
        node.name = node.targetName = !shown.isEmpty() ? shown
            : plugin                                   ? QStringLiteral("plugin %1").arg(m.id)
                                                       : QStringLiteral("port %1").arg(m.id);
        node.status = texts.text(fields[Status], QStringLiteral("pending"));
        node.output = texts.text(fields[OutputText], QString());
        node.lastOk = texts.text(fields[plugin ? LastSuccessAt : CollectedAt], QString());
        node.flags = flagText(fields, texts);
        node.acknowledged = lenient::flag(fields[Acknowledged]);
        if (plugin) {
            node.instanceId = lenient::integer(fields[InstanceId], 0);
            writeCheckKey(key, lenient::text(fields[Key]), m.hostId, m.id, node.instanceId);
        } else {
            writeKey(key, "sp:", {m.id});
        }
        break;
    }
    case Kind::None: // the reader makes no record of no kind
        break;
    }
    node.key = toString(key);
    return node;
}

TreeReader::TreeReader()
    : d(std::make_unique<Private>())
{ }

TreeReader::~TreeReader() = default;

bool TreeReader::read(QByteArray& json)
{
    if (json.isEmpty()) {
        read(QJsonObject());
        return true;
    }
    d->document.reset();
    if (!d->json.parse(json) || !d->read(d->json)) {
        read(QJsonObject()); // nothing read
        return false;
    }
    return true;
}

void TreeReader::read(const QJsonObject& payload)
{
    d->document = std::make_unique<DocumentSource>(payload);
    d->read(*d->document);
}

std::shared_ptr<TreeShape> TreeReader::shape() const
{
    return d->shape;
}

Node TreeReader::row(int node) const
{
    return d->row(node);
}

void TreeReader::addRows(Rows& rows, const QList<int>& nodes) const
{
    for (const int n : nodes)
        rows.add(n, d->row(n));
    d->texts.clear(); // the rows hold what they share
}

void TreeReader::addAllRows(Rows& rows) const
{
    for (int n = 0; n < d->order.size(); ++n)
        rows.add(n, d->row(n));
    d->texts.clear();
}

} // namespace treemodel
