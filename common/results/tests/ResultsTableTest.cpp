// The results table on both real databases: rows as SaveResult stores them, the checks before storing,
// execution sessions and their claims, and the database's first use.
#include "common/results/ResultRow.h"
#include "common/results/tests/ResultsTestSupport.h"
#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "platform/base/paths.h"
#include "tests/support/test_env.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <regex>

namespace {

using resultstest::Missing;
using resultstest::ResultsDatabaseTest;
using resultstest::Row;
using testing::ElementsAre;

std::string LastError() {
    return vr::ToUtf8(LastErrorText());
}

// The error text as it stands, then after a blank the database's reason, which holds the words of each kind.
void ExpectErrorWithReason(const std::string& text, dbtest::DatabaseKind kind, const std::string& sqlite,
                           const std::string& postgres) {
    EXPECT_THAT(LastError(), testing::StartsWith(text + " "));
    EXPECT_THAT(LastError(), testing::HasSubstr(kind == dbtest::DatabaseKind::Sqlite ? sqlite : postgres));
}

TestResultOwner Owner(const OLECHAR* sn = u"SN-1") {
    TestResultOwner owner;
    owner.testId = u"Test'1";
    owner.sn = sn;
    owner.testPlanId = u"Plan";
    owner.testPlanVariantId = u"Variant";
    owner.execSession = u"000000007";
    return owner;
}

TEST_P(ResultsDatabaseTest, RowHoldsTheTwelveTextsInOrder) {
    TestResultOwner owner = Owner(u"O'Neil-7");
    ASSERT_EQ(SaveTestResult(database_.get(), owner, _variant_t(0.1), u"Volt'age",
                             _variant_t(u"line\r\nit's \"ok\""), _variant_t(LONG{3}),
                             _variant_t(FLOAT{0.5f})),
              S_OK)
        << LastError();
    std::vector<Row> rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    const Row& row = rows[0];
    EXPECT_THAT(std::vector<std::u16string>(row.begin(), row.begin() + 10),
                ElementsAre(u"Test'1", u"Volt'age", u"0.1", u"0.500000", u"Warning", u"lineits ok",
                            u"O'Neil-7", u"Plan", u"Variant", u"000000007"));
    EXPECT_TRUE(std::regex_match(vr::ToUtf8(row[10]), std::regex("[A-Z][a-z]+ [0-9]{2}, [0-9]{4}")))
        << vr::ToUtf8(row[10]);
    EXPECT_TRUE(std::regex_match(vr::ToUtf8(row[11]), std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} (AM|PM)")))
        << vr::ToUtf8(row[11]);
}

TEST_P(ResultsDatabaseTest, MissingArgumentsStoreEmptyTextsAndUnknown) {
    TestResultOwner owner = Owner();
    owner.testPlanId = nullptr;
    ASSERT_EQ(SaveTestResult(database_.get(), owner, Missing(), nullptr, Missing(), Missing(), Missing()),
              S_OK)
        << LastError();
    std::vector<Row> rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_THAT(std::vector<std::u16string>(rows[0].begin(), rows[0].begin() + 8),
                ElementsAre(u"Test'1", u"", u"", u"", u"Unknown", u"", u"SN-1", u""));
}

TEST_P(ResultsDatabaseTest, LongValuesAreCutAsTheirDisplayText) {
    std::u16string value(1500, u'v');
    ASSERT_EQ(SaveTestResult(database_.get(), Owner(), _variant_t(value.c_str()), u"R", Missing(), Missing(),
                             _variant_t(value.c_str())),
              S_OK);
    Row row = Rows().at(0);
    EXPECT_EQ(row[2], std::u16string(996, u'v') + u"...");
    EXPECT_EQ(row[3], row[2]);
}

TEST_P(ResultsDatabaseTest, TestSerialNumbersStoreNothingWhateverTheStatus) {
    for (const OLECHAR* sn : {u"TEST", u"<undefined>", u""}) {
        EXPECT_EQ(SaveTestResult(database_.get(), Owner(sn), _variant_t(1.0), u"R", Missing(),
                                 _variant_t(LONG{9}), Missing()),
                  S_OK);
    }
    EXPECT_TRUE(Rows().empty());
}

TEST_P(ResultsDatabaseTest, WrongStatusIsRefusedAndNothingStored) {
    EXPECT_EQ(SaveTestResult(database_.get(), Owner(), _variant_t(1.0), u"R", Missing(), _variant_t(LONG{8}),
                             Missing()),
              E_INVALIDARG);
    EXPECT_EQ(LastError(), "Wrong vTestStatus entry value of '8'.");
    EXPECT_EQ(SaveTestResult(database_.get(), Owner(), _variant_t(1.0), u"R", Missing(), _variant_t(u"abc"),
                             Missing()),
              E_INVALIDARG);
    EXPECT_EQ(LastError(), "Wrong vTestStatus entry value of 'abc'.");
    EXPECT_EQ(SaveTestResult(database_.get(), Owner(), _variant_t(1.0), u"R", Missing(), _variant_t(LONG{-1}),
                             Missing()),
              E_INVALIDARG);
    EXPECT_TRUE(Rows().empty());
    // A status given as text of a number is taken.
    EXPECT_EQ(SaveTestResult(database_.get(), Owner(), _variant_t(1.0), u"R", Missing(), _variant_t(u"7"),
                             Missing()),
              S_OK);
    EXPECT_EQ(Rows().at(0)[4], u"Error");
}

TEST_P(ResultsDatabaseTest, DescriptionWithoutTextFailsWithItsConversion) {
    SAFEARRAYBOUND bound{2, 0};
    _variant_t array;
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreate(VT_I4, 1, &bound);
    HRESULT hr = SaveTestResult(database_.get(), Owner(), _variant_t(1.0), u"R", array, Missing(), Missing());
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(LastError().find("Vornic Error: A"), std::string::npos) << LastError();
    EXPECT_NE(LastError().find("(ResultsTable.cpp)"), std::string::npos) << LastError();
    EXPECT_TRUE(Rows().empty());
}

TEST_P(ResultsDatabaseTest, SessionsCountOnPerTest) {
    std::u16string session = u"untouched";
    ASSERT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), S_OK) << LastError();
    EXPECT_EQ(session, u"000000001");

    TestResultOwner owner = Owner();
    owner.execSession = u"000000041";
    ASSERT_EQ(SaveTestResult(database_.get(), owner, _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);
    owner.execSession = u"000000009";
    ASSERT_EQ(SaveTestResult(database_.get(), owner, _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);
    TestResultOwner other = Owner();
    other.testId = u"Other";
    other.execSession = u"000000500";
    ASSERT_EQ(SaveTestResult(database_.get(), other, _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);

    ASSERT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), S_OK) << LastError();
    EXPECT_EQ(session, u"000000042");
    ASSERT_EQ(NextTestExecSession(database_.get(), u"Other", &session), S_OK);
    EXPECT_EQ(session, u"000000501");
}

TEST_P(ResultsDatabaseTest, RowsWithoutASessionStartAtOne) {
    TestResultOwner owner = Owner();
    owner.execSession = nullptr;
    ASSERT_EQ(SaveTestResult(database_.get(), owner, _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);
    std::u16string session;
    ASSERT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), S_OK);
    EXPECT_EQ(session, u"000000001");
    EXPECT_NE(TraceSiteTag().find(u"ResultsTable.cpp"), std::u16string::npos);
}

TEST_P(ResultsDatabaseTest, LeadingDigitsOfAStoredSessionCount) {
    TestResultOwner owner = Owner();
    owner.execSession = u"2147483647";
    ASSERT_EQ(SaveTestResult(database_.get(), owner, _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);
    std::u16string session;
    ASSERT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), S_OK);
    EXPECT_EQ(session, u"2147483648");
    // Beyond the highest LONG the numbers go on growing.
    owner.execSession = u"99999999999";
    ASSERT_EQ(SaveTestResult(database_.get(), owner, _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);
    ASSERT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), S_OK);
    EXPECT_EQ(session, u"100000000000");
}

TEST_P(ResultsDatabaseTest, LostTableFailsBothOperations) {
    ASSERT_TRUE(database_->Execute(u"DROP TABLE TestResults"));
    EXPECT_EQ(SaveTestResult(database_.get(), Owner(), _variant_t(LONG{5}), u"Volt", Missing(), Missing(),
                             Missing()),
              E_FAIL);
    ExpectErrorWithReason("Couldn't save TestResult TestID='Test'1': 'Volt = 5' into the DataBase.",
                          GetParam(), "no such table: TestResults",
                          "relation \"testresults\" does not exist");
    std::u16string session = u"kept";
    EXPECT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), E_FAIL);
    ExpectErrorWithReason(
        "Error while searching for records of 'TestResults' table of the DataBase with TestID = 'Test'1'.",
        GetParam(), "no such table: TestResults", "relation \"testresults\" does not exist");
    EXPECT_EQ(session, u"kept");
}

TEST_P(ResultsDatabaseTest, ReopeningKeepsTheRows) {
    ASSERT_EQ(
        SaveTestResult(database_.get(), Owner(), _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
        S_OK);
    CADO again;
    ASSERT_EQ(OpenResultsDatabase(again, vr::FromUtf8(dsn_).c_str()), S_OK) << LastError();
    ASSERT_EQ(SaveTestResult(&again, Owner(), _variant_t(2.0), u"R", Missing(), Missing(), Missing()), S_OK);
    EXPECT_EQ(Rows().size(), 2u);
}

// A database written before sessions were claimed: the claims table is made as it opens, and numbers go on
// from the highest stored, held from the claim on.
TEST_P(ResultsDatabaseTest, DatabaseWithoutClaimsGoesOnFromItsHighestSessionAndHoldsEachClaim) {
    TestResultOwner owner = Owner();
    owner.execSession = u"000000041";
    ASSERT_EQ(SaveTestResult(database_.get(), owner, _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);
    ASSERT_TRUE(database_->Execute(u"DROP TABLE TestExecSessions"));
    CADO station;
    ASSERT_EQ(OpenResultsDatabase(station, vr::FromUtf8(dsn_).c_str()), S_OK) << LastError();
    std::u16string session;
    ASSERT_EQ(NextTestExecSession(&station, u"Test'1", &session), S_OK) << LastError();
    EXPECT_EQ(session, u"000000042");
    ASSERT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), S_OK) << LastError();
    EXPECT_EQ(session, u"000000043");
}

// A claim the database refuses hands out no number.
TEST_P(ResultsDatabaseTest, RefusedClaimFailsWithItsNumber) {
    ASSERT_TRUE(database_->Execute(u"DROP TABLE TestExecSessions"));
    ASSERT_TRUE(database_->Execute(u"CREATE VIEW TestExecSessions AS SELECT DISTINCT TestID, ExecSession "
                                   u"FROM TestResults"));
    std::u16string session = u"kept";
    EXPECT_EQ(NextTestExecSession(database_.get(), u"Test'1", &session), E_FAIL);
    EXPECT_EQ(session, u"kept");
    ExpectErrorWithReason("Couldn't claim ExecSession '000000001' of the 'TestExecSessions' table of the "
                          "DataBase with TestID = 'Test'1'.",
                          GetParam(), "cannot modify TestExecSessions because it is a view",
                          "cannot insert into view \"testexecsessions\"");
    ASSERT_TRUE(database_->Execute(u"DROP VIEW TestExecSessions")); // the fixture drops tables only
}

INSTANTIATE_TEST_SUITE_P(Databases, ResultsDatabaseTest,
                         testing::Values(dbtest::DatabaseKind::Sqlite, dbtest::DatabaseKind::Postgres),
                         dbtest::KindName);

class ResultsServerTest : public commontest::TracedTest {};

// A station whose server went away fails its claim with the server's reason.
TEST_F(ResultsServerTest, ClaimWithoutTheServerFailsWithItsReason) {
    std::string dsn = resultstest::ResultsDataSource(dbtest::DatabaseKind::Postgres, "lost");
    if (dsn.empty()) {
        dbtest::ReportMissingPostgres();
        return;
    }
    CADO station;
    CADO admin;
    ASSERT_EQ(OpenResultsDatabase(station, vr::FromUtf8(dsn).c_str()), S_OK) << LastError();
    ASSERT_EQ(OpenResultsDatabase(admin, vr::FromUtf8(dsn).c_str()), S_OK) << LastError();
    std::string pid;
    ASSERT_TRUE(station.Execute(u"SELECT pg_backend_pid() AS Pid") && station.MoveFirstItem() &&
                station.GetItem(u"Pid", pid));
    ASSERT_TRUE(admin.Execute(vr::FromUtf8("SELECT pg_terminate_backend(" + pid + ")").c_str()));
    std::u16string session = u"kept";
    EXPECT_EQ(NextTestExecSession(&station, u"Test'1", &session), E_FAIL);
    EXPECT_EQ(session, u"kept");
    ExpectErrorWithReason(
        "Error while searching for records of 'TestResults' table of the DataBase with TestID = 'Test'1'.",
        dbtest::DatabaseKind::Postgres, "", "terminating connection");
}

TEST(ResultsWithoutDatabaseTest, NothingIsStoredAndTheSessionIsEmpty) {
    EXPECT_EQ(SaveTestResult(nullptr, Owner(), _variant_t(1.0), u"R", Missing(), Missing(), Missing()), S_OK);
    // The checks still run.
    EXPECT_EQ(
        SaveTestResult(nullptr, Owner(), _variant_t(1.0), u"R", Missing(), _variant_t(LONG{8}), Missing()),
        E_INVALIDARG);
    std::u16string session = u"x";
    EXPECT_EQ(NextTestExecSession(nullptr, u"T", &session), S_OK);
    EXPECT_EQ(session, u"");
}

TEST(ResultsDatabaseOpenTest, UnusableDataSourceIsReportedAndLaterSavesFail) {
    dbtest::UsePrivateDriverConfig();
    CADO database;
    std::string dsn = dbtest::WriteFileDataSource("broken", "DRIVER=NoSuchDriver\n");
    EXPECT_EQ(OpenResultsDatabase(database, vr::FromUtf8(dsn).c_str()), E_FAIL);
    EXPECT_EQ(LastError(), "Couldn't open DataBase specified by DSN file '" + dsn + "'.");
    EXPECT_EQ(SaveTestResult(&database, Owner(), _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              E_FAIL);
}

// The data source file shipped in the program folder works for a new user with nothing set up.
TEST(ResultsDatabaseOpenTest, ShippedDataSourceMakesTheUsersDatabase) {
    dbtest::UsePrivateDriverConfig();
    std::string shipped = vrtest::BuildBinFolder() + "/Ostrel.dsn";
    ASSERT_TRUE(std::filesystem::exists(shipped));
    std::string database = vr::DataHome() + "/Results/TestResults.db";
    std::filesystem::remove_all(vr::DataHome() + "/Results");

    CADO results;
    ASSERT_EQ(OpenResultsDatabase(results, vr::FromUtf8(shipped).c_str()), S_OK) << LastError();
    std::u16string session;
    ASSERT_EQ(NextTestExecSession(&results, u"T", &session), S_OK);
    ASSERT_EQ(SaveTestResult(&results, Owner(), _variant_t(1.0), u"R", Missing(), Missing(), Missing()),
              S_OK);
    EXPECT_TRUE(std::filesystem::is_regular_file(database));
    EXPECT_EQ(resultstest::StoredRows(shipped).size(), 1u);
}

} // namespace
