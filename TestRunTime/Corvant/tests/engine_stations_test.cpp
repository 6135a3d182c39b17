// Stations sharing one results database: eight processes, each with an engine of its own as a station's
// program has, claim sessions of one test at random moments and store a row under each.
#include "common/config/VrConfigData.h"
#include "common/results/tests/ResultsTestSupport.h"
#include "engine_fixture.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace corvanttest {
namespace {

constexpr const char* kDataSourceVariable = "VR_STATION_DSN";
constexpr const char* kIndexVariable = "VR_STATION_INDEX";
constexpr int kStations = 8;
constexpr int kClaimsPerStation = 200;

// A database that neither table exists in yet, so the stations also make them at once. The SQLite file is
// not flushed to the disk: its locks, which are what is tested, stay the same.
std::string EmptyDatabase(dbtest::DatabaseKind kind) {
    if (kind == dbtest::DatabaseKind::Postgres) {
        return resultstest::ResultsDataSource(kind, "stations");
    }
    dbtest::UsePrivateDriverConfig();
    return dbtest::WriteFileDataSource("stations",
                                       "DRIVER=SQLite3\nDatabase=" + dbtest::NewSqliteFile("stations") +
                                           "\nTimeout=20000\nSyncPragma=OFF\n");
}

class StationsTest : public testing::TestWithParam<dbtest::DatabaseKind> {};

// Each row's value is the session its station read back from its engine after the claim.
TEST_P(StationsTest, EveryClaimedSessionIsHeldByOneStationAndCarriedByItsRow) {
    std::string dsn = EmptyDatabase(GetParam());
    if (dsn.empty()) {
        dbtest::ReportMissingPostgres();
        return;
    }
    std::string logs = vrtest::MakeFreshFolder("stations");
    pid_t stations[kStations];
    for (int i = 0; i < kStations; ++i) {
        stations[i] = vrtest::StartSelfTest("Station.DISABLED_ClaimsSessionsAndStoresARowUnderEach",
                                            {{kDataSourceVariable, dsn}, {kIndexVariable, std::to_string(i)}},
                                            logs + "/station" + std::to_string(i) + ".log");
    }
    for (int i = 0; i < kStations; ++i) {
        EXPECT_EQ(vrtest::WaitForChild(stations[i]), 0)
            << "see " << logs << "/station" << i << ".log (VR_TEST_KEEP=1 keeps it)";
    }

    std::set<std::u16string> sessions;
    std::map<std::u16string, int> rowsOfStation;
    for (const resultstest::Row& row : resultstest::StoredRows(dsn)) {
        EXPECT_EQ(row[9], row[2]) << "the row of " << vr::ToUtf8(row[6]) << " " << vr::ToUtf8(row[1]);
        EXPECT_TRUE(sessions.insert(row[9]).second) << vr::ToUtf8(row[9]) << " claimed twice";
        ++rowsOfStation[row[6]];
    }
    EXPECT_EQ(rowsOfStation.size(), static_cast<size_t>(kStations));
    for (const auto& [station, rows] : rowsOfStation) {
        EXPECT_EQ(rows, kClaimsPerStation) << vr::ToUtf8(station);
    }
    // Every number from the first on was handed out: none lost, none skipped.
    ASSERT_EQ(sessions.size(), static_cast<size_t>(kStations * kClaimsPerStation));
    EXPECT_EQ(*sessions.begin(), u"000000001");
    EXPECT_EQ(*sessions.rbegin(), u"000001600");
}

INSTANTIATE_TEST_SUITE_P(Databases, StationsTest,
                         testing::Values(dbtest::DatabaseKind::Sqlite, dbtest::DatabaseKind::Postgres),
                         dbtest::KindName);

// Run only by EveryClaimedSessionIsHeldByOneStationAndCarriedByItsRow, in processes of their own.
TEST(Station, DISABLED_ClaimsSessionsAndStoresARowUnderEach) {
    const char* dsn = std::getenv(kDataSourceVariable);
    const char* index = std::getenv(kIndexVariable);
    ASSERT_TRUE(dsn != nullptr && index != nullptr);
    dbtest::UsePrivateDriverConfig();
    BSTR dsnText = vr::AllocBstrUtf8(dsn);
    ASSERT_TRUE(CVrConfigData().StoreItem("DSN", dsnText));
    SysFreeString(dsnText);

    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    vr::ComPtr<IVrTestEngine> engine = CreateEngine();
    ASSERT_TRUE(engine) << vr::ToUtf8(ErrorDescription());
    ASSERT_EQ(engine->put_TestID(Bstr(u"LineTest")), S_OK);
    ASSERT_EQ(engine->put_SN(Bstr(vr::FromUtf8(std::string("station") + index))), S_OK);
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pause(0, 1500);
    for (int claim = 0; claim < kClaimsPerStation; ++claim) {
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        ASSERT_EQ(engine->SetNextTestExecSession(), S_OK) << vr::ToUtf8(ErrorDescription());
        _variant_t session;
        session.vt = VT_BSTR;
        ASSERT_EQ(engine->get_TestExecSession(&session.bstrVal), S_OK);
        // The moment between the claim and the session's first row, in which the number must stay held.
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        ASSERT_EQ(engine->SaveResult(session, Bstr(vr::FromUtf8("claim" + std::to_string(claim))), Missing(),
                                     Long(1), Missing()),
                  S_OK)
            << vr::ToUtf8(ErrorDescription());
    }
    engine = nullptr;
    CoUninitialize();
}

} // namespace
} // namespace corvanttest
