// Benchmark runs reported as ratios: each benchmark's time per iteration against a baseline of the same run.
#pragma once

#include <string>

namespace vrbench {

// Which time per iteration the ratios compare: the calling thread's CPU time, or wall time for benchmarks
// whose calls wait on other threads or processes (their waiting costs no CPU of the calling thread).
enum class RatioClock { Cpu, Wall };

// Runs the registered benchmarks (command-line flags as Google Benchmark takes them), prints the usual table,
// then one line per benchmark: "ratio <name> <time / baseline time>" by time per iteration on the clock given
// (the medians when the runs are repeated). Returns the process exit code (1 when the baseline did not run).
int RunWithRatios(int argc, char** argv, const std::string& baselineName, RatioClock clock = RatioClock::Cpu);

} // namespace vrbench
