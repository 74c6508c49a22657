// The command-line CSV export as the user runs it, whole processes, run by hand:
//   cmake --build build/dev --target bench_csv_export kvel && build/dev/bench/bench_csv_export [rounds]
// (bench_csv_export --write-table PATH writes the table alone, for a profiler.)
// It writes a table of 100,000 penetrometer records into a temporary folder and then, in
// rounds (default 5), runs each of these once, so that a machine busy with something else
// slows all of them alike:
//   - kvel --export-csv TABLE OUT.csv
//   - kvel --export-xls TABLE OUT.xls (three times the bytes of the CSV file)
//   - python3-dbfread reading every field of every record (the baseline), interpreter included
//   - kvel --version: the program's start-up alone (Qt, the offscreen platform, settings)
// The children get a private settings folder (XDG_CONFIG_HOME) and LANG=C.UTF-8. The medians
// are printed with the ratios, then where the CSV export's time goes (start-up; opening the
// table and writing the file, measured in this process), then each goal and whether this run
// met it.

#include "export/csv_export.h"
#include "store/measurement_table.h"

#include <QTemporaryDir>

#include "child_process.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using store::Field;
using store::MeasurementTable;

constexpr int kRecords = 100'000;
// The goals: the CSV export at least this many times faster than dbfread reading the table,
// and no slower than the .xls export of the same records.
constexpr double kAimTimesDbfread = 15;
constexpr double kAimOverXls = 1.0;

// Penetrometer records with the instrument's ranges and precisions, a comment on a third.
void writeTable(const QString& path)
{
    MeasurementTable::create(path);
    MeasurementTable t;
    t.open(path);
    std::mt19937 rng(20240305);
    const auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const auto rounded = [](double v, double step) { return std::round(v / step) * step; };
    const QString comments[] = {QStringLiteral("Суглинок тугопластичный"), QStringLiteral("Песок мелкий, влажный"),
                                QStringLiteral("Глина твёрдая; слой №2"), QStringLiteral("участок 14, \"север\"")};
    t.table().beginBatch();
    for (int k = 0; k < kRecords; ++k) {
        t.table().append();
        t.setReal(Field::N, k + 1);
        t.setText(Field::DATE, QStringLiteral("%1.%2.2024").arg(1 + k % 28, 2, 10, QLatin1Char('0')).arg(1 + k / 28 % 12, 2, 10, QLatin1Char('0')));
        t.setText(Field::TIME, QStringLiteral("%1:%2").arg(k / 60 % 24, 2, 10, QLatin1Char('0')).arg(k % 60, 2, 10, QLatin1Char('0')));
        t.setReal(Field::DEV_TYPE, 4);
        t.setReal(Field::NB_TYPE, store::kPenetrometerKind);
        t.setReal(Field::P, rounded(uniform(50, 3000), 0.1));
        t.setReal(Field::R, rounded(uniform(0.1, 30), 0.001));
        t.setReal(Field::U, rounded(uniform(1, 60), 0.1));
        t.setReal(Field::H, rounded(uniform(0, 1), 0.01));
        t.setReal(Field::S, rounded(uniform(0, 0.1), 0.001));
        t.setReal(Field::P6, rounded(uniform(10, 40), 0.1));
        t.setReal(Field::P7, rounded(uniform(0.8, 1), 0.01));
        for (Field f : {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5})
            t.setReal(f, std::round(uniform(40, 3100)));
        if (k % 3 == 0)
            t.setText(Field::COMMENT, comments[k / 3 % 4]);
        t.table().post();
    }
    t.table().endBatch();
}

// This process's environment for the children: their own settings folder, a UTF-8 locale.
std::vector<std::string> childEnvironment(const QString& configFolder)
{
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "XDG_CONFIG_HOME" && name != "XDG_DATA_HOME" && name != "LANG" && name != "LANGUAGE"
            && name.rfind("LC_", 0) != 0)
            out.push_back(entry);
    }
    out.push_back("XDG_CONFIG_HOME=" + configFolder.toStdString());
    out.push_back("XDG_DATA_HOME=" + configFolder.toStdString() + "/data");
    out.push_back("LANG=C.UTF-8");
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    // --write-table PATH: only the table, kept, to look at one job under a profiler.
    if (argc == 3 && std::strcmp(argv[1], "--write-table") == 0) {
        writeTable(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString table = dir.filePath(QStringLiteral("records.db"));
    try {
        writeTable(table);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot write the table: %s\n", e.what());
        return 1;
    }
    const std::string tablePath = table.toStdString();
    const std::string csvPath = dir.filePath(QStringLiteral("out.csv")).toStdString();
    const std::string xlsPath = dir.filePath(QStringLiteral("out.xls")).toStdString();
    std::vector<std::string> environment = childEnvironment(dir.filePath(QStringLiteral("config")));
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string dbfread = bench::kDbfreadEveryField;

    struct Job {
        const char* name;
        std::string program;
        std::vector<std::string> arguments;
        std::vector<double> seconds;
        bool failed = false;
    };
    std::vector<Job> jobs = {
        {"kvel --export-csv", KVEL_PROGRAM, {"--export-csv", tablePath, csvPath}, {}},
        {"kvel --export-xls", KVEL_PROGRAM, {"--export-xls", tablePath, xlsPath}, {}},
        {"python3-dbfread, every field", "/usr/bin/python3", {"-c", dbfread, tablePath}, {}},
        {"kvel --version (start-up only)", KVEL_PROGRAM, {"--version"}, {}},
    };
    std::printf("%d records; %d rounds, each job once a round\n", kRecords, rounds);
    for (int round = 0; round < rounds; ++round) {
        for (Job& job : jobs) {
            if (job.failed)
                continue;
            std::string printed;
            const bench::ChildRun run = bench::runProgram(job.program, job.arguments, envp.data(), &printed);
            // dbfread prints the records it read: fewer would be a cheaper job.
            const bool counted = job.program != "/usr/bin/python3" || std::atoi(printed.c_str()) == kRecords;
            if (!run.ok || !counted) {
                std::printf("%s failed: not measured\n", job.name);
                job.failed = true;
                continue;
            }
            job.seconds.push_back(run.seconds);
        }
    }

    // The same export inside this process, to see what the whole process adds: opening the
    // table (and reading its view), and formatting and writing the CSV file.
    std::vector<double> openSeconds, writeSeconds;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        MeasurementTable t;
        t.open(table);
        t.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        t.table().refresh();
        openSeconds.push_back(bench::secondsSince(start));
        const auto written = std::chrono::steady_clock::now();
        table_export::writeCsvFile(t, QString::fromStdString(csvPath));
        writeSeconds.push_back(bench::secondsSince(written));
    }

    const double csv = bench::median(jobs[0].seconds), xls = bench::median(jobs[1].seconds), base = bench::median(jobs[2].seconds),
                 startUp = bench::median(jobs[3].seconds);
    std::printf("\n%-34s %10s %14s\n", "whole process (median)", "time, s", "/ CSV export");
    for (const Job& job : jobs)
        if (!job.failed)
            std::printf("%-34s %10.3f %14.2f\n", job.name, bench::median(job.seconds), csv > 0 ? bench::median(job.seconds) / csv : 0);
    std::printf("\nwhere the CSV export's %.3f s go:\n", csv);
    std::printf("  %-50s %8.3f s\n", "start-up of the program (kvel --version)", startUp);
    std::printf("  %-50s %8.3f s\n", "opening the table, in this process", bench::median(openSeconds));
    std::printf("  %-50s %8.3f s\n", "formatting and writing the CSV, in this process", bench::median(writeSeconds));
    std::printf("  %-50s %8.3f s\n", "the rest (settings, document, exit)",
                csv - startUp - bench::median(openSeconds) - bench::median(writeSeconds));

    std::printf("\ngoals:\n");
    if (csv > 0 && base > 0)
        bench::printGoal("dbfread reading every field over the CSV export", base / csv, "x", ">=", kAimTimesDbfread);
    else
        std::printf("  dbfread or the CSV export not measured (python3-dbfread missing?)\n");
    if (csv > 0 && xls > 0)
        bench::printGoal("CSV export over the .xls export", csv / xls, "x", "<=", kAimOverXls);
    return 0;
}
