// Real JScript scripts from tests/data that use the engine as the named item `engine` with global members:
// a measuring script that checks readings and stores results, a script that fails on an engine call, and a
// script waiting in a loop that a Stop from the window thread ends.
#include "common/config/VrConfigData.h"
#include "engine_fixture.h"
#include "platform/ado/ado.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace corvanttest {
namespace {

struct ScriptError {
    HRESULT scode = S_OK;
    std::u16string description;
    ULONG line = 0;
};

// The host of one script: it answers for the named item `engine` and records the errors.
class ScriptSite : public vr::ObjectRoot, public IActiveScriptSite {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptSite>;

    vr::ComPtr<IUnknown> engine;
    std::vector<ScriptError> errors;

    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        if (!vr::EqualsNoCase(vr::U16View(name), u"engine")) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (mask & SCRIPTINFO_IUNKNOWN) {
            return engine.CopyTo(item);
        }
        return S_OK;
    }
    HRESULT GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError* error) override {
        ScriptError report;
        EXCEPINFO excep{};
        if (SUCCEEDED(error->GetExceptionInfo(&excep))) {
            report.scode = excep.scode;
            report.description = vr::BstrView(excep.bstrDescription);
            vr::ClearExcepInfo(&excep);
        }
        DWORD context = 0;
        LONG column = 0;
        (void)error->GetSourcePosition(&context, &report.line, &column);
        errors.push_back(report);
        return S_OK;
    }
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }
};

std::u16string ScriptText(const char* name) {
    std::ifstream in(std::filesystem::path(CORVANT_SCRIPTS) / name, std::ios::binary);
    return vr::FromUtf8(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

class ScriptTest : public EngineTest {
protected:
    void SetUp() override {
        folder_ = std::filesystem::path(vr::DataHome()) / "corvant-scripts" /
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        dsn_ = (folder_ / "results.dsn").string();
        std::ofstream(dsn_) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << (folder_ / "results.db").string()
                            << "\n";
        StoreDsn(dsn_);
        EngineTest::SetUp();

        site_ = MakeSite();
        ASSERT_EQ(CoCreateInstance(CLSID_JScript, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IActiveScript>(),
                                   script_.PutVoid()),
                  S_OK);
        ASSERT_EQ(script_->QueryInterface(parse_.Put()), S_OK);
        site_->engine = engine_.Get();
        ASSERT_EQ(script_->SetScriptSite(site_.Get()), S_OK);
        ASSERT_EQ(parse_->InitNew(), S_OK);
        ASSERT_EQ(script_->AddNamedItem(u"engine", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS), S_OK);
    }
    void TearDown() override {
        if (script_) {
            EXPECT_EQ(script_->Close(), S_OK);
        }
        parse_ = nullptr;
        script_ = nullptr;
        site_ = nullptr;
        EngineTest::TearDown();
        StoreDsn("Ostrel.dsn");
    }

    static vr::ComObjectPtr<ScriptSite> MakeSite() {
        vr::ComObjectPtr<ScriptSite> site;
        EXPECT_EQ(vr::ComObject<ScriptSite>::Create(&site), S_OK);
        return site;
    }
    static void StoreDsn(const std::string& value) {
        CVrConfigData config;
        BSTR text = vr::AllocBstrUtf8(value);
        EXPECT_TRUE(config.StoreItem("DSN", text));
        SysFreeString(text);
    }

    HRESULT Run(const std::u16string& code) {
        return parse_->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE,
                                       nullptr, nullptr);
    }

    std::vector<std::pair<std::u16string, LONG>> Drain() {
        std::vector<std::pair<std::u16string, LONG>> lines;
        for (auto line = Next(); line.second != -1; line = Next()) {
            lines.push_back(line);
        }
        return lines;
    }

    // TestResultID, TestResultValue, TestStatus, Description, SN, ExecSession of each stored row.
    std::vector<std::vector<std::u16string>> StoredRows() {
        auto connection = vr::ado::Connection::Create();
        connection->Open(u"File Name=" + vr::FromUtf8(dsn_) + u";");
        auto rows = connection->Execute(
            u"SELECT TestResultID,TestResultValue,TestStatus,Description,SN,ExecSession FROM TestResults "
            u"ORDER BY rowid");
        std::vector<std::vector<std::u16string>> result;
        for (; !rows->IsEOF(); rows->MoveNext()) {
            std::vector<std::u16string> row;
            for (LONG i = 0; i < rows->FieldCount(); ++i) {
                row.push_back(std::u16string(_bstr_t(_variant_t(rows->Fields(i).Value())).view()));
            }
            result.push_back(std::move(row));
        }
        return result;
    }

    std::filesystem::path folder_;
    std::string dsn_;
    vr::ComObjectPtr<ScriptSite> site_;
    vr::ComPtr<IActiveScript> script_;
    vr::ComPtr<IActiveScriptParse> parse_;
};

TEST_F(ScriptTest, MeasuringScriptChecksReadingsAndStoresResults) {
    const auto readings = folder_ / "readings.csv";
    std::ofstream(readings) << "R1,4.98\nR2,5.02\nR3,5.31\n";
    ASSERT_EQ(engine_->put_spec(Bstr(u"Rail5V"), _variant_t(u"[4.9..5.1]")), S_OK);
    ASSERT_EQ(Run(u"var CsvPath = '" + vr::FromUtf8(readings.string()) + u"';"), S_OK);

    ASSERT_EQ(Run(ScriptText("measure.js")), S_OK)
        << (site_->errors.empty() ? "" : vr::ToUtf8(site_->errors[0].description));
    EXPECT_TRUE(site_->errors.empty());

    using Line = std::pair<std::u16string, LONG>;
    EXPECT_EQ(Drain(), (std::vector<Line>{{u"R1: '4.98' is valid for '[4.9..5.1]'.\n", 1},
                                          {u"R2: '5.02' is valid for '[4.9..5.1]'.\n", 1},
                                          {u"R3: '5.31' is NOT valid for '[4.9..5.1]'.\n", 2},
                                          {u"Passed 2 of 3\n", 2}}));
    auto rows = StoredRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0],
              (std::vector<std::u16string>{u"Rail5V", u"4.98", u"Passed", u"R1", u"DUT-0815", u"000000001"}));
    EXPECT_EQ(rows[2][2], u"Failed");
    EXPECT_EQ(rows[3],
              (std::vector<std::u16string>{u"PassedCount", u"2", u"Failed",
                                           u"readings within the rails limits", u"DUT-0815", u"000000001"}));
}

TEST_F(ScriptTest, FailingEngineCallEndsTheScriptOnItsLine) {
    EXPECT_LT(Run(ScriptText("throws.js")), 0);
    ASSERT_EQ(site_->errors.size(), 1u);
    EXPECT_LT(site_->errors[0].scode, 0);
    EXPECT_EQ(site_->errors[0].line, 5u);
    EXPECT_NE(site_->errors[0].description.find(u"Couldn't find Spec 'NotSet'."), std::u16string::npos)
        << vr::ToUtf8(site_->errors[0].description);
    EXPECT_EQ(Drain(), (std::vector<std::pair<std::u16string, LONG>>{{u"before\n", 0}}));
}

TEST_F(ScriptTest, StopFromTheWindowThreadEndsAWaitingScript) {
    OtherApartment window(engine_.Get());
    std::future<HRESULT> stop = window.CallLater(kDispidStop, {}, std::chrono::milliseconds(200));
    EXPECT_LT(Run(ScriptText("waits.js")), 0);
    EXPECT_EQ(stop.get(), S_OK);
    ASSERT_EQ(site_->errors.size(), 1u);
    EXPECT_NE(site_->errors[0].description.find(u"is interrupted by the User."), std::u16string::npos)
        << vr::ToUtf8(site_->errors[0].description);
    EXPECT_EQ(Drain(), (std::vector<std::pair<std::u16string, LONG>>{{u"waiting\n", 0}}));
}

} // namespace
} // namespace corvanttest
