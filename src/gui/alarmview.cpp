// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/alarmview.h"

#include "core/icons.h"
#include "core/lenient.h"
#include "core/statuses.h"
#include "net/apiclient.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCollator>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QStringList Columns {QStringLiteral("Status"), QStringLiteral("Enhet"), QStringLiteral("Check"),
    QStringLiteral("Startad (UTC)"), QStringLiteral("Avslutad (UTC)"), QStringLiteral("Läge"),
    QStringLiteral("Notifierad"), QStringLiteral("Kvitterad av"), QStringLiteral("Kommentar")};

constexpr int PageSize = 100;

// Text fields are taken only when they are strings.
QString text(const QJsonObject& record, const char* key)
{
    return lenient::string(record.value(QLatin1String(key)));
}

QStandardItem* cell(const QString& text)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    return item;
}

const QStringList ActiveColumns {QStringLiteral("Status"), QStringLiteral("Server"), QStringLiteral("Enhet"),
    QStringLiteral("Check / port"), QStringLiteral("Utdata"), QStringLiteral("Senast OK")};
constexpr int LastOkColumn = 5;
constexpr int KeyRole = Qt::UserRole;

// A last-OK time as short as it can be said without cutting it: the time of day for today, the date and minute
// before today. A text that is no such time stays as it is.
// The text is cut, not parsed: a panel of thousands of alarms is updated on every poll, and reading each time as a
// moment of the local clock costs more than the rest of the update.
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

// What a row is sorted by: its alarm's priority, the collation keys of its columns' texts (the last-OK time in full),
// and last the alarm key. Kept by the row's first cell.
class FirstCell : public QStandardItem {
public:
    int priority = 0;
    QString alarmKey;
    QList<QCollatorSortKey> texts; // by column
};

// The panel's order: worst first, then server, host and item, and last the alarm key, so that alarms alike in
// every column (instances of one check) keep one order from poll to poll. A click on another column sorts by its
// text, rows with the same text in that order. Texts are compared by their collation keys in the Swedish order, made
// when a row is drawn, and read from the rows' first cells: thousands of alarms are sorted in a few milliseconds.
class AlarmOrder : public QSortFilterProxyModel {
public:
    explicit AlarmOrder(QObject* parent)
        : QSortFilterProxyModel(parent)
        , collator(QLocale(QLocale::Swedish, QLocale::Sweden))
    {
        collator.setCaseSensitivity(Qt::CaseInsensitive);
    }

    void setKeys(FirstCell* row, const QString& alarmKey, int priority, const QStringList& texts) const
    {
        row->priority = priority;
        row->alarmKey = alarmKey;
        row->texts.clear();
        for (const QString& text : texts)
            row->texts.append(collator.sortKey(text));
    }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        const auto* model = static_cast<const QStandardItemModel*>(sourceModel());
        const auto* a = static_cast<const FirstCell*>(model->item(left.row(), 0));
        const auto* b = static_cast<const FirstCell*>(model->item(right.row(), 0));
        int order = left.column() > 0 ? a->texts.at(left.column()).compare(b->texts.at(left.column())) : 0;
        if (order == 0)
            order = b->priority - a->priority;
        for (int column = 1; column <= 3 && order == 0; ++column)
            order = a->texts.at(column).compare(b->texts.at(column));
        return order < 0 || (order == 0 && a->alarmKey < b->alarmKey);
    }

private:
    QCollator collator;
};

} // namespace

AlarmLogView::AlarmLogView(ApiClient* client, QWidget* parent)
    : QWidget(parent)
    , client(client)
    , searchEdit(new QLineEdit(this))
    , openOnlyBox(new QCheckBox(QStringLiteral("Endast öppna larm"), this))
    , previousButton(new QPushButton(QStringLiteral("◀"), this))
    , nextButton(new QPushButton(QStringLiteral("▶"), this))
    , pageLabel(new QLabel(this))
    , model(new QStandardItemModel(this))
    , table(new QTreeView(this))
{
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    openOnlyBox->setObjectName(QStringLiteral("openOnlyBox"));
    previousButton->setObjectName(QStringLiteral("previousButton"));
    nextButton->setObjectName(QStringLiteral("nextButton"));
    pageLabel->setObjectName(QStringLiteral("pageLabel"));
    table->setObjectName(QStringLiteral("table"));
    searchEdit->setPlaceholderText(QStringLiteral("Sök enhet/check…"));
    // What a screen reader says of controls that show a symbol or nothing but their contents.
    searchEdit->setAccessibleName(QStringLiteral("Sök i larmloggen"));
    previousButton->setAccessibleName(QStringLiteral("Föregående sida"));
    previousButton->setToolTip(previousButton->accessibleName());
    nextButton->setAccessibleName(QStringLiteral("Nästa sida"));
    nextButton->setToolTip(nextButton->accessibleName());
    table->setAccessibleName(QStringLiteral("Larmlogg"));
    auto* refresh = new QPushButton(QStringLiteral("Uppdatera"), this);
    refresh->setObjectName(QStringLiteral("refreshButton"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(searchEdit);
    bar->addWidget(openOnlyBox);
    bar->addWidget(refresh);
    bar->addStretch();
    bar->addWidget(previousButton);
    bar->addWidget(pageLabel);
    bar->addWidget(nextButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(table);

    table->setModel(model);
    table->setRootIsDecorated(false);
    table->setAlternatingRowColors(true);
    table->setSortingEnabled(false);

    connect(searchEdit, &QLineEdit::returnPressed, this, &AlarmLogView::reload);
    connect(openOnlyBox, &QCheckBox::toggled, this, &AlarmLogView::reload);
    connect(refresh, &QPushButton::clicked, this, &AlarmLogView::reload);
    connect(previousButton, &QPushButton::clicked, this, [this] { go(-1); });
    connect(nextButton, &QPushButton::clicked, this, [this] { go(1); });
}

void AlarmLogView::reload()
{
    QJsonObject page;
    try {
        page = client->alarmlog(currentPage, PageSize, openOnlyBox->isChecked(), searchEdit->text().trimmed());
    } catch (const ApiError& e) {
        pageLabel->setText(e.message);
        return;
    }
    loaded = true;
    showPage(page);
}

void AlarmLogView::showPage(const QJsonObject& page)
{
    // Numbers count only when they are whole and within 32 bits.
    const int total = page.value(QLatin1String("total")).toInt(0);
    const int pages = total <= PageSize ? 1 : int((qint64(total) + PageSize - 1) / PageSize);
    if (currentPage > pages)
        currentPage = pages;
    pageLabel->setText(QStringLiteral("Sida %1 / %2 (%3 larm)")
                           .arg(page.value(QLatin1String("page")).toInt(currentPage))
                           .arg(pages)
                           .arg(total));

    model->clear();
    model->setHorizontalHeaderLabels(Columns);
    const QJsonArray items = page.value(QLatin1String("items")).toArray();
    for (const QJsonValue& value : items) {
        const QJsonObject alarm = value.toObject();
        const QString status = text(alarm, "status");
        QStandardItem* statusCell = cell(status.toUpper());
        statusCell->setForeground(QBrush(icons::wordColor(status, false, icons::darkLook())));
        const QJsonValue cleared = alarm.value(QLatin1String("cleared_at"));
        const QString clearedText
            = cleared.isUndefined() || cleared.isNull() ? QStringLiteral("pågår") : text(alarm, "cleared_at");
        const bool hard = alarm.value(QLatin1String("hard")) == QJsonValue(true);
        const bool notified = alarm.value(QLatin1String("notified")) == QJsonValue(true);
        model->appendRow({statusCell, cell(text(alarm, "host_name")), cell(text(alarm, "target_name")),
            cell(text(alarm, "started_at")), cell(clearedText),
            cell(hard ? QStringLiteral("Hård") : QStringLiteral("Mjuk")),
            cell(notified ? QStringLiteral("Ja") : QStringLiteral("Nej")), cell(text(alarm, "ack_by")),
            cell(text(alarm, "ack_comment"))});
    }
    for (int column = 0; column < Columns.size(); ++column)
        table->resizeColumnToContents(column);
}

void AlarmLogView::go(int delta)
{
    currentPage = std::max(1, currentPage + delta);
    reload();
}

void AlarmLogView::setClient(ApiClient* newClient)
{
    client = newClient;
    loaded = false;
    if (isVisible())
        reload();
}

void AlarmLogView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!loaded)
        reload();
}

ActiveAlarmsView::ActiveAlarmsView(QWidget* parent)
    : QWidget(parent)
    , model(new QStandardItemModel(0, int(ActiveColumns.size()), this))
    , order(new AlarmOrder(this))
    , table(new QTreeView(this))
    , pages(new QStackedWidget(this))
{
    table->setObjectName(QStringLiteral("activeAlarms"));
    table->setAccessibleName(QStringLiteral("Aktiva larm"));
    table->setAccessibleDescription(QStringLiteral(
        "Öppna larm på alla servrar. Retur visar larmets rad i serverns träd, menytangenten visar vad du kan göra."));
    model->setHorizontalHeaderLabels(ActiveColumns);
    order->setSourceModel(model);
    // Sorted when the rows have been updated, not for every cell that changed: thousands of alarms (a site that
    // went down) are placed in order once.
    order->setDynamicSortFilter(false);
    table->setModel(order);
    table->setRootIsDecorated(false);
    table->setAlternatingRowColors(true);
    table->setUniformRowHeights(true);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSortingEnabled(true);
    table->sortByColumn(0, Qt::AscendingOrder);
    table->header()->setStretchLastSection(false);
    table->header()->setSectionResizeMode(4, QHeaderView::Stretch);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    table->installEventFilter(this);
    connect(table, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { menuAt(table->indexAt(pos), table->viewport()->mapToGlobal(pos)); });
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, table, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            const QModelIndex current = table->currentIndex();
            menuAt(current, table->viewport()->mapToGlobal(table->visualRect(current).center()));
        });
    }
    auto* copy = new QShortcut(QKeySequence::Copy, table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, [this] {
        if (table->selectionModel()->hasSelection())
            QGuiApplication::clipboard()->setText(selectionText());
    });
    connect(table, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const std::optional<ActiveAlarm> alarm = alarmAt(index); alarm && activate)
            activate(*alarm);
    });

    auto* empty = new QLabel(QStringLiteral("Inga aktiva larm"), this);
    empty->setObjectName(QStringLiteral("noActiveAlarms"));
    empty->setAlignment(Qt::AlignCenter);
    empty->setEnabled(false);
    pages->addWidget(empty);
    pages->addWidget(table);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages);
}

void ActiveAlarmsView::setAlarms(const QList<ActiveAlarm>& list)
{
    QSet<QString> kept;
    for (const ActiveAlarm& alarm : list)
        kept.insert(alarm.key);
    QStringList gone;
    for (auto it = alarms.cbegin(); it != alarms.cend(); ++it) {
        if (!kept.contains(it.key()))
            gone.append(it.key());
    }
    update(list, gone);
}

void ActiveAlarmsView::redraw()
{
    drawnToday.clear();
    update({}, {});
}

void ActiveAlarmsView::update(const QList<ActiveAlarm>& changed, const QStringList& gone)
{
    // The selection and the current row are the operator's choice of alarms, not of places in the list: they are
    // taken by key and given back after the update, without the alarms that ended.
    QStringList selected;
    for (const QModelIndex& row : table->selectionModel()->selectedRows())
        selected.append(row.data(KeyRole).toString());
    const QString current = table->currentIndex().siblingAtColumn(0).data(KeyRole).toString();
    const bool hadNone = alarms.isEmpty();

    // The rows of alarms that ended are free for the alarms that came; those left over go, the last first, so that
    // the others keep their places meanwhile. Taking a row out of the sorted list costs more than writing it anew.
    QList<QStandardItem*> free;
    for (const QString& key : gone) {
        if (alarms.remove(key) > 0)
            free.append(rowOf.take(key));
    }

    // A change of the look or of the day draws every row anew; otherwise only the alarms that differ.
    const bool dark = icons::darkLook();
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const bool redrawAll = dark != drawnDark || today != drawnToday;
    drawnDark = dark;
    drawnToday = today;
    bool moved = false;
    QList<ActiveAlarm> drawn;
    for (const ActiveAlarm& alarm : changed) {
        const auto previous = alarms.constFind(alarm.key);
        if (previous == alarms.cend() || previous->status != alarm.status || previous->server != alarm.server
            || previous->host != alarm.host || previous->item != alarm.item || previous->output != alarm.output
            || previous->lastOk != alarm.lastOk || previous->stale != alarm.stale || previous->unseen != alarm.unseen) {
            alarms.insert(alarm.key, alarm);
            if (!redrawAll)
                drawn.append(alarm);
        }
    }
    if (redrawAll)
        drawn = alarms.values();
    const QColor old = table->palette().color(QPalette::Disabled, QPalette::Text);
    for (const ActiveAlarm& alarm : std::as_const(drawn))
        moved = draw(alarm, free, today, dark, old) || moved;
    QList<int> ended;
    for (const QStandardItem* row : std::as_const(free))
        ended.append(row->row());
    std::sort(ended.begin(), ended.end(), std::greater<int>());
    for (const int row : std::as_const(ended))
        model->removeRow(row);
    if (moved)
        order->sort(order->sortColumn(), order->sortOrder());
    // Widths for the first rows; after that they are the operator's (measuring every row on every poll would cost
    // more than the rest of the update).
    if (hadNone && !alarms.isEmpty()) {
        for (int column : {0, 1, 2, 3, 5})
            table->resizeColumnToContents(column);
    }
    pages->setCurrentIndex(alarms.isEmpty() ? 0 : 1);

    if (selected.isEmpty() && current.isEmpty())
        return;
    const auto place = [this](const QString& key) {
        const QStandardItem* item = rowOf.value(key);
        return item ? order->mapFromSource(item->index()) : QModelIndex();
    };
    QItemSelection selection;
    for (const QString& key : std::as_const(selected)) {
        if (const QModelIndex first = place(key); first.isValid())
            selection.select(first, first.siblingAtColumn(int(ActiveColumns.size()) - 1));
    }
    QItemSelectionModel* selectionModel = table->selectionModel();
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
    if (const QModelIndex currentIndex = place(current); currentIndex.isValid())
        selectionModel->setCurrentIndex(currentIndex, QItemSelectionModel::NoUpdate);
    else
        selectionModel->clearCurrentIndex();
}

// Sets one alarm's row: its own, a free one, or a new one for an alarm that came; whether the row may have to move.
bool ActiveAlarmsView::draw(
    const ActiveAlarm& alarm, QList<QStandardItem*>& free, const QString& today, bool dark, const QColor& old)
{
    bool moved = false;
    auto* status = static_cast<FirstCell*>(rowOf.value(alarm.key));
    if (!status && !free.isEmpty()) {
        status = static_cast<FirstCell*>(free.takeLast());
        status->setData(alarm.key, KeyRole);
        rowOf.insert(alarm.key, status);
        moved = true;
    }
    QList<QStandardItem*> cells;
    for (int column = 0; column < ActiveColumns.size(); ++column)
        cells.append(status ? model->item(status->row(), column) : column == 0 ? new FirstCell : new QStandardItem);
    if (!status) {
        status = static_cast<FirstCell*>(cells.first());
        for (QStandardItem* cell : std::as_const(cells))
            cell->setEditable(false);
        status->setData(alarm.key, KeyRole);
        rowOf.insert(alarm.key, status);
        model->appendRow(cells);
        moved = true;
    }
    status->setIcon(alarm.stale ? icons::dotIcon(old, 12) : icons::dotIcon(alarm.status, 12, false));
    status->setForeground(QBrush(alarm.stale ? old : icons::wordColor(alarm.status, false, dark)));
    for (int column = 1; column < ActiveColumns.size(); ++column) {
        if (alarm.stale)
            cells.at(column)->setForeground(QBrush(old));
        else
            cells.at(column)->setData(QVariant(), Qt::ForegroundRole);
    }
    // An alarm whose row changed while the operator was away stands out until it is seen.
    QFont font;
    font.setBold(alarm.unseen);
    for (QStandardItem* cell : std::as_const(cells))
        cell->setData(alarm.unseen ? QVariant(font) : QVariant(), Qt::FontRole);
    const QStringList texts {
        alarm.status.toUpper(), alarm.server, alarm.host, alarm.item, alarm.output, shortTime(alarm.lastOk, today)};
    for (int column = 0; column < ActiveColumns.size(); ++column) {
        if (cells.at(column)->text() != texts.at(column)) {
            moved = moved || column <= 3 || column == order->sortColumn();
            cells.at(column)->setText(texts.at(column));
        }
    }
    cells.at(LastOkColumn)->setToolTip(alarm.lastOk);
    static_cast<AlarmOrder*>(order)->setKeys(status, alarm.key, statuses::alarmPriority(alarm.status),
        {QString(), alarm.server, alarm.host, alarm.item, alarm.output, alarm.lastOk});
    return moved;
}

std::optional<ActiveAlarm> ActiveAlarmsView::currentAlarm() const
{
    return alarmAt(table->currentIndex());
}

QList<ActiveAlarm> ActiveAlarmsView::selectedAlarms() const
{
    QModelIndexList rows = table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<ActiveAlarm> list;
    for (const QModelIndex& row : std::as_const(rows)) {
        if (const std::optional<ActiveAlarm> alarm = alarmAt(row))
            list.append(*alarm);
    }
    return list;
}

QString ActiveAlarmsView::selectionText() const
{
    QStringList lines;
    const QHeaderView* header = table->header();
    for (const ActiveAlarm& alarm : selectedAlarms()) {
        const QStringList cells {
            alarm.status.toUpper(), alarm.server, alarm.host, alarm.item, alarm.output, alarm.lastOk};
        QStringList ordered;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int column = header->logicalIndex(visual);
            if (!header->isSectionHidden(column))
                ordered.append(cells.value(column));
        }
        lines.append(ordered.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n'));
}

std::optional<ActiveAlarm> ActiveAlarmsView::alarmAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return std::nullopt;
    const auto found = alarms.constFind(order->mapToSource(index).siblingAtColumn(0).data(KeyRole).toString());
    return found == alarms.cend() ? std::nullopt : std::optional<ActiveAlarm>(*found);
}

// A row of several selected ones opens the menu for all of them; any other row, the menu of its own alarm.
void ActiveAlarmsView::menuAt(const QModelIndex& index, const QPoint& at)
{
    if (!index.isValid())
        return;
    if (table->selectionModel()->isRowSelected(index.row(), index.parent())
        && table->selectionModel()->selectedRows().size() > 1) {
        if (openMenuForMany)
            openMenuForMany(selectedAlarms(), at);
        return;
    }
    if (const std::optional<ActiveAlarm> alarm = alarmAt(index); alarm && openMenu)
        openMenu(*alarm, at);
}

bool ActiveAlarmsView::eventFilter(QObject* object, QEvent* event)
{
    if (object == table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (const std::optional<ActiveAlarm> alarm = currentAlarm(); alarm && activate)
                activate(*alarm);
            return true;
        }
    }
    return QWidget::eventFilter(object, event);
}
