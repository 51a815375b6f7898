#include "testsupport.h"
#include "treemodel.h"

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

// Everything a view can read from the model: headers, column counts, flags and every role of every cell.
QStringList everything(const QAbstractItemModel& m, const QModelIndex& parent = {})
{
    QStringList lines;
    for (int c = 0; !parent.isValid() && c < m.columnCount(); ++c)
        lines.append(m.headerData(c, Qt::Horizontal).toString());
    for (int r = 0; r < m.rowCount(parent); ++r) {
        for (int c = 0; c < m.columnCount(parent); ++c) {
            const QModelIndex i = m.index(r, c, parent);
            QString cell;
            QDebug debug(&cell);
            debug << m.columnCount(parent) << m.flags(i);
            for (const int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::ForegroundRole), int(KeyRole),
                     int(TargetRole), int(StatusRole), int(HandledRole)})
                debug << i.data(role);
            lines.append(cell);
        }
        lines += everything(m, m.index(r, 0, parent));
    }
    return lines;
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

    // One small change: a field of one record, a record gone, one more, or two records trading places.
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
            {"host_id":1,"plugin_id":8,"status":"CRITICAL","acknowledged":true,"name":"","output_text":7}]})")
            << QStringList {"g:9 Utan grupp|WARNING|||", "  h:1 ?  ()|WARNING|||🔕 Stör ej",
                            "    p:1:1 plugin 1|WARNING|||försök 2/3", "    p:1:2 plugin 2|PENDING|||försök 0/0",
                            "    p:1:3 plugin 3|CRITICAL|||✓ Sett av op1 · 🔕 Stör ej ✱", "    p:1:4 plugin 4|CRITICAL|||",
                            "    p:1:5 plugin 5|STALE|||🔕 Stör ej · 🔕 underhåll · försök 0/1 ✱", "    p:1:6 plugin 6|OK||| ✱",
                            "    p:1:7 plugin 7|CRITICAL|||✓ Sett", "    p:1:8 plugin 8|CRITICAL|7||✓ Sett"};
        QTest::newRow("host handled only when all its alarms are") << QByteArray(R"({"groups":[{"id":9}],"hosts":[{"id":1,"group_id":9,"status":"warning"},{"id":2,"group_id":9,"status":"warning"},{"id":3,"group_id":9,"status":"warning","handled":"ja"}],
            "plugins":[{"host_id":1,"plugin_id":1,"status":"warning","acknowledged":true},{"host_id":2,"plugin_id":1,"status":"warning","acknowledged":true}],
            "ports":[{"host_id":2,"port_id":5,"status":"critical"}]})")
            << QStringList {"g:9 ?|NONE|||", "  h:1 ?  ()|WARNING||| ✱", "    p:1:1 plugin 1|WARNING|||✓ Sett ✱",
                            "  h:2 ?  ()|WARNING|||", "    p:2:1 plugin 1|WARNING|||✓ Sett ✱", "    sp:5 port 5|CRITICAL|||", "  h:3 ?  ()|WARNING|||"};
        QTest::newRow("placeholders after real groups, summed up") << QByteArray(R"({"groups":[{"id":5,"name":"Real"},{"id":6,"name":"Barn","parent_id":42}],
            "hosts":[{"id":1,"group_id":null,"status":"critical","handled":true},{"id":2,"status":"stale"},{"id":3,"group_id":5},{"id":4,"group_id":null,"status":"warning"},{"id":5,"status":"critical"}]})")
            << QStringList {"g:5 Real|NONE|||", "  h:3 ?  ()|NONE|||", "g:42 Utan grupp|NONE|||", "  g:6 Barn|NONE|||",
                            "g:-1 Utan grupp|WARNING|||", "  h:1 ?  ()|CRITICAL||| ✱", "  h:4 ?  ()|WARNING|||",
                            "g:0 Utan grupp|STALE|||", "  h:2 ?  ()|STALE|||", "  h:5 ?  ()|CRITICAL|||"};
        QTest::newRow("late parents, duplicates and cycles") << QByteArray(R"({"groups":[{"id":1,"name":"A","parent_id":2},{"id":3},{"id":2},{"id":1,"name":"A2","parent_id":2},
            {"id":11,"parent_id":12},{"id":12,"parent_id":11},{"id":13,"parent_id":13}],"hosts":[{"id":9,"group_id":11}]})")
            << QStringList {"g:2 ?|NONE|||", "  g:1 A2|NONE|||", "g:3 ?|NONE|||", "g:12 ?|NONE|||", "  g:11 ?|NONE|||",
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
        std::shared_ptr<const Tree> last;
        for (int step = 0; step < 40; ++step) {
            const QJsonObject payload = payloads.next();
            auto tree = std::make_shared<Tree>(readTree(payload));
            const TreeUpdatePtr update = diffTrees(std::exchange(last, tree), tree);
            buildTreeModel(payload, &direct);
            const bool skipped = step % 7 == 3; // a tree superseded before the window got to it
            if (!skipped)
                liveTree.apply(update);
            if (step == 20 && direct.rowCount() > 0) {
                direct.item(0, 2)->setText(QStringLiteral("ändrad utifrån"));
                continue;
            }
            QStandardItemModel fresh;
            buildTreeModel(payload, &fresh);
            QCOMPARE(everything(direct), everything(fresh));
            QCOMPARE(skipped ? everything(fresh) : everything(live), everything(fresh));
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
        int deepest = 0;
        QList<int> ends; // where the open subtrees end
        for (int n = 0; n < tree.nodes.size(); ++n) {
            while (!ends.isEmpty() && ends.last() <= n)
                ends.removeLast();
            ends.append(n + tree.nodes.at(n).size);
            deepest = std::max(deepest, int(ends.size()));
        }
        QCOMPARE(tree.nodes.size(), Count);
        QCOMPARE(deepest, 32);
    }
};

NORV_TEST_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
