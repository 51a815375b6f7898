#include "dialogs.h"

#include "apiclient.h"
#include "apiworker.h"
#include "icons.h"
#include "settings.h"
#include "treemodel.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

const QList<QPair<QString, int>> DndDialog::Presets {
    {QStringLiteral("1 timme"), 60},
    {QStringLiteral("4 timmar"), 240},
    {QStringLiteral("8 timmar"), 480},
    {QStringLiteral("24 timmar"), 1440},
    {QStringLiteral("Tills vidare"), 0},
};

DndDialog::DndDialog(const QString& name, QWidget* parent)
    : QDialog(parent)
    , durationCombo(new QComboBox(this))
    , reasonEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Stör ej – %1").arg(name));
    for (const auto& preset : Presets)
        durationCombo->addItem(preset.first);
    durationCombo->setCurrentIndex(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Längd"), durationCombo);
    form->addRow(QStringLiteral("Anledning (valfri)"), reasonEdit);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int DndDialog::minutes() const
{
    const int index = durationCombo->currentIndex();
    if (index < 0 || index >= Presets.size())
        return 0;
    return Presets.at(index).second;
}

QString DndDialog::reason() const
{
    return reasonEdit->text().trimmed();
}

SettingsDialog::SettingsDialog(QWidget* parent)
    : QDialog(parent)
    , alarmOnSoftCheck(
          new QCheckBox(QStringLiteral("Larma redan vid mjuka larm (försök 1/3, innan mail skickas)"), this))
    , alarmSoundCheck(new QCheckBox(QStringLiteral("Ljud vid nya larm"), this))
    , themeCombo(new QComboBox(this))
    , fontCombo(new QFontComboBox(this))
    , fontSizeSpin(new QSpinBox(this))
    , intervalSpin(new QSpinBox(this))
{
    setWindowTitle(QStringLiteral("Inställningar – Norv GUI"));
    alarmOnSoftCheck->setObjectName(QStringLiteral("alarmOnSoftCheck"));
    alarmSoundCheck->setObjectName(QStringLiteral("alarmSoundCheck"));
    themeCombo->setObjectName(QStringLiteral("themeCombo"));
    fontCombo->setObjectName(QStringLiteral("fontCombo"));
    fontSizeSpin->setObjectName(QStringLiteral("fontSizeSpin"));
    intervalSpin->setObjectName(QStringLiteral("intervalSpin"));

    alarmOnSoftCheck->setChecked(settings::alarmOnSoft());
    alarmSoundCheck->setChecked(settings::alarmSound());
    themeCombo->addItem(QStringLiteral("Följ systemet"), QStringLiteral("system"));
    themeCombo->addItem(QStringLiteral("Ljust"), QStringLiteral("light"));
    themeCombo->addItem(QStringLiteral("Mörkt"), QStringLiteral("dark"));
    themeCombo->setCurrentIndex(
        std::max(0, themeCombo->findData(settings::theme(), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive)));
    const QString family = settings::fontFamily();
    if (!family.isEmpty())
        fontCombo->setCurrentFont(QFont(family));
    fontSizeSpin->setRange(0, 24);
    fontSizeSpin->setSpecialValueText(QStringLiteral("Systemets standard"));
    fontSizeSpin->setValue(settings::fontSize());
    intervalSpin->setRange(settings::MinRefreshSeconds, 300);
    intervalSpin->setSuffix(QStringLiteral(" s"));
    intervalSpin->setValue(settings::refreshSeconds());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Larmtröskel"), alarmOnSoftCheck);
    form->addRow(QStringLiteral("Ljud"), alarmSoundCheck);
    form->addRow(QStringLiteral("Utseende"), themeCombo);
    form->addRow(QStringLiteral("Font"), fontCombo);
    form->addRow(QStringLiteral("Fontstorlek"), fontSizeSpin);
    form->addRow(QStringLiteral("Uppdateringsintervall"), intervalSpin);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void SettingsDialog::save()
{
    settings::setAlarmOnSoft(alarmOnSoftCheck->isChecked());
    settings::setAlarmSound(alarmSoundCheck->isChecked());
    settings::setTheme(themeCombo->currentData().toString());
    settings::setFont(fontCombo->currentFont().family(), fontSizeSpin->value());
    settings::setRefreshSeconds(intervalSpin->value());
}

QString askAckComment(QWidget* parent, const QString& name, bool* ok)
{
    const QString text = QInputDialog::getText(parent, QStringLiteral("Kvittera larm"),
        QStringLiteral("Kvittera %1.\nKommentar (valfri):").arg(name), QLineEdit::Normal, QString(), ok);
    return *ok ? text.trimmed() : QString();
}

QPair<double, QString> scaleSeries(const QList<double>& values, const QString& unit)
{
    if (values.isEmpty())
        return {1.0, unit};
    double m = 0;
    for (const double v : values)
        m = std::max(m, std::abs(v));
    QStringList names;
    if (unit == QLatin1String("bps")) {
        names = {QStringLiteral("bit/s"), QStringLiteral("kbit/s"), QStringLiteral("Mbit/s"), QStringLiteral("Gbit/s"),
            QStringLiteral("Tbit/s")};
    } else {
        if (m < 1000)
            return {1.0, unit};
        names = {
            unit, QLatin1Char('k') + unit, QLatin1Char('M') + unit, QLatin1Char('G') + unit, QLatin1Char('T') + unit};
    }
    int step = 0;
    double divisor = 1.0;
    while (m >= 1000 && step < 4) {
        m /= 1000;
        divisor *= 1000;
        ++step;
    }
    return {divisor, names.at(step)};
}

namespace {

QColor windowTextColor()
{
    return QApplication::palette().color(QPalette::WindowText);
}

void applyAxisTheme(QAbstractAxis* axis)
{
    const QColor text = windowTextColor();
    QColor faint = text;
    faint.setAlpha(60);
    axis->setLabelsColor(text);
    axis->setTitleBrush(QBrush(text));
    axis->setGridLineColor(faint);
    QPen line = axis->linePen();
    line.setColor(faint);
    axis->setLinePen(line);
}

} // namespace

QStringList metricLabels(const QJsonValue& payload)
{
    QStringList labels;
    for (const QJsonValue& label : payload[QLatin1String("labels")].toArray())
        labels.append(label.toString());
    return labels;
}

MetricSeries readSeries(const QJsonValue& payload)
{
    MetricSeries series;
    const QJsonArray points = payload[QLatin1String("points")].toArray();
    for (const QJsonValue& point : points) {
        const QJsonObject p = point.toObject();
        const QDateTime t
            = QDateTime::fromString(p.value(QLatin1String("t")).toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!t.isValid() || !p.contains(QLatin1String("v")))
            continue;
        series.times.append(t);
        series.values.append(p.value(QLatin1String("v")).toDouble(0));
    }
    series.unit = payload[QLatin1String("unit")].toString();
    return series;
}

QChart* makeChart(const MetricSeries& series, const QString& label, int hours)
{
    const auto [divisor, unitLabel] = scaleSeries(series.values, series.unit);
    auto* line = new QLineSeries;
    line->setName(unitLabel.isEmpty() ? label : QStringLiteral("%1 (%2)").arg(label, unitLabel));
    QPen pen(icons::statusColor(QStringLiteral("ok"), false));
    pen.setWidthF(1.6);
    line->setPen(pen);
    QList<double> scaled;
    for (qsizetype i = 0; i < series.times.size(); ++i) {
        const double y = series.values.at(i) / divisor;
        line->append(double(series.times.at(i).toMSecsSinceEpoch()), y);
        scaled.append(y);
    }

    auto* chart = new QChart;
    chart->setTheme(icons::darkLook() ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart->setBackgroundVisible(false);
    chart->setPlotAreaBackgroundVisible(false);
    chart->setTitleBrush(QBrush(windowTextColor()));
    chart->legend()->setLabelColor(windowTextColor());
    chart->addSeries(line);

    auto* timeAxis = new QDateTimeAxis;
    timeAxis->setFormat(hours <= 24 ? QStringLiteral("HH:mm") : QStringLiteral("MM-dd HH:mm"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    line->attachAxis(timeAxis);

    auto* valueAxis = new QValueAxis;
    if (!unitLabel.isEmpty())
        valueAxis->setTitleText(unitLabel);
    chart->addAxis(valueAxis, Qt::AlignLeft);
    applyAxisTheme(timeAxis);
    applyAxisTheme(valueAxis);
    line->attachAxis(valueAxis);
    // The range is set once the axis is attached, so that the series' own extent does not replace it.
    if (!scaled.isEmpty()) {
        const double maximum = *std::max_element(scaled.cbegin(), scaled.cend());
        valueAxis->setRange(0, maximum > 0 ? maximum * 1.1 : 1);
        valueAxis->setLabelFormat(maximum < 100 ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
    }
    chart->legend()->show();
    return chart;
}

const QList<QPair<int, QString>> ChartDialog::HoursChoices {
    {1, QStringLiteral("1 timme")},
    {8, QStringLiteral("8 timmar")},
    {24, QStringLiteral("24 timmar")},
    {168, QStringLiteral("7 dagar")},
    {720, QStringLiteral("30 dagar")},
};

ChartDialog::ChartDialog(
    const QString& baseUrl, const QString& token, const QMap<QString, QVariant>& target, QWidget* parent)
    : QDialog(parent)
    , baseUrl(baseUrl)
    , token(token)
    , target(target)
    , metricCombo(new QComboBox(this))
    , periodCombo(new QComboBox(this))
    , chartView(new QChartView(this))
    , statusLabel(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Graf – %1").arg(treemodel::Target::of(target).shownName));
    resize(860, 480);
    metricCombo->setObjectName(QStringLiteral("metricCombo"));
    periodCombo->setObjectName(QStringLiteral("periodCombo"));
    chartView->setObjectName(QStringLiteral("chartView"));
    statusLabel->setObjectName(QStringLiteral("statusLabel"));

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Metric:"), this));
    row->addWidget(metricCombo);
    row->addWidget(new QLabel(QStringLiteral("Tidsperiod:"), this));
    row->addWidget(periodCombo);
    row->addStretch();
    layout->addLayout(row);
    chartView->setRenderHint(QPainter::Antialiasing);
    layout->addWidget(chartView);
    layout->addWidget(statusLabel);

    for (const auto& choice : HoursChoices)
        periodCombo->addItem(choice.second, choice.first);
    periodCombo->setCurrentIndex(2);
    connect(metricCombo, &QComboBox::currentIndexChanged, this, &ChartDialog::reload);
    connect(periodCombo, &QComboBox::currentIndexChanged, this, &ChartDialog::reload);
    loadLabels();
}

void ChartDialog::loadLabels()
{
    setLoading(QStringLiteral("\u23f3 Hämtar mätvärden…"));
    metricCombo->setEnabled(false);
    const treemodel::Target t = treemodel::Target::of(target);
    auto* worker = new ApiWorker(
        [t](ApiClient& client) {
            return QJsonValue(client.metricLabels(t.hostId, t.pluginId, t.portId, t.instanceId));
        },
        baseUrl, token);
    connect(worker, &ApiWorker::done, this, &ChartDialog::labelsLoaded);
    connect(worker, &ApiWorker::failed, this, &ChartDialog::setLoading);
    worker->startTracked();
}

void ChartDialog::labelsLoaded(const QJsonValue& value)
{
    metricCombo->setEnabled(true);
    const QSignalBlocker blocker(metricCombo);
    metricCombo->clear();
    metricCombo->addItems(metricLabels(value));
    if (metricCombo->count() > 0)
        reload();
    else
        setLoading(QStringLiteral("Inga mätvärden för den här checken."));
}

void ChartDialog::reload()
{
    const QString label = metricCombo->currentText();
    if (label.isEmpty())
        return;
    const int hours = periodCombo->currentData().toInt();
    setLoading(QStringLiteral("\u23f3 Hämtar grafdata…"));
    const int seq = ++requestSeq;
    const treemodel::Target t = treemodel::Target::of(target);
    auto* worker = new ApiWorker(
        [t, label, hours](ApiClient& client) {
            return QJsonValue(client.metricSeries(t.hostId, t.pluginId, t.portId, label, hours, t.instanceId));
        },
        baseUrl, token);
    connect(worker, &ApiWorker::done, this, [this, seq](const QJsonValue& v) { seriesLoaded(seq, v); });
    connect(worker, &ApiWorker::failed, this, [this, seq](const QString& message) {
        if (seq == requestSeq) // a superseded request's failure is of no interest
            setLoading(message);
    });
    worker->startTracked();
}

void ChartDialog::seriesLoaded(int seq, const QJsonValue& value)
{
    if (seq != requestSeq)
        return;
    statusLabel->clear();
    QChart* chart = makeChart(readSeries(value), metricCombo->currentText(), periodCombo->currentData().toInt());
    // The view does not delete the chart it gives up.
    QChart* previous = chartView->chart();
    chartView->setChart(chart);
    delete previous;
}

void ChartDialog::setLoading(const QString& text)
{
    statusLabel->setText(text);
}
