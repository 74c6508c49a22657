// The penetrometer report over 100 and over 10,000 rows, run by hand (not part of ctest):
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-release --target bench_reports
//   build-release/bench/bench_reports
// Each iteration prepares the report over the table's view (both passes) and, in the second
// benchmark, paints every page into a PDF file. The aim: 10,000 rows in under 3 s, and the
// time per row the same at both sizes (the table at the end gives their ratio).

#include "reports/prepared_report.h"
#include "reports/report_data_set.h"
#include "reports/report_painter.h"
#include "reports/report_templates.h"
#include "store/measurement_table.h"
#include "store/store_error.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include "timing_reporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

namespace {

using store::Field;

constexpr int kSmall = 100;
constexpr int kLarge = 10'000;
constexpr double kAimSeconds = 3.0;

QTemporaryDir* g_dir = nullptr;
std::map<int, QString> g_tables;
std::map<std::string, std::map<int, int>> g_pages;

// Penetrometer rows with every printed field filled, numbers of several lengths.
void generateTable(const QString& path, int rows)
{
    store::MeasurementTable::create(path);
    store::MeasurementTable t;
    t.open(path);
    t.table().beginBatch();
    for (int i = 0; i < rows; ++i) {
        t.table().append();
        t.setReal(Field::N, i + 1);
        t.setText(Field::DATE, QStringLiteral("%1.03.2024").arg(i % 28 + 1, 2, 10, QLatin1Char('0')));
        t.setText(Field::TIME, QStringLiteral("%1:%2").arg(i % 24, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0')));
        t.setInteger(Field::DEV_TYPE, 4);
        t.setInteger(Field::SERIAL, 1234);
        t.setInteger(Field::NB_TYPE, store::kPenetrometerKind);
        t.setReal(Field::P, 100 + i % 900 + 0.25);
        t.setReal(Field::R, (i % 500) / 100.0);
        t.setReal(Field::U, 12.5);
        t.setReal(Field::H, 3);
        t.setReal(Field::S, 0.031);
        t.setReal(Field::P6, 27.5);
        t.setReal(Field::P7, 0.93);
        for (Field f : {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5})
            t.setReal(f, 90 + i % 50 + static_cast<int>(f));
        t.setText(Field::COMMENT, QStringLiteral("суглинок, участок %1").arg(i % 7));
        t.table().post();
    }
    t.table().endBatch();
    t.close();
}

struct OpenTable {
    explicit OpenTable(int rows)
    {
        table.open(g_tables.at(rows));
        table.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        table.table().refresh();
    }
    store::MeasurementTable table;
};

void BM_Prepare(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    OpenTable open(rows);
    const auto design = reports::penetrometerDesign();
    int pages = 0;
    for (auto _ : state) {
        reports::ReportDataSet data(open.table.table());
        const reports::PreparedReport report = reports::prepareReport(design, data);
        pages = report.pageCount();
        benchmark::DoNotOptimize(pages);
    }
    state.counters["pages"] = pages;
    g_pages["BM_Prepare"][rows] = pages;
}
BENCHMARK(BM_Prepare)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

void BM_PrepareAndWritePdf(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    OpenTable open(rows);
    const auto design = reports::penetrometerDesign();
    const QString pdf = g_dir->filePath(QStringLiteral("report_%1.pdf").arg(rows));
    int pages = 0;
    for (auto _ : state) {
        reports::ReportDataSet data(open.table.table());
        const reports::PreparedReport report = reports::prepareReport(design, data);
        try {
            reports::writePdfFile(report, pdf);
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
        pages = report.pageCount();
    }
    state.counters["pages"] = pages;
    g_pages["BM_PrepareAndWritePdf"][rows] = pages;
}
BENCHMARK(BM_PrepareAndWritePdf)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->Iterations(3);

// Prints the usual table, then each benchmark at both sizes with the ratio of the times; a
// linear report gives a ratio near the ratio of the rows (100).
class RatioReporter : public bench::TimingReporter {
public:
    void record(const Run& run, double seconds) override
    {
        m_seconds[run.run_name.function_name][std::stoi(run.run_name.args)] = seconds;
    }

    void printRatios() const
    {
        std::printf("\n%-24s %10s %7s %12s %7s %8s %14s\n", "benchmark", "100 rows", "pages",
                    "10,000 rows", "pages", "ratio", "per-row ratio");
        for (const auto& [name, byRows] : m_seconds) {
            const auto small = byRows.find(kSmall);
            const auto large = byRows.find(kLarge);
            if (small == byRows.end() || large == byRows.end())
                continue;
            const double ratio = large->second / small->second;
            const auto pages = g_pages.find(name);
            const int smallPages = pages == g_pages.end() ? 0 : pages->second[kSmall];
            const int largePages = pages == g_pages.end() ? 0 : pages->second[kLarge];
            std::printf("%-24s %8.1f ms %7d %10.1f ms %7d %8.1f %14.2f%s\n", name.c_str(), small->second * 1e3,
                        smallPages, large->second * 1e3, largePages, ratio,
                        ratio / (static_cast<double>(kLarge) / kSmall),
                        large->second <= kAimSeconds ? "" : "  over the 3 s aim");
        }
    }

private:
    std::map<std::string, std::map<int, double>> m_seconds;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    g_dir = &dir;
    try {
        for (int rows : {kSmall, kLarge}) {
            g_tables[rows] = dir.filePath(QStringLiteral("report_%1.db").arg(rows));
            generateTable(g_tables[rows], rows);
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "cannot write the tables: %s\n", e.what());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
