// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport.h"
#include "tree/livetree.h"
#include "tree/treemodel.h"

#include <QStandardItemModel>

using namespace treemodel;

namespace {

// Every row as one line: indent, key, the five texts, and a mark for a handled row.
QStringList texts(const QAbstractItemModel& m, const QModelIndex& parent = {}, int depth = 0)
{
    QStringList lines;
    for (int r = 0; r < m.rowCount(parent); ++r) {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells.append(m.index(r, c, parent).data().toString());
        const QModelIndex first = m.index(r, 0, parent);
        lines.append(QString(depth * 2, QLatin1Char(' ')) + first.data(KeyRole).toString() + QLatin1Char(' ')
            + cells.join(QLatin1Char('|')) + (first.data(HandledRole).toBool() ? QStringLiteral(" ✱") : QString()));
        lines += texts(m, first, depth + 1);
    }
    return lines;
}

// Everything a view can read from one cell: its row's column count, its flags and every role.
QString cellText(const QAbstractItemModel& m, const QModelIndex& i)
{
    QString cell;
    QDebug debug(&cell);
    debug << m.columnCount(i.parent()) << m.flags(i);
    for (const int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::ForegroundRole), int(KeyRole),
             int(TargetRole), int(StatusRole), int(HandledRole), int(AcknowledgedRole)})
        debug << i.data(role);
    return cell;
}

// Every cell with what it holds, followed through the model's row moves.
using Cells = QList<std::pair<QPersistentModelIndex, QString>>;
Cells cells(const QAbstractItemModel& m, const QModelIndex& parent = {})
{
    Cells all;
    for (int r = 0; r < m.rowCount(parent); ++r) {
        for (int c = 0; c < m.columnCount(parent); ++c)
            all.append({m.index(r, c, parent), cellText(m, m.index(r, c, parent))});
        all += cells(m, m.index(r, 0, parent));
    }
    return all;
}

// Everything a view can read from the model: headers and every cell.
QStringList everything(const QAbstractItemModel& m)
{
    QStringList lines;
    for (int c = 0; c < m.columnCount(); ++c)
        lines.append(m.headerData(c, Qt::Horizontal).toString());
    for (const auto& cell : cells(m))
        lines.append(cell.second);
    return lines;
}

// Applies an update and tells whether its announcements were right: a cell changed in place is drawn anew only if
// an announcement covers it, and every row an announcement covers did change. (A row moved is taken out and put
// back: its cells are not followed.)
bool appliedAsAnnounced(LiveTree& liveTree, QStandardItemModel& live, const TreeUpdatePtr& update)
{
    const Cells before = cells(live);
    QList<QList<QPersistentModelIndex>> announced; // the cells of each announced row
    const QMetaObject::Connection watch = QObject::connect(&live, &QAbstractItemModel::dataChanged, &live,
        [&announced](const QModelIndex& top, const QModelIndex& bottom) {
            for (int r = top.row(); r <= bottom.row(); ++r) {
                QList<QPersistentModelIndex>& row = announced.emplaceBack();
                for (int c = top.column(); c <= bottom.column(); ++c)
                    row.append(top.sibling(r, c));
            }
        });
    liveTree.apply(update);
    QObject::disconnect(watch);
    QSet<QModelIndex> changed;
    for (const auto& [cell, text] : before)
        if (cell.isValid() && cellText(live, cell) != text)
            changed.insert(cell);
    for (const QList<QPersistentModelIndex>& row : std::as_const(announced)) {
        bool rowChanged = false;
        for (const QPersistentModelIndex& cell : row)
            rowChanged |= changed.remove(cell);
        if (!rowChanged && row.first().isValid())
            return false;
    }
    for (const auto& [cell, text] : cells(live)) // and the view finds every row by its key
        if (cell.column() == 0 && !liveTree.find(cell.data(KeyRole).toString()))
            return false;
    return changed.isEmpty();
}

// Every node of a tree as one line: its subtree's size, its key's hash and its row's cells and ids.
QStringList lines(const TreeShape& shape, const Rows& rows)
{
    QStringList all;
    for (int n = 0; n < shape.nodes.size(); ++n) {
        QDebug line(&all.emplaceBack());
        line << shape.nodes.at(n).size << shape.nodes.at(n).key;
        if (const Node* r = rows.find(n))
            line << r->key << r->name << r->status << r->output << r->lastOk << r->flags << r->targetName << r->hostId
                 << r->id << r->instanceId << kindName(r->kind) << r->handled << r->acknowledged;
    }
    return all;
}

// Payloads over small id spaces, so that one shares rows with the next, and some rows share keys or ids.
struct Payloads {
    QRandomGenerator random;
    QJsonObject last;

    QJsonObject next() { return last = last.isEmpty() || oneIn(4) ? anew() : changed(last); }

    QJsonValue pick(const QList<QJsonValue>& values) { return values.at(random.bounded(int(values.size()))); }
    QJsonValue status() { return pick({"ok", "ok", "ok", "warning", "critical", "unknown", "stale", 3}); }
    int id(int count) { return random.bounded(1, count + 1); }
    bool oneIn(int n) { return random.bounded(n) == 0; }

    QJsonObject item(const char* idKey)
    {
        const QJsonValue none(QJsonValue::Undefined); // leaves the field out
        return {{"host_id", id(9)}, {idKey, id(4)}, {"status", status()}, {"output_text", pick({"", "upp", "95 %"})},
            {"acknowledged", oneIn(4)}, {"dnd", oneIn(6)}, {"hard", oneIn(5) ? QJsonValue(false) : none},
            {"instance_id", oneIn(3) ? QJsonValue(id(2)) : none},
            {"key", oneIn(8) ? QJsonValue("delad") : none}}; // a server key two checks may share
    }

    QJsonObject anew()
    {
        QJsonArray groups, hosts, plugins, ports;
        for (int i = random.bounded(7); i > 0; --i)
            groups.append(QJsonObject {{"id", id(6)}, {"parent_id", random.bounded(0, 8)}, {"status", status()},
                {"name", pick({"A", "B"})}, {"has_dnd", oneIn(2)}});
        for (int i = random.bounded(10); i > 0; --i)
            hosts.append(QJsonObject {{"id", id(9)}, {"status", status()}, {"address", pick({"", "10.0.0.1"})},
                {"group_id", pick({1, 2, 3, 4, 9, QJsonValue::Null, QJsonValue::Undefined})}});
        for (int i = random.bounded(25); i > 0; --i)
            plugins.append(item("plugin_id"));
        for (int i = random.bounded(6); i > 0; --i)
            ports.append(item("port_id"));
        return {{"groups", groups}, {"hosts", hosts}, {"plugins", plugins}, {"ports", ports}};
    }

    // One small change: a field of one record or of many, a record gone, one more, or two records trading places.
    QJsonObject changed(QJsonObject payload)
    {
        const QString array = pick({"groups", "hosts", "plugins", "plugins", "ports"}).toString();
        QJsonArray records = payload.value(array).toArray();
        if (records.isEmpty())
            return anew();
        const int at = random.bounded(int(records.size())), other = random.bounded(int(records.size()));
        QJsonObject record = records.at(at).toObject();
        switch (random.bounded(5)) {
        case 0:
            records.removeAt(at);
            break;
        case 1:
            record.insert(array == "hosts" ? "id" : array == "groups" ? "parent_id" : "host_id", id(9));
            records.append(record);
            break;
        case 2:
            records.replace(at, records.at(other));
            records.replace(other, record);
            break;
        case 3: // the status or the output of many records, as when a host's checks change together
            for (int i = 0; i < records.size(); i += random.bounded(1, 3)) {
                QJsonObject each = records.at(i).toObject();
                each.insert(pick({"status", "output_text"}).toString(), status());
                records.replace(i, each);
            }
            break;
        default:
            record.insert(pick({"status", "output_text", "name", "group_id", "last_success_at"}).toString(), status());
            records.replace(at, record);
        }
        payload.insert(array, records);
        return payload;
    }
};

} // namespace

class TestTreeModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rows_data()
    {
        testsupport::columns<QByteArray, QStringList>("payload", "lines");
        // clang-format off
        QTest::newRow("empty or foreign") << QByteArray(R"({"groups":5,"hosts":"x","plugins":[{"host_id":1}]})") << QStringList();
        QTest::newRow("each kind") << QByteArray(R"({"groups":[{"id":3,"name":"Kärnnät","status":"warning","has_dnd":true,"has_acked":true}],
            "hosts":[{"id":7,"name":"web1","address":"10.0.0.5","group_id":3,"status":"critical"}],
            "plugins":[{"host_id":7,"plugin_id":15,"instance_id":2,"name":"Disk","status":"critical","output_text":"95 %","last_success_at":"10:00","acknowledged":true}],
            "ports":[{"host_id":7,"port_id":12,"status":"ok","output_text":"upp","collected_at":"09:00"}]})")
            << QStringList {"g:3 Kärnnät|WARNING|||🔕 Stör ej under · ✓ kvitterat under", "  h:7 web1  (10.0.0.5)|CRITICAL||| ✱",
                            "    p:7:15:2 Disk|CRITICAL|95 %|10:00|✓ Sett ✱", "    sp:12 port 12|OK|upp|09:00|"};
        QTest::newRow("check flags and handled") << QByteArray(R"({"hosts":[{"id":1,"group_id":9,"status":"warning","dnd":true,"has_dnd":true}],"plugins":[
            {"host_id":1,"plugin_id":1,"status":"warning","hard":false,"consecutive_failures":2,"max_attempts":3},
            {"host_id":1,"plugin_id":2,"hard":null,"max_attempts":"tre"},
            {"host_id":1,"plugin_id":3,"status":"critical","acknowledged":true,"acknowledged_by_name":"op1","dnd":true},
            {"host_id":1,"plugin_id":4,"status":"critical","acknowledged":1,"dnd":"true"},
            {"host_id":1,"plugin_id":5,"status":"stale","dnd":true,"suppressed_reason":"underhåll","hard":false},
            {"host_id":1,"plugin_id":6,"status":"ok","handled":true},
            {"host_id":1,"plugin_id":7,"status":"critical","acknowledged":true,"handled":null},
            {"host_id":1,"plugin_id":8,"status":"CRITICAL","acknowledged":true,"name":"","output_text":7},
            {"host_id":1,"plugin_id":9,"status":"unknown","acknowledged":true}]})")
            << QStringList {"g:9 Utan grupp|WARNING|||", "  h:1 ?  ()|WARNING|||🔕 Stör ej",
                            "    p:1:1 plugin 1|WARNING|||försök 2/3", "    p:1:2 plugin 2|PENDING|||försök 0/0",
                            "    p:1:3 plugin 3|CRITICAL|||✓ Sett av op1 · 🔕 Stör ej ✱", "    p:1:4 plugin 4|CRITICAL|||",
                            "    p:1:5 plugin 5|STALE|||🔕 Stör ej · 🔕 underhåll · försök 0/1 ✱", "    p:1:6 plugin 6|OK||| ✱",
                            "    p:1:7 plugin 7|CRITICAL|||✓ Sett", "    p:1:8 plugin 8|CRITICAL|7||✓ Sett",
                            "    p:1:9 plugin 9|UNKNOWN|||✓ Sett ✱"};
        QTest::newRow("host handled only when all its alarms are") << QByteArray(R"({"groups":[{"id":9}],"hosts":[{"id":1,"group_id":9,"status":"warning"},
            {"id":2,"group_id":9,"status":"warning"},{"id":3,"group_id":9,"status":"warning","handled":"ja"}],
            "plugins":[{"host_id":1,"plugin_id":1,"status":"warning","acknowledged":true},{"host_id":2,"plugin_id":1,"status":"warning","acknowledged":true}],
            "ports":[{"host_id":2,"port_id":5,"status":"critical"}]})")
            << QStringList {"g:9 ?|NONE|||", "  h:1 ?  ()|WARNING||| ✱", "    p:1:1 plugin 1|WARNING|||✓ Sett ✱",
                            "  h:2 ?  ()|WARNING|||", "    p:2:1 plugin 1|WARNING|||✓ Sett ✱", "    sp:5 port 5|CRITICAL|||", "  h:3 ?  ()|WARNING|||"};
        QTest::newRow("placeholders after real groups, summed up") << QByteArray(R"({"groups":[{"id":5,"name":"Real"},{"id":6,"name":"Barn","parent_id":42}],
            "hosts":[{"id":1,"group_id":null,"status":"critical","handled":true},{"id":2,"status":"stale"},{"id":3,"group_id":5},
            {"id":4,"group_id":null,"status":"warning"},{"id":5,"status":"critical"}]})")
            << QStringList {"g:5 Real|NONE|||", "  h:3 ?  ()|NONE|||", "g:42 Utan grupp|NONE|||", "  g:6 Barn|NONE|||",
                            "g:-1 Utan grupp|WARNING|||", "  h:1 ?  ()|CRITICAL||| ✱", "  h:4 ?  ()|WARNING|||",
                            "g:0 Utan grupp|STALE|||", "  h:2 ?  ()|STALE|||", "  h:5 ?  ()|CRITICAL|||"};
        QTest::newRow("late parents, duplicates, cycles, an id out of range") << QByteArray(R"({"groups":[{"id":1,"name":"A","parent_id":2},{"id":3},{"id":2},
            {"id":1,"name":"A2","parent_id":2},{"id":11,"parent_id":12},{"id":12,"parent_id":11},{"id":13,"parent_id":13}],"hosts":[{"id":9,"group_id":11},{"id":4294967297,"group_id":3}]})")
            << QStringList {"g:2 ?|NONE|||", "  g:1 A2|NONE|||", "g:3 ?|NONE|||", "  h:0 ?  ()|NONE|||", "g:12 ?|NONE|||", "  g:11 ?|NONE|||",
                            "    h:9 ?  ()|NONE|||", "g:13 ?|NONE|||"};
        QTest::newRow("checks before ports, in payload order, keys of the server") << QByteArray(R"({"groups":[{"id":9}],"hosts":[{"id":1,"group_id":9}],
            "plugins":[{"host_id":1,"plugin_id":3,"name":"z","key":"disk/root"},{"host_id":2,"plugin_id":8},{"host_id":1,"plugin_id":1,"name":"a","instance_id":-1}],
            "ports":[{"host_id":1,"port_id":20,"name":"B"},{"host_id":1,"port_id":10,"name":"A"}]})")
            << QStringList {"g:9 ?|NONE|||", "  h:1 ?  ()|NONE|||", "    p:disk/root z|PENDING|||", "    p:1:1 a|PENDING|||",
                            "    sp:20 B|PENDING|||", "    sp:10 A|PENDING|||"};
        // clang-format on
    }
    void rows()
    {
        QStandardItemModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        buildTreeModel(QJsonDocument::fromJson(testsupport::fetch<QByteArray>("payload")).object(), &model);
        QTEST(texts(model), "lines");
        QCOMPARE(model.columnCount(), 5);
    }

    void placeholderShowsItsWorstHost_data()
    {
        testsupport::columns<QStringList, QString>("hosts", "shown");
        QTest::newRow("critical over warning") << QStringList {"warning", "critical"} << "CRITICAL";
        QTest::newRow("warning over unknown") << QStringList {"unknown", "warning"} << "WARNING";
        QTest::newRow("unknown over pending") << QStringList {"pending", "unknown"} << "UNKNOWN";
        QTest::newRow("pending over ok") << QStringList {"ok", "pending"} << "PENDING";
        QTest::newRow("ok over ignored and words unknown") << QStringList {"ignored", "ok", "3"} << "OK";
    }
    // A group the server does not send shows the most serious status of its hosts, whatever their order.
    void placeholderShowsItsWorstHost()
    {
        QJsonArray hosts;
        for (const QString& status : testsupport::fetch<QStringList>("hosts"))
            hosts.append(QJsonObject {{"id", hosts.size() + 1}, {"status", status}});
        QStandardItemModel model;
        buildTreeModel({{"hosts", hosts}}, &model);
        QTEST(model.index(0, 1).data().toString(), "shown");
    }

    void readerAgreesWithQtParser_data()
    {
        testsupport::columns<QByteArray, bool>("text", "simdjson");
        const QByteArray deep = QByteArray(1023, '[') + QByteArray(1023, ']');
        // clang-format off
        QTest::newRow("escapes") << QByteArray("{\"hosts\":[{\"id\":1,\"name\":\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\\u00e5\\u00C4\"}],"
            "\"plugins\":[{\"host_id\":1,\"plugin_id\":2,\"output_text\":\"\\u2713 \\u0000 x\"}]}") << true;
        QTest::newRow("surrogate pair") << QByteArray(R"({"hosts":[{"id":1,"name":"\ud83d\udd15 tyst"}]})") << true;
        QTest::newRow("lone surrogate") << QByteArray(R"({"hosts":[{"id":1,"name":"\ud800 \udc00"}]})") << false;
        QTest::newRow("unknown escape") << QByteArray(R"({"hosts":[{"id":1,"name":"\x"}]})") << false;
        QTest::newRow("duplicate keys") << QByteArray(R"({"hosts":[{"id":1}],"hosts":[{"id":2,"id":3,"name":"a","name":"b"}],
            "plugins":[{"host_id":3,"plugin_id":1,"status":"ok","status":"critical","handled":true,"handled":null}]})") << true;
        QTest::newRow("escaped keys") << QByteArray(R"({"ho\u0073ts":[{"\u0069d":5,"st\u0061tus":"warning"}]})") << true;
        QTest::newRow("numbers") << QByteArray(R"({"hosts":[{"id":1.0,"name":1e2,"address":-0,"status":1234567890123456789,"group_id":-1e0}],
            "plugins":[{"host_id":1E0,"plugin_id":"17","instance_id":9223372036854775808,"output_text":0.5,
            "last_success_at":1e18,"suppressed_reason":-1.5e3,"hard":false,"consecutive_failures":1e1,"max_attempts":2.000,"key":12345678901234567890,"acknowledged":true,
            "acknowledged_by_name":100000000000000000000.0}]})") << true;
        QTest::newRow("a number written as zero with a fraction") << QByteArray(R"({"hosts":[{"id":1,"name":0.0,"address":-0.0}]})") << true;
        QTest::newRow("a number that underflows") << QByteArray(R"({"hosts":[{"id":1}],"x":[1e-400]})") << false;
        QTest::newRow("a whole number beyond 64 bits") << QByteArray(R"({"hosts":[{"id":1,"name":123456789012345678901234567890}]})") << false;
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF{\"hosts\":[{\"id\":1}]}") << true;
        QTest::newRow("null and wrong types") << QByteArray(R"({"groups":{"id":1},"hosts":[5,{"id":null,"name":null,"group_id":null},
            {"id":"x","group_id":[1],"status":{"a":1},"handled":"ja"}],
            "plugins":[null,{"host_id":true,"plugin_id":[],"name":false,"acknowledged":1,"dnd":"true"}],"ports":"inga"})") << true;
        QTest::newRow("truncated") << QByteArray("{\"hosts\":[{\"id\":1,\"name\":\"ab") << false;
        QTest::newRow("nested as deep as Qt reads") << QByteArray("{\"x\":" + deep + "}") << true;
        QTest::newRow("nested deeper") << QByteArray("{\"x\":" + QByteArray(deep).insert(1023, "{}") + "}") << false;
        QTest::newRow("nested deeper in a group") << QByteArray("{\"groups\":[{\"x\":" + deep + "}]}") << false;
        QTest::newRow("invalid UTF-8") << QByteArray("{\"hosts\":[{\"id\":1,\"name\":\"\xC3\x28\"}]}") << false;
        QTest::newRow("a control character in a string") << QByteArray("{\"hosts\":[{\"id\":1,\"name\":\"a\tb\"}]}") << false;
        QTest::newRow("no object") << QByteArray(R"([{"hosts":[]}])") << false;
        QTest::newRow("more after the object") << QByteArray("{\"hosts\":[{\"id\":1}]}}") << false;
        QTest::newRow("empty") << QByteArray() << true;
        // clang-format on
    }
    // The poller's reader gives what a from-scratch read of Qt's document gives, and reads itself all that servers
    // send; it leaves to Qt's parser only texts that the two may read differently (Qt's parser then also makes the
    // error, as for any other answer).
    void readerAgreesWithQtParser()
    {
        QByteArray text = testsupport::fetch<QByteArray>("text");
        const QJsonDocument document = QJsonDocument::fromJson(text);
        TreeReader reader;
        const bool read = reader.read(text);
        QTEST(read, "simdjson");
        if (!read)
            return;
        if (!text.isEmpty())
            QVERIFY(document.isObject()); // a text Qt refuses leaves no object
        Rows rows(int(reader.shape()->nodes.size()));
        reader.addAllRows(rows);
        const Tree fromQt = readTree(document.object());
        QCOMPARE(lines(*reader.shape(), rows), lines(*fromQt.shape, fromQt.rows));
    }

    void everyShownFieldReachesTheModel_data()
    {
        testsupport::columns<QString, QString, QJsonValue>("array", "field", "value");
        const QList<std::pair<const char*, QList<std::pair<const char*, QJsonValue>>>> changes {
            {"groups", {{"name", "G2"}, {"status", "critical"}, {"dnd", true}, {"has_dnd", true}, {"has_acked", true}}},
            {"hosts",
                {{"name", "h2"}, {"address", "10.0.0.2"}, {"status", "ok"}, {"handled", false}, {"dnd", true},
                    {"has_acked", true}}},
            {"plugins",
                {{"acknowledged", false}, {"name", "c2"}, {"status", "critical"}, {"output_text", "o2"},
                    {"last_success_at", "t2"}, {"handled", false}, {"acknowledged_by_name", "op2"}, {"dnd", true},
                    {"suppressed_reason", "r"}, {"hard", true}, {"consecutive_failures", 2}, {"max_attempts", 5}}},
            {"ports",
                {{"name", "p2"}, {"status", "critical"}, {"output_text", "u2"}, {"collected_at", "t2"},
                    {"acknowledged", true}}},
        };
        for (const auto& [array, fields] : changes) {
            for (const auto& [field, value] : fields)
                QTest::addRow("%s %s", array, field)
                    << QString::fromLatin1(array) << QString::fromLatin1(field) << value;
        }
    }
    // A poll that changes one field of one record reaches the model through an update that carries only the changed
    // rows, announced as they change: the model is then what a fresh build gives.
    void everyShownFieldReachesTheModel()
    {
        const QJsonObject base = QJsonDocument::fromJson(R"({"groups":[{"id":1,"name":"G","status":"ok"}],
            "hosts":[{"id":2,"name":"h","address":"10.0.0.1","group_id":1,"status":"warning"}],
            "plugins":[{"host_id":2,"plugin_id":3,"name":"c","status":"warning","output_text":"o","last_success_at":"t",
                "acknowledged":true,"acknowledged_by_name":"op","hard":false,"consecutive_failures":1,"max_attempts":3}],
            "ports":[{"host_id":2,"port_id":4,"name":"p","status":"ok","output_text":"u","collected_at":"t"}]})")
                                     .object();
        QJsonObject changed = base;
        QJsonArray records = changed.value(testsupport::fetch<QString>("array")).toArray();
        QJsonObject record = records.first().toObject();
        record.insert(testsupport::fetch<QString>("field"), testsupport::fetch<QJsonValue>("value"));
        records.replace(0, record);
        changed.insert(testsupport::fetch<QString>("array"), records);

        QStandardItemModel live;
        QAbstractItemModelTester tester(&live, QAbstractItemModelTester::FailureReportingMode::QtTest);
        LiveTree liveTree(&live);
        TreeReader reader;
        TreeDiff diff;
        reader.read(base);
        liveTree.apply(diff.next(reader));
        const QStringList before = everything(live);
        reader.read(changed);
        const TreeUpdatePtr update = diff.next(reader);
        QVERIFY(!update->rows.complete());
        QVERIFY(appliedAsAnnounced(liveTree, live, update));
        QStandardItemModel fresh;
        buildTreeModel(changed, &fresh);
        QCOMPARE(everything(live), everything(fresh));
        QVERIFY(everything(live) != before);
    }

    void inPlaceEqualsFreshBuild_data()
    {
        QTest::addColumn<quint32>("seed");
        for (const quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u})
            QTest::addRow("seed %u", seed) << seed;
    }
    // One model follows a sequence of payloads through buildTreeModel, another through the poller's way (trees read
    // and compared off the model, some of them skipped); after every step both hold exactly what a fresh build
    // gives. The first model starts with rows that no payload made, and one of its cells is changed from outside on
    // the way.
    void inPlaceEqualsFreshBuild()
    {
        Payloads payloads {QRandomGenerator(testsupport::fetch<quint32>("seed")), {}};
        QStandardItemModel direct, live;
        QAbstractItemModelTester directTester(&direct, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester liveTester(&live, QAbstractItemModelTester::FailureReportingMode::QtTest);
        direct.appendRow({new QStandardItem(QStringLiteral("främling")), new QStandardItem(QStringLiteral("x"))});
        direct.item(0)->setData(QStringLiteral("h:1"), KeyRole);
        LiveTree liveTree(&live);
        TreeReader reader;
        TreeDiff diff;
        QJsonObject applied; // what the live model was last given
        for (int step = 0; step < 40; ++step) {
            const QJsonObject payload = payloads.next();
            QByteArray text
                = QJsonDocument(payload).toJson(step % 2 ? QJsonDocument::Compact : QJsonDocument::Indented);
            QVERIFY(reader.read(text));
            const TreeUpdatePtr update = diff.next(reader);
            buildTreeModel(payload, &direct);
            const bool skipped = step % 7 == 3; // a tree superseded before the window got to it
            if (!skipped) {
                QVERIFY(appliedAsAnnounced(liveTree, live, update));
                applied = payload;
            }
            if (step == 20 && direct.rowCount() > 0) {
                direct.item(0, 2)->setText(QStringLiteral("ändrad utifrån"));
                continue;
            }
            QStandardItemModel fresh, freshApplied;
            buildTreeModel(payload, &fresh);
            buildTreeModel(applied, &freshApplied);
            QCOMPARE(everything(direct), everything(fresh));
            QCOMPARE(everything(live), everything(freshApplied));
        }
    }

    // Twenty thousand nested groups, deepest first: every group is shown, none deeper than 32 levels (Qt's model
    // takes a subtree apart level by level, so an unbounded chain would freeze the window at every poll).
    void longParentChainIsCapped()
    {
        constexpr int Count = 20000;
        QJsonArray groups;
        for (int id = 1; id <= Count; ++id)
            groups.append(QJsonObject {{"id", id}, {"parent_id", id < Count ? id + 1 : 0}});
        const Tree tree = readTree({{"groups", groups}});
        const TreeShape& shape = *tree.shape;
        int deepest = 0;
        QList<int> ends; // where the open subtrees end
        for (int n = 0; n < shape.nodes.size(); ++n) {
            while (!ends.isEmpty() && ends.last() <= n)
                ends.removeLast();
            ends.append(n + shape.nodes.at(n).size);
            deepest = std::max(deepest, int(ends.size()));
        }
        QCOMPARE(shape.nodes.size(), Count);
        QCOMPARE(deepest, 32);
    }
};

NORV_TEST_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
