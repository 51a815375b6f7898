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
    , model(new ActiveAlarmsModel(this))
    , table(new QTreeView(this))
    , pages(new QStackedWidget(this))
{
    table->setObjectName(QStringLiteral("activeAlarms"));
    table->setAccessibleName(QStringLiteral("Aktiva larm"));
    table->setAccessibleDescription(QStringLiteral(
        "Öppna larm på alla servrar. Retur visar larmets rad i serverns träd, menytangenten visar vad du kan göra."));
    table->setModel(model);
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
    redraw();
}

void ActiveAlarmsView::setAlarms(const QList<ActiveAlarm>& list)
{
    QSet<QString> kept;
    for (const ActiveAlarm& alarm : list)
        kept.insert(alarm.key);
    QStringList gone;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (const QString key = model->alarm(row)->key; !kept.contains(key))
            gone.append(key);
    }
    update(list, gone);
}

void ActiveAlarmsView::redraw()
{
    drawnDark = icons::darkLook();
    model->redraw(table->palette().color(QPalette::Disabled, QPalette::Text));
}

void ActiveAlarmsView::update(const QList<ActiveAlarm>& changed, const QStringList& gone)
{
    // The selection and the current row are the operator's choice of alarms, not of places in the list: they are
    // taken by key and given back after the update, without the alarms that ended.
    QStringList selected;
    for (const QModelIndex& row : table->selectionModel()->selectedRows())
        selected.append(row.data(ActiveAlarmsModel::KeyRole).toString());
    const QString current = table->currentIndex().siblingAtColumn(0).data(ActiveAlarmsModel::KeyRole).toString();
    const bool hadNone = model->rowCount() == 0;
    if (icons::darkLook() != drawnDark)
        redraw();
    model->update(changed, gone);
    // Widths for the first rows; after that they are the operator's (measuring every row on every poll would cost
    // more than the rest of the update).
    if (hadNone && model->rowCount() > 0) {
        for (int column : {0, 1, 2, 3, 5})
            table->resizeColumnToContents(column);
    }
    pages->setCurrentIndex(model->rowCount() == 0 ? 0 : 1);

    if (selected.isEmpty() && current.isEmpty())
        return;
    const auto place = [this](const QString& key) { return model->index(model->rowOf(key), 0); };
    QItemSelection selection;
    for (const QString& key : std::as_const(selected)) {
        if (const QModelIndex first = place(key); first.isValid())
            selection.select(first, first.siblingAtColumn(model->columnCount() - 1));
    }
    QItemSelectionModel* selectionModel = table->selectionModel();
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
    if (const QModelIndex currentIndex = place(current); currentIndex.isValid())
        selectionModel->setCurrentIndex(currentIndex, QItemSelectionModel::NoUpdate);
    else
        selectionModel->clearCurrentIndex();
}

// Sets one alarm's row: its own, a free one, or a new one for an alarm that came; whether the row may have to move.
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
    const ActiveAlarm* alarm = model->alarm(index.row());
    return alarm ? std::optional<ActiveAlarm>(*alarm) : std::nullopt;
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
