#include "treereader.h"

#include "treemodel.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <QStack>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace treemodel {

namespace {

const QString Separator = QStringLiteral(" \u00b7 ");

// A node key: a prefix and numbers joined by ":". Keys are made for every row of every tree, so they are written
// out digit by digit rather than through QString::number and QString::arg.
QString nodeKey(QLatin1String prefix, std::initializer_list<int> numbers)
{
    QString key(prefix.size() + 12 * qsizetype(numbers.size()), Qt::Uninitialized);
    QChar* out = key.data();
    for (const char c : prefix)
        *out++ = QLatin1Char(c);
    bool first = true;
    for (const int n : numbers) {
        if (!std::exchange(first, false))
            *out++ = QLatin1Char(':');
        qint64 value = n;
        if (value < 0) {
            *out++ = QLatin1Char('-');
            value = -value;
        }
        char digits[12];
        int count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value > 0);
        while (count > 0)
            *out++ = QLatin1Char(digits[--count]);
    }
    key.truncate(out - key.constData());
    return key;
}

QString builtCheckKey(const QString& serverKey, int hostId, int pluginId, int instanceId)
{
    if (!serverKey.isEmpty())
        return QStringLiteral("p:") + serverKey;
    if (instanceId > 0)
        return nodeKey(QLatin1String("p:"), {hostId, pluginId, instanceId});
    return nodeKey(QLatin1String("p:"), {hostId, pluginId});
}

// The fields of the tree's records that any rule reads.
enum Field : quint8 {
    Id,
    Name,
    Status,
    ParentId,
    Dnd,
    HasDnd,
    HasAcked,
    Address,
    GroupId,
    Handled,
    HostId,
    PluginId,
    InstanceId,
    Key,
    OutputText,
    LastSuccessAt,
    Acknowledged,
    AcknowledgedByName,
    SuppressedReason,
    Hard,
    ConsecutiveFailures,
    MaxAttempts,
    PortId,
    CollectedAt,
    FieldCount
};

const char* const FieldNames[FieldCount]
    = {"id", "name", "status", "parent_id", "dnd", "has_dnd", "has_acked", "address", "group_id", "handled", "host_id",
        "plugin_id", "instance_id", "key", "output_text", "last_success_at", "acknowledged", "acknowledged_by_name",
        "suppressed_reason", "hard", "consecutive_failures", "max_attempts", "port_id", "collected_at"};

// One field's JSON value, as far as the lenient rules below tell values apart.
struct Scalar {
    enum Type : quint8 { Absent, Null, False, True, Integer, Double, String, Container };
    Type type = Absent;
    union {
        qint64 integer;
        double number;
    };
    QString text;

    Scalar()
        : integer(0)
    { }
};

struct Slot {
    Field field;
    Scalar value;
};

// A record of the payload: the fields it has, kept in the pool of all records of one payload.
class Record {
public:
    Record(const std::vector<Slot>* pool, qsizetype first)
        : pool(pool)
        , first(first)
    {
        std::fill(std::begin(slotOf), std::end(slotOf), Absent);
    }

    const Scalar& operator[](Field field) const
    {
        static const Scalar absent;
        return slotOf[field] == Absent ? absent : (*pool)[size_t(first + slotOf[field])].value;
    }
    bool has(Field field) const { return slotOf[field] != Absent; }
    // A field given twice keeps its last value, as in a JSON object.
    void added(Field field, qsizetype at) { slotOf[field] = quint8(at - first); }

private:
    static constexpr quint8 Absent = 0xff;
    const std::vector<Slot>* pool;
    qsizetype first;
    quint8 slotOf[FieldCount]; // each field's place after first
};

// The records of a payload, by array, and the fields of all of them.
struct Records {
    Records() = default;
    Records(const Records&) = delete; // its records point into its pool
    Records& operator=(const Records&) = delete;

    std::vector<Slot> pool;
    QList<Record> groups, hosts, plugins, ports;

    // Starts a record; fields are added to the record started last.
    Record& start(QList<Record>& list)
    {
        list.append(Record(&pool, qsizetype(pool.size())));
        return list.last();
    }
    void add(Record& record, Field field, Scalar value)
    {
        pool.push_back({field, std::move(value)});
        record.added(field, qsizetype(pool.size()) - 1);
    }
};

Scalar scalarOf(const QJsonValueConstRef& value)
{
    Scalar s;
    switch (value.type()) {
    case QJsonValue::Null:
        s.type = Scalar::Null;
        break;
    case QJsonValue::Bool:
        s.type = value.toBool() ? Scalar::True : Scalar::False;
        break;
    case QJsonValue::Double: {
        // A JSON number is kept as an integer when it is one, and its text is made from that integer.
        const QVariant v = QJsonValue(value).toVariant();
        if (v.typeId() == QMetaType::LongLong) {
            s.type = Scalar::Integer;
            s.integer = v.toLongLong();
        } else {
            s.type = Scalar::Double;
            s.number = v.toDouble();
        }
        break;
    }
    case QJsonValue::String:
        s.type = Scalar::String;
        s.text = value.toString();
        break;
    case QJsonValue::Array:
    case QJsonValue::Object:
        s.type = Scalar::Container;
        break;
    default:
        break;
    }
    return s;
}

void readRecord(Records& records, QList<Record>& list, const QJsonObject& object, std::initializer_list<Field> fields)
{
    Record& record = records.start(list);
    for (const Field field : fields) {
        const auto it = object.constFind(QLatin1String(FieldNames[field]));
        if (it != object.constEnd())
            records.add(record, field, scalarOf(*it));
    }
}

// Lenient text read: a string as it is, a number or boolean in its text form, absence or null the default, an array
// or object empty text.
QString text(const Scalar& s, const QString& def)
{
    switch (s.type) {
    case Scalar::String:
        return s.text;
    case Scalar::Integer:
        return QString::number(s.integer);
    case Scalar::Double:
        return QVariant(s.number).toString();
    case Scalar::True:
        return QStringLiteral("true");
    case Scalar::False:
        return QStringLiteral("false");
    case Scalar::Container:
        return QString();
    default:
        return def;
    }
}

// Lenient integer read: a whole number within 32 bits, or a string holding one (0 when it does not).
int integer(const Scalar& s, int def)
{
    switch (s.type) {
    case Scalar::Integer:
        return QJsonValue(s.integer).toInt(def);
    case Scalar::Double:
        return QJsonValue(s.number).toInt(def);
    case Scalar::String: {
        bool ok = false;
        const int value = s.text.toInt(&ok, 10);
        return ok ? value : 0;
    }
    default:
        return def;
    }
}

bool flag(const Scalar& s)
{
    return s.type == Scalar::True;
}

// The check rule, for a check or port whose status and flags have been read already.
bool checkHandled(const Record& record, const QString& status, bool acknowledged, bool dnd)
{
    if (record.has(Handled))
        return flag(record[Handled]);
    return isAlarming(status) && (acknowledged || dnd);
}

// The fields each kind of record reads.
constexpr std::initializer_list<Field> GroupFields {Id, Name, Status, ParentId, Dnd, HasDnd, HasAcked};
constexpr std::initializer_list<Field> HostFields {Id, Name, Address, GroupId, Status, Handled, Dnd, HasDnd, HasAcked};
constexpr std::initializer_list<Field> ItemFields {HostId, PluginId, InstanceId, Key, Name, Status, OutputText,
    LastSuccessAt, Handled, Acknowledged, AcknowledgedByName, Dnd, SuppressedReason, Hard, ConsecutiveFailures,
    MaxAttempts, PortId, CollectedAt};

void readRecords(const QJsonObject& payload, Records& records)
{
    auto read = [&](const char* key, std::initializer_list<Field> fields, QList<Record>& into) {
        const QJsonArray array = payload.value(QLatin1String(key)).toArray();
        into.reserve(array.size());
        for (const QJsonValue& v : array)
            readRecord(records, into, v.toObject(), fields);
    };
    read("groups", GroupFields, records.groups);
    read("hosts", HostFields, records.hosts);
    read("plugins", ItemFields, records.plugins);
    read("ports", ItemFields, records.ports);
}

// Reads the JSON text of a tree payload straight into records, for the poller, without building a JSON document
// first: that takes longer than everything else a poll does with a large tree. It reads the plain JSON that servers
// send (objects, arrays, strings, whole numbers, literals, plain keys) and gives up on anything else, such as
// fractions, exponents, unusual escapes or malformed text; the caller then lets Qt's parser decide, so both ways give
// the same records and the same errors. Texts that occur more than once (status words, times of the same round,
// check names) are made once.
class FastReader {
public:
    explicit FastReader(const QByteArray& json)
        : at(json.constData())
        , end(json.constData() + json.size())
    { }

    bool read(Records& records)
    {
        skipSpace();
        if (!take('{'))
            return false;
        bool seen[4] = {};
        const QByteArrayView arrays[4] = {"groups", "hosts", "plugins", "ports"};
        QList<Record>* lists[4] = {&records.groups, &records.hosts, &records.plugins, &records.ports};
        if (!skipSpace() || (*at != '}' && !members([&](QByteArrayView key) {
                for (int a = 0; a < 4; ++a) {
                    if (key != arrays[a])
                        continue;
                    if (std::exchange(seen[a], true))
                        return false;
                    return recordArray(records, *lists[a]);
                }
                return skipValue(1);
            })))
            return false;
        ++at; // the closing brace
        return !skipSpace();
    }

private:
    bool skipSpace()
    {
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r'))
            ++at;
        return at < end;
    }

    bool take(char c)
    {
        if (at >= end || *at != c)
            return false;
        ++at;
        return true;
    }

    // The members of an object up to its closing brace (left unread); each value is read by the visitor. Keys are
    // plain ASCII without escapes.
    template <typename Visit> bool members(Visit visit)
    {
        for (;;) {
            if (!take('"'))
                return false;
            const char* key = at;
            while (at < end && *at != '"' && *at != '\\' && uchar(*at) < 0x80)
                ++at;
            if (at >= end || *at != '"')
                return false;
            const QByteArrayView name(key, at - key);
            ++at;
            if (!skipSpace() || !take(':') || !skipSpace() || !visit(name) || !skipSpace())
                return false;
            if (*at == '}')
                return true;
            if (!take(',') || !skipSpace())
                return false;
        }
    }

    // The elements of an array up to its closing bracket (read); each element is read by the visitor.
    template <typename Visit> bool elements(Visit visit)
    {
        if (!skipSpace())
            return false;
        if (*at == ']') {
            ++at;
            return true;
        }
        for (;;) {
            if (!visit() || !skipSpace())
                return false;
            if (take(']'))
                return true;
            if (!take(',') || !skipSpace())
                return false;
        }
    }

    bool recordArray(Records& records, QList<Record>& list)
    {
        if (*at != '[')
            return skipValue(1); // not an array: no records
        ++at;
        return elements([&] {
            Record& record = records.start(list);
            if (*at != '{')
                return skipValue(2); // not an object: a record without fields
            ++at;
            if (!skipSpace())
                return false;
            if (*at != '}' && !members([&](QByteArrayView key) { return field(records, record, key); }))
                return false;
            ++at;
            return true;
        });
    }

    bool field(Records& records, Record& record, QByteArrayView key)
    {
        const int known = fieldOf(key);
        if (known < 0)
            return skipValue(3);
        if (record.has(Field(known)))
            return false; // a field given twice: left to Qt's parser
        Scalar s;
        if (!scalar(s))
            return false;
        records.add(record, Field(known), std::move(s));
        return true;
    }

    // The field a key names, or -1: the names of the key's length, compared.
    static int fieldOf(QByteArrayView key)
    {
        static const auto byLength = [] {
            std::array<QList<int>, 32> lists;
            for (int f = 0; f < FieldCount; ++f)
                lists[qstrlen(FieldNames[f])].append(f);
            return lists;
        }();
        if (key.size() >= qsizetype(byLength.size()))
            return -1;
        for (const int f : byLength[size_t(key.size())]) {
            if (std::memcmp(key.data(), FieldNames[f], size_t(key.size())) == 0)
                return f;
        }
        return -1;
    }

    bool scalar(Scalar& s)
    {
        switch (*at) {
        case '"':
            ++at;
            s.type = Scalar::String;
            return string(s.text);
        case 'n':
            s.type = Scalar::Null;
            return literal("null");
        case 't':
            s.type = Scalar::True;
            return literal("true");
        case 'f':
            s.type = Scalar::False;
            return literal("false");
        case '[':
        case '{':
            s.type = Scalar::Container;
            return skipValue(3);
        default:
            s.type = Scalar::Integer;
            return wholeNumber(s.integer);
        }
    }

    bool literal(const char* word)
    {
        const qsizetype length = qsizetype(qstrlen(word));
        if (end - at < length || qstrncmp(at, word, size_t(length)) != 0)
            return false;
        at += length;
        return true;
    }

    // Up to 18 digits, so that the value fits; a fraction or an exponent is left to Qt's parser.
    bool wholeNumber(qint64& value)
    {
        const bool negative = take('-');
        const char* digits = at;
        while (at < end && *at >= '0' && *at <= '9' && at - digits < 19)
            ++at;
        const qsizetype count = at - digits;
        if (count == 0 || count > 18 || (count > 1 && *digits == '0') || at >= end || *at == '.' || *at == 'e'
            || *at == 'E')
            return false;
        value = 0;
        for (const char* d = digits; d < at; ++d)
            value = value * 10 + (*d - '0');
        if (negative)
            value = -value;
        return true;
    }

    // A string after its opening quote, up to and with its closing quote.
    bool string(QString& out)
    {
        const char* start = at;
        bool ascii = true;
        while (at < end && *at != '"' && *at != '\\') {
            ascii = ascii && uchar(*at) < 0x80;
            ++at;
        }
        if (at >= end)
            return false;
        if (*at == '"') {
            ++at;
            return plain(start, at - 1, ascii, out);
        }
        // With escapes: decoded piece by piece.
        at = start;
        out = QLatin1String("");
        while (at < end && *at != '"') {
            const char* run = at;
            bool runAscii = true;
            while (at < end && *at != '"' && *at != '\\') {
                runAscii = runAscii && uchar(*at) < 0x80;
                ++at;
            }
            QString piece;
            if (!plain(run, at, runAscii, piece))
                return false;
            out += piece;
            if (at < end && *at == '\\' && !escape(out))
                return false;
        }
        return take('"');
    }

    // The text of a run of bytes without escapes, made once per distinct run; false when it is no valid UTF-8.
    bool plain(const char* from, const char* to, bool ascii, QString& out)
    {
        const std::string_view bytes(from, size_t(to - from));
        const auto known = interned.find(bytes);
        if (known != interned.end()) {
            out = known->second;
            return true;
        }
        if (ascii) {
            out = QString::fromLatin1(from, to - from);
        } else {
            QStringDecoder decoder(
                QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            out = decoder.decode(QByteArrayView(from, to - from));
            if (decoder.hasError())
                return false;
        }
        if (out.isNull())
            out = QLatin1String("");
        interned.emplace(bytes, out);
        return true;
    }

    bool escape(QString& out)
    {
        if (end - at < 2)
            return false;
        const char c = at[1];
        at += 2;
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out += QLatin1Char(c);
            return true;
        case 'b':
            out += QChar(0x8);
            return true;
        case 'f':
            out += QChar(0xc);
            return true;
        case 'n':
            out += QChar(0xa);
            return true;
        case 'r':
            out += QChar(0xd);
            return true;
        case 't':
            out += QChar(0x9);
            return true;
        case 'u': {
            if (end - at < 4)
                return false;
            char16_t unit = 0;
            for (int i = 0; i < 4; ++i) {
                const char h = at[i];
                const int digit = h >= '0' && h <= '9' ? h - '0'
                    : h >= 'a' && h <= 'f'             ? h - 'a' + 10
                    : h >= 'A' && h <= 'F'             ? h - 'A' + 10
                                                       : -1;
                if (digit < 0)
                    return false;
                unit = char16_t(unit * 16 + digit);
            }
            at += 4;
            out += QChar(unit);
            return true;
        }
        default:
            return false;
        }
    }

    // Any value, read and dropped; containers only a few levels deep.
    bool skipValue(int depth)
    {
        if (depth > 64 || at >= end)
            return false;
        QString ignored;
        qint64 number = 0;
        switch (*at) {
        case '"':
            ++at;
            return string(ignored);
        case 'n':
            return literal("null");
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case '[':
            ++at;
            return elements([&] { return skipValue(depth + 1); });
        case '{':
            ++at;
            if (!skipSpace())
                return false;
            if (*at != '}' && !members([&](QByteArrayView) { return skipValue(depth + 1); }))
                return false;
            ++at;
            return true;
        default:
            return wholeNumber(number);
        }
    }

    const char* at;
    const char* end;
    std::unordered_map<std::string_view, QString> interned; // by the bytes of the payload
};

QString flagText(const Record& record, bool acknowledged, bool dnd)
{
    QStringList parts;
    if (acknowledged) {
        const QString by = text(record[AcknowledgedByName], QString());
        parts.append(by.isEmpty() ? QStringLiteral("\u2713 Sett") : QStringLiteral("\u2713 Sett av %1").arg(by));
    }
    if (dnd)
        parts.append(QStringLiteral("\U0001F515 Stör ej"));
    const QString reason = text(record[SuppressedReason], QString());
    if (!reason.isEmpty())
        parts.append(QStringLiteral("\U0001F515 %1").arg(reason));
    if (record.has(Hard) && !flag(record[Hard])) {
        parts.append(QStringLiteral("försök %1/%2")
                         .arg(integer(record[ConsecutiveFailures], 0))
                         .arg(integer(record[MaxAttempts], 1)));
    }
    return parts.join(Separator);
}

QString rollupFlags(const Record& record)
{
    QStringList parts;
    if (flag(record[Dnd]))
        parts.append(QStringLiteral("\U0001F515 Stör ej"));
    else if (flag(record[HasDnd]))
        parts.append(QStringLiteral("\U0001F515 Stör ej under"));
    if (flag(record[HasAcked]))
        parts.append(QStringLiteral("\u2713 kvitterat under"));
    return parts.join(Separator);
}

// A check or port record with the fields that more than one rule reads.
struct ItemRecord {
    const Record* record;
    QString status;
    bool acknowledged;
    bool dnd;
    bool handled;
};

// Real installations nest groups a few levels deep; deeper groups are placed at top level.
constexpr int MaxGroupDepth = 32;

// Reads one payload into nodes: records indexed by id, group nodes made once each, then the nodes laid out depth
// first.
class Reader {
public:
    explicit Reader(const Records& records)
        : records(records)
    {
        for (const Record& g : records.groups)
            groupsById.insert(integer(g[Id], 0), &g);
        for (const Record& c : records.plugins)
            checksByHost[integer(c[HostId], 0)].append(&c);
        for (const Record& p : records.ports)
            portsByHost[integer(p[HostId], 0)].append(&p);
    }

    Tree read()
    {
        for (const Record& g : records.groups)
            ensureGroup(integer(g[Id], 0));
        for (const Record& h : records.hosts)
            addHost(h);
        for (const int id : std::as_const(placeholderIds))
            sumUpPlaceholder(groupNodes.value(id, -1));
        return layOut();
    }

private:
    int add(int parent, Node node)
    {
        const int index = int(made.size());
        made.append(std::move(node));
        kids.append(QList<int>());
        parentOf.append(parent);
        depth.append(parent < 0 ? 1 : depth.at(parent) + 1);
        (parent < 0 ? roots : kids[parent]).append(index);
        return index;
    }

    // Makes the node of a group, and of its missing ancestors first, or finds it. Walks the parent chain with a
    // loop, not recursion, so that a payload with a very long chain of groups cannot exhaust the stack. A group
    // whose ancestors lead back to itself closes the cycle at top level, and so does a group that would sit more
    // than MaxGroupDepth levels deep: Qt's item model takes a subtree apart level by level, so a chain of thousands
    // of nested groups would freeze the window.
    int ensureGroup(int id)
    {
        if (const int found = groupNodes.value(id, -1); found >= 0)
            return found;
        QList<QPair<int, Node>> chain; // from the group up to its topmost new ancestor
        QSet<int> beingMade;
        int parent = -1;
        for (int current = id; chain.size() < MaxGroupDepth;) {
            if (const int found = groupNodes.value(current, -1); found >= 0) {
                if (depth.at(found) + chain.size() <= MaxGroupDepth)
                    parent = found;
                break;
            }
            if (beingMade.contains(current))
                break;
            beingMade.insert(current);
            const Record* record = groupsById.value(current);
            Node node;
            node.key = nodeKey(QLatin1String("g:"), {current});
            node.id = current;
            int parentId = 0;
            if (record) {
                node.name = node.targetName = text((*record)[Name], QStringLiteral("?"));
                node.status = text((*record)[Status], QStringLiteral("none"));
                node.flags = rollupFlags(*record);
                parentId = integer((*record)[ParentId], 0);
            } else {
                // A group that hosts or groups refer to but the payload lacks: a placeholder at top level.
                placeholderIds.insert(current);
                node.name = node.targetName = QStringLiteral("Utan grupp");
                node.status = QStringLiteral("none");
            }
            chain.append({current, std::move(node)});
            if (parentId == 0)
                break;
            current = parentId;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            parent = add(parent, std::move(it->second));
            groupNodes.insert(it->first, parent);
        }
        return parent;
    }

    static QList<ItemRecord> readItems(const QList<const Record*>& records)
    {
        QList<ItemRecord> items;
        items.reserve(records.size());
        for (const Record* record : records) {
            const QString status = text((*record)[Status], QStringLiteral("pending"));
            const bool acknowledged = flag((*record)[Acknowledged]);
            const bool dnd = flag((*record)[Dnd]);
            items.append({record, status, acknowledged, dnd, checkHandled(*record, status, acknowledged, dnd)});
        }
        return items;
    }

    // The host rule: an alarming host is handled when it has alarming checks or ports and all of them are.
    static bool hostHandled(const Record& host, const QList<ItemRecord>& checks, const QList<ItemRecord>& ports)
    {
        if (host.has(Handled))
            return flag(host[Handled]);
        if (!isAlarming(text(host[Status], QString())))
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

    static Node itemNode(const ItemRecord& item, Node::Kind kind, int hostId, int id, const QString& name)
    {
        Node node;
        node.kind = kind;
        node.name = node.targetName = name;
        node.status = item.status;
        node.output = text((*item.record)[OutputText], QString());
        node.lastOk = text((*item.record)[kind == Node::Port ? CollectedAt : LastSuccessAt], QString());
        node.flags = flagText(*item.record, item.acknowledged, item.dnd);
        node.hostId = hostId;
        node.id = id;
        node.handled = item.handled;
        return node;
    }

    void addHost(const Record& host)
    {
        const int id = integer(host[Id], 0);
        const bool nullGroup = host[GroupId].type == Scalar::Null;
        const int group = ensureGroup(nullGroup ? -1 : integer(host[GroupId], 0));

        const QList<ItemRecord> checks = readItems(checksByHost.value(id));
        const QList<ItemRecord> ports = readItems(portsByHost.value(id));
        Node node;
        node.kind = Node::Host;
        node.key = nodeKey(QLatin1String("h:"), {id});
        node.targetName = text(host[Name], QStringLiteral("?"));
        node.name = node.targetName + QLatin1String("  (") + text(host[Address], QString()) + QLatin1Char(')');
        node.status = text(host[Status], QStringLiteral("none"));
        node.flags = rollupFlags(host);
        node.hostId = id;
        node.handled = hostHandled(host, checks, ports);
        const int hostNode = add(group, std::move(node));

        for (const ItemRecord& check : checks) {
            const int pluginId = integer((*check.record)[PluginId], 0);
            const int instanceId = integer((*check.record)[InstanceId], 0);
            const QString shown = text((*check.record)[Name], QString());
            Node row = itemNode(
                check, Node::Plugin, id, pluginId, shown.isEmpty() ? QStringLiteral("plugin %1").arg(pluginId) : shown);
            row.instanceId = instanceId;
            row.key = builtCheckKey(text((*check.record)[Key], QString()), id, pluginId, instanceId);
            add(hostNode, std::move(row));
        }
        for (const ItemRecord& port : ports) {
            const int portId = integer((*port.record)[PortId], 0);
            const QString shown = text((*port.record)[Name], QString());
            Node row = itemNode(
                port, Node::Port, id, portId, shown.isEmpty() ? QStringLiteral("port %1").arg(portId) : shown);
            row.key = nodeKey(QLatin1String("sp:"), {portId});
            add(hostNode, std::move(row));
        }
    }

    // A placeholder group has no status from the server: it shows the worst of its children, counting a handled
    // child as "ok".
    void sumUpPlaceholder(int node)
    {
        if (node < 0)
            return;
        QList<QString> statuses;
        for (const int child : std::as_const(kids.at(node)))
            statuses.append(made.at(child).handled ? QStringLiteral("ok") : made.at(child).status);
        made[node].status = aggregateStatus(statuses);
    }

    // Children are always made after their parents, so sizes add up from the last node made to the first.
    Tree layOut()
    {
        QList<int> sizes(made.size(), 1);
        for (qsizetype m = made.size() - 1; m >= 0; --m) {
            if (parentOf.at(m) >= 0)
                sizes[parentOf.at(m)] += sizes.at(m);
        }
        Tree tree;
        tree.nodes.reserve(made.size());
        QStack<int> pending;
        auto push = [&pending](const QList<int>& siblings) {
            for (auto it = siblings.crbegin(); it != siblings.crend(); ++it)
                pending.push(*it);
        };
        push(roots);
        while (!pending.isEmpty()) {
            const int m = pending.pop();
            made[m].size = sizes.at(m);
            tree.nodes.append(std::move(made[m]));
            push(kids.at(m));
        }
        return tree;
    }

    const Records& records;
    QHash<int, const Record*> groupsById; // a later record with the same id replaces an earlier one
    QHash<int, QList<const Record*>> checksByHost;
    QHash<int, QList<const Record*>> portsByHost;
    QHash<int, int> groupNodes; // group id to its node
    QSet<int> placeholderIds;
    QList<Node> made; // in the order made
    QList<QList<int>> kids;
    QList<int> parentOf;
    QList<int> depth; // group levels from the top; 1 for a top-level row
    QList<int> roots;
};

} // namespace

bool Node::sameRow(const Node& other) const
{
    return !foreign && !other.foreign && kind == other.kind && handled == other.handled && id == other.id
        && hostId == other.hostId && instanceId == other.instanceId && status == other.status && name == other.name
        && output == other.output && lastOk == other.lastOk && flags == other.flags && key == other.key
        && targetName == other.targetName && !redraw && !other.redraw;
}

QList<int> Tree::children(int parent) const
{
    QList<int> list;
    const int end = parent < 0 ? int(nodes.size()) : parent + nodes.at(parent).size;
    for (int child = parent + 1; child < end; child += nodes.at(child).size)
        list.append(child);
    return list;
}

Tree readTree(const QJsonObject& payload)
{
    Records records;
    readRecords(payload, records);
    return Reader(records).read();
}

bool readTree(const QByteArray& json, Tree* tree)
{
    Records records;
    if (!json.isEmpty() && !FastReader(json).read(records))
        return false;
    *tree = Reader(records).read();
    return true;
}

QString checkKey(int hostId, const QJsonObject& check)
{
    Records records;
    readRecord(records, records.plugins, check, {Key, PluginId, InstanceId});
    const Record& record = records.plugins.first();
    return builtCheckKey(
        text(record[Key], QString()), hostId, integer(record[PluginId], 0), integer(record[InstanceId], 0));
}

} // namespace treemodel
