// Benchmark runs reported as ratios: each benchmark's time per iteration against a baseline of the same run.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vrbench {

// Which time per iteration the ratios compare: the benchmark thread's CPU time, or wall-clock time (for calls
// that spend their time blocked, waiting for other threads or processes).
enum class RatioTime { Cpu, Wall };

// Runs the registered benchmarks (command-line flags as Google Benchmark takes them), prints the usual table,
// then one line per benchmark: "ratio <name> <time / baseline time>" by time per iteration (the medians
// when the runs are repeated). Returns the process exit code (1 when the baseline did not run).
int RunWithRatios(int argc, char** argv, const std::string& baselineName, RatioTime time = RatioTime::Cpu);

// The same for benchmarks that each have their own floor: one line "ratio <name> <time / floor time> (against
// <floor>)" per pair whose two benchmarks both ran.
int RunWithRatioPairs(int argc, char** argv, const std::vector<std::pair<std::string, std::string>>& pairs,
                      RatioTime time);

} // namespace vrbench
