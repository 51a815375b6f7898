#include "apiworker.h"
#include "dialogs.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>

using standin::Fault;
using testsupport::child;

namespace {

const QString LoadSeries = QStringLiteral("/api/hosts/10/plugins/102/metrics/data");
const QString LoadLabels = QStringLiteral("/api/hosts/10/plugins/102/metrics");

QMap<QString, QVariant> loadCheck()
{
    return {{"kind", "plugin"}, {"host_id", 10}, {"plugin_id", 102}, {"instance_id", 0}, {"name", "Load"}};
}

QMap<QString, QVariant> uplinkPort()
{
    return {{"kind", "port"}, {"host_id", 12}, {"port_id", 500}, {"name", "Gi0/1"}};
}

QLineSeries* seriesOf(ChartDialog* dialog)
{
    const QList<QAbstractSeries*> all = child<QChartView>(dialog, "chartView")->chart()->series();
    return all.isEmpty() ? nullptr : qobject_cast<QLineSeries*>(all.first());
}

template <typename Axis> Axis* axisOf(ChartDialog* dialog, Qt::Orientation orientation)
{
    const QList<QAbstractAxis*> axes = child<QChartView>(dialog, "chartView")->chart()->axes(orientation);
    return axes.isEmpty() ? nullptr : qobject_cast<Axis*>(axes.first());
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(server.listen()); }
    void init();
    void cleanup();

    void silenceDialogChoices_data();
    void silenceDialogChoices();
    void acknowledgementPrompt_data();
    void acknowledgementPrompt();
    void scaleSeries_data();
    void scaleSeries();
    void chartOfACheck();
    void chartOfAPortInBitRates();
    void onlyTheNewestSeriesIsDrawn();
    void emptyLabelList();
    void failuresShowUnderTheChart();
    void pointsAndAxisRange_data();
    void pointsAndAxisRange();

private:
    ChartDialog* openChart(const QMap<QString, QVariant>& target)
    {
        chart = new ChartDialog(server.url(), server.issueToken(QStringLiteral("viewer")), target, nullptr);
        chart->setAttribute(Qt::WA_DeleteOnClose);
        chart->show();
        return chart;
    }
    // Waits until the newest series request has been drawn or has failed.
    void waitForSeries()
    {
        QTRY_VERIFY(
            !chart->findChild<QLabel*>(QStringLiteral("statusLabel"))->text().startsWith(QStringLiteral("\u23f3")));
    }

    standin::StandinServer server;
    QPointer<ChartDialog> chart;
};

void TestDialogs::init()
{
    server.clearFaults();
    server.clearRequests();
    server.setNetwork(standin::Network::sample());
}

void TestDialogs::cleanup()
{
    if (chart)
        chart->close();
    QTRY_VERIFY(ApiWorker::active().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::setPalette(QApplication::style()->standardPalette());
}

void TestDialogs::silenceDialogChoices_data()
{
    QTest::addColumn<int>("index"); // -1: left untouched
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("trimmed");
    // clang-format off
    QTest::newRow("untouched") << -1 << "" << 60 << "";
    QTest::newRow("4 timmar") << 1 << " disk " << 240 << "disk";
    QTest::newRow("8 timmar") << 2 << "" << 480 << "";
    QTest::newRow("24 timmar") << 3 << "   " << 1440 << "";
    QTest::newRow("tills vidare") << 4 << "byte av switch" << 0 << "byte av switch";
    // clang-format on
}

void TestDialogs::silenceDialogChoices()
{
    QFETCH(int, index);
    QFETCH(QString, reason);
    DndDialog dialog(QStringLiteral("web1"), nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Stör ej – web1"));
    auto* combo = dialog.findChild<QComboBox*>();
    QStringList labels;
    for (int i = 0; i < combo->count(); ++i)
        labels.append(combo->itemText(i));
    QCOMPARE(labels, QStringList({"1 timme", "4 timmar", "8 timmar", "24 timmar", "Tills vidare"}));
    testsupport::whenModal([&](QWidget* modal) {
        if (index >= 0)
            modal->findChild<QComboBox*>()->setCurrentIndex(index);
        modal->findChild<QLineEdit*>()->setText(reason);
        QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QTEST(dialog.minutes(), "minutes");
    QTEST(dialog.reason(), "trimmed");
    combo->setCurrentIndex(-1);
    QCOMPARE(dialog.minutes(), 0);
}

void TestDialogs::acknowledgementPrompt_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("comment");
    // clang-format off
    QTest::newRow("comment trimmed") << "  åtgärdas  " << true << "åtgärdas";
    QTest::newRow("empty confirmed") << "" << true << "";
    QTest::newRow("cancelled") << "skrivet men avbrutet" << false << "";
    // clang-format on
}

void TestDialogs::acknowledgementPrompt()
{
    QFETCH(QString, typed);
    QFETCH(bool, confirm);
    QString label;
    testsupport::whenModal([&](QWidget* modal) {
        auto* input = qobject_cast<QInputDialog*>(modal);
        label = input->windowTitle() + QLatin1Char('|') + input->labelText();
        input->setTextValue(typed);
        confirm ? input->accept() : input->reject();
    });
    bool ok = !confirm;
    QTEST(askAckComment(nullptr, QStringLiteral("Disk /"), &ok), "comment");
    QCOMPARE(ok, confirm);
    QCOMPARE(label, QStringLiteral("Kvittera larm|Kvittera Disk /.\nKommentar (valfri):"));
}

void TestDialogs::scaleSeries_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("divisor");
    QTest::addColumn<QString>("label");
    // clang-format off
    QTest::newRow("no values") << QList<double>() << "bps" << 1.0 << "bps";
    QTest::newRow("bps below 1000") << QList<double> {10, 950} << "bps" << 1.0 << "bit/s";
    QTest::newRow("bps megabits") << QList<double> {12500000, 3} << "bps" << 1e6 << "Mbit/s";
    QTest::newRow("bps negative counts by size") << QList<double> {-2500, 10} << "bps" << 1e3 << "kbit/s";
    QTest::newRow("bps beyond tera") << QList<double> {5e15} << "bps" << 1e12 << "Tbit/s";
    QTest::newRow("unit at 999") << QList<double> {999} << "ms" << 1.0 << "ms";
    QTest::newRow("unit at 1000") << QList<double> {1000} << "ms" << 1e3 << "kms";
    QTest::newRow("empty unit small") << QList<double> {0.5} << "" << 1.0 << "";
    QTest::newRow("empty unit large") << QList<double> {2e9} << "" << 1e9 << "G";
    QTest::newRow("Bps is not bps") << QList<double> {100} << "Bps" << 1.0 << "Bps";
    // clang-format on
}

void TestDialogs::scaleSeries()
{
    QFETCH(QList<double>, values);
    QFETCH(QString, unit);
    const auto [divisor, label] = ::scaleSeries(values, unit);
    QTEST(divisor, "divisor");
    QTEST(label, "label");
}

void TestDialogs::chartOfACheck()
{
    openChart(loadCheck());
    QCOMPARE(chart->windowTitle(), QStringLiteral("Graf – Load"));
    auto* period = child<QComboBox>(chart, "periodCombo");
    waitForSeries();
    auto* metric = child<QComboBox>(chart, "metricCombo");
    QVERIFY(metric->isEnabled());
    QCOMPARE(metric->count(), 2);
    QCOMPARE(server.requests(LoadSeries).size(), 1);
    QCOMPARE(server.requests(LoadSeries).first().query, QByteArray("label=load1&hours=24"));
    QCOMPARE(child<QLabel>(chart, "statusLabel")->text(), QString());
    QCOMPARE(seriesOf(chart)->name(), QStringLiteral("load1"));
    QCOMPARE(seriesOf(chart)->count(), 120);
    QCOMPARE(axisOf<QDateTimeAxis>(chart, Qt::Horizontal)->format(), QStringLiteral("HH:mm"));

    period->setCurrentIndex(3); // 7 dagar
    waitForSeries();
    QCOMPARE(server.requests(LoadSeries).last().query, QByteArray("label=load1&hours=168"));
    QCOMPARE(axisOf<QDateTimeAxis>(chart, Qt::Horizontal)->format(), QStringLiteral("MM-dd HH:mm"));
    metric->setCurrentIndex(1);
    waitForSeries();
    QCOMPARE(server.requests(LoadSeries).last().query, QByteArray("label=load5&hours=168"));
    QCOMPARE(seriesOf(chart)->name(), QStringLiteral("load5"));
}

void TestDialogs::chartOfAPortInBitRates()
{
    openChart(uplinkPort());
    waitForSeries();
    QCOMPARE(server.requests(QStringLiteral("/api/hosts/12/switch-ports/500/metrics/data")).first().query,
        QByteArray("label=in&hours=24"));
    QLineSeries* series = seriesOf(chart);
    QCOMPARE(series->name(), QStringLiteral("in (Mbit/s)"));
    double maximum = 0;
    for (const QPointF& p : series->points())
        maximum = std::max(maximum, p.y());
    QVERIFY2(maximum > 100 && maximum < 1000, qPrintable(QString::number(maximum))); // about 250 Mbit/s
    auto* values = axisOf<QValueAxis>(chart, Qt::Vertical);
    QCOMPARE(values->titleText(), QStringLiteral("Mbit/s"));
    QCOMPARE(values->labelFormat(), QStringLiteral("%.0f"));
    QCOMPARE(values->max(), maximum * 1.1);
}

void TestDialogs::onlyTheNewestSeriesIsDrawn()
{
    openChart(loadCheck());
    waitForSeries();
    // The request for 8 hours answers late, the one for 7 days at once: only the 7 days are drawn.
    Fault late = Fault::slow(1200);
    late.times = 1;
    server.setFault(LoadSeries, late);
    auto* period = child<QComboBox>(chart, "periodCombo");
    period->setCurrentIndex(1);
    QTRY_COMPARE(server.requests(LoadSeries).size(), 2);
    period->setCurrentIndex(3);
    QTRY_COMPARE(server.requests(LoadSeries).size(), 3);
    waitForSeries();
    QCOMPARE(axisOf<QDateTimeAxis>(chart, Qt::Horizontal)->format(), QStringLiteral("MM-dd HH:mm"));
    const QChart* drawn = child<QChartView>(chart, "chartView")->chart();
    QTest::qWait(1500); // the late answer arrives and is dropped
    QCOMPARE(child<QChartView>(chart, "chartView")->chart(), drawn);
    QCOMPARE(axisOf<QDateTimeAxis>(chart, Qt::Horizontal)->format(), QStringLiteral("MM-dd HH:mm"));
}

void TestDialogs::emptyLabelList()
{
    server.setFault(LoadLabels, Fault::raw(200, R"({"labels":[]})"));
    openChart(loadCheck());
    QTRY_COMPARE(child<QLabel>(chart, "statusLabel")->text(), QStringLiteral("Inga mätvärden för den här checken."));
    QCOMPARE(child<QComboBox>(chart, "metricCombo")->count(), 0);
    child<QComboBox>(chart, "periodCombo")->setCurrentIndex(0); // nothing to ask for without a label
    QTest::qWait(200);
    QVERIFY(server.requests(LoadSeries).isEmpty());
}

void TestDialogs::failuresShowUnderTheChart()
{
    server.setFault(LoadLabels, Fault::raw(404, R"({"error":"Okänd check"})"));
    openChart(loadCheck());
    QTRY_COMPARE(child<QLabel>(chart, "statusLabel")->text(), QStringLiteral("Okänd check"));
    QVERIFY(!child<QComboBox>(chart, "metricCombo")->isEnabled());
    chart->close();

    server.clearFaults();
    openChart(loadCheck());
    waitForSeries();
    const QChart* drawn = child<QChartView>(chart, "chartView")->chart();
    server.setFault(LoadSeries, Fault::drop());
    child<QComboBox>(chart, "periodCombo")->setCurrentIndex(0);
    QTRY_VERIFY(child<QLabel>(chart, "statusLabel")->text().startsWith(QStringLiteral("Kan inte nå servern: ")));
    QCOMPARE(child<QChartView>(chart, "chartView")->chart(), drawn);
}

void TestDialogs::pointsAndAxisRange_data()
{
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QList<double>>("ys");
    QTest::addColumn<double>("max");
    QTest::addColumn<QString>("format");
    // clang-format off
    QTest::newRow("unreadable points skipped") << QByteArray(R"([{"t":"2026-12-06 10:00:00","v":5},{"t":"2026-12-06T10:01:00","v":6}, {"t":"2026-12-06 10:02:00"},{"t":"2026-12-06 10:03:00","v":"7"},{"v":8},"x", {"t":"2026-12-06 10:04:00","v":10}])") << QList<double> {5, 0, 10} << 11.0 << "%.1f";
    QTest::newRow("maximum exactly 100") << QByteArray(R"([{"t":"2026-12-06 10:00:00","v":100}])") << QList<double> {100} << 110.0 << "%.0f";
    QTest::newRow("maximum 99.9") << QByteArray(R"([{"t":"2026-12-06 10:00:00","v":99.9}])") << QList<double> {99.9} << 99.9 * 1.1 << "%.1f";
    QTest::newRow("all negative") << QByteArray(R"([{"t":"2026-12-06 10:00:00","v":-4}])") << QList<double> {-4} << 1.0 << "%.1f";
    // clang-format on
}

void TestDialogs::pointsAndAxisRange()
{
    QFETCH(QByteArray, points);
    QFETCH(QList<double>, ys);
    server.setFault(LoadSeries, Fault::raw(200, R"({"unit":"","points":)" + points + "}"));
    openChart(loadCheck());
    waitForSeries();
    QList<double> drawn;
    for (const QPointF& p : seriesOf(chart)->points())
        drawn.append(p.y());
    QCOMPARE(drawn, ys);
    QCOMPARE(
        seriesOf(chart)->points().first().x(), double(QDateTime(QDate(2026, 12, 6), QTime(10, 0)).toMSecsSinceEpoch()));
    auto* values = axisOf<QValueAxis>(chart, Qt::Vertical);
    QCOMPARE(values->min(), 0.0);
    QTEST(values->max(), "max");
    QTEST(values->labelFormat(), "format");
}

NORV_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
