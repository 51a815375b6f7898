#include "icons.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QAbstractItemModelTester>
#include <QJsonDocument>
#include <QStandardItemModel>

using namespace treemodel;

namespace {

QJsonObject parse(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s in %s", qPrintable(error.errorString()), json.constData());
    return doc.object();
}

QStandardItem* find(const QStandardItemModel& model, const QString& key, QStandardItem* under = nullptr)
{
    QStandardItem* parent = under ? under : model.invisibleRootItem();
    for (int r = 0; r < parent->rowCount(); ++r) {
        QStandardItem* child = parent->child(r, 0);
        if (!child)
            continue;
        if (child->data(KeyRole).toString() == key)
            return child;
        if (QStandardItem* found = find(model, key, child))
            return found;
    }
    return nullptr;
}

// The tree as indented node keys, depth first.
QStringList shape(const QStandardItemModel& model, QStandardItem* under = nullptr, int depth = 0)
{
    QStringList lines;
    QStandardItem* parent = under ? under : model.invisibleRootItem();
    for (int r = 0; r < parent->rowCount(); ++r) {
        QStandardItem* child = parent->child(r, 0);
        lines.append(QString(depth * 2, QLatin1Char(' ')) + child->data(KeyRole).toString());
        lines += shape(model, child, depth + 1);
    }
    return lines;
}

// The five cell texts of the row whose first cell is given.
QStringList texts(const QStandardItem* first)
{
    const QStandardItem* parent = first->parent();
    const QStandardItemModel* model = first->model();
    QStringList cells;
    for (int c = 0; c < 5; ++c) {
        const QStandardItem* item = parent ? parent->child(first->row(), c) : model->item(first->row(), c);
        cells.append(item->text());
    }
    return cells;
}

const QStandardItem* statusCell(const QStandardItem* first)
{
    return first->parent() ? first->parent()->child(first->row(), 1) : first->model()->item(first->row(), 1);
}

// A payload with one host (id 1, in group 9) holding the given checks and ports.
QJsonObject hostWith(const QByteArray& plugins, const QByteArray& ports = "[]", const QByteArray& host = "{}")
{
    QJsonObject h = parse(host);
    if (!h.contains(QLatin1String("id")))
        h.insert(QStringLiteral("id"), 1);
    if (!h.contains(QLatin1String("group_id")))
        h.insert(QStringLiteral("group_id"), 9);
    return {{QStringLiteral("groups"), parse(R"({"a":[{"id":9,"name":"G"}]})")[QLatin1String("a")]},
        {QStringLiteral("hosts"), QJsonArray {h}},
        {QStringLiteral("plugins"), QJsonDocument::fromJson(plugins).array()},
        {QStringLiteral("ports"), QJsonDocument::fromJson(ports).array()}};
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
    void flagText_data();
    void flagText();
    void checkRule_data();
    void checkRule();
    void hostRule_data();
    void hostRule();
    void rollupFlags_data();
    void rollupFlags();
    void lenientReading_data();
    void lenientReading();
    void placeholdersForMissingGroups();
    void placeholderStatus_data();
    void placeholderStatus();
    void parentsListedAfterChildren();
    void parentCycles();
    void checksBeforePortsInPayloadOrder();
    void statusCellColours();
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
    QTest::newRow("empty object") << QByteArray("{}");
    QTest::newRow("foreign object") << QByteArray(R"({"status":"ok","summary":{}})");
    QTest::newRow("wrong types") << QByteArray(R"({"groups":5,"hosts":"x","plugins":null,"ports":{}})");
    QTest::newRow("checks without hosts") << QByteArray(R"({"plugins":[{"host_id":1}],"ports":[{"host_id":1}]})");
}

void TestTreeModel::emptyPayloads()
{
    QFETCH(QByteArray, payload);
    QStandardItemModel model;
    buildTreeModel(parse(payload), &model);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 5);
    QStringList headers;
    for (int c = 0; c < 5; ++c)
        headers.append(model.headerData(c, Qt::Horizontal).toString());
    QCOMPARE(headers, QStringList({"Namn", "Status", "Utdata", "Senast OK", "Flaggor"}));
}

void TestTreeModel::checkKeys_data()
{
    QTest::addColumn<int>("hostId");
    QTest::addColumn<QByteArray>("check");
    QTest::addColumn<QString>("key");
    QTest::newRow("server key") << 5 << QByteArray(R"({"key":"disk/root","plugin_id":9})") << "p:disk/root";
    QTest::newRow("empty server key") << 5 << QByteArray(R"({"key":"","plugin_id":9})") << "p:5:9";
    QTest::newRow("numeric server key") << 5 << QByteArray(R"({"key":12,"plugin_id":9})") << "p:12";
    QTest::newRow("built") << 5 << QByteArray(R"({"plugin_id":9})") << "p:5:9";
    QTest::newRow("instance 2") << 5 << QByteArray(R"({"plugin_id":9,"instance_id":2})") << "p:5:9:2";
    QTest::newRow("instance 0") << 5 << QByteArray(R"({"plugin_id":9,"instance_id":0})") << "p:5:9";
    QTest::newRow("instance -1") << 5 << QByteArray(R"({"plugin_id":9,"instance_id":-1})") << "p:5:9";
    QTest::newRow("negative host") << -4 << QByteArray(R"({"plugin_id":-9})") << "p:-4:-9";
    QTest::newRow("string ids") << 5 << QByteArray(R"({"plugin_id":"17","instance_id":"3"})") << "p:5:17:3";
}

void TestTreeModel::checkKeys()
{
    QFETCH(int, hostId);
    QFETCH(QByteArray, check);
    QFETCH(QString, key);
    QCOMPARE(checkKey(hostId, parse(check)), key);
}

void TestTreeModel::rowsOfEachKind()
{
    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    buildTreeModel(parse(R"({
            "groups": [{"id": 3, "name": "Kärnnät", "status": "warning", "parent_id": 0, "has_acked": true}],
            "hosts": [{"id": 7, "name": "web1", "address": "10.0.0.5", "group_id": 3, "status": "critical"}],
            "plugins": [{"host_id": 7, "plugin_id": 15, "instance_id": 2, "name": "Disk", "status": "critical",
                         "output_text": "95 %", "last_success_at": "2026-12-01 10:00:00", "acknowledged": true,
                         "acknowledged_by_name": "op1"}],
            "ports": [{"host_id": 7, "port_id": 12, "status": "ok", "output_text": "upp",
                       "collected_at": "2026-12-06 09:00:00", "last_success_at": "ignoreras"}]
        })"),
        &model);
    QCOMPARE(shape(model), QStringList({"g:3", "  h:7", "    p:7:15:2", "    sp:12"}));

    const QStandardItem* group = find(model, QStringLiteral("g:3"));
    QCOMPARE(texts(group), QStringList({"Kärnnät", "WARNING", "", "", "\u2713 kvitterat under"}));
    QCOMPARE(group->data(TargetRole).toMap(), QVariantMap({{"kind", "group"}, {"group_id", 3}, {"name", "Kärnnät"}}));
    QCOMPARE(group->data(StatusRole).toString(), QStringLiteral("warning"));
    QCOMPARE(group->data(HandledRole), QVariant(false));

    const QStandardItem* host = find(model, QStringLiteral("h:7"));
    QCOMPARE(texts(host), QStringList({"web1  (10.0.0.5)", "CRITICAL", "", "", ""}));
    QCOMPARE(host->data(TargetRole).toMap(), QVariantMap({{"kind", "host"}, {"host_id", 7}, {"name", "web1"}}));
    QCOMPARE(host->data(HandledRole), QVariant(true)); // its only alarming check is acknowledged

    const QStandardItem* check = find(model, QStringLiteral("p:7:15:2"));
    QCOMPARE(texts(check), QStringList({"Disk", "CRITICAL", "95 %", "2026-12-01 10:00:00", "\u2713 Sett av op1"}));
    QCOMPARE(check->data(TargetRole).toMap(),
        QVariantMap({{"kind", "plugin"}, {"host_id", 7}, {"plugin_id", 15}, {"instance_id", 2}, {"name", "Disk"}}));
    QCOMPARE(check->data(TargetRole).toMap().value("host_id").typeId(), QMetaType::Int);
    QCOMPARE(check->data(HandledRole), QVariant(true));
    QCOMPARE(check->data(KeyRole).toString(), QStringLiteral("p:7:15:2"));

    const QStandardItem* port = find(model, QStringLiteral("sp:12"));
    QCOMPARE(texts(port), QStringList({"port 12", "OK", "upp", "2026-12-06 09:00:00", ""}));
    QCOMPARE(port->data(TargetRole).toMap(),
        QVariantMap({{"kind", "port"}, {"host_id", 7}, {"port_id", 12}, {"name", "port 12"}}));
    QCOMPARE(port->data(HandledRole), QVariant(false));

    // Every cell is read-only; the first carries the status dot.
    for (const QStandardItem* first : {group, host, check, port}) {
        for (int c = 0; c < 5; ++c) {
            const QStandardItem* item
                = first->parent() ? first->parent()->child(first->row(), c) : model.item(first->row(), c);
            QVERIFY(!(item->flags() & Qt::ItemIsEditable));
        }
        QVERIFY(!first->data(Qt::DecorationRole).value<QIcon>().isNull());
    }
}

void TestTreeModel::flagText_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("flags");
    QTest::newRow("none") << QByteArray("{}") << "";
    QTest::newRow("soft with attempts") << QByteArray(R"({"hard":false,"consecutive_failures":2,"max_attempts":3})")
                                        << "försök 2/3";
    QTest::newRow("hard null is soft") << QByteArray(R"({"hard":null,"consecutive_failures":2,"max_attempts":3})")
                                       << "försök 2/3";
    QTest::newRow("hard string is soft") << QByteArray(R"({"hard":"true"})") << "försök 0/1";
    QTest::newRow("hard true") << QByteArray(R"({"hard":true,"consecutive_failures":2})") << "";
    QTest::newRow("soft without max_attempts") << QByteArray(R"({"hard":false})") << "försök 0/1";
    QTest::newRow("max_attempts text not a number")
        << QByteArray(R"({"hard":false,"max_attempts":"tre"})") << "försök 0/0";
    QTest::newRow("acknowledged by name and dnd")
        << QByteArray(R"({"acknowledged":true,"acknowledged_by_name":"op1","dnd":true})")
        << "\u2713 Sett av op1 \u00b7 \U0001F515 Stör ej";
    QTest::newRow("acknowledged without name and dnd")
        << QByteArray(R"({"acknowledged":true,"acknowledged_by_name":"","dnd":true})")
        << "\u2713 Sett \u00b7 \U0001F515 Stör ej";
    QTest::newRow("acknowledged as number") << QByteArray(R"({"acknowledged":1,"dnd":"true"})") << "";
    QTest::newRow("all four") << QByteArray(
        R"({"acknowledged":true,"dnd":true,"suppressed_reason":"underhåll","hard":false,
                        "consecutive_failures":1,"max_attempts":4})")
                              << "\u2713 Sett \u00b7 \U0001F515 Stör ej \u00b7 \U0001F515 underhåll \u00b7 försök 1/4";
}

void TestTreeModel::flagText()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, flags);
    QJsonObject check = parse(record);
    check.insert(QStringLiteral("host_id"), 1);
    check.insert(QStringLiteral("plugin_id"), 2);
    QJsonObject port = check;
    port.insert(QStringLiteral("port_id"), 3);
    QStandardItemModel model;
    buildTreeModel(
        hostWith(QJsonDocument(QJsonArray {check}).toJson(), QJsonDocument(QJsonArray {port}).toJson()), &model);
    QCOMPARE(texts(find(model, QStringLiteral("p:1:2"))).at(4), flags);
    QCOMPARE(texts(find(model, QStringLiteral("sp:3"))).at(4), flags);
}

void TestTreeModel::checkRule_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("handled");
    QTest::newRow("critical plain") << QByteArray(R"({"status":"critical"})") << false;
    QTest::newRow("critical acknowledged") << QByteArray(R"({"status":"critical","acknowledged":true})") << true;
    QTest::newRow("stale silenced") << QByteArray(R"({"status":"stale","dnd":true})") << true;
    QTest::newRow("ok acknowledged") << QByteArray(R"({"status":"ok","acknowledged":true})") << false;
    QTest::newRow("handled true overrides ok") << QByteArray(R"({"status":"ok","handled":true})") << true;
    QTest::newRow("handled null overrides ack")
        << QByteArray(R"({"status":"critical","acknowledged":true,"handled":null})") << false;
    QTest::newRow("handled false overrides dnd")
        << QByteArray(R"({"status":"warning","dnd":true,"handled":false})") << false;
    QTest::newRow("upper-case is not alarming") << QByteArray(R"({"status":"CRITICAL","acknowledged":true})") << false;
    QTest::newRow("ack as string") << QByteArray(R"({"status":"unknown","acknowledged":"true"})") << false;
}

void TestTreeModel::checkRule()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, handled);
    QJsonObject check = parse(record);
    check.insert(QStringLiteral("host_id"), 1);
    check.insert(QStringLiteral("plugin_id"), 2);
    QStandardItemModel model;
    buildTreeModel(hostWith(QJsonDocument(QJsonArray {check}).toJson()), &model);
    const QStandardItem* row = find(model, QStringLiteral("p:1:2"));
    QCOMPARE(row->data(HandledRole).toBool(), handled);
    const QString status = check.value(QLatin1String("status")).toString();
    QCOMPARE(statusCell(row)->foreground().color(), icons::statusColor(status, handled));
    QCOMPARE(statusCell(row)->text(), status.toUpper());
}

void TestTreeModel::hostRule_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("plugins");
    QTest::addColumn<QByteArray>("ports");
    QTest::addColumn<bool>("handled");
    const QByteArray ackedWarning = R"([{"host_id":1,"plugin_id":1,"status":"warning","acknowledged":true},
                                        {"host_id":1,"plugin_id":2,"status":"ok"}])";
    QTest::newRow("only alarming check acknowledged")
        << QByteArray(R"({"status":"warning"})") << ackedWarning << QByteArray("[]") << true;
    QTest::newRow("plus an unhandled critical port")
        << QByteArray(R"({"status":"warning"})") << ackedWarning
        << QByteArray(R"([{"host_id":1,"port_id":5,"status":"critical"}])") << false;
    QTest::newRow("handled port counts") << QByteArray(R"({"status":"critical"})") << ackedWarning
                                         << QByteArray(R"([{"host_id":1,"port_id":5,"status":"critical","dnd":true}])")
                                         << true;
    QTest::newRow("nothing alarming") << QByteArray(R"({"status":"warning"})")
                                      << QByteArray(R"([{"host_id":1,"plugin_id":2,"status":"ok"}])")
                                      << QByteArray("[]") << false;
    QTest::newRow("host itself ok") << QByteArray(R"({"status":"ok"})") << ackedWarning << QByteArray("[]") << false;
    QTest::newRow("no checks or ports") << QByteArray(R"({"status":"critical"})") << QByteArray("[]")
                                        << QByteArray("[]") << false;
    QTest::newRow("handled key decides") << QByteArray(R"({"status":"ok","handled":true})") << QByteArray("[]")
                                         << QByteArray("[]") << true;
    QTest::newRow("handled key false") << QByteArray(R"({"status":"warning","handled":"yes"})") << ackedWarning
                                       << QByteArray("[]") << false;
}

void TestTreeModel::hostRule()
{
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, plugins);
    QFETCH(QByteArray, ports);
    QFETCH(bool, handled);
    QStandardItemModel model;
    buildTreeModel(hostWith(plugins, ports, host), &model);
    QCOMPARE(find(model, QStringLiteral("h:1"))->data(HandledRole).toBool(), handled);
}

void TestTreeModel::rollupFlags_data()
{
    QTest::addColumn<QByteArray>("flags");
    QTest::addColumn<QString>("text");
    QTest::newRow("dnd wins over has_dnd") << QByteArray(R"("dnd":true,"has_dnd":true)") << "\U0001F515 Stör ej";
    QTest::newRow("has_dnd and has_acked")
        << QByteArray(R"("has_dnd":true,"has_acked":true)") << "\U0001F515 Stör ej under \u00b7 \u2713 kvitterat under";
    QTest::newRow("has_acked as number") << QByteArray(R"("has_acked":1)") << "";
}

void TestTreeModel::rollupFlags()
{
    QFETCH(QByteArray, flags);
    QFETCH(QString, text);
    QStandardItemModel model;
    buildTreeModel(
        parse(R"({"groups":[{"id":4,)" + flags + R"(}],"hosts":[{"id":2,"group_id":4,)" + flags + "}]}"), &model);
    QCOMPARE(texts(find(model, QStringLiteral("g:4"))).at(4), text);
    QCOMPARE(texts(find(model, QStringLiteral("h:2"))).at(4), text);
}

void TestTreeModel::lenientReading_data()
{
    QTest::addColumn<QByteArray>("check");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("plugin_id as string") << QByteArray(R"({"plugin_id":"17"})") << "p:1:17"
                                         << "plugin 17"
                                         << "PENDING"
                                         << "";
    QTest::newRow("plugin_id fraction") << QByteArray(R"({"plugin_id":17.5})") << "p:1:0"
                                        << "plugin 0"
                                        << "PENDING"
                                        << "";
    QTest::newRow("plugin_id text") << QByteArray(R"({"plugin_id":"x"})") << "p:1:0"
                                    << "plugin 0"
                                    << "PENDING"
                                    << "";
    QTest::newRow("plugin_id huge") << QByteArray(R"({"plugin_id":3000000000})") << "p:1:0"
                                    << "plugin 0"
                                    << "PENDING"
                                    << "";
    QTest::newRow("plugin_id string out of range") << QByteArray(R"({"plugin_id":"3000000000"})") << "p:1:0"
                                                   << "plugin 0"
                                                   << "PENDING"
                                                   << "";
    QTest::newRow("status number") << QByteArray(R"({"plugin_id":7,"status":3})") << "p:1:7"
                                   << "plugin 7"
                                   << "3"
                                   << "";
    QTest::newRow("status null") << QByteArray(R"({"plugin_id":7,"status":null})") << "p:1:7"
                                 << "plugin 7"
                                 << "PENDING"
                                 << "";
    QTest::newRow("status array") << QByteArray(R"({"plugin_id":7,"status":["ok"]})") << "p:1:7"
                                  << "plugin 7"
                                  << ""
                                  << "";
    QTest::newRow("name number, output fraction")
        << QByteArray(R"({"plugin_id":7,"name":12,"output_text":2.5})") << "p:1:7"
        << "12"
        << "PENDING"
        << "2.5";
    QTest::newRow("output boolean, name object")
        << QByteArray(R"({"plugin_id":7,"name":{},"output_text":false})") << "p:1:7"
        << "plugin 7"
        << "PENDING"
        << "false";
}

void TestTreeModel::lenientReading()
{
    QFETCH(QByteArray, check);
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(QString, status);
    QFETCH(QString, output);
    QJsonObject record = parse(check);
    record.insert(QStringLiteral("host_id"), 1);
    QStandardItemModel model;
    buildTreeModel(hostWith(QJsonDocument(QJsonArray {record}).toJson()), &model);
    const QStandardItem* row = find(model, key);
    QVERIFY(row);
    const QStringList cells = texts(row);
    QCOMPARE(cells.at(0), name);
    QCOMPARE(cells.at(1), status);
    QCOMPARE(cells.at(2), output);
    QCOMPARE(row->data(TargetRole).toMap().value("name").toString(), name);
}

void TestTreeModel::placeholdersForMissingGroups()
{
    QStandardItemModel model;
    buildTreeModel(parse(R"({
        "groups": [{"id": 5, "name": "Real"}, {"id": 6, "name": "Child of missing", "parent_id": 42}],
        "hosts": [{"id": 1, "name": "a", "group_id": null}, {"id": 2, "name": "b"},
                  {"id": 3, "name": "c", "group_id": 5}, {"id": 4, "name": "d", "group_id": null}]
    })"),
        &model);
    QCOMPARE(shape(model), QStringList({"g:5", "  h:3", "g:42", "  g:6", "g:-1", "  h:1", "  h:4", "g:0", "  h:2"}));
    for (const char* key : {"g:42", "g:-1", "g:0"}) {
        const QStandardItem* placeholder = find(model, QString::fromLatin1(key));
        QCOMPARE(placeholder->text(), QStringLiteral("Utan grupp"));
        QCOMPARE(placeholder->data(TargetRole).toMap().value("name").toString(), QStringLiteral("Utan grupp"));
        QCOMPARE(
            placeholder->data(TargetRole).toMap().value("group_id").toInt(), QString::fromLatin1(key).mid(2).toInt());
    }
    QCOMPARE(texts(find(model, QStringLiteral("h:2"))).at(0), QStringLiteral("b  ()"));
}

void TestTreeModel::placeholderStatus_data()
{
    QTest::addColumn<QByteArray>("hosts");
    QTest::addColumn<QString>("status");
    QTest::newRow("handled critical, warning")
        << QByteArray(R"([{"id":1,"status":"critical","handled":true},{"id":2,"status":"warning"}])") << "warning";
    QTest::newRow("stale beats critical")
        << QByteArray(R"([{"id":1,"status":"critical"},{"id":2,"status":"stale"}])") << "stale";
    QTest::newRow("unknown words only") << QByteArray(R"([{"id":1,"status":"nere"},{"id":2,"status":"Critical"}])")
                                        << "none";
    QTest::newRow("ignored over none") << QByteArray(R"([{"id":1,"status":"ignored"},{"id":2}])") << "ignored";
    QTest::newRow("pending over ok") << QByteArray(R"([{"id":1,"status":"ok"},{"id":2,"status":"pending"}])")
                                     << "pending";
}

void TestTreeModel::placeholderStatus()
{
    QFETCH(QByteArray, hosts);
    QFETCH(QString, status);
    QStandardItemModel model;
    buildTreeModel(parse(R"({"hosts":)" + hosts + "}"), &model);
    const QStandardItem* placeholder = find(model, QStringLiteral("g:0"));
    QCOMPARE(placeholder->data(StatusRole).toString(), status);
    QCOMPARE(statusCell(placeholder)->text(), status.toUpper());
    QCOMPARE(statusCell(placeholder)->foreground().color(), icons::statusColor(status, false));
    const QImage dot = placeholder->data(Qt::DecorationRole).value<QIcon>().pixmap(12, 12).toImage();
    QCOMPARE(QColor(dot.pixel(6, 6)), icons::statusColor(status, false));
}

void TestTreeModel::parentsListedAfterChildren()
{
    QStandardItemModel model;
    buildTreeModel(parse(R"({"groups": [{"id": 1, "name": "A", "parent_id": 2}, {"id": 3, "name": "C"},
                                        {"id": 2, "name": "B"}, {"id": 1, "name": "A2", "parent_id": 2}]})"),
        &model);
    // B is made where A needs it; the later duplicate record of A is the one shown, and B is made once.
    QCOMPARE(shape(model), QStringList({"g:2", "  g:1", "g:3"}));
    QCOMPARE(find(model, QStringLiteral("g:1"))->text(), QStringLiteral("A2"));
}

void TestTreeModel::parentCycles()
{
    QStandardItemModel model;
    buildTreeModel(parse(R"({"groups": [{"id": 1, "parent_id": 2}, {"id": 2, "parent_id": 1},
                                        {"id": 3, "parent_id": 3}, {"id": 4, "parent_id": 5},
                                        {"id": 5, "parent_id": 6}, {"id": 6, "parent_id": 4}],
                             "hosts": [{"id": 9, "group_id": 1}]})"),
        &model);
    QCOMPARE(shape(model), QStringList({"g:2", "  g:1", "    h:9", "g:3", "g:6", "  g:5", "    g:4"}));
}

void TestTreeModel::checksBeforePortsInPayloadOrder()
{
    QStandardItemModel model;
    buildTreeModel(hostWith(R"([{"host_id":1,"plugin_id":3,"name":"z"},{"host_id":2,"plugin_id":8},
                               {"host_id":1,"plugin_id":1,"name":"a"}])",
                       R"([{"host_id":1,"port_id":20,"name":"A"},{"host_id":1,"port_id":10,"name":"0"}])"),
        &model);
    QCOMPARE(shape(model), QStringList({"g:9", "  h:1", "    p:1:3", "    p:1:1", "    sp:20", "    sp:10"}));
}

void TestTreeModel::statusCellColours()
{
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x17, 0x1e, 0x2b));
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(dark);
    QStandardItemModel model;
    buildTreeModel(hostWith(R"([{"host_id":1,"plugin_id":1,"status":"warning","dnd":true},
                               {"host_id":1,"plugin_id":2,"status":"warning"}])"),
        &model);
    QApplication::setPalette(saved);
    QCOMPARE(statusCell(find(model, QStringLiteral("p:1:1")))->foreground().color().name(), QStringLiteral("#c8a96e"));
    QCOMPARE(statusCell(find(model, QStringLiteral("p:1:2")))->foreground().color().name(), QStringLiteral("#f59e0b"));
    const QImage dot
        = find(model, QStringLiteral("p:1:1"))->data(Qt::DecorationRole).value<QIcon>().pixmap(12, 12).toImage();
    QCOMPARE(QColor(dot.pixel(6, 6)).name(), QStringLiteral("#c8a96e"));
}

void TestTreeModel::aggregateStatus_data()
{
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("worst");
    QTest::newRow("empty") << QStringList() << "none";
    QTest::newRow("stale over critical") << QStringList({"critical", "stale", "warning"}) << "stale";
    QTest::newRow("critical over warning") << QStringList({"warning", "critical", "unknown"}) << "critical";
    QTest::newRow("warning over unknown") << QStringList({"unknown", "warning"}) << "warning";
    QTest::newRow("unknown words never win") << QStringList({"nere", "fel"}) << "none";
    QTest::newRow("ignored beats none") << QStringList({"none", "ignored"}) << "ignored";
    QTest::newRow("first of equals stays") << QStringList({"ok", "ok"}) << "ok";
}

void TestTreeModel::aggregateStatus()
{
    QFETCH(QStringList, statuses);
    QFETCH(QString, worst);
    QCOMPARE(treemodel::aggregateStatus(statuses), worst);
}

void TestTreeModel::rebuildIsRepeatable()
{
    const QJsonObject payload = parse(R"({
        "groups": [{"id": 1, "name": "A"}, {"id": 2, "name": "B", "parent_id": 1}],
        "hosts": [{"id": 1, "group_id": 2, "status": "warning"}, {"id": 2, "group_id": 77}],
        "plugins": [{"host_id": 1, "plugin_id": 1, "status": "warning"}, {"host_id": 2, "plugin_id": 5}],
        "ports": [{"host_id": 2, "port_id": 3, "status": "critical"}]})");
    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    buildTreeModel(payload, &model);
    const QStringList first = shape(model);
    QStringList cells;
    for (const QString& line : first)
        cells += texts(find(model, line.trimmed()));
    buildTreeModel(payload, &model);
    QCOMPARE(shape(model), first);
    QStringList again;
    for (const QString& line : first)
        again += texts(find(model, line.trimmed()));
    QCOMPARE(again, cells);
    buildTreeModel(QJsonObject(), &model);
    QCOMPARE(model.rowCount(), 0);
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
        {"string", QStringLiteral("x")},
        {"null", QJsonValue::Null},
        {"array", QJsonArray {1, 2}},
        {"object", QJsonObject {{"a", 1}}},
        {"huge", 1e300},
        {"negative huge", -1e300},
        {"fraction", 2.5},
        {"true", true},
        {"deep", deep},
        {"empty object", QJsonObject()},
        {"int64", QJsonValue(qint64(1) << 40)},
        {"long text", QString(100000, QLatin1Char('x'))},
    };
    const QList<QPair<const char*, QStringList>> fields {
        {"group", {"id", "name", "status", "parent_id", "dnd", "has_dnd", "has_acked"}},
        {"host", {"id", "name", "address", "group_id", "status", "handled", "dnd", "has_dnd", "has_acked"}},
        {"plugin",
            {"host_id", "plugin_id", "instance_id", "key", "name", "status", "output_text", "last_success_at",
                "handled", "acknowledged", "acknowledged_by_name", "dnd", "suppressed_reason", "hard",
                "consecutive_failures", "max_attempts"}},
        {"port", {"host_id", "port_id", "name", "status", "output_text", "collected_at", "handled", "hard"}},
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
    QJsonObject group {{"id", 1}, {"name", "G"}, {"status", "ok"}};
    QJsonObject host {{"id", 2}, {"name", "h"}, {"group_id", 1}, {"status", "critical"}};
    QJsonObject plugin {{"host_id", 2}, {"plugin_id", 3}, {"status", "critical"}, {"hard", false}};
    QJsonObject port {{"host_id", 2}, {"port_id", 4}, {"status", "warning"}};
    QJsonObject& target = record == QLatin1String("group") ? group
        : record == QLatin1String("host")                  ? host
        : record == QLatin1String("plugin")                ? plugin
                                                           : port;
    target.insert(field, value);
    const QJsonObject payload {{"groups", QJsonArray {group}}, {"hosts", QJsonArray {host}},
        {"plugins", QJsonArray {plugin}}, {"ports", QJsonArray {port}}};
    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    buildTreeModel(payload, &model);
    QVERIFY(model.rowCount() >= 1);
    // Every row carries a key and a target map, whatever the payload said.
    const QStringList keys = shape(model);
    for (const QString& key : keys) {
        const QStandardItem* row = find(model, key.trimmed());
        QVERIFY(row);
        QVERIFY(!row->data(TargetRole).toMap().value("kind").toString().isEmpty());
    }
}

// A chain of twenty thousand nested groups, deepest first: every group is shown, none deeper than 32 levels (Qt's
// model takes a subtree apart level by level, so an unbounded chain would freeze the window at every poll).
void TestTreeModel::longParentChain()
{
    constexpr int Count = 20000;
    QJsonArray groups;
    for (int id = 1; id <= Count; ++id)
        groups.append(QJsonObject {{"id", id}, {"parent_id", id < Count ? id + 1 : 0}});
    QStandardItemModel model;
    buildTreeModel(
        QJsonObject {{"groups", groups}, {"hosts", QJsonArray {QJsonObject {{"id", 1}, {"group_id", 1}}}}}, &model);
    int groupRows = 0;
    int deepest = 0;
    QList<QPair<QStandardItem*, int>> pending {{model.invisibleRootItem(), 0}};
    while (!pending.isEmpty()) {
        const auto [item, depth] = pending.takeLast();
        for (int r = 0; r < item->rowCount(); ++r) {
            QStandardItem* child = item->child(r, 0);
            if (child->data(KeyRole).toString().startsWith(QStringLiteral("g:"))) {
                ++groupRows;
                deepest = std::max(deepest, depth + 1);
            }
            pending.append({child, depth + 1});
        }
    }
    QCOMPARE(groupRows, Count);
    QCOMPARE(deepest, 32);
    // Within the limit the nesting is kept: group 1 sits under 2, 2 under 3.
    QCOMPARE(find(model, QStringLiteral("g:1"))->parent()->data(KeyRole).toString(), QStringLiteral("g:2"));
    QCOMPARE(find(model, QStringLiteral("g:1"))->child(0)->data(KeyRole).toString(), QStringLiteral("h:1"));
    buildTreeModel(QJsonObject(), &model); // and the tree is taken apart again
    QCOMPARE(model.rowCount(), 0);
}

NORV_TEST_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
