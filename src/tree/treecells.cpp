// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/treecells.h"

#include "core/icons.h"
#include "tree/treemodel.h"

#include <QModelRoleDataSpan>

#include <utility>

namespace treemodel {

namespace {

// Where QStandardItem keeps an item's flags.
constexpr int FlagsRole = Qt::UserRole - 1;
constexpr Qt::ItemFlags ReadOnly
    = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;

} // namespace

const QStringList& headers()
{
    static const QStringList labels {QStringLiteral("Namn"), QStringLiteral("Status"), QStringLiteral("Utdata"),
        QStringLiteral("Senast OK"), QStringLiteral("Flaggor")};
    return labels;
}

Cell::Cell(QString text)
    : text(std::move(text))
{ }

QVariant Cell::data(int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text;
    case FlagsRole: {
        const QVariant stored = QStandardItem::data(role);
        return stored.isValid() ? stored : QVariant(int(ReadOnly));
    }
    default:
        return QStandardItem::data(role);
    }
}

void Cell::setData(const QVariant& value, int role)
{
    foreign = true;
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        text = value.toString();
        emitDataChanged();
        return;
    }
    QStandardItem::setData(value, role);
}

void Cell::multiData(QModelRoleDataSpan span) const
{
    for (QModelRoleData& roleData : span)
        roleData.setData(data(roleData.role()));
}

QStandardItem* Cell::clone() const
{
    return new Cell(*this);
}

bool Cell::assign(const QString& value)
{
    if (value == text)
        return false;
    text = value;
    return true;
}

Looks::Looks(bool dark)
    : dark(dark)
{ }

const Look& Looks::of(const QString& status, bool handled)
{
    auto& looks = handled ? handledLooks : plainLooks;
    auto found = looks.find(status);
    if (found == looks.end()) {
        found = looks
                    .emplace(status,
                        Look {icons::dotIcon(status, 12, handled), QBrush(icons::wordColor(status, handled, dark)),
                            status.toUpper()})
                    .first;
    }
    return found->second;
}

StatusCell::StatusCell(const Look& look)
    : Cell(look.upper)
    , brush(look.brush)
{ }

QVariant StatusCell::data(int role) const
{
    return role == Qt::ForegroundRole ? QVariant(brush) : Cell::data(role);
}

void StatusCell::setData(const QVariant& value, int role)
{
    if (role != Qt::ForegroundRole) {
        Cell::setData(value, role);
        return;
    }
    foreign = true;
    brush = value.value<QBrush>();
    emitDataChanged();
}

QStandardItem* StatusCell::clone() const
{
    return new StatusCell(*this);
}

bool StatusCell::assign(const Look& look)
{
    if (text == look.upper && brush == look.brush)
        return false;
    text = look.upper;
    brush = look.brush;
    return true;
}

Head Head::of(const Node& node)
{
    return {node.key, node.status, node.targetName, node.hostId, node.id, node.instanceId, node.kind, node.handled,
        node.acknowledged};
}

bool Head::sameAs(const Node& node) const
{
    return key == node.key && status == node.status && targetName == node.targetName && hostId == node.hostId
        && id == node.id && instanceId == node.instanceId && kind == node.kind && handled == node.handled
        && acknowledged == node.acknowledged;
}

HeadCell::HeadCell(const Node& node, const Look& look, bool dark)
    : Cell(node.name)
    , head(Head::of(node))
    , dot(look.dot)
    , dark(dark)
{ }

QVariant HeadCell::data(int role) const
{
    switch (role) {
    case Qt::DecorationRole:
        return foreign && QStandardItem::data(role).isValid() ? QStandardItem::data(role) : QVariant(dot);
    case KeyRole:
        return head.key;
    case TargetRole:
        return targetMap(head.kind, head.hostId, head.id, head.instanceId, head.targetName);
    case StatusRole:
        return head.status;
    case HandledRole:
        return head.handled;
    case AcknowledgedRole:
        return head.acknowledged;
    default:
        return Cell::data(role);
    }
}

void HeadCell::setData(const QVariant& value, int role)
{
    foreign = true;
    switch (role) {
    case Qt::DecorationRole:
        QStandardItem::setData(value, role);
        return;
    case KeyRole:
    case TargetRole:
    case StatusRole:
    case HandledRole:
    case AcknowledgedRole:
        emitDataChanged(); // the cell is foreign now: the row no longer says what it stands for
        return;
    default:
        Cell::setData(value, role);
    }
}

QStandardItem* HeadCell::clone() const
{
    return new HeadCell(*this);
}

bool HeadCell::assign(const Node& from, const Look& look, bool inDark)
{
    if (text == from.name && head.sameAs(from) && dark == inDark)
        return false;
    text = from.name;
    head = Head::of(from);
    dot = look.dot;
    dark = inDark;
    return true;
}

bool HeadCell::relook(const Look& look, bool inDark)
{
    if (dark == inDark)
        return false;
    dot = look.dot;
    dark = inDark;
    return true;
}

bool isTreeRow(QStandardItem* parent, int row)
{
    if (parent->columnCount() != Columns)
        return false;
    for (int c = 0; c < Columns; ++c) {
        const auto* cell = dynamic_cast<const Cell*>(parent->child(row, c));
        if (!cell || cell->foreign || (c > 0 && cell->hasChildren()))
            return false;
        if ((c == 0) != (dynamic_cast<const HeadCell*>(cell) != nullptr)
            || (c == 1) != (dynamic_cast<const StatusCell*>(cell) != nullptr))
            return false;
    }
    return true;
}

} // namespace treemodel
