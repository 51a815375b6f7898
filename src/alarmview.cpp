#include "alarmview.h"

#include "apiclient.h"
#include "icons.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
    const QJsonValue v = record.value(QLatin1String(key));
    return v.isString() ? v.toString() : QString();
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
        statusCell->setForeground(QBrush(icons::statusColor(status, false)));
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
