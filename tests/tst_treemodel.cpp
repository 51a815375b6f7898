#include "icons.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardItemModel>

using namespace treemodel;

namespace {

QJsonObject parse(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

// Builds a model from JSON and keeps Qt's model tester watching it.
struct Built {
    QStandardItemModel model;
    QAbstractItemModelTester tester {&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    explicit Built(const QJsonObject& payload) { buildTreeModel(payload, &model); }

    QStandardItem* find(const QString& key, QStandardItem* parent = nullptr) const
    {
        parent = parent ? parent : model.invisibleRootItem();
        for (int r = 0; r < parent->rowCount(); ++r) {
            QStandardItem* child = parent->child(r, 0);
            QStandardItem* found = child->data(KeyRole).toString() == key ? child : find(key, child);
            if (found)
                return found;
        }
        return nullptr;
    }
    // The tree as indented node keys, depth first.
    QStringList shape(QStandardItem* parent = nullptr, int depth = 0) const
    {
        parent = parent ? parent : model.invisibleRootItem();
        QStringList lines;
        for (int r = 0; r < parent->rowCount(); ++r) {
            lines.append(QString(depth * 2, QLatin1Char(' ')) + parent->child(r, 0)->data(KeyRole).toString());
            lines += shape(parent->child(r, 0), depth + 1);
        }
        return lines;
    }
    QStandardItem* cell(const QString& key, int column) const
    {
        const QStandardItem* first = find(key);
        return first->parent() ? first->parent()->child(first->row(), column) : model.item(first->row(), column);
    }
    QStringList texts(const QString& key) const
    {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells.append(cell(key, c)->text());
        return cells;
    }
};

// A payload with one host (id 1, in group 9) holding the given check and port, or checks and ports.
QJsonObject hostWith(const QByteArray& plugins, const QByteArray& ports = "[]", const QByteArray& host = "{}")
{
    QJsonObject h = parse(host);
    h.insert(QStringLiteral("id"), 1);
    h.insert(QStringLiteral("group_id"), 9);
    auto array = [](const QByteArray& json) {
        const QJsonDocument doc = QJsonDocument::fromJson(json);
        return doc.isArray() ? doc.array() : QJsonArray {doc.object()};
    };
    return {{"groups", QJsonArray {QJsonObject {{"id", 9}, {"name", "G"}}}}, {"hosts", QJsonArray {h}},
        {"plugins", array(plugins)}, {"ports", array(ports)}};
}

} // namespace

class TestTreeModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyPayloads_data();
    void emptyPayloads();
    void checkKeys_data();
    void checkKeys();
    void rowsOfEachKind();
    void checkRows_data();
    void checkRows();
    void hostRule_data();
    void hostRule();
    void placeholdersForMissingGroups();
    void placeholderStatus_data();
    void placeholderStatus();
    void parentsAndCycles();
    void checksBeforePortsInPayloadOrder();
    void aggregateStatus_data();
    void aggregateStatus();
    void rebuildIsRepeatable();
    void hostileFieldValues_data();
    void hostileFieldValues();
    void longParentChain();
};

void TestTreeModel::emptyPayloads_data()
{
    QTest::addColumn<QByteArray>("payload");
    // clang-format off
    QTest::newRow("empty object") << QByteArray("{}");
    QTest::newRow("wrong types") << QByteArray(R"({"groups":5,"hosts":"x","plugins":null,"ports":{}})");
    QTest::newRow("checks without hosts") << QByteArray(R"({"plugins":[{"host_id":1}],"ports":[{"host_id":1}]})");
    // clang-format on
}

void TestTreeModel::emptyPayloads()
{
    QFETCH(QByteArray, payload);
    Built built(parse(payload));
    QCOMPARE(built.model.rowCount(), 0);
    QStringList headers;
    for (int c = 0; c < built.model.columnCount(); ++c)
        headers.append(built.model.headerData(c, Qt::Horizontal).toString());
    QCOMPARE(headers, QStringList({"Namn", "Status", "Utdata", "Senast OK", "Flaggor"}));
}

void TestTreeModel::checkKeys_data()
{
    QTest::addColumn<QByteArray>("check");
    QTest::addColumn<QString>("key");
    // clang-format off
    QTest::newRow("server key") << QByteArray(R"({"key":"disk/root","plugin_id":9})") << "p:disk/root";
    QTest::newRow("empty server key") << QByteArray(R"({"key":"","plugin_id":9})") << "p:5:9";
    QTest::newRow("instance 2") << QByteArray(R"({"plugin_id":9,"instance_id":2})") << "p:5:9:2";
    QTest::newRow("instance -1") << QByteArray(R"({"plugin_id":9,"instance_id":-1})") << "p:5:9";
    QTest::newRow("ids as strings") << QByteArray(R"({"plugin_id":"17","instance_id":"3"})") << "p:5:17:3";
    QTest::newRow("fraction and text") << QByteArray(R"({"plugin_id":17.5,"instance_id":"x"})") << "p:5:0";
    // clang-format on
}

void TestTreeModel::checkKeys()
{
    QFETCH(QByteArray, check);
    QFETCH(QString, key);
    QCOMPARE(checkKey(5, parse(check)), key);
}

void TestTreeModel::rowsOfEachKind()
{
    Built built(parse(R"({
        "groups": [{"id": 3, "name": "Kärnnät", "status": "warning", "has_dnd": true, "has_acked": true}],
        "hosts": [{"id": 7, "name": "web1", "address": "10.0.0.5", "group_id": 3, "status": "critical"}],
        "plugins": [{"host_id": 7, "plugin_id": 15, "instance_id": 2, "name": "Disk", "status": "critical",
                     "output_text": "95 %", "last_success_at": "2026-12-01 10:00:00", "acknowledged": true}],
        "ports": [{"host_id": 7, "port_id": 12, "status": "ok", "output_text": "upp", "collected_at": "09:00"}]})"));
    QCOMPARE(built.shape(), QStringList({"g:3", "  h:7", "    p:7:15:2", "    sp:12"}));
    QCOMPARE(built.texts("g:3"), QStringList({"Kärnnät", "WARNING", "", "", "🔕 Stör ej under · ✓ kvitterat under"}));
    QCOMPARE(built.texts("h:7"), QStringList({"web1  (10.0.0.5)", "CRITICAL", "", "", ""}));
    QCOMPARE(built.texts("p:7:15:2"), QStringList({"Disk", "CRITICAL", "95 %", "2026-12-01 10:00:00", "✓ Sett"}));
    QCOMPARE(built.texts("sp:12"), QStringList({"port 12", "OK", "upp", "09:00", ""}));
    const QVariantMap group {{"kind", "group"}, {"group_id", 3}, {"name", "Kärnnät"}};
    QCOMPARE(built.find("g:3")->data(TargetRole).toMap(), group);
    QCOMPARE(
        built.find("h:7")->data(TargetRole).toMap(), QVariantMap({{"kind", "host"}, {"host_id", 7}, {"name", "web1"}}));
    QCOMPARE(built.find("p:7:15:2")->data(TargetRole).toMap(),
        QVariantMap({{"kind", "plugin"}, {"host_id", 7}, {"plugin_id", 15}, {"instance_id", 2}, {"name", "Disk"}}));
    QCOMPARE(built.find("sp:12")->data(TargetRole).toMap(),
        QVariantMap({{"kind", "port"}, {"host_id", 7}, {"port_id", 12}, {"name", "port 12"}}));
    QCOMPARE(built.find("h:7")->data(HandledRole), QVariant(true)); // its only alarming check is acknowledged
    QCOMPARE(built.find("p:7:15:2")->data(StatusRole).toString(), QStringLiteral("critical"));
    QCOMPARE(built.cell("p:7:15:2", 1)->foreground().color(), icons::statusColor(QStringLiteral("critical"), true));
    QVERIFY(!(built.cell("sp:12", 3)->flags() & Qt::ItemIsEditable));
    const QImage dot = built.find("sp:12")->data(Qt::DecorationRole).value<QIcon>().pixmap(12, 12).toImage();
    QCOMPARE(QColor(dot.pixel(6, 6)), icons::statusColor(QStringLiteral("ok"), false));
}

// A check row and a port row from the same record: flag text, handled, and the colour of its status cell.
void TestTreeModel::checkRows_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<bool>("handled");
    // clang-format off
    QTest::newRow("soft with attempts") << QByteArray( R"({"status":"warning","hard":false,"consecutive_failures":2,"max_attempts":3})") << "försök 2/3" << false;
    QTest::newRow("hard null is soft, defaults") << QByteArray(R"({"hard":null,"max_attempts":"tre"})") << "försök 0/0" << false;
    QTest::newRow("acknowledged by name, silenced") << QByteArray(R"({"status":"critical","acknowledged":true,"acknowledged_by_name":"op1","dnd":true})") << "✓ Sett av op1 · 🔕 Stör ej" << true;
    QTest::newRow("flags not JSON true") << QByteArray(R"({"status":"critical","acknowledged":1,"dnd":"true"})") << "" << false;
    QTest::newRow("all four") << QByteArray( R"({"status":"stale","dnd":true,"suppressed_reason":"underhåll","hard":false})") << "🔕 Stör ej · 🔕 underhåll · försök 0/1" << true;
    QTest::newRow("handled key overrides ok") << QByteArray(R"({"status":"ok","handled":true})") << "" << true;
    QTest::newRow("handled null overrides ack") << QByteArray(R"({"status":"critical","acknowledged":true,"handled":null})") << "✓ Sett" << false;
    QTest::newRow("upper case is not alarming") << QByteArray(R"({"status":"CRITICAL","acknowledged":true})") << "✓ Sett" << false;
    // clang-format on
}

void TestTreeModel::checkRows()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, flags);
    QFETCH(bool, handled);
    QJsonObject check = parse(record);
    check.insert("host_id", 1);
    check.insert("plugin_id", 2);
    QJsonObject port = check;
    port.insert("port_id", 3);
    Built built(hostWith(QJsonDocument(check).toJson(), QJsonDocument(port).toJson()));
    for (const char* key : {"p:1:2", "sp:3"}) {
        QCOMPARE(built.texts(QLatin1String(key)).at(4), flags);
        QCOMPARE(built.find(QLatin1String(key))->data(HandledRole).toBool(), handled);
        const QString status = built.find(QLatin1String(key))->data(StatusRole).toString();
        QCOMPARE(built.cell(QLatin1String(key), 1)->text(), status.toUpper());
        QCOMPARE(built.cell(QLatin1String(key), 1)->foreground().color(), icons::statusColor(status, handled));
    }
}

void TestTreeModel::hostRule_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("ports");
    QTest::addColumn<bool>("handled");
    // clang-format off
    QTest::newRow("only alarming check acknowledged") << QByteArray(R"({"status":"warning","dnd":true,"has_dnd":true})") << QByteArray("[]") << true;
    QTest::newRow("plus an unhandled critical port") << QByteArray(R"({"status":"warning"})") << QByteArray(R"({"host_id":1,"port_id":5,"status":"critical"})") << false;
    QTest::newRow("host itself ok") << QByteArray(R"({"status":"ok"})") << QByteArray("[]") << false;
    QTest::newRow("handled key decides") << QByteArray(R"({"status":"warning","handled":"yes"})") << QByteArray("[]") << false;
    // clang-format on
}

void TestTreeModel::hostRule()
{
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, ports);
    QFETCH(bool, handled);
    Built built(hostWith(R"([{"host_id":1,"plugin_id":1,"status":"warning","acknowledged":true},
                             {"host_id":1,"plugin_id":2,"status":"ok"}])",
        ports, host));
    QCOMPARE(built.find("h:1")->data(HandledRole).toBool(), handled);
    if (host.contains("has_dnd"))
        QCOMPARE(built.texts("h:1").at(4), QStringLiteral("🔕 Stör ej")); // dnd wins over has_dnd
}

void TestTreeModel::placeholdersForMissingGroups()
{
    Built built(parse(R"({
        "groups": [{"id": 5, "name": "Real"}, {"id": 6, "name": "Child of missing", "parent_id": 42}],
        "hosts": [{"id": 1, "name": "a", "group_id": null}, {"id": 2, "name": "b"},
                  {"id": 3, "name": "c", "group_id": 5}, {"id": 4, "name": "d", "group_id": null}]})"));
    QCOMPARE(built.shape(), QStringList({"g:5", "  h:3", "g:42", "  g:6", "g:-1", "  h:1", "  h:4", "g:0", "  h:2"}));
    for (const char* key : {"g:42", "g:-1", "g:0"}) {
        QCOMPARE(built.find(QLatin1String(key))->text(), QStringLiteral("Utan grupp"));
        QCOMPARE(built.find(QLatin1String(key))->data(TargetRole).toMap().value("group_id").toInt(),
            QString::fromLatin1(key).mid(2).toInt());
    }
    QCOMPARE(built.texts("h:2").first(), QStringLiteral("b  ()"));
}

void TestTreeModel::placeholderStatus_data()
{
    QTest::addColumn<QByteArray>("hosts");
    QTest::addColumn<QString>("status");
    // clang-format off
    QTest::newRow("handled critical, warning") << QByteArray(R"([{"id":1,"status":"critical","handled":true},{"id":2,"status":"warning"}])") << "warning";
    QTest::newRow("stale beats critical") << QByteArray(R"([{"id":1,"status":"critical"},{"id":2,"status":"stale"}])") << "stale";
    QTest::newRow("unknown words only") << QByteArray(R"([{"id":1,"status":"nere"},{"id":2,"status":"Critical"}])") << "none";
    // clang-format on
}

void TestTreeModel::placeholderStatus()
{
    QFETCH(QByteArray, hosts);
    QFETCH(QString, status);
    Built built(parse(R"({"hosts":)" + hosts + "}"));
    QCOMPARE(built.find("g:0")->data(StatusRole).toString(), status);
    QCOMPARE(built.cell("g:0", 1)->text(), status.toUpper());
    QCOMPARE(built.cell("g:0", 1)->foreground().color(), icons::statusColor(status, false));
}

void TestTreeModel::parentsAndCycles()
{
    // A parent listed after its child is made where the child needs it; a later duplicate record is the one shown.
    Built late(parse(R"({"groups": [{"id": 1, "name": "A", "parent_id": 2}, {"id": 3}, {"id": 2},
                                    {"id": 1, "name": "A2", "parent_id": 2}]})"));
    QCOMPARE(late.shape(), QStringList({"g:2", "  g:1", "g:3"}));
    QCOMPARE(late.find("g:1")->text(), QStringLiteral("A2"));
    // The group that closes a cycle goes to the top.
    Built cycles(parse(R"({"groups": [{"id": 1, "parent_id": 2}, {"id": 2, "parent_id": 1}, {"id": 3, "parent_id": 3},
                                      {"id": 4, "parent_id": 5}, {"id": 5, "parent_id": 6}, {"id": 6, "parent_id": 4}],
                           "hosts": [{"id": 9, "group_id": 1}]})"));
    QCOMPARE(cycles.shape(), QStringList({"g:2", "  g:1", "    h:9", "g:3", "g:6", "  g:5", "    g:4"}));
}

void TestTreeModel::checksBeforePortsInPayloadOrder()
{
    Built built(hostWith(R"([{"host_id":1,"plugin_id":3,"name":"z"},{"host_id":2,"plugin_id":8},
                             {"host_id":1,"plugin_id":1,"name":"a","status":3}])",
        R"([{"host_id":1,"port_id":20,"name":"A"},{"host_id":1,"port_id":10,"name":"0"}])"));
    QCOMPARE(built.shape(), QStringList({"g:9", "  h:1", "    p:1:3", "    p:1:1", "    sp:20", "    sp:10"}));
    QCOMPARE(built.texts("p:1:3").at(1), QStringLiteral("PENDING")); // status defaults
    QCOMPARE(built.texts("p:1:1").at(1), QStringLiteral("3")); // a number is taken as its text
}

void TestTreeModel::aggregateStatus_data()
{
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("worst");
    // clang-format off
    QTest::newRow("empty") << QStringList() << "none";
    QTest::newRow("stale over critical") << QStringList({"critical", "stale", "warning"}) << "stale";
    QTest::newRow("warning over unknown") << QStringList({"unknown", "warning"}) << "warning";
    QTest::newRow("unknown words never win") << QStringList({"nere", "fel"}) << "none";
    QTest::newRow("ignored beats none") << QStringList({"none", "ignored"}) << "ignored";
    // clang-format on
}

void TestTreeModel::aggregateStatus()
{
    QFETCH(QStringList, statuses);
    QFETCH(QString, worst);
    QCOMPARE(treemodel::aggregateStatus(statuses), worst);
}

void TestTreeModel::rebuildIsRepeatable()
{
    const QJsonObject payload = parse(R"({"groups": [{"id": 1}, {"id": 2, "parent_id": 1}],
        "hosts": [{"id": 1, "group_id": 2, "status": "warning"}, {"id": 2, "group_id": 77}],
        "plugins": [{"host_id": 1, "plugin_id": 1, "status": "warning"}], "ports": [{"host_id": 2, "port_id": 3}]})");
    Built built(payload);
    const QStringList first = built.shape();
    buildTreeModel(payload, &built.model);
    QCOMPARE(built.shape(), first);
    QCOMPARE(built.texts("sp:3"), QStringList({"port 3", "PENDING", "", "", ""}));
}

// Any JSON value in any field gives the field's default: no crash, and a model that passes the model tester.
void TestTreeModel::hostileFieldValues_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QJsonValue>("value");
    QJsonValue deep = QJsonArray();
    for (int i = 0; i < 200; ++i)
        deep = QJsonArray {deep};
    const QList<QPair<const char*, QJsonValue>> values {
        {"string", "x"},
        {"null", QJsonValue::Null},
        {"array", QJsonArray {1}},
        {"object", QJsonObject {{"a", 1}}},
        {"huge", 1e300},
        {"fraction", 2.5},
        {"true", true},
        {"deep", deep},
        {"int64", QJsonValue(qint64(1) << 40)},
        {"long text", QString(100000, QLatin1Char('x'))},
    };
    const QList<QPair<const char*, QStringList>> fields {
        {"group", {"id", "name", "status", "parent_id", "dnd", "has_dnd", "has_acked"}},
        {"host", {"id", "name", "address", "group_id", "status", "handled", "dnd"}},
        {"plugin",
            {"host_id", "plugin_id", "instance_id", "key", "name", "status", "output_text", "last_success_at",
                "handled", "acknowledged", "acknowledged_by_name", "dnd", "suppressed_reason", "hard",
                "consecutive_failures", "max_attempts"}},
        {"port", {"host_id", "port_id", "name", "collected_at"}},
    };
    for (const auto& [record, names] : fields) {
        for (const QString& field : names) {
            for (const auto& [valueName, value] : values)
                QTest::addRow("%s.%s %s", record, qPrintable(field), valueName) << record << field << value;
        }
    }
}

void TestTreeModel::hostileFieldValues()
{
    QFETCH(QString, record);
    QFETCH(QString, field);
    QFETCH(QJsonValue, value);
    QJsonObject records[] = {{{"id", 1}, {"name", "G"}}, {{"id", 2}, {"group_id", 1}, {"status", "critical"}},
        {{"host_id", 2}, {"plugin_id", 3}, {"status", "critical"}, {"hard", false}},
        {{"host_id", 2}, {"port_id", 4}, {"status", "warning"}}};
    const QStringList kinds {"group", "host", "plugin", "port"};
    records[kinds.indexOf(record)].insert(field, value);
    Built built({{"groups", QJsonArray {records[0]}}, {"hosts", QJsonArray {records[1]}},
        {"plugins", QJsonArray {records[2]}}, {"ports", QJsonArray {records[3]}}});
    QVERIFY(built.model.rowCount() >= 1);
    for (const QString& key : built.shape())
        QVERIFY(!built.find(key.trimmed())->data(TargetRole).toMap().value("kind").toString().isEmpty());
}

// Twenty thousand nested groups, deepest first: every group is shown, none deeper than 32 levels (Qt's model takes
// a subtree apart level by level, so an unbounded chain would freeze the window at every poll).
void TestTreeModel::longParentChain()
{
    constexpr int Count = 20000;
    QJsonArray groups;
    for (int id = 1; id <= Count; ++id)
        groups.append(QJsonObject {{"id", id}, {"parent_id", id < Count ? id + 1 : 0}});
    QStandardItemModel model;
    buildTreeModel({{"groups", groups}, {"hosts", QJsonArray {QJsonObject {{"id", 1}, {"group_id", 1}}}}}, &model);
    int groupRows = 0;
    int deepest = 0;
    QList<QPair<QStandardItem*, int>> pending {{model.invisibleRootItem(), 0}};
    while (!pending.isEmpty()) {
        const auto [item, depth] = pending.takeLast();
        for (int r = 0; r < item->rowCount(); ++r) {
            const bool group = item->child(r, 0)->data(KeyRole).toString().startsWith(QStringLiteral("g:"));
            groupRows += group ? 1 : 0;
            deepest = group ? std::max(deepest, depth + 1) : deepest;
            pending.append({item->child(r, 0), depth + 1});
        }
    }
    QCOMPARE(groupRows, Count);
    QCOMPARE(deepest, 32);
    buildTreeModel(QJsonObject(), &model); // and the tree is taken apart again
    QCOMPARE(model.rowCount(), 0);
}

NORV_TEST_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
