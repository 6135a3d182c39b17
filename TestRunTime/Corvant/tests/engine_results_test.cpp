// Value checks and result rows in a SQLite results database of the test's own data home, execution sessions,
// and an engine without a database or with one that cannot be opened.
#include "common/config/VrConfigData.h"
#include "engine_fixture.h"
#include "platform/ado/ado.h"

#include <filesystem>
#include <fstream>

namespace corvanttest {
namespace {

using Row = std::vector<std::u16string>;

// Points the DSN configuration item at a fresh SQLite file data source of this test (or at text as given).
std::string UseFreshDatabase() {
    auto folder = std::filesystem::path(vr::DataHome()) / "corvant" /
                  testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::string dsn = (folder / "results.dsn").string();
    std::ofstream(dsn) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << (folder / "results.db").string()
                       << "\nTimeout=10000\n";
    return dsn;
}

void ConfigureDsn(const std::string& value) {
    CVrConfigData config;
    BSTR text = vr::AllocBstrUtf8(value);
    EXPECT_TRUE(config.StoreItem("DSN", text));
    SysFreeString(text);
}

// The stored rows as TestResultID, TestResultValue, SpecValue, TestStatus, Description, SN, ExecSession.
std::vector<Row> StoredRows(const std::string& dsn) {
    auto connection = vr::ado::Connection::Create();
    connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
    auto rows = connection->Execute(
        u"SELECT TestResultID,TestResultValue,SpecValue,TestStatus,Description,SN,ExecSession FROM "
        u"TestResults "
        u"ORDER BY rowid");
    std::vector<Row> result;
    for (; !rows->IsEOF(); rows->MoveNext()) {
        Row row;
        for (LONG i = 0; i < rows->FieldCount(); ++i) {
            _variant_t value = rows->Fields(i).Value();
            row.push_back(value.vt == VT_NULL ? u"<NULL>" : std::u16string(_bstr_t(value).view()));
        }
        result.push_back(std::move(row));
    }
    return result;
}

class ResultsTest : public EngineTest {
protected:
    void SetUp() override {
        dsn_ = UseFreshDatabase();
        ConfigureDsn(dsn_);
        EngineTest::SetUp();
        ASSERT_EQ(engine_->put_TestID(Bstr(u"T-17")), S_OK);
        ASSERT_EQ(engine_->put_SN(Bstr(u"SN0042")), S_OK);
    }
    void TearDown() override {
        EngineTest::TearDown();
        ConfigureDsn("Ostrel.dsn");
    }

    std::u16string Session() {
        BSTR text = nullptr;
        EXPECT_EQ(engine_->get_TestExecSession(&text), S_OK);
        std::u16string session = TextOf(text);
        SysFreeString(text);
        return session;
    }

    std::string dsn_;
};

TEST_F(ResultsTest, SkippedSerialNumbersStoreNothingWhateverTheStatus) {
    for (const char16_t* sn : {u"", u"TEST", u"<undefined>"}) {
        ASSERT_EQ(engine_->put_SN(Bstr(sn)), S_OK);
        EXPECT_EQ(engine_->SaveResult(Long(1), Bstr(u"r"), Missing(), Long(9), Missing()), S_OK);
    }
    ASSERT_EQ(engine_->put_SN(nullptr), S_OK);
    EXPECT_EQ(engine_->SaveResult(Long(1), Bstr(u"r"), Missing(), Missing(), Missing()), S_OK);
    EXPECT_TRUE(StoredRows(dsn_).empty());
}

TEST_F(ResultsTest, RowKeepsValuesAndLosesLineBreaksAndQuotesOfTheDescription) {
    ASSERT_EQ(engine_->SetNextTestExecSession(), S_OK);
    ASSERT_EQ(engine_->SaveResult(_variant_t(2.5), Bstr(u"Volt'age"), _variant_t(u"first\r\nit's \"ok\""),
                                  Long(3), _variant_t(u"[1..5]")),
              S_OK);
    auto rows = StoredRows(dsn_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0],
              (Row{u"Volt'age", u"2.5", u"[1..5]", u"Warning", u"firstits ok", u"SN0042", u"000000001"}));
}

TEST_F(ResultsTest, StatusOutsideTheTableIsRefusedAndNothingStored) {
    EXPECT_EQ(engine_->SaveResult(Long(1), Bstr(u"r"), Missing(), Long(8), Missing()), E_INVALIDARG);
    EXPECT_EQ(ErrorDescription(), u"Wrong vTestStatus entry value of '8'.");
    EXPECT_EQ(engine_->SaveResult(Long(1), Bstr(u"r"), Missing(), _variant_t(u"abc"), Missing()),
              E_INVALIDARG);
    EXPECT_EQ(ErrorDescription(), u"Wrong vTestStatus entry value of 'abc'.");
    EXPECT_TRUE(StoredRows(dsn_).empty());
}

TEST_F(ResultsTest, SessionsCountOnFromTheHighestStoredForTheTest) {
    ASSERT_EQ(engine_->SetNextTestExecSession(), S_OK);
    EXPECT_EQ(Session(), u"000000001");
    ASSERT_EQ(engine_->put_TestExecSession(Bstr(u"000000041")), S_OK);
    ASSERT_EQ(engine_->SaveResult(Long(1), Bstr(u"r"), Missing(), Missing(), Missing()), S_OK);
    ASSERT_EQ(engine_->SetNextTestExecSession(), S_OK);
    EXPECT_EQ(Session(), u"000000042");
    ASSERT_EQ(engine_->put_TestID(Bstr(u"other")), S_OK);
    ASSERT_EQ(engine_->SetNextTestExecSession(), S_OK);
    EXPECT_EQ(Session(), u"000000001");
}

TEST_F(ResultsTest, CheckStoresItsVerdictAndReportsItWhenEngineOutputIsOn) {
    ASSERT_EQ(engine_->put_spec(Bstr(u"Volt"), _variant_t(u"[1..5]")), S_OK);
    VARIANT_BOOL valid = VARIANT_FALSE;
    ASSERT_EQ(engine_->IsValid(Long(3), Bstr(u"volt"), _variant_t(u"Supply"), &valid), S_OK);
    EXPECT_EQ(valid, VARIANT_TRUE);
    EXPECT_EQ(Next().second, -1); // EngineOutput is off: the line goes to the trace only

    ASSERT_EQ(engine_->put_option(Bstr(u"EngineOutput"), _variant_t(u"yes")), S_OK);
    ASSERT_EQ(engine_->IsValid(Long(7), Bstr(u"Volt"), Missing(), &valid), S_OK);
    EXPECT_EQ(valid, VARIANT_FALSE);
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u": '7' is NOT valid for '[1..5]'.\n", 2}));

    auto rows = StoredRows(dsn_);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (Row{u"volt", u"3", u"[1..5]", u"Passed", u"Supply", u"SN0042", u""}));
    EXPECT_EQ(rows[1][3], u"Failed");
}

TEST_F(ResultsTest, CheckAgainstAnUnknownSpecFailsAndStoresNothing) {
    VARIANT_BOOL valid = VARIANT_TRUE;
    EXPECT_EQ(engine_->IsValid(Long(3), Bstr(u"Missing"), Missing(), &valid), E_INVALIDARG);
    EXPECT_EQ(ErrorDescription(), u"Couldn't find Spec 'Missing'.");
    EXPECT_TRUE(StoredRows(dsn_).empty());
}

class NoDatabaseTest : public EngineTest {
protected:
    void SetUp() override {
        ConfigureDsn("");
        EngineTest::SetUp();
    }
    void TearDown() override {
        EngineTest::TearDown();
        ConfigureDsn("Ostrel.dsn");
    }
};

TEST_F(NoDatabaseTest, ResultsAreDroppedAndTheSessionIsEmpty) {
    ASSERT_EQ(engine_->put_SN(Bstr(u"SN1")), S_OK);
    ASSERT_EQ(engine_->put_TestExecSession(Bstr(u"000000007")), S_OK);
    EXPECT_EQ(engine_->SaveResult(Long(1), Bstr(u"r"), Missing(), Long(1), Missing()), S_OK);
    ASSERT_EQ(engine_->SetNextTestExecSession(), S_OK);
    BSTR session = nullptr;
    ASSERT_EQ(engine_->get_TestExecSession(&session), S_OK);
    EXPECT_EQ(TextOf(session), u"");
    SysFreeString(session);
}

TEST(EngineCreation, DatabaseThatCannotBeOpenedFailsTheFirstExecution) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    std::string dsn = UseFreshDatabase() + ".missing";
    ConfigureDsn(dsn);
    vr::ComPtr<IVrTestEngine> engine;
    EXPECT_EQ(CoCreateInstance(CLSID_TestEngine, nullptr, CLSCTX_INPROC_SERVER, IID_IVrTestEngine,
                               engine.PutVoid()),
              E_FAIL);
    EXPECT_EQ(ErrorDescription(),
              u"Couldn't open DataBase specified by DSN file '" + vr::FromUtf8(dsn) + u"'.");
    ConfigureDsn("Ostrel.dsn");
    CoUninitialize();
}

} // namespace
} // namespace corvanttest
