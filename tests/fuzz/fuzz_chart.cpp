// SPDX-License-Identifier: GPL-3.0-or-later
// The chart payloads through the chart's own reading and drawing: labels, series and their scaling.

#include "fuzzsupport.h"
#include "gui/metricchart.h"

#include <QChart>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QJsonDocument doc = fuzzsupport::parse(data, size);
    const QJsonValue value = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    metricLabels(value);
    delete makeChart(readSeries(value), QStringLiteral("x"), int(size % 800));
    return 0;
}
