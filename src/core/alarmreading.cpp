// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/alarmreading.h"

#include "core/lenient.h"
#include "core/statuses.h"

#include <QJsonArray>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

// One part of an alarm key: "-" for a missing id, a number as its integer value, anything else as its text.
QString keyPart(const QJsonValue& value)
{
    if (value.isUndefined() || value.isNull())
        return QStringLiteral("-");
    if (value.isDouble()) {
        const double d = value.toDouble();
        return std::trunc(d) == d ? QString::number(d, 'f', 0) : QStringLiteral("0");
    }
    if (value.isString())
        return value.toString();
    return value.toVariant().toString();
}

bool flag(const QJsonObject& problem, const char* key)
{
    return problem.value(QLatin1String(key)).toBool();
}

} // namespace

AlarmReading AlarmReading::of(const QJsonObject& status)
{
    AlarmReading reading;
    reading.summary = status.value(QLatin1String("summary")).toObject();
    const QJsonArray problems = status.value(QLatin1String("problems")).toArray();
    for (const QJsonValue& value : problems) {
        const QJsonObject problem = value.toObject();
        if (!statuses::isAlarm(lenient::string(problem.value(QLatin1String("status")))))
            continue;
        if (flag(problem, "acknowledged") || flag(problem, "dnd"))
            continue;
        const bool soft = problem.contains(QLatin1String("hard")) && !flag(problem, "hard");
        const QString key = QStringLiteral("%1:%2:%3:%4")
                                .arg(keyPart(problem.value(QLatin1String("host_id"))),
                                    keyPart(problem.value(QLatin1String("plugin_id"))),
                                    keyPart(problem.value(QLatin1String("port_id"))),
                                    QString::number(problem.value(QLatin1String("instance_id")).toInt(0)));
        reading.problems.append({key, problem, soft, false});
    }
    // A key the payload holds twice is the last problem's.
    auto& list = reading.problems;
    std::stable_sort(list.begin(), list.end(), [](const Problem& a, const Problem& b) { return a.key < b.key; });
    const auto last
        = std::unique(list.rbegin(), list.rend(), [](const Problem& a, const Problem& b) { return a.key == b.key; });
    list.erase(list.begin(), last.base());
    return reading;
}

AlarmReader::AlarmReader()
{
    static std::atomic<quint64> readers {0};
    id = ++readers;
}

AlarmReadingPtr AlarmReader::read(const QJsonObject& status)
{
    auto reading = std::make_shared<AlarmReading>(AlarmReading::of(status));
    reading->reader = id;
    reading->serial = ++count;
    if (last) {
        auto was = last->problems.cbegin();
        for (AlarmReading::Problem& is : reading->problems) {
            while (was != last->problems.cend() && was->key < is.key)
                ++was;
            is.same = was != last->problems.cend() && was->key == is.key && was->problem == is.problem;
        }
    }
    beforeLast = std::exchange(last, reading);
    return reading;
}
