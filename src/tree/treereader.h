// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/target.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

// Reading the server's tree payload: groups nested by their parents, hosts in their groups, and under each host its
// checks, then its switch ports, each field read leniently. A tree is read in two steps: first every node's place and
// a hash of its key and of its cells (all a comparison with the last tree needs), then the cells of the rows that
// are to be drawn.
namespace treemodel {

// One row: the texts of its five cells and what its first cell stands for.
struct Node {
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
    Kind kind = Kind::Group;
    bool handled = false;
    bool acknowledged = false; // a check or port only

    bool operator==(const Node& other) const;
};

// A node's place in its tree, and what tells it from the nodes of another tree.
struct Place {
    size_t key = 0; // hash of the node key
    size_t cells = 0; // hash of what the row shows; 0 when not known
    int size = 1; // rows in this node's subtree, itself included
    bool foreign = false; // a row of a model that no payload made: it matches no node
};

// The shape of a tree: its nodes depth first, a node's subtree being the `size` nodes that start with it.
struct TreeShape {
    QList<Place> nodes;

    QList<int> children(int parent) const; // direct children of a node, or of the top level for -1
    int end(int parent) const; // the node after a node's subtree, or after the whole tree for -1
};

// The cells of some rows of a tree, by node.
class Rows {
public:
    explicit Rows(int nodes = 0);
    void add(int node, Node row);
    const Node* find(int node) const; // none when the row was not read
    bool complete() const { return nodes.size() == at.size(); }

private:
    QList<Node> nodes;
    QList<int> at; // by node: its place in nodes, or -1
};

// Reads tree payloads, one after another, as a poller receives them. Keeps simdjson's parser and its memory from one
// payload to the next, and what each record of the last payload gave, by the hash of its text: a record that comes
// again unchanged is not read again. One reader belongs to one thread at a time.
class TreeReader {
public:
    TreeReader();
    ~TreeReader();
    TreeReader(const TreeReader&) = delete;
    TreeReader& operator=(const TreeReader&) = delete;

    // Reads a payload from its JSON text, which gets room for simdjson's padding unless it has it. False when the
    // text is no JSON object, or holds something that simdjson and Qt's parser may read differently (such as a lone
    // surrogate, an unusual escape or a whole number beyond 64 bits); nothing is read then, and Qt's parser is to
    // decide. An empty text is an empty payload.
    bool read(QByteArray& json);
    // Reads a payload from Qt's document.
    void read(const QJsonObject& payload);

    // The shape of the tree read last.
    std::shared_ptr<TreeShape> shape() const;
    // The cells of nodes of the tree read last, taken from the payload as long as it is alive: until the next read,
    // and with a JSON text only while that text is unchanged.
    Node row(int node) const;
    void addRows(Rows& rows, const QList<int>& nodes) const;
    void addAllRows(Rows& rows) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace treemodel
