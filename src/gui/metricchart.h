// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QChart;

// A metric's recorded history as the chart shows it: the labels and points of the server's payloads, the scale that
// makes the values readable, and the chart drawn from them in the application's look.

// The metric labels of a labels payload, in order.
QStringList metricLabels(const QJsonValue& payload);

// The readable points of a series payload and its unit: points whose time does not read as "yyyy-MM-dd HH:mm:ss"
// or that have no value are left out; a value that is no number counts as 0.
struct MetricSeries {
    QList<QDateTime> times;
    QList<double> values;
    QString unit;
};
MetricSeries readSeries(const QJsonValue& payload);

// The chart of one metric over a number of hours, scaled for reading and drawn in the application's look. The caller
// owns it.
QChart* makeChart(const MetricSeries& series, const QString& label, int hours);

// The divisor and unit label that make a metric series readable: bit rates ("bps") as bit/s, kbit/s ... Tbit/s,
// other units with k, M, G, T once the largest absolute value reaches 1000.
QPair<double, QString> scaleSeries(const QList<double>& values, const QString& unit);
