// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/serversdialog.h"

#include "core/settings.h"
#include "gui/servertabs.h"
#include "gui/serverview.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

ServersDialog::ServersDialog(ServerTabs* tabs)
    : QDialog(tabs->window())
    , tabs(tabs)
    , table(new QTableWidget(0, 4, this))
    , addButton(new QPushButton(QStringLiteral("Lägg till server…"), this))
    , connectButton(new QPushButton(QStringLiteral("Anslut"), this))
    , disconnectButton(new QPushButton(QStringLiteral("Koppla från"), this))
    , removeButton(new QPushButton(QStringLiteral("Ta bort…"), this))
{
    setWindowTitle(QStringLiteral("Servrar – Norv"));
    resize(720, 320);
    table->setObjectName(QStringLiteral("table"));
    table->setAccessibleName(QStringLiteral("Servrar"));

    auto* layout = new QVBoxLayout(this);
    auto* intro
        = new QLabel(QStringLiteral("Servrar som klienten känner till. Kryssa i <b>Anslut vid start</b> för de som "
                                    "ska öppnas automatiskt när Norv startar. Dubbelklicka på namnet för att byta "
                                    "namn på fliken."),
            this);
    intro->setTextFormat(Qt::RichText);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    table->setHorizontalHeaderLabels({QStringLiteral("Namn"), QStringLiteral("Adress"),
        QStringLiteral("Anslut vid start"), QStringLiteral("Status")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (const int column : {0, 2, 3})
        table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(table, &QTableWidget::itemChanged, this, &ServersDialog::itemChanged);
    connect(table, &QTableWidget::itemSelectionChanged, this, &ServersDialog::updateButtons);
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column == 3)
            connectSelected();
    });
    layout->addWidget(table);

    auto* row = new QHBoxLayout;
    row->addWidget(addButton);
    row->addWidget(connectButton);
    row->addWidget(disconnectButton);
    row->addWidget(removeButton);
    row->addStretch();
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    row->addWidget(close);
    layout->addLayout(row);
    connect(addButton, &QPushButton::clicked, this, &ServersDialog::addServer);
    connect(connectButton, &QPushButton::clicked, this, &ServersDialog::connectSelected);
    connect(disconnectButton, &QPushButton::clicked, this, &ServersDialog::disconnectSelected);
    connect(removeButton, &QPushButton::clicked, this, &ServersDialog::removeSelected);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

    reload(QString());
}

void ServersDialog::reload(const QString& selectId)
{
    const QString select = selectId.isEmpty() ? selectedId() : selectId;
    reloading = true;
    table->clearSelection();
    const QList<settings::ServerEntry> list = settings::servers();
    table->setRowCount(int(list.size()));
    for (int r = 0; r < list.size(); ++r) {
        const settings::ServerEntry& entry = list.at(r);
        auto* name = new QTableWidgetItem(entry.label());
        name->setData(Qt::UserRole, entry.id);
        auto* address = new QTableWidgetItem(entry.url);
        address->setFlags(address->flags() & ~Qt::ItemIsEditable);
        auto* autoconnect = new QTableWidgetItem;
        autoconnect->setFlags((autoconnect->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
        autoconnect->setCheckState(entry.autoconnect ? Qt::Checked : Qt::Unchecked);
        auto* state
            = new QTableWidgetItem(tabs->view(entry.id) ? QStringLiteral("Ansluten") : QStringLiteral("Inte ansluten"));
        state->setFlags(state->flags() & ~Qt::ItemIsEditable);
        table->setItem(r, 0, name);
        table->setItem(r, 1, address);
        table->setItem(r, 2, autoconnect);
        table->setItem(r, 3, state);
        if (entry.id == select)
            table->selectRow(r);
    }
    reloading = false;
    updateButtons();
}

QString ServersDialog::selectedId() const
{
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    if (selected.isEmpty())
        return QString();
    const QTableWidgetItem* name = table->item(selected.first()->row(), 0);
    return name ? name->data(Qt::UserRole).toString() : QString();
}

void ServersDialog::updateButtons()
{
    const QString id = selectedId();
    const bool open = !id.isEmpty() && tabs->view(id);
    connectButton->setEnabled(!id.isEmpty() && !open);
    disconnectButton->setEnabled(open);
    removeButton->setEnabled(!id.isEmpty());
    addButton->setEnabled(true);
}

void ServersDialog::itemChanged(QTableWidgetItem* item)
{
    if (reloading)
        return;
    const QTableWidgetItem* nameItem = table->item(item->row(), 0);
    const QString id = nameItem ? nameItem->data(Qt::UserRole).toString() : QString();
    if (id.isEmpty())
        return;
    if (item->column() == 0) {
        QString name = item->text().trimmed();
        // Renamed to the URL's own host: store no name, so that the label keeps following the URL.
        const std::optional<settings::ServerEntry> entry = settings::findServer(id);
        if (entry && name == settings::defaultServerName(entry->url))
            name.clear();
        settings::setServerName(id, name);
        tabs->rename(id);
        // Not inside the table's own change notification.
        QTimer::singleShot(0, this, [this, id] { reload(id); });
    } else if (item->column() == 2) {
        settings::setServerAutoconnect(id, item->checkState() == Qt::Checked);
    }
}

void ServersDialog::addServer()
{
    if (const std::optional<settings::ServerEntry> entry = tabs->logIn(QString()))
        reload(entry->id);
}

void ServersDialog::connectSelected()
{
    const std::optional<settings::ServerEntry> entry = settings::findServer(selectedId());
    if (!entry)
        return;
    tabs->open(*entry, QString());
    reload(entry->id);
}

void ServersDialog::disconnectSelected()
{
    const QString id = selectedId();
    if (id.isEmpty())
        return;
    tabs->close(id);
    reload(id);
}

void ServersDialog::removeSelected()
{
    const std::optional<settings::ServerEntry> entry = settings::findServer(selectedId());
    if (!entry)
        return;
    const QMessageBox::StandardButton answer = QMessageBox::question(this, QStringLiteral("Ta bort server"),
        QStringLiteral("Ta bort %1 (%2) ur listan?\n\nInloggningen återkallas på servern och tokenen tas bort från den "
                       "här datorn.")
            .arg(entry->label(), entry->url),
        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    tabs->remove(entry->id);
    reload(QString());
}
