// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/target.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QColor>
#include <QHash>
#include <QList>
#include <QSet>

#include <memory>
#include <vector>

// One row of the "Aktiva larm" panel: an open alarm of the alarm book, with what its server's tree shows of it.
struct ActiveAlarm {
    QString key; // the tray's alarm key
    QString serverId;
    QString status;
    QString server; // the server's label
    QString host;
    QString item; // the check or port
    QString output;
    QString lastOk;
    treemodel::Target target; // what the tree's menu acts on; an empty kind for a server that does not answer
    bool stale = false; // its server does not answer: what the row says may no longer be so
    bool unseen = false; // its row changed while the operator was not looking
};

// The rows of the "Aktiva larm" panel in the panel's order: worst first, then by server, host and item, or by the
// column the operator clicked, rows with the same text in that order; rows alike in all of that (instances of one
// check) stand in the order of their alarm keys, so that they keep one order from poll to poll. An update moves
// only the rows that came, went or changed their place, in one step, and a cell's text and colours are worked out
// when the table paints it: a poll that changes a thousand of five thousand alarms costs a few milliseconds.
class ActiveAlarmsModel : public QAbstractTableModel {
public:
    static constexpr int KeyRole = Qt::UserRole; // the alarm key, in every column
    static constexpr int LastOkColumn = 5;

    explicit ActiveAlarmsModel(QObject* parent);
    ~ActiveAlarmsModel() override;

    // Takes the alarms that came or changed and drops those that went.
    void update(const QList<ActiveAlarm>& changed, const QStringList& gone);
    // The colour of the rows whose server does not answer; every row is shown again, in the look the application
    // has now.
    void redraw(const QColor& old);
    const ActiveAlarm* alarm(int row) const;
    int rowOf(const QString& key) const; // -1 for none

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    struct Row;
    using Rows = std::vector<std::unique_ptr<Row>>;

    std::unique_ptr<Row> makeRow(const ActiveAlarm& alarm, const Row* before) const;
    bool precedes(const Row& a, const Row& b) const;
    bool samePlace(const Row& a, const Row& b) const;
    int placeOf(const Row& row) const;
    // Lays the rows out anew: the `leaving` rows go, the `entering` ones (in any order) join.
    void layOut(const QSet<const Row*>& leaving, Rows entering);

    Rows rows; // in the panel's order
    QHash<QString, Row*> byKey;
    int sortColumn = 0;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    QCollator collator;
    QColor old; // the disabled text colour of the table
    QString today;
};
