// Benchmark runs reported as ratios: each benchmark's time per iteration against a baseline of the same run.
#pragma once

#include <string>

namespace vrbench {

// Runs the registered benchmarks (command-line flags as Google Benchmark takes them), prints the usual table,
// then one line per benchmark: "ratio <name> <time / baseline time>" by CPU time per iteration (the medians
// when the runs are repeated). Returns the process exit code (1 when the baseline did not run).
int RunWithRatios(int argc, char** argv, const std::string& baselineName);

} // namespace vrbench
