// Measurement table benchmarks, run by hand (not part of ctest):
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-release --target bench_store
//   build-release/bench/bench_store
// It writes a 100,000-row measurement table into a temporary folder, times opening and reading
// it, switching the kind filter, and sorting by P and by DATE, and compares each with
// python3-dbfread reading the same file (the baseline). The last tables printed give the
// ratios and each goal with whether this run met it; --benchmark_repetitions=3 makes every
// figure a median of three.

#include "store/measurement_table.h"

#include <QTemporaryDir>

#include "bench_tables.h"
#include "child_process.h"
#include "timing_reporter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using store::Field;
using store::MeasurementTable;

constexpr int kRows = 100'000;
constexpr char kBaseline[] = "BM_Baseline_PythonDbfreadReadAll";
// The goals of this machine: opening and reading everything, in time and against dbfread.
constexpr double kAimOpenSeconds = 0.060;
constexpr double kAimTimesDbfread = 30;

QString g_table; // the generated table

// Every field of every row, as the export and the reports read them.
void BM_OpenAndReadEveryField(benchmark::State& state)
{
    for (auto _ : state) {
        MeasurementTable t;
        t.open(g_table);
        const auto& fields = t.table().fields();
        std::size_t rows = 0;
        for (t.table().first(); !t.table().eof(); t.table().next(), ++rows) {
            for (int f = 0; f < store::kFieldCount; ++f) {
                if (fields[static_cast<std::size_t>(t.column(static_cast<Field>(f)))].type == store::FieldType::Character)
                    benchmark::DoNotOptimize(t.text(static_cast<Field>(f)));
                else
                    benchmark::DoNotOptimize(t.real(static_cast<Field>(f)));
            }
        }
        if (rows != kRows)
            state.SkipWithError("not every row was read");
    }
}
BENCHMARK(BM_OpenAndReadEveryField)->Unit(benchmark::kMillisecond);

// Switching the grid tab: the other kind's filter, a refresh, and the exact count.
void BM_SwitchKindFilterAndCount(benchmark::State& state)
{
    MeasurementTable t;
    t.open(g_table);
    int kind = store::kPenetrometerKind;
    for (auto _ : state) {
        kind = 1 - kind;
        t.table().setFilter(store::kindFilter(kind));
        t.table().refresh();
        benchmark::DoNotOptimize(t.table().recordCount());
    }
}
BENCHMARK(BM_SwitchKindFilterAndCount)->Unit(benchmark::kMillisecond);

// A click on a column title of the first tab: build the tag and make it the active order.
void sortBy(benchmark::State& state, Field field)
{
    MeasurementTable t;
    t.open(g_table);
    t.table().setFilter(store::kindFilter(store::kPenetrometerKind));
    t.table().refresh();
    for (auto _ : state) {
        t.addSortTag(store::kTab1, field, false);
        t.table().setIndexName(store::kTab1);
        benchmark::DoNotOptimize(t.table().recordCount());
        state.PauseTiming();
        t.table().setIndexName("");
        t.table().deleteIndex(store::kTab1);
        state.ResumeTiming();
    }
}
void BM_SortByP(benchmark::State& state) { sortBy(state, Field::P); }
void BM_SortByDate(benchmark::State& state) { sortBy(state, Field::DATE); }
BENCHMARK(BM_SortByP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByDate)->Unit(benchmark::kMillisecond);

// The baseline: python3-dbfread opening the same file and reading every field of every row.
// The time is the one the script measures around its own reading; the interpreter's start-up
// is shown as a counter.
void BM_Baseline_PythonDbfreadReadAll(benchmark::State& state)
{
    const std::string command =
        "/usr/bin/python3 -c \"import sys, time\n"
        "from dbfread import DBF\n"
        "t0 = time.perf_counter()\n"
        "n = sum(1 for r in DBF(sys.argv[1], encoding='cp1251'))\n"
        "print(time.perf_counter() - t0, n)\" '" + g_table.toStdString() + "' 2>&1";
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        FILE* p = ::popen(command.c_str(), "r");
        double seconds = 0;
        long rows = 0;
        const bool parsed = p && std::fscanf(p, "%lf %ld", &seconds, &rows) == 2;
        const int status = p ? ::pclose(p) : -1;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!parsed || status != 0 || rows != kRows) {
            state.SkipWithError("/usr/bin/python3 with python3-dbfread did not read the table");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["with_startup_s"] = benchmark::Counter(wall, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Baseline_PythonDbfreadReadAll)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Prints the usual table, then each benchmark's time against the baseline.
class RatioReporter : public bench::TimingReporter {
public:
    void record(const Run& run, double seconds) override { m_seconds[run.run_name.function_name] = seconds; }

    void printRatios() const
    {
        const auto base = m_seconds.find(kBaseline);
        const std::map<std::string, double> aims = {
            {"BM_OpenAndReadEveryField", kAimOpenSeconds}, {"BM_SortByP", 0.1}, {"BM_SortByDate", 0.1}};
        std::printf("\n%-36s %12s %16s %14s %10s\n", "benchmark (100,000 rows)", "time, ms", "ours / dbfread",
                    "times faster", "aim, ms");
        for (const auto& [name, seconds] : m_seconds) {
            if (name == kBaseline)
                continue;
            std::printf("%-36s %12.2f", name.c_str(), seconds * 1e3);
            if (base != m_seconds.end())
                std::printf(" %16.4f %14.1f", seconds / base->second, base->second / seconds);
            else
                std::printf(" %16s %14s", "n/a", "n/a");
            const auto aim = aims.find(name);
            if (aim != aims.end())
                std::printf(" %10.0f", aim->second * 1e3);
            std::printf("\n");
        }
        if (base != m_seconds.end())
            std::printf("%-36s %12.2f %16.4f %14.1f\n", kBaseline, base->second * 1e3, 1.0, 1.0);
        else
            std::printf("baseline not measured: /usr/bin/python3 lacks python3-dbfread\n");

        std::printf("\ngoals:\n");
        const auto open = m_seconds.find("BM_OpenAndReadEveryField");
        if (open != m_seconds.end()) {
            bench::printGoal("open and read every field of 100,000 rows", open->second * 1e3, "ms", "<",
                             kAimOpenSeconds * 1e3);
            if (base != m_seconds.end())
                bench::printGoal("dbfread's time over ours", base->second / open->second, "x", ">=", kAimTimesDbfread);
        }
        for (const char* sort : {"BM_SortByP", "BM_SortByDate"})
            if (const auto it = m_seconds.find(sort); it != m_seconds.end())
                bench::printGoal(sort, it->second * 1e3, "ms", "<", 100);
    }

private:
    std::map<std::string, double> m_seconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    g_table = dir.filePath(QStringLiteral("measurements.db"));
    const auto start = std::chrono::steady_clock::now();
    try {
        bench::writeFieldWorkTable(g_table, kRows);
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "cannot write the table: %s\n", e.what());
        return 1;
    }
    std::printf("wrote %d rows in %.2f s: %s\n", kRows,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                g_table.toStdString().c_str());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
