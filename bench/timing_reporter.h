#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include <unistd.h>

namespace bench {

// The usual console table, plus every finished run handed to record() with its real time in
// seconds, so that a program can print its own ratios after the table. With repetitions
// (--benchmark_repetitions=3) the median of the repetitions comes last and is what counts.
class TimingReporter : public benchmark::ConsoleReporter {
public:
    TimingReporter() : ConsoleReporter(::isatty(::fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type == Run::RT_Iteration || median) && !run.error_occurred)
                record(run, run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit));
        }
    }

protected:
    virtual void record(const Run& run, double seconds) = 0;
};

} // namespace bench
