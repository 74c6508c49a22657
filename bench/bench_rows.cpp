// Row commands on a big measurement table, run by hand (not part of ctest):
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-release --target bench_rows
//   build-release/bench/bench_rows
// Each iteration starts from a fresh copy of a generated table of penetrometer rows (copying
// and opening are not timed) and times one command's work on it:
//   - Append of a full instrument image (2,259 records, all newer than the table) through
//     decodeImage, and the same followed by the save that Append ends with;
//   - deleting 1,000 rows spread over the view, each from its position in file order, then
//     packing the file;
//   - renumbering every row in file order (edit N, post);
//   - renumbering a view sorted by N descending, row by row and inside a batch, at several
//     table sizes, to show how each grows with the rows.
// The aim for each command on 100,000 rows is under one second. The table at the end lists
// each benchmark with its row count.

#include "store/flash_decoder.h"
#include "store/measurement_table.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include "timing_reporter.h"

#include <benchmark/benchmark.h>

#include <chrono>
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
constexpr int kTestsPerDay = 20;
constexpr int kImageRecords = 2'259; // as many as fit into the instrument's 65,536 bytes
constexpr int kDeletedRows = 1'000;
const QDate kFirstDay(2000, 1, 1);

QTemporaryDir* g_dir = nullptr;
std::map<int, QString> g_templates; // rows → a generated table, written once

// A table of `rows` penetrometer rows in the order a string of downloads leaves them:
// dates rising in file order, twenty tests a day, numbers 1… per download.
QString templateTable(int rows)
{
    const auto found = g_templates.find(rows);
    if (found != g_templates.end())
        return found->second;
    const QString path = g_dir->filePath(QStringLiteral("template_%1.db").arg(rows));
    std::mt19937 rng(static_cast<unsigned>(rows));
    auto whole = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    MeasurementTable::create(path);
    MeasurementTable t;
    t.open(path);
    for (int i = 0; i < rows; ++i) {
        const QDate day = kFirstDay.addDays(i / kTestsPerDay);
        const int minutes = 8 * 60 + (i % kTestsPerDay) * 20;
        t.table().append();
        t.setReal(Field::N, i % kImageRecords + 1);
        t.setText(Field::DATE, day.toString(QStringLiteral("dd.MM.yyyy")));
        t.setText(Field::TIME, QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0')));
        t.setInteger(Field::DEV_TYPE, 4);
        t.setInteger(Field::SERIAL, 1234);
        t.setInteger(Field::NB_TYPE, store::kPenetrometerKind);
        for (Field f : {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5, Field::P})
            t.setInteger(f, whole(40, 3100));
        t.setReal(Field::R, whole(10, 3000) / 100.0);
        t.setReal(Field::U, whole(10, 600) / 10.0);
        t.setReal(Field::P6, whole(100, 400) / 10.0);
        t.setReal(Field::P7, whole(80, 100) / 100.0);
        t.setReal(Field::H, whole(0, 100) / 100.0);
        t.setReal(Field::S, whole(0, 1000) / 10000.0);
        t.table().post();
    }
    t.close();
    g_templates.emplace(rows, path);
    return path;
}

// An instrument image of kImageRecords records, all stamped after every row of the tables.
const std::vector<std::uint8_t>& fullImage()
{
    static const std::vector<std::uint8_t> image = [] {
        std::vector<std::uint8_t> b;
        auto word = [&](int v) {
            b.push_back(static_cast<std::uint8_t>(v & 0xFF));
            b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        };
        word(kImageRecords);
        const QDate start = kFirstDay.addDays(kRows / kTestsPerDay + 1);
        for (int k = 0; k < kImageRecords; ++k) {
            for (int w = 0; w < 6; ++w)
                word(1000 + k % 500 + w);   // P1..P5, P
            for (int v : {1234, 250, 87, 45, 215, 125})
                word(v);                    // R, U, P7, H, P6, S
            const QDate day = start.addDays(k / kTestsPerDay);
            const int minutes = 8 * 60 + (k % kTestsPerDay) * 20;
            b.insert(b.end(), {static_cast<std::uint8_t>(minutes % 60), static_cast<std::uint8_t>(minutes / 60),
                               static_cast<std::uint8_t>(day.day()), static_cast<std::uint8_t>(day.month()),
                               static_cast<std::uint8_t>(day.year() - 2000)});
        }
        return b;
    }();
    return image;
}

// A fresh copy of the template, opened with the penetrometer filter, outside the timing.
void openCopy(benchmark::State& state, MeasurementTable& t, int rows)
{
    state.PauseTiming();
    t.close();
    const QString work = g_dir->filePath(QStringLiteral("work.db"));
    QFile::remove(work);
    if (!QFile::copy(templateTable(rows), work))
        state.SkipWithError("cannot copy the table");
    t.open(work);
    t.table().setFilter(store::kindFilter(store::kPenetrometerKind));
    state.ResumeTiming();
}

void finish(benchmark::State& state, MeasurementTable& t, int rows)
{
    t.close();
    state.counters["rows"] = rows;
}

void BM_AppendFullImage(benchmark::State& state)
{
    MeasurementTable t;
    const auto& image = fullImage();
    for (auto _ : state) {
        openCopy(state, t, kRows);
        const auto result = store::decodeImage(t, store::DownloadedImage{image, 4, 1234}, true);
        if (result.added != kImageRecords)
            state.SkipWithError("not every record was added");
    }
    finish(state, t, kRows);
    state.counters["added"] = kImageRecords;
}
BENCHMARK(BM_AppendFullImage)->Unit(benchmark::kMillisecond)->Iterations(5);

// The whole of Append's work on the table: the decoding, then the save (close and open).
void BM_AppendFullImageAndSave(benchmark::State& state)
{
    MeasurementTable t;
    const auto& image = fullImage();
    for (auto _ : state) {
        openCopy(state, t, kRows);
        store::decodeImage(t, store::DownloadedImage{image, 4, 1234}, true);
        t.table().reopen();
    }
    finish(state, t, kRows);
    state.counters["added"] = kImageRecords;
}
BENCHMARK(BM_AppendFullImageAndSave)->Unit(benchmark::kMillisecond)->Iterations(5);

// Delete 1,000 selected rows spread over the view, the last first (so the positions of the
// others stay), each by moving to it and deleting it; then pack the file.
void BM_Delete1000RowsAndPack(benchmark::State& state)
{
    MeasurementTable t;
    for (auto _ : state) {
        openCopy(state, t, kRows);
        store::DbfTable& table = t.table();
        const int step = table.recordCount() / kDeletedRows;
        for (int i = kDeletedRows - 1; i >= 0; --i) {
            table.moveTo(i * step);
            table.deleteRecord();
        }
        table.pack();
        if (table.recordCount() != kRows - kDeletedRows)
            state.SkipWithError("wrong number of rows left");
    }
    finish(state, t, kRows);
    state.counters["deleted"] = kDeletedRows;
}
BENCHMARK(BM_Delete1000RowsAndPack)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RenumberFileOrder(benchmark::State& state)
{
    MeasurementTable t;
    for (auto _ : state) {
        openCopy(state, t, kRows);
        store::DbfTable& table = t.table();
        double number = 1;
        for (table.first(); !table.eof(); table.next()) {
            table.edit();
            t.setReal(Field::N, number++);
            table.post();
        }
        table.first();
    }
    finish(state, t, kRows);
}
BENCHMARK(BM_RenumberFileOrder)->Unit(benchmark::kMillisecond)->Iterations(5);

// The user's sort, made before the command starts: not timed.
void sortByNumberDescending(benchmark::State& state, MeasurementTable& t)
{
    state.PauseTiming();
    t.addSortTag(store::kTab1, Field::N, true);
    t.table().setIndexName(store::kTab1);
    state.ResumeTiming();
}

// Renumbering a view sorted by N descending, 1, 2, 3 … from its top. Each post moves the row
// to its new place in the sorted view and in the tag.
void BM_RenumberSortedRowByRow(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    MeasurementTable t;
    for (auto _ : state) {
        openCopy(state, t, rows);
        store::DbfTable& table = t.table();
        sortByNumberDescending(state, t);
        const std::vector<std::uint32_t> shown = table.view();
        double number = 1;
        for (std::uint32_t rec : shown) {
            table.moveTo(table.positionOf(rec));
            table.edit();
            t.setReal(Field::N, number++);
            table.post();
        }
        table.first();
    }
    finish(state, t, rows);
}
BENCHMARK(BM_RenumberSortedRowByRow)->Unit(benchmark::kMillisecond)->Iterations(1)
    ->Arg(kRows / 8)->Arg(kRows / 4)->Arg(kRows / 2)->Arg(kRows);

// The same inside a batch: rows reached by record number, the tag and the view rebuilt once.
void BM_RenumberSortedBatch(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    MeasurementTable t;
    for (auto _ : state) {
        openCopy(state, t, rows);
        store::DbfTable& table = t.table();
        sortByNumberDescending(state, t);
        const std::vector<std::uint32_t> shown = table.view();
        double number = 1;
        table.beginBatch();
        for (std::uint32_t rec : shown) {
            table.editRecord(rec);
            t.setReal(Field::N, number++);
            table.post();
        }
        table.endBatch();
        table.first();
    }
    finish(state, t, rows);
}
BENCHMARK(BM_RenumberSortedBatch)->Unit(benchmark::kMillisecond)->Iterations(3)
    ->Arg(kRows / 8)->Arg(kRows / 4)->Arg(kRows / 2)->Arg(kRows);

// Prints the usual table, then each benchmark with its rows, time per row and the aim.
class RowsReporter : public bench::TimingReporter {
public:
    void record(const Run& run, double seconds) override
    {
        const auto rows = run.counters.find("rows");
        m_lines.push_back({run.benchmark_name(),
                           rows != run.counters.end() ? static_cast<int>(rows->second.value) : 0, seconds});
    }

    void printSummary() const
    {
        std::printf("\n%-44s %9s %12s %12s %9s\n", "benchmark", "rows", "time, ms", "us per row", "aim, ms");
        for (const Line& l : m_lines)
            std::printf("%-44s %9d %12.1f %12.3f %9s\n", l.name.c_str(), l.rows, l.seconds * 1e3,
                        l.rows > 0 ? l.seconds * 1e6 / l.rows : 0.0, l.rows == kRows ? "1000" : "");
    }

private:
    struct Line {
        std::string name;
        int rows;
        double seconds;
    };
    std::vector<Line> m_lines;
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
    g_dir = &dir;
    const auto start = std::chrono::steady_clock::now();
    try {
        templateTable(kRows);
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "cannot write the table: %s\n", e.what());
        return 1;
    }
    std::printf("wrote %d rows in %.2f s into %s\n", kRows,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                dir.path().toStdString().c_str());
    RowsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    g_dir = nullptr;
    return 0;
}
