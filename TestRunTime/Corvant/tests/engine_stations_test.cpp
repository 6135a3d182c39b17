// Stations sharing one results database: eight processes, each with an engine of its own as a station's
// program has, claim sessions of one test at random moments and store a row under each.
#include "common/VrConfigData.h"
#include "common/tests/ResultsTestSupport.h"
#include "engine_fixture.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace corvanttest {
namespace {

constexpr const char* kDataSourceVariable = "VR_STATION_DSN";
constexpr const char* kIndexVariable = "VR_STATION_INDEX";
constexpr const char* kClaimsVariable = "VR_STATION_CLAIMS";
constexpr int kStations = 8;
constexpr int kClaimsPerStation = 200;

std::string StationName(int station) {
    return "station" + std::to_string(station);
}

// A database of the kind that neither table exists in yet, so the stations also make them at once. The
// SQLite file is not flushed to the disk (its locks, which are what is tested, stay the same).
std::string EmptyDatabase(dbtest::DatabaseKind kind) {
    if (kind == dbtest::DatabaseKind::Postgres) {
        return resultstest::ResultsDataSource(kind, "stations");
    }
    dbtest::UsePrivateDriverConfig();
    return dbtest::WriteFileDataSource("stations",
                                       "DRIVER=SQLite3\nDatabase=" + dbtest::NewSqliteFile("stations") +
                                           "\nTimeout=20000\nSyncPragma=OFF\n");
}

// Each station's claims as recorded by the station: claim number -> session.
using Claims = std::map<std::string, std::map<std::string, std::string>>;

Claims ReadClaims(const std::string& folder) {
    Claims claims;
    for (int station = 0; station < kStations; ++station) {
        std::ifstream file(folder + "/" + StationName(station) + ".claims");
        std::string claim;
        std::string session;
        while (file >> claim >> session) {
            claims[StationName(station)][claim] = session;
        }
    }
    return claims;
}

class StationsTest : public testing::TestWithParam<dbtest::DatabaseKind> {};

TEST_P(StationsTest, EveryClaimedSessionIsHeldByOneStationAndCarriedByItsRow) {
    std::string dsn = EmptyDatabase(GetParam());
    if (dsn.empty()) {
        dbtest::ReportMissingPostgres();
        return;
    }
    std::string folder = vrtest::MakeFreshFolder("stations");
    pid_t stations[kStations];
    for (int i = 0; i < kStations; ++i) {
        stations[i] = vrtest::StartSelfTest("Station.DISABLED_ClaimsSessionsAndStoresARowUnderEach",
                                            {{kDataSourceVariable, dsn},
                                             {kIndexVariable, std::to_string(i)},
                                             {kClaimsVariable, folder + "/" + StationName(i) + ".claims"}},
                                            folder + "/" + StationName(i) + ".log");
    }
    for (int i = 0; i < kStations; ++i) {
        EXPECT_EQ(vrtest::WaitForChild(stations[i]), 0)
            << "see " << folder << "/" << StationName(i) << ".log (VR_TEST_KEEP=1 keeps it)";
    }

    Claims claims = ReadClaims(folder);
    std::set<std::string> sessions;
    for (const auto& [station, own] : claims) {
        EXPECT_EQ(own.size(), static_cast<size_t>(kClaimsPerStation)) << station;
        for (const auto& [claim, session] : own) {
            EXPECT_TRUE(sessions.insert(session).second) << session << " claimed twice, last by " << station;
        }
    }
    // Every number from the first on was handed out: none lost, none skipped.
    ASSERT_EQ(sessions.size(), static_cast<size_t>(kStations * kClaimsPerStation));
    EXPECT_EQ(*sessions.begin(), "000000001");
    EXPECT_EQ(*sessions.rbegin(), "000001600");

    std::vector<resultstest::Row> rows = resultstest::StoredRows(dsn);
    EXPECT_EQ(rows.size(), static_cast<size_t>(kStations * kClaimsPerStation));
    for (const resultstest::Row& row : rows) {
        std::string station = vr::ToUtf8(row[6]);
        std::string claim = vr::ToUtf8(row[1]);
        EXPECT_EQ(vr::ToUtf8(row[9]), claims[station][claim]) << station << " " << claim;
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, StationsTest,
                         testing::Values(dbtest::DatabaseKind::Sqlite, dbtest::DatabaseKind::Postgres),
                         dbtest::KindName);

// Run only by EveryClaimedSessionIsHeldByOneStationAndCarriedByItsRow, in processes of their own.
TEST(Station, DISABLED_ClaimsSessionsAndStoresARowUnderEach) {
    const char* dsn = std::getenv(kDataSourceVariable);
    const char* index = std::getenv(kIndexVariable);
    const char* claimsFile = std::getenv(kClaimsVariable);
    ASSERT_TRUE(dsn != nullptr && index != nullptr && claimsFile != nullptr);
    dbtest::UsePrivateDriverConfig();
    CVrConfigData config;
    BSTR dsnText = vr::AllocBstrUtf8(dsn);
    ASSERT_TRUE(config.StoreItem("DSN", dsnText));
    SysFreeString(dsnText);

    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    vr::ComPtr<IVrTestEngine> engine = CreateEngine();
    ASSERT_TRUE(engine) << vr::ToUtf8(ErrorDescription());
    std::string station = StationName(std::atoi(index));
    ASSERT_EQ(engine->put_TestID(Bstr(u"LineTest")), S_OK);
    ASSERT_EQ(engine->put_SN(Bstr(vr::FromUtf8(station))), S_OK);

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pause(0, 1500);
    std::ofstream claims(claimsFile);
    for (int claim = 0; claim < kClaimsPerStation; ++claim) {
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        ASSERT_EQ(engine->SetNextTestExecSession(), S_OK) << vr::ToUtf8(ErrorDescription());
        BSTR session = nullptr;
        ASSERT_EQ(engine->get_TestExecSession(&session), S_OK);
        std::string sessionText = vr::ToUtf8(TextOf(session));
        SysFreeString(session);
        // The moment between the claim and the session's first row, in which the number must stay held.
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        std::string resultId = "claim" + std::to_string(claim);
        ASSERT_EQ(
            engine->SaveResult(Long(claim), Bstr(vr::FromUtf8(resultId)), Missing(), Long(1), Missing()),
            S_OK)
            << vr::ToUtf8(ErrorDescription());
        claims << resultId << ' ' << sessionText << '\n' << std::flush;
    }
    engine = nullptr;
    CoUninitialize();
}

} // namespace
} // namespace corvanttest
