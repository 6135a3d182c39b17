// SaveResult rows per second against bare prepared ODBC inserts into the same database, on a SQLite file
// and on a PostgreSQL cluster of the benchmark's own, reported as ratios of wall time per row.
#include "bench/results_bench_odbc.h"
#include "common/ResultsTable.h"
#include "platform/ado/connection_string.h"
#include "platform/ado/tests/db_servers.h"
#include "platform/base/text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <vector>

namespace vrbench {
namespace {

struct Database {
    std::string name;
    std::string dsnFile;
};

void BM_BareInsert(benchmark::State& state, const Database& database) {
    BareOdbcInserter inserter;
    std::string why;
    std::u16string dsn = u"File Name=" + vr::FromUtf8(database.dsnFile);
    if (!inserter.Open(vr::ado::ToOdbcConnectionString(dsn), &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::vector<std::u16string> row = {u"Bench",   u"Voltage",   u"1.25",           u"range:0..5",
                                       u"Passed",  u"Output",    u"SN-1",           u"Plan",
                                       u"Variant", u"000000001", u"March 05, 2024", u"01:02:03 PM"};
    for (auto _ : state) {
        if (!inserter.Insert(row)) {
            state.SkipWithError("insert failed");
            return;
        }
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SaveResult(benchmark::State& state, const Database& database) {
    CADO results;
    if (FAILED(OpenResultsDatabase(results, vr::FromUtf8(database.dsnFile).c_str()))) {
        state.SkipWithError("the results database does not open");
        return;
    }
    TestResultOwner owner;
    owner.testId = u"Bench";
    owner.sn = u"SN-1";
    owner.testPlanId = u"Plan";
    owner.testPlanVariantId = u"Variant";
    owner.execSession = u"000000001";
    _variant_t value(1.25);
    _variant_t description(u"Output");
    _variant_t status(LONG{1});
    _variant_t spec(u"range:0..5");
    for (auto _ : state) {
        if (FAILED(SaveTestResult(&results, owner, value, u"Voltage", description, status, spec))) {
            state.SkipWithError("SaveResult failed");
            return;
        }
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The usual table, and each benchmark's wall time per row kept by its name for the ratios: the median when
// the runs are repeated, else the run's own.
class WallTimeReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            bool plain = run.run_type == Run::RT_Iteration && run.iterations > 0;
            if (!run.error_occurred && (median || (plain && !medians_.count(run.run_name.str())))) {
                perRow_[run.run_name.str()] = run.GetAdjustedRealTime();
                if (median) {
                    medians_.insert(run.run_name.str());
                }
            }
        }
    }
    // In nanoseconds (the benchmarks keep the default unit); 0 when the benchmark did not run.
    double PerRow(const std::string& name) const {
        auto it = perRow_.find(name);
        return it == perRow_.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> perRow_;
    std::set<std::string> medians_;
};

std::string WriteDataSource(const std::string& path, const std::string& lines) {
    std::ofstream(path, std::ios::trunc) << "[ODBC]\n" << lines;
    return path;
}

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    using namespace vrbench;
    std::string folder = (std::filesystem::temp_directory_path() / "vrbench.XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        return 1;
    }
    std::filesystem::create_directories(folder + "/odbc");
    dbtest::UseDriverConfigIn(folder + "/odbc");

    std::vector<Database> databases;
    databases.push_back(
        {"SQLite", WriteDataSource(folder + "/sqlite.dsn",
                                   "DRIVER=SQLite3\nDatabase=" + folder + "/results.db\nTimeout=10000\n")});
    std::string why;
    std::unique_ptr<dbtest::PostgresCluster> cluster = dbtest::PostgresCluster::Start(&why);
    if (cluster) {
        databases.push_back(
            {"PostgreSQL", WriteDataSource(folder + "/postgres.dsn", cluster->FileDataSourceLines())});
    } else {
        std::printf("PostgreSQL left out: %s\n", why.c_str());
    }
    for (const Database& database : databases) {
        CADO setup; // makes the table before either side is timed
        if (FAILED(OpenResultsDatabase(setup, vr::FromUtf8(database.dsnFile).c_str()))) {
            std::printf("%s: the results database does not open\n", database.name.c_str());
            return 1;
        }
        benchmark::RegisterBenchmark(("BareInsert/" + database.name).c_str(), BM_BareInsert, database)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("SaveResult/" + database.name).c_str(), BM_SaveResult, database)
            ->UseRealTime();
    }

    benchmark::Initialize(&argc, argv);
    WallTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const Database& database : databases) {
        double bare = reporter.PerRow("BareInsert/" + database.name + "/real_time");
        double saved = reporter.PerRow("SaveResult/" + database.name + "/real_time");
        if (bare > 0 && saved > 0) {
            std::printf(
                "%s: SaveResult %.0f rows/s, bare prepared insert %.0f rows/s, ratio (time per row) %.2f\n",
                database.name.c_str(), 1e9 / saved, 1e9 / bare, saved / bare);
        }
    }
    cluster.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
