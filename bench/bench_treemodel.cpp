// SPDX-License-Identifier: GPL-3.0-or-later
// A server tab handling tree payloads at three sizes, on the window's thread: the first tree, a steady poll with no
// change, and a poll with 1 % of the checks changed and a few hosts added and removed; against a floor, the same
// number of plain five-cell rows of QStandardItems with their texts appended to a QStandardItemModel. Also the
// work the poller's thread does with each tree (reading it and comparing it with the last), beside simdjson's bare
// parse of the same text and Qt's JSON document.

#include "gui/serverview.h"
#include "tree/treemodel.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStandardItemModel>
#include <QTreeView>

#include <benchmark/benchmark.h>
#include <simdjson.h>

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

// The payload of the next poll: 1 % of the check rows with another status, output and last OK, two hosts gone and two
// new ones with their checks.
QJsonObject changedPayload(const QJsonObject& before)
{
    QJsonObject p = before;
    QJsonArray plugins = p["plugins"].toArray();
    for (qsizetype i = 0; i < plugins.size(); i += 100) {
        QJsonObject check = plugins.at(i).toObject();
        check["status"] = check["status"].toString() == QLatin1String("ok") ? "critical" : "ok";
        check["output_text"] = QStringLiteral("ändrad %1").arg(i);
        check["last_success_at"] = "2026-12-06 09:05:00";
        plugins.replace(i, check);
    }
    QJsonArray hosts = p["hosts"].toArray();
    const int firstNew = int(hosts.size()) + 1000000;
    for (int h = 0; h < 2; ++h) {
        hosts.removeAt(hosts.size() / 2 + h * 7);
        hosts.append(QJsonObject {{"id", firstNew + h}, {"name", QStringLiteral("ny-%1").arg(h)}, {"group_id", 101}});
        for (int c = 1; c <= 10; ++c)
            plugins.append(QJsonObject {{"host_id", firstNew + h}, {"plugin_id", c}, {"status", "pending"}});
    }
    p["hosts"] = hosts;
    p["plugins"] = plugins;
    return p;
}

// A payload's JSON text, as a server sends it; the document it was made from is gone when it is read. With room for
// simdjson's padding, so that reading it does not copy it.
QByteArray text(const QJsonObject& payload)
{
    QByteArray json = QJsonDocument(payload).toJson(QJsonDocument::Compact);
    json.reserve(json.size() + qsizetype(simdjson::SIMDJSON_PADDING));
    return json;
}

// The texts of a first tree and of its successor (the same, or with 1 % changed and hosts in and out), and the
// number of records of the first.
struct Texts {
    QByteArray first;
    QByteArray second;
    int rows;
};
Texts texts(int checkRows, bool change)
{
    const QJsonObject first = payload(checkRows);
    QByteArray json = text(first);
    return {json, change ? text(changedPayload(first)) : json, rowCount(first)};
}

// Reads a tree's text as the poller does, and compares it with the tree sent before.
struct Poller {
    treemodel::TreeReader reader;
    treemodel::TreeDiff diff;
    treemodel::TreeUpdatePtr next(QByteArray& json)
    {
        if (!reader.read(json))
            std::abort();
        return diff.next(reader);
    }
};

// A real server tab, shown, with its top-level groups open, that handles tree updates as the poller delivers them.
struct Tab {
    std::unique_ptr<ServerView> view = std::make_unique<ServerView>(
        settings::ServerEntry {"bench", "http://127.0.0.1:9", "Bench", true, QString()}, QString(), nullptr);
    QTreeView* tree = view->findChild<QTreeView*>(QStringLiteral("tree"));
    Tab()
    {
        view->resize(1100, 700);
        view->show();
        QCoreApplication::processEvents();
    }
    // The whole handling of one tree on the window's thread: the model, the filter, the tree's state and the view's
    // layout of its rows (asking for a row's place makes the view lay out what it had put off). Painting the rows
    // that show comes on top; it depends on the size of the window, not on the tree's.
    void handle(const treemodel::TreeUpdatePtr& update)
    {
        view->onTree(update);
        tree->visualRect(tree->model()->index(0, 0));
    }
    // Paints what the last tree changed, outside the clock.
    void paint(benchmark::State& state)
    {
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    void openTopLevel()
    {
        for (int r = 0; r < tree->model()->rowCount(); ++r)
            tree->expand(tree->model()->index(r, 0));
        QCoreApplication::processEvents();
    }
};

// The first tree of a tab, from scratch.
void BM_FirstTree(benchmark::State& state)
{
    Texts json = texts(int(state.range(0)), false);
    for (auto _ : state) {
        state.PauseTiming();
        auto tab = std::make_unique<Tab>();
        treemodel::TreeUpdatePtr update = Poller().next(json.first);
        state.ResumeTiming();
        tab->handle(update);
        tab->paint(state);
        state.PauseTiming();
        update.reset();
        tab.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = json.rows;
    state.counters["peak_MiB"] = peakMiB();
}

// Polls that alternate between two payloads: the same tree twice (range 1 = 0), or a tree and its changed
// successor (range 1 = 1). Each update is worked out against the tree the tab shows, as the poller does, before the
// clock runs.
void BM_Poll(benchmark::State& state)
{
    Texts json = texts(int(state.range(0)), state.range(1) != 0);
    QByteArray* sent[2] = {&json.first, &json.second};
    Poller poller;
    Tab tab;
    treemodel::TreeUpdatePtr update = poller.next(json.first);
    tab.handle(update);
    tab.openTopLevel();
    qsizetype next = 1;
    double changed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        update = poller.next(*sent[next++ % 2]);
        changed = double(update->changed.size());
        state.ResumeTiming();
        tab.handle(update);
        tab.paint(state);
    }
    state.counters["rows"] = json.rows;
    state.counters["changed"] = changed;
    state.counters["peak_MiB"] = peakMiB();
}

// What the poller's thread does with each tree before the window sees it: read it and compare it with the last (the
// window took that one, so only the changed and new rows are read out). One reader for all rounds, as a poller has.
void BM_ReadAndCompare(benchmark::State& state)
{
    Texts json = texts(int(state.range(0)), true);
    Poller poller;
    for (auto _ : state) {
        state.PauseTiming();
        poller.next(json.first)->taken->store(true);
        state.ResumeTiming();
        const treemodel::TreeUpdatePtr update = poller.next(json.second);
        state.PauseTiming();
        update->taken->store(true); // the window took it
        state.ResumeTiming();
    }
    state.counters["rows"] = json.rows;
}

// simdjson's own parse of the same text, to nothing but its document.
void BM_BareParse(benchmark::State& state)
{
    const Texts json = texts(int(state.range(0)), true);
    simdjson::dom::parser parser;
    simdjson::dom::element warm; // the parser's memory is made before the clock runs, as the poller's reader has it
    if (parser.parse(json.second.constData(), size_t(json.second.size()), false).get(warm) != simdjson::SUCCESS)
        std::abort();
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(json.second.constData(), size_t(json.second.size()), false).get(root) != simdjson::SUCCESS)
            std::abort();
        benchmark::DoNotOptimize(root);
    }
    state.counters["rows"] = json.rows;
}

// Qt's JSON document of the same text.
void BM_QtParse(benchmark::State& state)
{
    const Texts json = texts(int(state.range(0)), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(QJsonDocument::fromJson(json.second));
    state.counters["rows"] = json.rows;
}

void BM_FloorPlainRows(benchmark::State& state)
{
    const int rows = rowCount(payload(int(state.range(0))));
    const QString texts[5] = {QStringLiteral("host-1  (10.0.0.1)"), QStringLiteral("CRITICAL"),
        QStringLiteral("utdata 12345"), QStringLiteral("2026-12-06 09:00:00"), QStringLiteral("försök 1/3")};
    QStandardItemModel model;
    for (auto _ : state) {
        // Taken apart outside the clock, as the first tree is measured into an empty tab.
        state.PauseTiming();
        model.clear();
        state.ResumeTiming();
        for (int r = 0; r < rows; ++r) {
            model.appendRow({new QStandardItem(texts[0]), new QStandardItem(texts[1]), new QStandardItem(texts[2]),
                new QStandardItem(texts[3]), new QStandardItem(texts[4])});
        }
    }
    state.counters["rows"] = rows;
}

// Prints, after the usual table, each size's times against the floor and against the first tree.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const QString name = QString::fromStdString(run.benchmark_name());
            const double ms = run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMillisecond ? 1.0 : 1e-6);
            const double rows = run.counters.at("rows");
            if (name.startsWith("BM_FirstTree"))
                first.insert(rows, ms);
            else if (name.startsWith("BM_FloorPlainRows"))
                floor.insert(rows, ms);
            else if (name.startsWith("BM_ReadAndCompare"))
                offThread.insert(rows, ms);
            else if (name.startsWith("BM_BareParse"))
                bareParse.insert(rows, ms);
            else if (name.startsWith("BM_QtParse"))
                qtParse.insert(rows, ms);
            else
                (name.contains(QLatin1String("/0/")) ? steady : changed).insert(rows, ms);
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nOn the window's thread:\n%9s %9s %9s %7s %10s %9s %8s %9s %8s %11s\n", "rows", "first ms",
            "floor ms", "ratio", "ns/row", "steady ms", "of first", "change ms", "of first", "poller ms");
        for (auto it = first.cbegin(); it != first.cend(); ++it) {
            const double f = floor.value(it.key());
            const double s = steady.value(it.key());
            const double c = changed.value(it.key());
            std::printf("%9.0f %9.1f %9.1f %7.2f %10.0f %9.2f %7.1f%% %9.2f %7.1f%% %11.1f\n", it.key(), it.value(), f,
                f > 0 ? it.value() / f : 0, it.value() * 1e6 / it.key(), s, 100 * s / it.value(), c,
                100 * c / it.value(), offThread.value(it.key()));
        }
        std::printf("\nOn the poller's thread (a poll with 1 %% changed):\n%9s %11s %13s %7s %13s\n", "rows",
            "poller ms", "simdjson ms", "ratio", "Qt JSON ms");
        for (auto it = offThread.cbegin(); it != offThread.cend(); ++it) {
            const double bare = bareParse.value(it.key());
            std::printf("%9.0f %11.1f %13.1f %7.2f %13.1f\n", it.key(), it.value(), bare,
                bare > 0 ? it.value() / bare : 0, qtParse.value(it.key()));
        }
        std::printf("peak resident memory: %.0f MiB\n", peakMiB());
    }

private:
    QMap<double, double> first, floor, steady, changed, offThread, bareParse, qtParse;
};

// Fixed numbers of rounds per size: the set-up of a large tab (and taking it apart) takes far longer than what is
// measured. A benchmark's number of rounds holds for all its arguments, so each size is a benchmark of its own.
void sizes(const char* name, void (*function)(benchmark::State&), std::initializer_list<int64_t> extra = {})
{
    for (const auto& [rows, rounds] : {std::pair {1000, 64}, std::pair {10000, 16}, std::pair {100000, 6}}) {
        benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(name, function);
        if (extra.size() == 0)
            b->Args({rows});
        for (const int64_t e : extra)
            b->Args({rows, e});
        b->Iterations(rounds)->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the rows carry painted status dots
    sizes("BM_FirstTree", BM_FirstTree);
    sizes("BM_Poll", BM_Poll, {0, 1});
    sizes("BM_ReadAndCompare", BM_ReadAndCompare);
    sizes("BM_BareParse", BM_BareParse);
    sizes("BM_QtParse", BM_QtParse);
    sizes("BM_FloorPlainRows", BM_FloorPlainRows);
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
