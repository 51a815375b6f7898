// Building the status tree from a payload, at three sizes, against a floor: the same number of plain five-cell rows
// of QStandardItems with their texts, appended to a QStandardItemModel.

#include "treemodel.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QStandardItemModel>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

const char* const Statuses[] = {"ok", "ok", "ok", "ok", "ok", "warning", "critical", "unknown", "stale", "pending"};

// Hosts with ten checks each, every fifth host a switch with four ports, in three levels of nested groups, with a
// share of acknowledged, silenced and soft alarms.
QJsonObject payload(int checkRows)
{
    const int hosts = checkRows / 10;
    const int topGroups = 10;
    const int subGroups = 10;
    QJsonArray groups;
    for (int t = 1; t <= topGroups; ++t) {
        groups.append(QJsonObject {{"id", t}, {"name", QStringLiteral("Region %1").arg(t)}, {"status", "warning"}});
        for (int s = 1; s <= subGroups; ++s) {
            const int id = t * 100 + s;
            groups.append(QJsonObject {{"id", id}, {"name", QStringLiteral("Plats %1").arg(id)}, {"parent_id", t},
                {"status", "ok"}, {"has_acked", s % 3 == 0}});
        }
    }
    QJsonArray hostArray, plugins, ports;
    for (int h = 1; h <= hosts; ++h) {
        const int group = (h % topGroups + 1) * 100 + (h / topGroups) % subGroups + 1;
        hostArray.append(QJsonObject {{"id", h}, {"name", QStringLiteral("host-%1").arg(h)},
            {"address", QStringLiteral("10.%1.%2.%3").arg(h >> 16).arg((h >> 8) & 255).arg(h & 255)},
            {"group_id", h % 50 == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(group)},
            {"status", Statuses[h % 10]}});
        for (int c = 1; c <= 10; ++c) {
            const int n = h * 10 + c;
            QJsonObject check {{"host_id", h}, {"plugin_id", c}, {"name", QStringLiteral("Check %1").arg(c)},
                {"status", Statuses[n % 10]}, {"output_text", QStringLiteral("utdata %1").arg(n)},
                {"last_success_at", "2026-12-06 09:00:00"}};
            if (n % 7 == 0)
                check.insert("acknowledged", true), check.insert("acknowledged_by_name", "op");
            if (n % 11 == 0)
                check.insert("dnd", true);
            if (n % 13 == 0)
                check.insert("hard", false), check.insert("consecutive_failures", 1), check.insert("max_attempts", 3);
            if (c == 10)
                check.insert("instance_id", 2);
            plugins.append(check);
        }
        if (h % 5 == 0) {
            for (int p = 1; p <= 4; ++p) {
                ports.append(
                    QJsonObject {{"host_id", h}, {"port_id", h * 10 + p}, {"name", QStringLiteral("Gi0/%1").arg(p)},
                        {"status", Statuses[(h + p) % 10]}, {"collected_at", "2026-12-06 09:00:00"}});
            }
        }
    }
    return {{"groups", groups}, {"hosts", hostArray}, {"plugins", plugins}, {"ports", ports}};
}

int rowCount(const QJsonObject& p)
{
    return int(p["groups"].toArray().size() + p["hosts"].toArray().size() + p["plugins"].toArray().size()
        + p["ports"].toArray().size());
}

double peakMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_BuildTree(benchmark::State& state)
{
    const QJsonObject p = payload(int(state.range(0)));
    QStandardItemModel model;
    // As in the client, every build replaces the tree of the one before; the first one also warms the heap up.
    treemodel::buildTreeModel(p, &model);
    for (auto _ : state)
        treemodel::buildTreeModel(p, &model);
    state.counters["rows"] = rowCount(p);
    state.counters["peak_MiB"] = peakMiB();
}

void BM_FloorPlainRows(benchmark::State& state)
{
    const int rows = rowCount(payload(int(state.range(0))));
    const QString texts[5] = {QStringLiteral("host-1  (10.0.0.1)"), QStringLiteral("CRITICAL"),
        QStringLiteral("utdata 12345"), QStringLiteral("2026-12-06 09:00:00"), QStringLiteral("försök 1/3")};
    QStandardItemModel model;
    auto fill = [&] {
        model.clear();
        for (int r = 0; r < rows; ++r) {
            model.appendRow({new QStandardItem(texts[0]), new QStandardItem(texts[1]), new QStandardItem(texts[2]),
                new QStandardItem(texts[3]), new QStandardItem(texts[4])});
        }
    };
    fill();
    for (auto _ : state)
        fill();
    state.counters["rows"] = rows;
}

// Prints, after the usual table, each size's time against the floor and per row.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const QString name = QString::fromStdString(run.benchmark_name());
            const double ms = run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMillisecond ? 1.0 : 1e-6);
            (name.startsWith("BM_BuildTree") ? build : floor).insert(run.counters.at("rows"), ms);
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%10s %12s %12s %8s %14s\n", "rows", "build ms", "floor ms", "ratio", "build ns/row");
        for (auto it = build.cbegin(); it != build.cend(); ++it) {
            const double f = floor.value(it.key());
            std::printf("%10.0f %12.1f %12.1f %8.2f %14.0f\n", it.key(), it.value(), f, f > 0 ? it.value() / f : 0,
                it.value() * 1e6 / it.key());
        }
        std::printf("peak resident memory: %.0f MiB\n", peakMiB());
    }

private:
    QMap<double, double> build;
    QMap<double, double> floor;
};

} // namespace

BENCHMARK(BM_BuildTree)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_FloorPlainRows)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the rows carry painted status dots
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
