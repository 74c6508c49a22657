// Grid benchmarks, run by hand (not part of ctest):
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-release --target bench_grid
//   build-release/bench/bench_grid
// The grid reads and paints only the rows in sight, so a table of 100,000 rows must show,
// scroll and resize about as quickly as one of 100. Each benchmark runs over both tables
// (offscreen, the first tab at a laptop's maximised size); the last table printed gives the
// ratio of the two, which should stay within 1.5.

#include "document/measurement_document.h"
#include "store/measurement_table.h"
#include "views/grid_tabs.h"
#include "views/table_model.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>

#include "timing_reporter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using store::Field;
using store::MeasurementTable;

constexpr int kSmall = 100;
constexpr int kLarge = 100'000;
constexpr double kAim = 1.5; // large / small
const QSize kGridSize(1366, 700);

std::map<int, QString> g_tables; // rows → file

void generateTable(const QString& path, int rows)
{
    std::mt19937 rng(20050131);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto rounded = [](double v, double step) { return std::round(v / step) * step; };
    MeasurementTable::create(path);
    MeasurementTable t;
    t.open(path);
    for (int i = 0; i < rows; ++i) {
        t.table().append();
        t.setReal(Field::N, i + 1);
        t.setReal(Field::NB_TYPE, store::kPenetrometerKind);
        t.setText(Field::DATE, QStringLiteral("%1.%2.2005").arg(1 + i % 28, 2, 10, QLatin1Char('0')).arg(1 + i % 12, 2, 10, QLatin1Char('0')));
        t.setText(Field::TIME, QStringLiteral("%1:%2").arg(8 + i % 10, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0')));
        for (Field f : {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5})
            t.setReal(f, std::round(uniform(40, 3100)));
        t.setReal(Field::P, rounded(uniform(50, 3000), 0.01));
        t.setReal(Field::R, rounded(uniform(0.1, 30), 0.001));
        t.setReal(Field::U, rounded(uniform(1, 60), 0.1));
        t.setReal(Field::P7, rounded(uniform(0.8, 1), 0.01));
        t.setReal(Field::H, rounded(uniform(0, 1), 0.01));
        t.setReal(Field::P6, rounded(uniform(10, 40), 0.1));
        t.setReal(Field::S, rounded(uniform(0, 0.1), 0.0001));
        if (i % 7 == 0)
            t.setText(Field::COMMENT, QStringLiteral("Суглинок тугопластичный"));
        t.table().post();
    }
}

// The first tab over one of the tables, shown offscreen at the benchmark's size.
struct Shown {
    explicit Shown(int rows)
    {
        document.open(g_tables.at(rows)); // penetrometer rows only: that kind is shown
        tabs = std::make_unique<views::GridTabs>(document, &page, &other);
        page.resize(kGridSize);
        grid().resize(kGridSize);
        page.show();
        image = QImage(kGridSize, QImage::Format_ARGB32_Premultiplied);
    }
    ~Shown()
    {
        tabs.reset();
        document.close();
    }
    views::DataGrid& grid() { return *tabs->grid1(); }
    void paint()
    {
        grid().render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }

    document::MeasurementDocument document;
    QWidget page, other;
    std::unique_ptr<views::GridTabs> tabs;
    QImage image;
};

void BM_PaintGrid(benchmark::State& state)
{
    Shown shown(static_cast<int>(state.range(0)));
    for (auto _ : state)
        shown.paint();
}
BENCHMARK(BM_PaintGrid)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

void BM_PaintGridInTheMiddle(benchmark::State& state)
{
    Shown shown(static_cast<int>(state.range(0)));
    QScrollBar* bar = shown.grid().verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    for (auto _ : state)
        shown.paint();
}
BENCHMARK(BM_PaintGridInTheMiddle)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

// What Open and a sort cost the grid: the model re-read, then the user jumps to the end.
// The model's own reset is what a new view gives it, without the table work of a real sort.
void BM_ResetAndScrollToEnd(benchmark::State& state)
{
    Shown shown(static_cast<int>(state.range(0)));
    QScrollBar* bar = shown.grid().verticalScrollBar();
    for (auto _ : state) {
        shown.tabs->model()->reset();
        bar->setValue(bar->maximum());
        shown.paint();
        bar->setValue(0);
    }
}
BENCHMARK(BM_ResetAndScrollToEnd)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

// Scrolling row by row with the keyboard, painting after each step.
void BM_ScrollDownTenRows(benchmark::State& state)
{
    Shown shown(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        shown.grid().setCurrentRow(0);
        for (int i = 1; i <= 10; ++i) {
            shown.grid().setCurrentRow(i * 7);
            shown.paint();
        }
    }
}
BENCHMARK(BM_ScrollDownTenRows)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

void BM_ResizeAndPaint(benchmark::State& state)
{
    Shown shown(static_cast<int>(state.range(0)));
    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        shown.grid().resize(wide ? kGridSize : QSize(1024, 600));
        shown.paint();
    }
}
BENCHMARK(BM_ResizeAndPaint)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

// Prints the usual table, then each benchmark's time over the large table against the small.
class RatioReporter : public bench::TimingReporter {
public:
    void record(const Run& run, double seconds) override
    {
        m_seconds[run.run_name.function_name][std::stoi(run.run_name.args)] = seconds;
    }

    void printRatios() const
    {
        std::printf("\n%-28s %12s %16s %8s %6s\n", "benchmark", "100 rows, ms", "100,000 rows, ms", "ratio", "aim");
        for (const auto& [name, byRows] : m_seconds) {
            const auto small = byRows.find(kSmall);
            const auto large = byRows.find(kLarge);
            if (small == byRows.end() || large == byRows.end())
                continue;
            const double ratio = large->second / small->second;
            std::printf("%-28s %12.3f %16.3f %8.2f %6.1f%s\n", name.c_str(), small->second * 1e3, large->second * 1e3,
                        ratio, kAim, ratio <= kAim ? "" : "  over the aim");
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
        for (int rows : {kSmall, kLarge}) {
            g_tables[rows] = dir.filePath(QStringLiteral("grid_%1.db").arg(rows));
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
