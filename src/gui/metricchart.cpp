// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/metricchart.h"

#include "core/icons.h"

#include <QApplication>
#include <QChart>
#include <QDateTimeAxis>
#include <QJsonArray>
#include <QJsonObject>
#include <QLegend>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

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
