// "Экспорт в Excel" on big tables, run by hand (not part of ctest):
//   cmake --build build --target bench_export && build/bench/bench_export
// Each iteration fills a new workbook model from the open table and writes it as an .xls
// file (the table itself is made once per size, untimed). Sizes: 1,000, 6,000 and 13,107
// records, the last filling one sheet's 65,536 rows. The same 13,107 records are also
// exported as an .xlsx file (the same model, through libxlsxwriter) and as a CSV file.
// Afterwards the program prints:
//   - the time per record at 6,000 and 13,107 records over that at 1,000 (linear work: 1);
//   - the .xlsx and the CSV export of 13,107 records as multiples of the .xls export of the
//     same records in the same run;
//   - LibreOffice headless turning a CSV file of the same cells into an .xls file, measured
//     in the same run, once for the headings alone (mostly its start-up) and once for all
//     13,107 records, with the ratio of that conversion to our export of the same records;
//   - the peak memory of exporting 100,000 records (8 sheets) as .xls and as .xlsx, each in a
//     child process of its own, next to the peak of a child that only opens the same table
//     and reads it;
//   - each goal, and whether this run met it.

#include "export/csv_export.h"
#include "export/table_export.h"
#include "store/measurement_table.h"
#include "xls/biff_writer.h"
#include "xls/xls_workbook.h"
#include "xls/xlsx_writer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include "child_process.h"
#include "timing_reporter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace {

using store::Field;
using store::MeasurementTable;

constexpr int kSizes[] = {1'000, 6'000, table_export::kRecordsPerSheet};
constexpr int kMemoryRecords = 100'000;

// The goals of this machine's export.
constexpr double kAimSeconds = 0.040;      // 13,107 records
constexpr double kAimTimesLibreOffice = 40; // LibreOffice's conversion / ours
constexpr double kAimPerRecordRatio = 1.1;  // 13,107 records against 1,000
constexpr double kAimPeakMB = 150;          // exporting 100,000 records
constexpr double kAimXlsxSeconds = 2.0;     // 13,107 records as .xlsx

QTemporaryDir* g_dir = nullptr;
std::map<int, std::unique_ptr<MeasurementTable>> g_tables;

// Writes a table of `records` penetrometer rows with values of the instrument's ranges.
void writeTable(const QString& path, int records)
{
    MeasurementTable::create(path);
    MeasurementTable t;
    t.open(path);
    std::mt19937 rng(static_cast<unsigned>(records));
    auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    t.table().beginBatch();
    for (int k = 0; k < records; ++k) {
        t.table().append();
        t.setReal(Field::N, k + 1);
        t.setText(Field::DATE, QStringLiteral("%1.%2.2024").arg(1 + k % 28, 2, 10, QLatin1Char('0')).arg(1 + k / 28 % 12, 2, 10, QLatin1Char('0')));
        t.setText(Field::TIME, QStringLiteral("%1:%2").arg(k / 60 % 24, 2, 10, QLatin1Char('0')).arg(k % 60, 2, 10, QLatin1Char('0')));
        t.setReal(Field::NB_TYPE, 0);
        for (Field f : {Field::P, Field::R, Field::U, Field::P7, Field::H, Field::P6, Field::S,
                        Field::P1, Field::P2, Field::P3, Field::P4, Field::P5})
            t.setReal(f, std::round(real(0, 2000) * 100) / 100);
        if (k % 3 == 0)
            t.setText(Field::COMMENT, QStringLiteral("участок %1").arg(k / 3));
        t.table().post();
    }
    t.table().endBatch();
}

// The table of `records` rows, open and showing the penetrometer rows.
MeasurementTable& table(int records)
{
    auto& slot = g_tables[records];
    if (slot)
        return *slot;
    const QString path = g_dir->filePath(QStringLiteral("t%1.db").arg(records));
    writeTable(path, records);
    slot = std::make_unique<MeasurementTable>();
    MeasurementTable& t = *slot;
    t.open(path);
    t.table().setFilter(store::kindFilter(store::kPenetrometerKind));
    t.table().refresh();
    return t;
}

// What a timed export writes.
enum class Format { Xls, Xlsx, Csv };

// The child's job: open the table and read every row as the export does, then export it
// when `out` is given (as .xlsx with `xlsx`). Returns the process's exit status.
int childJob(const char* tablePath, const char* out, bool xlsx = false)
{
    try {
        MeasurementTable t;
        t.open(QString::fromLocal8Bit(tablePath));
        t.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        t.table().refresh();
        if (!out) {
            double sum = 0;
            for (std::uint32_t rec : t.table().view())
                for (int f = 0; f < store::kFieldCount; ++f)
                    if (store::isNumeric(t.table().fields()[static_cast<std::size_t>(f)].type))
                        sum += t.table().real(rec, f).value_or(0);
                    else
                        sum += t.table().text(rec, f).size();
            benchmark::DoNotOptimize(sum);
            bench::printOwnPeak();
            return 0;
        }
        {
            xls::XlsWorkbook book;
            table_export::fillWorkbook(t, book);
            if (xlsx) {
                xls::XlsxWriter().save(book, QString::fromLocal8Bit(out));
            } else {
                xls::BiffWriter writer;
                writer.save(book, QString::fromLocal8Bit(out));
            }
        }
        bench::printOwnPeak();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

void exportTable(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    MeasurementTable& t = table(records);
    const QString file = g_dir->filePath(QStringLiteral("export.xls"));
    for (auto _ : state) {
        xls::XlsWorkbook book;
        table_export::fillWorkbook(t, book);
        xls::BiffWriter writer;
        writer.save(book, file);
    }
    state.counters["records"] = records;
    state.counters["format"] = static_cast<double>(Format::Xls);
    state.counters["per_record"] = benchmark::Counter(
        records, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(exportTable)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Unit(benchmark::kMillisecond);

// The same model as an .xlsx file.
void exportTableXlsx(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    MeasurementTable& t = table(records);
    const QString file = g_dir->filePath(QStringLiteral("export.xlsx"));
    for (auto _ : state) {
        xls::XlsWorkbook book;
        table_export::fillWorkbook(t, book);
        xls::XlsxWriter().save(book, file);
    }
    state.counters["records"] = records;
    state.counters["format"] = static_cast<double>(Format::Xlsx);
}
BENCHMARK(exportTableXlsx)->Arg(kSizes[2])->Unit(benchmark::kMillisecond);

// The same records as the CSV export writes them.
void exportTableCsv(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    MeasurementTable& t = table(records);
    const QString file = g_dir->filePath(QStringLiteral("export.csv"));
    for (auto _ : state)
        benchmark::DoNotOptimize(table_export::writeCsvFile(t, file));
    state.counters["records"] = records;
    state.counters["format"] = static_cast<double>(Format::Csv);
}
BENCHMARK(exportTableCsv)->Arg(kSizes[2])->Unit(benchmark::kMillisecond);

// Keeps the mean real time of each size of the .xls export, and of the other formats by
// format and size.
class Recorder : public bench::TimingReporter {
public:
    void record(const Run& run, double runSeconds) override
    {
        const int records = static_cast<int>(run.counters.at("records").value);
        const auto format = static_cast<Format>(static_cast<int>(run.counters.at("format").value));
        if (format == Format::Xls)
            seconds[records] = runSeconds;
        else
            others[{format, records}] = runSeconds;
    }
    std::map<int, double> seconds;
    std::map<std::pair<Format, int>, double> others;
};

// The cells of the export as CSV text: the same headings, texts and numbers.
QByteArray csvOf(MeasurementTable& t, int records)
{
    QByteArray csv;
    const auto quoted = [](const QString& s) {
        return QByteArray("\"") + s.toUtf8().replace("\"", "\"\"") + "\"";
    };
    const auto& titles = table_export::headings();
    for (int c = 0; c < table_export::kColumnCount; ++c)
        csv += (c ? "," : "") + quoted(titles[static_cast<std::size_t>(c)]);
    csv += "\n";
    t.table().first();
    const auto number = [&t](Field f) { return QByteArray::number(t.real(f).value_or(0.0), 'g', 15); };
    for (int k = 0; k < records; ++k, t.table().next()) {
        csv += number(Field::N) + "," + quoted(t.text(Field::DATE)) + "," + quoted(t.text(Field::TIME));
        for (Field f : {Field::P, Field::R, Field::U, Field::P7, Field::H, Field::P6, Field::S, Field::P1})
            csv += "," + number(f);
        csv += "," + quoted(t.text(Field::COMMENT)) + "\n";
        for (Field f : {Field::P2, Field::P3, Field::P4, Field::P5})
            csv += ",,,,,,,,,," + number(f) + ",\n";
    }
    return csv;
}

// Seconds LibreOffice takes to turn `csv` into an .xls file; negative when it cannot.
double libreOfficeSeconds(const QByteArray& csv, const QString& name)
{
    const QString source = g_dir->filePath(name + QStringLiteral(".csv"));
    QFile f(source);
    if (!f.open(QIODevice::WriteOnly) || f.write(csv) != csv.size())
        return -1;
    f.close();
    const QString profile = g_dir->filePath(QStringLiteral("lo_") + QUuid::createUuid().toString(QUuid::Id128));
    QProcess p;
    const auto start = std::chrono::steady_clock::now();
    p.start(QStringLiteral("soffice"),
            {QStringLiteral("-env:UserInstallation=file://") + profile, QStringLiteral("--headless"),
             QStringLiteral("--norestore"), QStringLiteral("--infilter=CSV:44,34,76"),
             QStringLiteral("--convert-to"), QStringLiteral("xls"), QStringLiteral("--outdir"),
             g_dir->filePath(QStringLiteral("lo_out")), source});
    if (!p.waitForStarted() || !p.waitForFinished(600'000) || p.exitCode() != 0)
        return -1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return QFile::exists(g_dir->filePath(QStringLiteral("lo_out/") + name + QStringLiteral(".xls"))) ? seconds : -1;
}

} // namespace

int main(int argc, char** argv)
{
    // A child run: --child-read TABLE, or --child-export TABLE OUT.
    if (argc >= 3 && std::strcmp(argv[1], "--child-read") == 0)
        return childJob(argv[2], nullptr);
    if (argc >= 4 && std::strcmp(argv[1], "--child-export") == 0)
        return childJob(argv[2], argv[3]);
    if (argc >= 4 && std::strcmp(argv[1], "--child-export-xlsx") == 0)
        return childJob(argv[2], argv[3], true);

    QTemporaryDir dir;
    g_dir = &dir;
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);

    const int small = kSizes[0], large = kSizes[2];
    double times = -1;
    double ratio = -1;
    if (recorder.seconds.count(small) && recorder.seconds.count(large)) {
        const double perSmall = recorder.seconds[small] / small;
        std::printf("\nper record, against %d records (%.2f us):\n", small, perSmall * 1e6);
        for (const auto& [records, seconds] : recorder.seconds)
            if (records != small)
                std::printf("  %6d records: %.3f s, %.2f us per record, ratio %.2f\n", records, seconds,
                            seconds / records * 1e6, seconds / records / perSmall);
        ratio = recorder.seconds[large] / large / perSmall;
        MeasurementTable& t = table(large);
        const double startUp = libreOfficeSeconds(csvOf(t, 0), QStringLiteral("headings"));
        const double convert = libreOfficeSeconds(csvOf(t, large), QStringLiteral("records"));
        if (startUp < 0 || convert < 0) {
            std::printf("LibreOffice conversion not measured (soffice missing or failed)\n");
        } else {
            times = convert / recorder.seconds[large];
            std::printf("LibreOffice CSV -> xls, headings only: %.3f s; %d records: %.3f s\n", startUp, large, convert);
            std::printf("conversion / export of %d records: %.1fx\n", large, times);
        }
    }
    // The other formats against the .xls export of the same records in this run.
    double xlsxSeconds = -1;
    if (recorder.seconds.count(large)) {
        const double xls = recorder.seconds[large];
        std::printf("\n%d records, against the .xls export (%.3f s):\n", large, xls);
        for (const auto& [what, format] : {std::pair{".xlsx", Format::Xlsx}, std::pair{"CSV", Format::Csv}}) {
            const auto it = recorder.others.find({format, large});
            if (it == recorder.others.end())
                continue;
            std::printf("  %-5s %.3f s, %.2fx the .xls\n", what, it->second, it->second / xls);
            if (format == Format::Xlsx)
                xlsxSeconds = it->second;
        }
    }
    g_tables.clear();

    // Peak memory, each job in a process of its own.
    const QString big = dir.filePath(QStringLiteral("memory.db"));
    writeTable(big, kMemoryRecords);
    const std::string bigPath = big.toLocal8Bit().toStdString();
    const bench::ChildRun read = bench::runSelf({"--child-read", bigPath});
    const bench::ChildRun exported =
        bench::runSelf({"--child-export", bigPath, dir.filePath(QStringLiteral("memory.xls")).toLocal8Bit().toStdString()});
    const bench::ChildRun exportedXlsx = bench::runSelf(
        {"--child-export-xlsx", bigPath, dir.filePath(QStringLiteral("memory.xlsx")).toLocal8Bit().toStdString()});
    if (read.ok && exported.ok)
        std::printf("%d records, peak memory: opening and reading the table %.1f MB; exporting it %.1f MB (%.2f s)\n",
                    kMemoryRecords, read.peakMB, exported.peakMB, exported.seconds);
    else
        std::printf("peak memory not measured: a child run failed\n");
    if (exportedXlsx.ok)
        std::printf("%d records as .xlsx, peak memory %.1f MB (%.2f s)\n", kMemoryRecords, exportedXlsx.peakMB,
                    exportedXlsx.seconds);
    else
        std::printf("peak memory of the .xlsx export not measured: the child run failed\n");

    std::printf("\ngoals:\n");
    if (recorder.seconds.count(large))
        bench::printGoal("export of 13,107 records", recorder.seconds[large] * 1e3, "ms", "<", kAimSeconds * 1e3);
    if (times > 0)
        bench::printGoal("LibreOffice's conversion over our export", times, "x", ">=", kAimTimesLibreOffice);
    if (ratio > 0)
        bench::printGoal("per-record time, 13,107 records against 1,000", ratio, "", "<=", kAimPerRecordRatio);
    if (exported.ok)
        bench::printGoal("peak memory, export of 100,000 records", exported.peakMB, "MB", "<", kAimPeakMB);
    if (xlsxSeconds > 0)
        bench::printGoal("export of 13,107 records as .xlsx", xlsxSeconds * 1e3, "ms", "<", kAimXlsxSeconds * 1e3);
    benchmark::Shutdown();
    return 0;
}
