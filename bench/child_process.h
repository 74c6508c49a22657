#pragma once

// Runs this benchmark program again as a child process for one measured job, so that the
// job's peak memory is its own: the child starts from nothing, and reports the largest
// resident set of its own memory (VmHWM) when it ends. The kernel's figure for the child
// (ru_maxrss) would not do: a child spawned without copying the parent's memory carries the
// parent's peak across the exec.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace bench {

struct ChildRun {
    bool ok = false;          // started, and exited with status 0
    double peakMB = 0;        // largest resident set of the child, in 10^6 bytes
    double seconds = 0;       // wall time from start to exit
};

// The child's part: prints its peak resident set as a line "peak-kib: N" on stdout.
inline void printOwnPeak()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            std::printf("peak-kib: %ld\n", std::atol(line.c_str() + 6));
    std::fflush(stdout);
}

// Runs `program` with `arguments` (argv[0] is the program) and `environment`, waits for it,
// and returns what it printed on stdout; `run.ok` when it exited with status 0.
inline ChildRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                           char* const* environment, std::string* printedOut = nullptr)
{
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    ChildRun run;
    int out[2];
    if (::pipe(out) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addclose(&actions, out[0]);
    timespec start{}, end{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environment);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string printed;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        printed.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    if (spawned != 0)
        return run;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return run;
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.seconds = static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    if (printedOut)
        *printedOut = std::move(printed);
    return run;
}

// `/proc/self/exe` with `arguments`; waits for it and reads the peak it printed.
inline ChildRun runSelf(const std::vector<std::string>& arguments)
{
    std::string printed;
    ChildRun run = runProgram("/proc/self/exe", arguments, environ, &printed);
    const std::size_t at = printed.rfind("peak-kib: ");
    run.ok = run.ok && at != std::string::npos;
    if (run.ok)
        run.peakMB = std::atof(printed.c_str() + at + 10) * 1024.0 / 1e6;
    return run;
}

// The baseline of the benchmarks that read a whole table: python3-dbfread reading every field
// of every record of the table named by its first argument, printing how many it read.
inline constexpr const char* kDbfreadEveryField = "import sys\n"
                                                  "from dbfread import DBF\n"
                                                  "n = 0\n"
                                                  "for record in DBF(sys.argv[1], encoding='cp1251'):\n"
                                                  "    for value in record.values():\n"
                                                  "        pass\n"
                                                  "    n += 1\n"
                                                  "print(n)\n";

// The median of some measurements; -1 for none.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Seconds from `start` until now.
inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Prints one goal line: what was measured, the aim, and whether it was met.
inline void printGoal(const char* what, double value, const char* unit, const char* relation, double aim)
{
    const std::string r = relation;
    const bool met = r == "<" ? value < aim : r == "<=" ? value <= aim : value >= aim;
    std::printf("  %-52s %10.2f %-3s aim %-2s %6.1f %-3s %s\n", what, value, unit, relation, aim, unit,
                met ? "met" : "NOT MET");
}

} // namespace bench
