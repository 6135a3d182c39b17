// SaveResult rows per second against bare prepared ODBC inserts into the same database;
// SetNextTestExecSession with 100,000 rows in the test's last session against a near-empty table; and its
// claim of a number against a lookup of the highest stored one alone (how sessions were numbered before they
// were claimed); on a SQLite file and on a PostgreSQL cluster of the benchmark's own, reported as ratios of
// wall time.
#include "bench/results_bench_odbc.h"
#include "common/results/ResultsTable.h"
#include "platform/ado/connection_string.h"
#include "platform/ado/tests/db_servers.h"
#include "platform/base/format.h"
#include "platform/base/text.h"

#include <benchmark/benchmark.h>

#include <array>
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
    // Data sources of the session numbering: a table whose test holds many rows in its last session, and a
    // table of one row.
    std::string manyRowsDsnFile;
    std::string oneRowDsnFile;
};

constexpr int kRowsInLastSession = 100000;

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

// Each run claims the number after the last one.
void BM_NextSession(benchmark::State& state, const std::string& dsnFile) {
    CADO results;
    if (FAILED(OpenResultsDatabase(results, vr::FromUtf8(dsnFile).c_str()))) {
        state.SkipWithError("the results database does not open");
        return;
    }
    std::u16string session;
    std::u16string last;
    for (auto _ : state) {
        if (FAILED(NextTestExecSession(&results, u"Bench", &session)) || session <= last) {
            state.SkipWithError("SetNextTestExecSession failed");
            return;
        }
        last = session;
    }
}

// The lookup that numbered sessions before they were claimed: the test's highest stored session, read.
void BM_LookupAlone(benchmark::State& state, const std::string& dsnFile) {
    CADO results;
    if (FAILED(OpenResultsDatabase(results, vr::FromUtf8(dsnFile).c_str()))) {
        state.SkipWithError("the results database does not open");
        return;
    }
    std::array<_variant_t, 1> keys = {u"Bench"};
    std::string stored;
    for (auto _ : state) {
        if (!results.Execute(u"SELECT MAX([ExecSession]) AS ExecSession FROM TestResults WHERE TestID=?;",
                             keys) ||
            !results.MoveFirstItem() || !results.GetItem(u"ExecSession", stored) || stored != "000000007") {
            state.SkipWithError("the lookup failed");
            return;
        }
    }
}

// Rows of test Bench in session 000000007 (the last), and one row of an earlier session; a recursive query
// that both databases run makes them in one statement.
bool FillSessions(const std::string& dsnFile, int rows) {
    CADO database;
    if (FAILED(OpenResultsDatabase(database, vr::FromUtf8(dsnFile).c_str()))) {
        return false;
    }
    std::u16string fill = vr::FormatWString(
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<%d) "
        u"INSERT INTO TestResults (TestID,TestResultID,TestResultValue,SpecValue,TestStatus,Description,SN,"
        u"TestPlanID,TestPlanVariantID,ExecSession,TestDate,TestTime) SELECT 'Bench','Voltage','1.25',"
        u"'range:0..5','Passed','Output','SN-1','Plan','Variant','000000007','March 05, 2024','01:02:03 PM' "
        u"FROM n",
        rows);
    return database.Execute(fill.c_str()) &&
           database.Execute(u"INSERT INTO TestResults (TestID,ExecSession) VALUES ('Bench','000000006')");
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
    auto sqliteLines = [&](const std::string& file) {
        return "DRIVER=SQLite3\nDatabase=" + folder + "/" + file + "\nTimeout=10000\n";
    };
    databases.push_back({"SQLite", WriteDataSource(folder + "/sqlite.dsn", sqliteLines("results.db")),
                         WriteDataSource(folder + "/sqlite-many.dsn", sqliteLines("many.db")),
                         WriteDataSource(folder + "/sqlite-one.dsn", sqliteLines("one.db"))});
    std::string why;
    std::unique_ptr<dbtest::PostgresCluster> cluster = dbtest::PostgresCluster::Start(&why);
    if (cluster) {
        // One database of the cluster per table.
        std::string lines = cluster->FileDataSourceLines();
        CADO server;
        std::string serverDsn = WriteDataSource(folder + "/server.dsn", lines);
        if (FAILED(OpenResultsDatabase(server, vr::FromUtf8(serverDsn).c_str())) ||
            !server.Execute(u"CREATE DATABASE results") || !server.Execute(u"CREATE DATABASE many") ||
            !server.Execute(u"CREATE DATABASE one")) {
            std::printf("PostgreSQL: the benchmark's databases cannot be made\n");
            return 1;
        }
        auto postgresLines = [&](const std::string& database) {
            std::string text = lines;
            text.replace(text.find("Database=postgres"), 17, "Database=" + database);
            return text;
        };
        databases.push_back({"PostgreSQL",
                             WriteDataSource(folder + "/postgres.dsn", postgresLines("results")),
                             WriteDataSource(folder + "/postgres-many.dsn", postgresLines("many")),
                             WriteDataSource(folder + "/postgres-one.dsn", postgresLines("one"))});
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
        if (!FillSessions(database.manyRowsDsnFile, kRowsInLastSession) ||
            !FillSessions(database.oneRowDsnFile, 1)) {
            std::printf("%s: the session tables cannot be filled\n", database.name.c_str());
            return 1;
        }
        benchmark::RegisterBenchmark(("NextSessionOneRow/" + database.name).c_str(), BM_NextSession,
                                     database.oneRowDsnFile)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("NextSessionManyRows/" + database.name).c_str(), BM_NextSession,
                                     database.manyRowsDsnFile)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("LookupAloneManyRows/" + database.name).c_str(), BM_LookupAlone,
                                     database.manyRowsDsnFile)
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
            std::printf("%s: SaveResult %.0f rows/s, bare prepared insert %.0f rows/s, ratio (rows/s) %.2f\n",
                        database.name.c_str(), 1e9 / saved, 1e9 / bare, bare / saved);
        }
        double oneRow = reporter.PerRow("NextSessionOneRow/" + database.name + "/real_time");
        double manyRows = reporter.PerRow("NextSessionManyRows/" + database.name + "/real_time");
        if (oneRow > 0 && manyRows > 0) {
            std::printf("%s: SetNextTestExecSession %d rows in the last session %.3f ms, near-empty table "
                        "%.3f ms, ratio %.2f\n",
                        database.name.c_str(), kRowsInLastSession, manyRows / 1e6, oneRow / 1e6,
                        manyRows / oneRow);
        }
        double lookup = reporter.PerRow("LookupAloneManyRows/" + database.name + "/real_time");
        if (manyRows > 0 && lookup > 0 && saved > 0) {
            std::printf(
                "%s: claim of a session %.3f ms, lookup of the highest stored alone %.3f ms, ratio %.2f "
                "(goal: at most 2); a stored row %.3f ms\n",
                database.name.c_str(), manyRows / 1e6, lookup / 1e6, manyRows / lookup, saved / 1e6);
        }
    }
    cluster.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
