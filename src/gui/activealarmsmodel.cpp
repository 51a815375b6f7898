// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/activealarmsmodel.h"

#include "core/icons.h"
#include "core/statuses.h"

#include <QBrush>
#include <QDate>
#include <QFont>
#include <QIcon>

#include <algorithm>
#include <optional>

namespace {

const QStringList Columns {QStringLiteral("Status"), QStringLiteral("Server"), QStringLiteral("Enhet"),
    QStringLiteral("Check / port"), QStringLiteral("Utdata"), QStringLiteral("Senast OK")};

// A last-OK time as short as it can be said without cutting it: the time of day for today, the date and minute
// before today. A text that is no such time stays as it is.
// The text is cut, not parsed: reading each time as a moment of the local clock costs more than the rest of a row.
QString shortTime(const QString& text, const QString& today)
{
    static const QLatin1String shape("dddd-dd-dd dd:dd:dd");
    if (text.size() != shape.size())
        return text;
    for (qsizetype i = 0; i < shape.size(); ++i) {
        if (shape.at(i) == QLatin1Char('d') ? !text.at(i).isDigit() : text.at(i) != shape.at(i))
            return text;
    }
    return text.startsWith(today) ? text.mid(11) : text.left(16);
}

// What a column is sorted by: its text, the last-OK time in full.
const QString& sortText(const ActiveAlarm& alarm, int column)
{
    switch (column) {
    case 1:
        return alarm.server;
    case 2:
        return alarm.host;
    case 3:
        return alarm.item;
    case 4:
        return alarm.output;
    default:
        return alarm.lastOk;
    }
}

bool sameLook(const ActiveAlarm& a, const ActiveAlarm& b)
{
    return a.status == b.status && a.server == b.server && a.host == b.host && a.item == b.item && a.output == b.output
        && a.lastOk == b.lastOk && a.stale == b.stale && a.unseen == b.unseen;
}

} // namespace

// An alarm with what it is sorted by: its priority and the collation keys of its columns' texts in the Swedish
// order, each made when a sort first needs it.
struct ActiveAlarmsModel::Row {
    ActiveAlarm alarm;
    int priority = 0;
    mutable std::optional<QCollatorSortKey> keys[6]; // by column; the first is not used
};

ActiveAlarmsModel::ActiveAlarmsModel(QObject* parent)
    : QAbstractTableModel(parent)
    , collator(QLocale(QLocale::Swedish, QLocale::Sweden))
    , today(QDate::currentDate().toString(Qt::ISODate))
{
    collator.setCaseSensitivity(Qt::CaseInsensitive);
}

ActiveAlarmsModel::~ActiveAlarmsModel() = default;

std::unique_ptr<ActiveAlarmsModel::Row> ActiveAlarmsModel::makeRow(const ActiveAlarm& alarm, const Row* before) const
{
    auto row = std::make_unique<Row>();
    row->alarm = alarm;
    row->priority = statuses::alarmPriority(alarm.status);
    for (int column = 1; before && column < int(Columns.size()); ++column) {
        if (sortText(alarm, column) == sortText(before->alarm, column))
            row->keys[column] = before->keys[column];
    }
    return row;
}

// Worst first, then server, host and item; or the clicked column's text first. Last the alarm key, so that no two
// rows tie.
bool ActiveAlarmsModel::precedes(const Row& a, const Row& b) const
{
    const auto keyOf = [this](const Row& row, int column) -> const QCollatorSortKey& {
        if (!row.keys[column])
            row.keys[column] = collator.sortKey(sortText(row.alarm, column));
        return *row.keys[column];
    };
    const Row& first = sortOrder == Qt::AscendingOrder ? a : b;
    const Row& second = sortOrder == Qt::AscendingOrder ? b : a;
    int order = sortColumn > 0 ? keyOf(first, sortColumn).compare(keyOf(second, sortColumn)) : 0;
    if (order == 0)
        order = second.priority - first.priority;
    for (int column = 1; column <= 3 && order == 0; ++column)
        order = keyOf(first, column).compare(keyOf(second, column));
    return order < 0 || (order == 0 && first.alarm.key < second.alarm.key);
}

// Whether a row changed so that it keeps its place among the others.
bool ActiveAlarmsModel::samePlace(const Row& a, const Row& b) const
{
    if (a.priority != b.priority || a.alarm.key != b.alarm.key)
        return false;
    for (int column = 1; column < int(Columns.size()); ++column) {
        if ((column <= 3 || column == sortColumn) && sortText(a.alarm, column) != sortText(b.alarm, column))
            return false;
    }
    return true;
}

int ActiveAlarmsModel::placeOf(const Row& row) const
{
    const auto at = std::lower_bound(rows.cbegin(), rows.cend(), &row,
        [this](const std::unique_ptr<Row>& a, const Row* b) { return precedes(*a, *b); });
    return at != rows.cend() && at->get() == &row ? int(at - rows.cbegin()) : -1;
}

const ActiveAlarm* ActiveAlarmsModel::alarm(int row) const
{
    return row >= 0 && row < int(rows.size()) ? &rows.at(row)->alarm : nullptr;
}

int ActiveAlarmsModel::rowOf(const QString& key) const
{
    const Row* row = byKey.value(key);
    return row ? placeOf(*row) : -1;
}

void ActiveAlarmsModel::update(const QList<ActiveAlarm>& changed, const QStringList& gone)
{
    const QString now = QDate::currentDate().toString(Qt::ISODate);
    bool everyRow = now != today;
    today = now;
    QSet<const Row*> leaving;
    for (const QString& key : gone) {
        if (const Row* row = byKey.take(key))
            leaving.insert(row);
    }
    Rows entering;
    int top = int(rows.size());
    int bottom = -1;
    for (const ActiveAlarm& alarm : changed) {
        Row* row = byKey.value(alarm.key);
        if (row && sameLook(row->alarm, alarm))
            continue;
        std::unique_ptr<Row> made = makeRow(alarm, row);
        const int at = row ? placeOf(*row) : -1;
        if (row && at < 0) { // it came twice in this update: the last one counts
            *row = std::move(*made);
            continue;
        }
        if (at >= 0 && samePlace(*row, *made)) {
            top = std::min(top, at);
            bottom = std::max(bottom, at);
            *row = std::move(*made);
            continue;
        }
        if (row)
            leaving.insert(row);
        byKey.insert(alarm.key, made.get());
        entering.push_back(std::move(made));
    }
    if (!leaving.isEmpty() || !entering.empty()) {
        layOut(leaving, std::move(entering));
        everyRow = everyRow || bottom >= 0;
    }
    if (everyRow && !rows.empty()) {
        top = 0;
        bottom = int(rows.size()) - 1;
    }
    if (bottom >= 0)
        Q_EMIT dataChanged(index(top, 0), index(bottom, columnCount() - 1));
}

// The rows that leave make room for those that join, all in one change of the layout, which the table and its
// selection follow without a signal per row. When more join than leave, the rest are added at the end first; when
// more leave, the rest are laid out at the end and removed after.
void ActiveAlarmsModel::layOut(const QSet<const Row*>& leaving, Rows entering)
{
    std::sort(entering.begin(), entering.end(),
        [this](const std::unique_ptr<Row>& a, const std::unique_ptr<Row>& b) { return precedes(*a, *b); });
    const int before = int(rows.size());
    const int after = before - int(leaving.size()) + int(entering.size());
    QList<Row*> joining;
    for (const std::unique_ptr<Row>& row : entering)
        joining.append(row.get());
    if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        for (int i = 0; i < after - before; ++i)
            rows.push_back(std::move(entering[entering.size() - 1 - size_t(i)]));
        endInsertRows();
    }

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    QList<const Row*> persistentRows;
    for (const QModelIndex& index : from)
        persistentRows.append(rows.at(size_t(index.row())).get());
    // Every row is owned by `all` while the new order is made of raw pointers.
    Rows all;
    all.reserve(rows.size() + entering.size());
    for (std::unique_ptr<Row>& row : rows)
        all.push_back(std::move(row));
    for (std::unique_ptr<Row>& row : entering) {
        if (row)
            all.push_back(std::move(row));
    }
    QList<Row*> kept;
    QList<Row*> dropped;
    for (int i = 0; i < before; ++i) {
        Row* row = all.at(size_t(i)).get();
        if (leaving.contains(row))
            dropped.append(row);
        else
            kept.append(row);
    }
    QList<Row*> order;
    order.reserve(std::max(before, after));
    std::merge(kept.cbegin(), kept.cend(), joining.cbegin(), joining.cend(), std::back_inserter(order),
        [this](const Row* a, const Row* b) { return precedes(*a, *b); });
    const int shown = int(order.size());
    for (int i = 0; shown + i < before; ++i)
        order.append(dropped.at(i));

    QHash<const Row*, std::unique_ptr<Row>*> owner;
    for (std::unique_ptr<Row>& row : all)
        owner.insert(row.get(), &row);
    QHash<const Row*, int> placed; // where the rows that views hold on to went; -1 for those that left
    for (const Row* row : std::as_const(persistentRows))
        placed.insert(row, -1);
    rows.clear();
    for (Row* row : std::as_const(order)) {
        if (const auto held = placed.find(row); held != placed.end())
            *held = int(rows.size());
        rows.push_back(std::move(*owner.value(row)));
    }
    QModelIndexList to;
    for (int i = 0; i < from.size(); ++i) {
        const int at = placed.value(persistentRows.at(i));
        to.append(at < 0 ? QModelIndex() : index(at, from.at(i).column()));
    }
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    // `all` now holds only the rows that left and were not kept for removal below.

    if (shown < int(rows.size())) {
        beginRemoveRows(QModelIndex(), shown, int(rows.size()) - 1);
        rows.resize(size_t(shown));
        endRemoveRows();
    }
}

void ActiveAlarmsModel::redraw(const QColor& disabled)
{
    old = disabled;
    today.clear(); // as after midnight: every row is shown again
    update({}, {});
}

void ActiveAlarmsModel::sort(int column, Qt::SortOrder order)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    QList<const Row*> persistentRows;
    for (const QModelIndex& index : from)
        persistentRows.append(rows.at(size_t(index.row())).get());
    sortColumn = std::clamp(column, 0, columnCount() - 1);
    sortOrder = order;
    std::sort(rows.begin(), rows.end(),
        [this](const std::unique_ptr<Row>& a, const std::unique_ptr<Row>& b) { return precedes(*a, *b); });
    QModelIndexList to;
    for (int i = 0; i < from.size(); ++i)
        to.append(index(placeOf(*persistentRows.at(i)), from.at(i).column()));
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ActiveAlarmsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int ActiveAlarmsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Columns.size());
}

QVariant ActiveAlarmsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < Columns.size())
        return Columns.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QVariant ActiveAlarmsModel::data(const QModelIndex& index, int role) const
{
    const ActiveAlarm* row = index.isValid() ? alarm(index.row()) : nullptr;
    if (!row)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == 0)
            return row->status.toUpper();
        return column == LastOkColumn ? shortTime(row->lastOk, today) : sortText(*row, column);
    case Qt::DecorationRole:
        if (column != 0)
            return {};
        return row->stale ? icons::dotIcon(old, 12) : icons::dotIcon(row->status, 12, false);
    case Qt::ForegroundRole:
        if (row->stale)
            return QBrush(old);
        return column == 0 ? QVariant(QBrush(icons::wordColor(row->status, false, icons::darkLook()))) : QVariant();
    case Qt::FontRole: {
        // An alarm whose row changed while the operator was away stands out until it is seen.
        if (!row->unseen)
            return {};
        QFont font;
        font.setBold(true);
        return font;
    }
    case Qt::ToolTipRole:
        return column == LastOkColumn ? QVariant(row->lastOk) : QVariant();
    case KeyRole:
        return row->key;
    default:
        return {};
    }
}
