#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace treemodel {

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

    bool sameRow(const Node& other) const; // whether both rows show the same cells
};

// A whole tree, its nodes in depth-first order: a node's subtree is the `size` nodes starting at it.
struct Tree {
    QList<Node> nodes;

    QList<int> children(int parent) const; // direct children of a node, or of the top level for -1
};

// Reads a tree payload with the lenient rules of every field.
Tree readTree(const QJsonObject& payload);
// The same from the payload's JSON text, for large trees. False when the text holds anything beyond the plain JSON
// that servers send (or is no JSON object at all); Qt's parser is then to decide.
bool readTree(const QByteArray& json, Tree* tree);

} // namespace treemodel
