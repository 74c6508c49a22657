#pragma once

// Runs this benchmark program again as a child process for one measured job, so that the
// job's peak memory is its own: the child starts from nothing, and the kernel reports the
// largest resident set it ever had.

#include <cstdio>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
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

// `/proc/self/exe` with `arguments`; waits for it.
inline ChildRun runSelf(const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"/proc/self/exe"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    ChildRun run;
    timespec start{}, end{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return run;
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakMB = static_cast<double>(usage.ru_maxrss) * 1024.0 / 1e6; // Linux reports KiB
    run.seconds = static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    return run;
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
