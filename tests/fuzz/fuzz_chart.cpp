// The metric chart's label list and data series, and the scaling of the series' unit.

#include "apiworker.h"
#include "dialogs.h"
#include "fuzzsupport.h"

#include <QThread>

namespace {

// One dialog takes the series: it never loads labels, so its first request number stays current. Another takes
// label lists, whose first label starts a series request; the URL leads nowhere, so that ends at once.
ChartDialog* series = nullptr;
ChartDialog* labels = nullptr;

void reapWorkers()
{
    for (int i = 0; i < 200 && !ApiWorker::active().isEmpty(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::startApplication();
    const QMap<QString, QVariant> target {{QStringLiteral("kind"), QStringLiteral("plugin")},
        {QStringLiteral("host_id"), 1}, {QStringLiteral("plugin_id"), 2},
        {QStringLiteral("name"), QStringLiteral("x")}};
    series = new ChartDialog(QString(), QString(), target, nullptr);
    labels = new ChartDialog(QString(), QString(), target, nullptr);
    reapWorkers();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QJsonDocument doc = fuzzsupport::parse(data, size);
    const QJsonValue value = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    series->seriesLoaded(0, value);
    labels->labelsLoaded(value);
    reapWorkers();

    QList<double> numbers;
    for (const QJsonValue& v : value[QLatin1String("points")].toArray())
        numbers.append(v[QLatin1String("v")].toDouble());
    scaleSeries(numbers, value[QLatin1String("unit")].toString());
    return 0;
}
