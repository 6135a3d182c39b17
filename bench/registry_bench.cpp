// Parsing a hive file with many sibling keys: 300,000 keys against 30,000, reported as a ratio (about 10
// when parsing grows in step with the file).
#include "bench/ratio_reporter.h"
#include "platform/registry/hive_text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// A hive with `count` sibling keys of one value each, in the order a program that numbers its keys writes
// them (not the order of enumeration, in which the registry itself writes them).
std::string HiveWithSiblings(int count) {
    std::vector<int> numbers(static_cast<size_t>(count));
    std::iota(numbers.begin(), numbers.end(), 0);
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
    std::string text = std::string(vr::registry::kHiveHeader) + "\n\n";
    for (int number : numbers) {
        text += "[HKEY_CURRENT_USER\\Many\\K" + std::to_string(number) + "]\n@=\"x\"\n\n";
    }
    return text;
}

void ParseSiblings(benchmark::State& state, int count) {
    const std::string text = HiveWithSiblings(count);
    for (auto _ : state) {
        auto hive =
            std::make_unique<vr::registry::ParsedHive>(vr::registry::ParseHive(text, "HKEY_CURRENT_USER"));
        benchmark::DoNotOptimize(hive->root.SubKeyCount());
        state.PauseTiming();
        hive.reset(); // freeing the tree is no part of parsing it
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Parse30000Siblings(benchmark::State& state) {
    ParseSiblings(state, 30000);
}
BENCHMARK(BM_Parse30000Siblings)->Unit(benchmark::kMillisecond);

void BM_Parse300000Siblings(benchmark::State& state) {
    ParseSiblings(state, 300000);
}
BENCHMARK(BM_Parse300000Siblings)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return vrbench::RunWithRatios(argc, argv, "BM_Parse30000Siblings");
}
