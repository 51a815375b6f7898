// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/treereader.h"

#include <QBrush>
#include <QIcon>
#include <QStandardItem>
#include <QStringList>
#include <QVariantMap>

#include <unordered_map>

// What a row of the status tree draws: five cells that keep their few values in members instead of QStandardItem's
// list of roles (a row of five plain items with seven roles on the first costs several times the allocations). To
// the model and its views they answer exactly as items holding those roles would. Only the tree sets their values,
// through assign(); a value set from outside the tree is kept the usual way and marks the cell as one no payload
// made. GUI thread only.
namespace treemodel {

constexpr int Columns = 5;
// The header labels of the five columns.
const QStringList& headers();

// A cell with a text.
class Cell : public QStandardItem {
public:
    explicit Cell(QString text);

    QVariant data(int role) const override;
    void setData(const QVariant& value, int role) override;
    void multiData(QModelRoleDataSpan span) const override;
    QStandardItem* clone() const override;

    // Sets the text without telling the model; the caller reports the changed cells together. Whether it changed.
    bool assign(const QString& value);

    QString text;
    bool foreign = false;

protected:
    Cell(const Cell& other) = default;
};

// The look of a status: its dot, the brush of its word, and the word in upper case.
struct Look {
    QIcon dot;
    QBrush brush;
    QString upper;
};

// The looks of one update. A tree holds few distinct statuses, so each look is made once per update.
class Looks {
public:
    explicit Looks(bool dark);
    const Look& of(const QString& status, bool handled);

private:
    const bool dark;
    std::unordered_map<QString, Look> plainLooks;
    std::unordered_map<QString, Look> handledLooks;
};

// The "Status" cell: the upper-case status word in the status colour.
class StatusCell : public Cell {
public:
    explicit StatusCell(const Look& look);

    QVariant data(int role) const override;
    void setData(const QVariant& value, int role) override;
    QStandardItem* clone() const override;

    bool assign(const Look& look);

    QBrush brush;

private:
    StatusCell(const StatusCell& other) = default;
};

// What the first cell of a row keeps of its node: all but the texts of the other cells.
struct Head {
    QString key;
    QString status;
    QString targetName;
    int hostId = 0;
    int id = 0;
    int instanceId = 0;
    Kind kind = Kind::Group;
    bool handled = false;
    bool acknowledged = false;

    static Head of(const Node& node);
    bool sameAs(const Node& node) const;
};

// The first cell: shown name, status dot, node key, target map, status word and handled flag; and the look it was
// drawn in, so that a change of theme redraws it.
class HeadCell : public Cell {
public:
    HeadCell(const Node& node, const Look& look, bool dark);

    QVariant data(int role) const override;
    void setData(const QVariant& value, int role) override;
    QStandardItem* clone() const override;

    // Sets the cell to a node's; whether it changed.
    bool assign(const Node& from, const Look& look, bool inDark);
    // Draws the cell in a look; whether it changed.
    bool relook(const Look& look, bool inDark);

    Head head;
    QIcon dot;
    bool dark;

private:
    HeadCell(const HeadCell& other) = default;
};

// Whether a row of the model is one the tree made and left as it made it.
bool isTreeRow(QStandardItem* parent, int row);

} // namespace treemodel
