// Benchmark runs reported as ratios against a baseline measured in the same run.
#include "bench/ratio_reporter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include <unistd.h>

namespace vrbench {
namespace {

// The console table as usual, and each plain run's seconds per iteration on the chosen clock kept for the
// ratios (several with --benchmark_repetitions, of which the median counts).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that the ratio lines stay plain in a file or a pipe.
    explicit RatioReporter(RatioClock clock)
        : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular), clock_(clock) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
                std::vector<double>& times = times_[run.run_name.function_name];
                double seconds =
                    clock_ == RatioClock::Wall ? run.real_accumulated_time : run.cpu_accumulated_time;
                times.push_back(seconds / static_cast<double>(run.iterations));
                if (times.size() == 1) {
                    order_.push_back(run.run_name.function_name);
                }
            }
        }
    }
    const std::vector<std::string>& Names() const { return order_; }
    double Median(const std::string& name) const {
        auto it = times_.find(name);
        if (it == times_.end()) {
            return 0;
        }
        std::vector<double> times = it->second;
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        return times[times.size() / 2];
    }

private:
    const RatioClock clock_;
    std::map<std::string, std::vector<double>> times_;
    std::vector<std::string> order_;
};

} // namespace

int RunWithRatios(int argc, char** argv, const std::string& baselineName, RatioClock clock) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(clock);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double baseline = reporter.Median(baselineName);
    if (baseline <= 0) {
        std::fprintf(stderr, "the baseline %s did not run\n", baselineName.c_str());
        return 1;
    }
    for (const std::string& name : reporter.Names()) {
        std::printf("ratio %s %.2f\n", name.c_str(), reporter.Median(name) / baseline);
    }
    return 0;
}

} // namespace vrbench
