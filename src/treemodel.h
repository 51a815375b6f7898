#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <Qt>

#include <memory>

class QStandardItem;
class QStandardItemModel;

// Turns the server's tree payload into the rows of a server tab's item model: groups nested by their parents, hosts
// in their groups, and under each host its checks, then its switch ports. Reading a payload and comparing it with
// the previous one are plain value work that any thread may do; only the model is touched on the GUI thread, and
// only where a row changed.
namespace treemodel {

// Data on the first cell of every row.
enum Role {
    KeyRole = Qt::UserRole, // node key, stable across rebuilds
    TargetRole = Qt::UserRole + 1, // map with the kind and the ids an action needs
    StatusRole = Qt::UserRole + 2, // status word as received
    HandledRole = Qt::UserRole + 3, // acknowledged or silenced alarm, drawn muted
};

// One row of the tree as the payload gives it.
struct Node {
    enum Kind : quint8 { Group, Host, Plugin, Port };

    QString key;
    QString name; // shown name
    QString status; // status word as received
    QString output;
    QString lastOk;
    QString flags;
    QString targetName; // the name in the target map (a host's without its address)
    int hostId = 0;
    int id = 0; // group, plugin or port id
    int instanceId = 0;
    int size = 1; // rows in this node's subtree, itself included
    Kind kind = Group;
    bool handled = false;
    bool foreign = false; // a row of the model that no payload made; it never matches a node of a payload
    bool redraw = false; // a row of the model drawn in another look than the current one

    QVariantMap target() const;
    bool sameRow(const Node& other) const; // whether both rows show the same cells
};

// A whole tree, its nodes in depth-first order: a node's subtree is the `size` nodes starting at it.
struct Tree {
    QList<Node> nodes;

    QList<int> children(int parent) const; // direct children of a node, or of the top level for -1
};

// What turns the model of one tree into the model of the next: the nodes that changed their cells, and the parents
// whose children appeared, vanished or moved. Made where the payload is read; applied on the GUI thread.
struct TreeUpdate {
    std::shared_ptr<const Tree> base; // the tree it was worked out against; none for a first tree
    std::shared_ptr<const Tree> tree; // the new tree
    QList<int> changed; // nodes of the new tree whose cells differ from their row in base
    // Nodes of the new tree (-1: the top level) whose children are to be placed anew. When there are none, the two
    // trees have the same shape and a node's index in base is its own.
    QList<int> reordered;
    QList<int> previous; // with reordered nodes: per node of the new tree its index in base, -1 for a new row
};
using TreeUpdatePtr = std::shared_ptr<const TreeUpdate>;

// A row's target map read back: what the row stands for and the ids an action needs (0 when missing).
struct Target {
    QString kind;
    int hostId = 0;
    int pluginId = 0;
    int portId = 0;
    int instanceId = 0;
    QString name; // "?" when the map has none
    QString shownName; // the name as given, possibly empty

    static Target of(const QVariantMap& map);
    // What an alarm of the status payload is about: a check, or a switch port when it names a port and no check.
    static Target ofProblem(const QJsonObject& problem, const QString& name);
    // The map a row stores and the chart dialog takes.
    QVariantMap map() const;
    bool chartable() const { return kind == QLatin1String("plugin") || kind == QLatin1String("port"); }
};

// An id as every payload gives it: a whole number within 32 bits, or a text holding one; 0 for anything else.
int idOf(const QJsonValue& value);

// Reads a tree payload with the lenient rules of every field.
Tree readTree(const QJsonObject& payload);
// The same from the payload's JSON text, for large trees. False when the text holds anything beyond the plain JSON
// that servers send (or is no JSON object at all); Qt's parser is then to decide.
bool readTree(const QByteArray& json, Tree* tree);
// Compares a tree with the one before it. Cells that did not change share the earlier tree's texts.
TreeUpdatePtr diffTrees(const std::shared_ptr<const Tree>& base, const std::shared_ptr<Tree>& tree);

// Keeps one item model in step with a server's trees, in place: a steady tree touches nothing, a changed cell is set,
// and rows are inserted, removed or moved only where the tree's shape changed. GUI thread only; the model must not
// be changed by anyone else.
class LiveTree {
public:
    explicit LiveTree(QStandardItemModel* model);
    ~LiveTree();
    LiveTree(const LiveTree&) = delete;
    LiveTree& operator=(const LiveTree&) = delete;

    // Applies an update. One worked out against another tree than the one shown (a superseded tree was skipped, or
    // a new poller started afresh) is compared with the shown tree here first.
    void apply(const TreeUpdatePtr& update);
    // The first cell of the first row with this key, depth first; none when the shown tree has no such row.
    QStandardItem* find(const QString& key) const;
    // The first row of a check (by host, check and instance) or of a switch port (by port id); none when the shown
    // tree has no such row.
    struct Row {
        const Node* node = nullptr;
        QStandardItem* item = nullptr;
    };
    Row findTarget(const Target& target) const;

private:
    friend void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model);
    class Applier;

    QStandardItemModel* model;
    std::shared_ptr<const Tree> shown;
    QList<QStandardItem*> items; // first cells of the shown tree's rows, by node
    bool dark = false; // the look the rows were drawn in
    struct TargetId {
        bool port;
        int hostId;
        int id;
        int instanceId;
        bool operator==(const TargetId& o) const
        {
            return port == o.port && hostId == o.hostId && id == o.id && instanceId == o.instanceId;
        }
        friend size_t qHash(const TargetId& t, size_t seed = 0)
        {
            return qHashMulti(seed, t.port, t.hostId, t.id, t.instanceId);
        }
    };
    mutable QHash<TargetId, int> byTarget; // nodes of checks and ports by their ids, made when first asked for
};

// Makes the model hold exactly the rows of the payload, changing it in place.
void buildTreeModel(const QJsonObject& payload, QStandardItemModel* model);
QString checkKey(int hostId, const QJsonObject& check);
// The worst status of the list by the tree's roll-up priority; "none" for an empty list.
QString aggregateStatus(const QList<QString>& statuses);
// The status words the tree marks as alarming.
bool isAlarming(const QString& status);

} // namespace treemodel
