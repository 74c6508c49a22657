// The program's peak memory with a big table open, run by hand (not part of ctest):
//   cmake --build build --target bench_memory && build/bench/bench_memory
// Writes a 100,000-row measurement table, then starts this program again as a child that
// builds the real main window offscreen, opens the table in it, paints it, and exits; the
// kernel reports the child's largest resident set. A child that paints the window without a
// table gives the program's own footprint for comparison.

#include "app/main_window.h"
#include "app/program_state.h"
#include "bench_tables.h"
#include "child_process.h"

#include <QApplication>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kRows = 100'000;
constexpr double kAimPeakMB = 120;

// The child: the main window, with the table when one is named.
int showWindow(int argc, char** argv, const char* table)
{
    QApplication application(argc, argv);
    QSettings::setDefaultFormat(QSettings::IniFormat);
    app::ProgramState state;
    app::MainWindow window(state);
    window.resize(1366, 768);
    window.show();
    if (table) {
        window.openTable(QString::fromLocal8Bit(table));
        // An opened table names itself in the caption.
        if (window.windowTitle() == app::kCaption)
            return 1;
    }
    QApplication::processEvents();
    const QImage painted = window.grab().toImage();
    bench::printOwnPeak();
    return painted.isNull() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--child-window") == 0)
        return showWindow(argc, argv, argc >= 3 ? argv[2] : nullptr);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // The children run offscreen, with settings of their own.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit().constData(), 1);
    const QString table = dir.filePath(QStringLiteral("measurements.db"));
    bench::writeFieldWorkTable(table, kRows);

    const bench::ChildRun empty = bench::runSelf({"--child-window"});
    const bench::ChildRun full = bench::runSelf({"--child-window", table.toLocal8Bit().toStdString()});
    if (!empty.ok || !full.ok) {
        std::printf("a child run failed\n");
        return 1;
    }
    std::printf("peak memory of the program: without a table %.1f MB; with %d rows open %.1f MB (%.2f s)\n",
                empty.peakMB, kRows, full.peakMB, full.seconds);
    std::printf("\ngoals:\n");
    bench::printGoal("peak memory, the program with 100,000 rows open", full.peakMB, "MB", "<", kAimPeakMB);
    return 0;
}
