// Charts of the tests over 13,107 penetrometer tests (the most the instrument's memory holds
// in one download), run by hand (not part of ctest):
//   cmake --build <build> --target bench_charts && <build>/bench/bench_charts
// The baseline is reading the same values through a RowCursor, which every reader of the rows
// (export, reports, summary) does; the charts' work is reported as a multiple of it. Each
// benchmark runs over a table with every value present and over one where every third value
// is empty, so that the chart draws points instead of thousands of line pieces.
//
//   BM_CursorRead          the baseline: R of every row through a RowCursor
//   BM_ReadMeasure         the values the tests chart is drawn from (readMeasure)
//   BM_BuildTestsChart     reading them and building the chart's series
//   BM_RedrawPanel         what an edit costs the panel on the screen: both charts rebuilt
//                          after the document's announcement, and the panel painted

#include "document/measurement_document.h"
#include "store/measurement_table.h"
#include "store/row_cursor.h"
#include "views/chart_builder.h"
#include "views/chart_data.h"
#include "views/chart_panel.h"
#include "views/chart_view.h"
#include "views/grid_tabs.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include "timing_reporter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace {

using store::Field;

constexpr int kRows = 13'107;
// The aim: a redraw of the panel after an edit within this many cursor reads of the same
// values, which keeps it well under a tenth of a second on the machines the program runs on.
constexpr double kAim = 400;
const QSize kPanelSize(1366, 320);

enum Table : int { Full = 0, Gappy = 1 };
std::map<int, QString> g_tables;

void generateTable(const QString& path, bool gaps)
{
    std::mt19937 rng(13107);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    store::MeasurementTable::create(path);
    store::MeasurementTable t;
    t.open(path);
    for (int i = 0; i < kRows; ++i) {
        t.table().append();
        t.setReal(Field::N, i + 1);
        t.setReal(Field::NB_TYPE, store::kPenetrometerKind);
        t.setText(Field::DATE, QStringLiteral("%1.%2.2005").arg(1 + i % 28, 2, 10, QLatin1Char('0')).arg(1 + i % 12, 2, 10, QLatin1Char('0')));
        t.setText(Field::TIME, QStringLiteral("10:%1").arg(i % 60, 2, 10, QLatin1Char('0')));
        for (Field f : {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5})
            t.setReal(f, std::round(uniform(40, 3100)));
        t.setReal(Field::P, std::round(uniform(50, 3000) * 100) / 100);
        if (!gaps || i % 3 != 1)
            t.setReal(Field::R, std::round(uniform(0.1, 30) * 1000) / 1000);
        t.setReal(Field::U, std::round(uniform(1, 60) * 10) / 10);
        t.setReal(Field::P7, std::round(uniform(0.8, 1) * 100) / 100);
        t.table().post();
    }
}

struct Opened {
    explicit Opened(int table) { document.open(g_tables.at(table)); }
    ~Opened() { document.close(); }
    document::MeasurementDocument document;
};

void BM_CursorRead(benchmark::State& state)
{
    Opened opened(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        double sum = 0;
        store::RowCursor cursor(opened.document.table());
        for (cursor.first(); !cursor.atEnd(); cursor.next())
            if (const auto r = cursor.real(Field::R))
                sum += *r;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CursorRead)->Arg(Full)->Arg(Gappy)->Unit(benchmark::kMillisecond);

void BM_ReadMeasure(benchmark::State& state)
{
    Opened opened(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const views::MeasureSeries series =
            views::readMeasure(opened.document.table(), views::ChartMeasure::R, store::kPenetrometerKind);
        benchmark::DoNotOptimize(series.values.data());
    }
}
BENCHMARK(BM_ReadMeasure)->Arg(Full)->Arg(Gappy)->Unit(benchmark::kMillisecond);

void BM_BuildTestsChart(benchmark::State& state)
{
    Opened opened(static_cast<int>(state.range(0)));
    views::ChartView view;
    view.resize(kPanelSize);
    view.show();
    const std::vector<int> selected = {10, 500, 9000};
    for (auto _ : state) {
        const views::MeasureSeries series =
            views::readMeasure(opened.document.table(), views::ChartMeasure::R, store::kPenetrometerKind);
        views::buildTestsChart(view.chart(), series, selected, 42, {});
        view.update();
    }
}
BENCHMARK(BM_BuildTestsChart)->Arg(Full)->Arg(Gappy)->Unit(benchmark::kMillisecond);

void BM_RedrawPanel(benchmark::State& state)
{
    Opened opened(static_cast<int>(state.range(0)));
    QWidget page1, page2;
    views::GridTabs tabs(opened.document, &page1, &page2);
    views::ChartPanel panel(opened.document, tabs);
    panel.resize(kPanelSize);
    panel.show();
    panel.refresh();
    QImage image(kPanelSize, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        // What a posted edit announces; the panel rebuilds both charts from the table.
        emit opened.document.rowsChanged(0, 0);
        panel.refresh();
        panel.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    // Under KVEL_CHART_SHOTS the last picture is kept, to be looked at.
    if (const QString folder = qEnvironmentVariable("KVEL_CHART_SHOTS"); !folder.isEmpty())
        image.save(folder + QStringLiteral("/bench_panel_%1.png").arg(state.range(0) == Full ? "full" : "gappy"));
}
BENCHMARK(BM_RedrawPanel)->Arg(Full)->Arg(Gappy)->Unit(benchmark::kMillisecond);

// The usual table, then each benchmark against the cursor read of the same table.
class RatioReporter : public bench::TimingReporter {
public:
    void record(const Run& run, double seconds) override
    {
        m_seconds[run.run_name.function_name][std::stoi(run.run_name.args)] = seconds;
    }

    void printRatios() const
    {
        const auto baseline = m_seconds.find("BM_CursorRead");
        if (baseline == m_seconds.end())
            return;
        std::printf("\n%d rows; ratio = time / BM_CursorRead of the same table; aim for BM_RedrawPanel: %.0f\n", kRows, kAim);
        std::printf("%-20s %-6s %10s %10s\n", "benchmark", "table", "ms", "ratio");
        for (const auto& [name, byTable] : m_seconds) {
            for (const auto& [table, seconds] : byTable) {
                const auto base = baseline->second.find(table);
                if (base == baseline->second.end())
                    continue;
                const double ratio = seconds / base->second;
                const bool judged = name == "BM_RedrawPanel";
                std::printf("%-20s %-6s %10.3f %10.1f%s\n", name.c_str(), table == Full ? "full" : "gappy",
                            seconds * 1e3, ratio, judged && ratio > kAim ? "  over the aim" : "");
            }
        }
    }

private:
    std::map<std::string, std::map<int, double>> m_seconds;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    try {
        for (Table table : {Full, Gappy}) {
            g_tables[table] = dir.filePath(QStringLiteral("charts_%1.db").arg(int(table)));
            generateTable(g_tables[table], table == Gappy);
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
