// The archive, run by hand:
//   cmake --build build/dev --target bench_archive kvel && build/dev/bench/bench_archive [rounds]
// 1. Adding a table of 100,000 tests to an empty archive as the user does it, whole processes
//    (kvel --archive-import), in rounds (default 3) beside python3-dbfread reading every field
//    of the same table (the baseline), and adding the same table again (nothing new).
// 2. An archive of 1,000,000 tests (ten such tables of other rows): the window's list of
//    the penetrometer tests up to its first rows on screen, a date-range and a serial filter,
//    and the peak memory of a child process with the archive window open on it.
// The medians are printed with the ratios, then each goal and whether this run met it.

#include "app/archive_window.h"
#include "archive/archive.h"
#include "archive/test_list_model.h"
#include "store/measurement_table.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include "bench_tables.h"
#include "child_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 100'000;
constexpr int kTables = 10;
// The goals.
constexpr double kAimTimesDbfread = 2;   // adding, whole process, against dbfread reading it
constexpr double kAimFirstRowsSeconds = 1.0;
constexpr double kAimFilterSeconds = 0.1;
constexpr double kAimPeakMB = 250;

// The child: the archive window on `location`, shown offscreen with its first rows painted.
int childWindow(int argc, char** argv, const QString& location)
{
    QApplication app(argc, argv);
    {
        app::ArchiveWindow::Program program;
        program.addTables = [](std::vector<archive::TableToAdd>, const archive::SiteAssignment&) {};
        program.openTable = [](const QString&, const QByteArray&) {};
        app::ArchiveWindow window(std::make_unique<archive::Archive>(location), std::move(program));
        window.show();
        QApplication::processEvents();
        window.grab();
        // Scrolled through a few screens, as a user looks.
        QTableView* view = window.view(store::kPenetrometerKind);
        for (int i = 0; i < 20; ++i) {
            view->scrollTo(view->model()->index(i * 5000, 0));
            QApplication::processEvents();
            window.grab();
        }
    }
    bench::printOwnPeak();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child-window") == 0)
        return childWindow(argc, argv, QString::fromLocal8Bit(argv[2]));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit().constData(), 1);
    ::setenv("LANG", "C.UTF-8", 1);
    QCoreApplication core(argc, argv);

    std::printf("writing %d tables of %d tests…\n", kTables, kRows);
    std::vector<QString> tables;
    for (int k = 0; k < kTables; ++k) {
        tables.push_back(dir.filePath(QStringLiteral("site%1.db").arg(k)));
        bench::writeFieldWorkTable(tables.back(), kRows, 20050131u + unsigned(k));
    }
    const std::string table = tables.front().toStdString();

    // ---- 1. adding a table, whole processes ------------------------------------------------
    const std::string dbfread = bench::kDbfreadEveryField;
    std::vector<double> add, again, base;
    bool failed = false;
    for (int round = 0; round < rounds && !failed; ++round) {
        const QString location = dir.filePath(QStringLiteral("round%1.sqlite").arg(round));
        const std::vector<std::string> arguments = {"--archive-import", table, "--archive", location.toStdString()};
        const bench::ChildRun first = bench::runProgram(KVEL_PROGRAM, arguments, environ);
        const bench::ChildRun second = bench::runProgram(KVEL_PROGRAM, arguments, environ);
        std::string printed;
        const bench::ChildRun python = bench::runProgram("/usr/bin/python3", {"-c", dbfread, table}, environ, &printed);
        if (!first.ok || !second.ok) {
            std::printf("kvel --archive-import failed: not measured\n");
            failed = true;
            break;
        }
        add.push_back(first.seconds);
        again.push_back(second.seconds);
        if (python.ok && std::atoi(printed.c_str()) == kRows)
            base.push_back(python.seconds);
        QFile::remove(location);
    }
    std::printf("\n%-48s %10s %14s\n", "whole process, 100,000 tests (median)", "time, s", "/ dbfread");
    const double dbf = bench::median(base);
    const auto line = [&](const char* name, double seconds) {
        std::printf("%-48s %10.3f %14.2f\n", name, seconds, dbf > 0 ? seconds / dbf : 0.0);
    };
    line("kvel --archive-import into an empty archive", bench::median(add));
    line("kvel --archive-import of the same table again", bench::median(again));
    if (dbf > 0)
        line("python3-dbfread, every field", dbf);

    // ---- 2. a million tests ------------------------------------------------------------------
    const QString million = dir.filePath(QStringLiteral("million.sqlite"));
    double firstRows = -1, dateFilter = -1, serialFilter = -1;
    qint64 total = 0;
    int dateRows = 0, serialRows = 0;
    try {
        archive::Archive archive(million);
        const auto start = std::chrono::steady_clock::now();
        for (const QString& t : tables)
            archive.addTableFile(t);
        total = archive.testCount();
        std::printf("\n%lld tests in the archive (%.1f s to add them in this process)\n", static_cast<long long>(total),
                    bench::secondsSince(start));
        std::vector<double> first, byDate, bySerial;
        for (int round = 0; round < rounds; ++round) {
            auto opened = std::chrono::steady_clock::now();
            archive::TestListModel model(archive, store::kPenetrometerKind);
            for (int row = 0; row < 40; ++row)
                for (int column = 0; column < model.columnCount(); ++column)
                    model.data(model.index(row, column));
            first.push_back(bench::secondsSince(opened));
            archive::TestFilter filter;
            filter.from = QDate(2005, 3, 1);
            filter.to = QDate(2005, 3, 31);
            opened = std::chrono::steady_clock::now();
            model.setFilter(filter);
            for (int row = 0; row < 40; ++row)
                model.data(model.index(row, 0));
            byDate.push_back(bench::secondsSince(opened));
            dateRows = model.rowCount();
            archive::TestFilter serial;
            serial.serial = 1007;
            opened = std::chrono::steady_clock::now();
            model.setFilter(serial);
            for (int row = 0; row < 40; ++row)
                model.data(model.index(row, 0));
            bySerial.push_back(bench::secondsSince(opened));
            serialRows = model.rowCount();
        }
        firstRows = bench::median(first);
        dateFilter = bench::median(byDate);
        serialFilter = bench::median(bySerial);
    } catch (const std::exception& error) {
        std::printf("the million-test archive failed: %s\n", error.what());
    }
    std::printf("%-48s %10.3f s\n", "the penetrometer tests up to the first rows", firstRows);
    std::printf("%-48s %10.3f s (%d tests)\n", "a month's date range", dateFilter, dateRows);
    std::printf("%-48s %10.3f s (%d tests)\n", "one instrument's serial", serialFilter, serialRows);
    const bench::ChildRun window = bench::runSelf({"--child-window", million.toStdString()});
    if (window.ok)
        std::printf("%-48s %10.1f MB (%.2f s)\n", "peak memory, the archive window open", window.peakMB, window.seconds);
    else
        std::printf("the window's child run failed\n");

    std::printf("\ngoals:\n");
    if (dbf > 0 && !add.empty())
        bench::printGoal("dbfread reading every field over adding the table", dbf / bench::median(add), "x", ">=",
                         kAimTimesDbfread);
    else
        std::printf("  dbfread or the import not measured (python3-dbfread missing?)\n");
    if (firstRows >= 0) {
        bench::printGoal("1,000,000 tests: the first rows", firstRows, "s", "<", kAimFirstRowsSeconds);
        bench::printGoal("1,000,000 tests: a date-range filter", dateFilter, "s", "<", kAimFilterSeconds);
        bench::printGoal("1,000,000 tests: a serial filter", serialFilter, "s", "<", kAimFilterSeconds);
    }
    if (window.ok)
        bench::printGoal("1,000,000 tests: peak memory with the window open", window.peakMB, "MB", "<", kAimPeakMB);
    return 0;
}
