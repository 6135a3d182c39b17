// The road fixture: the store, the database, the records and the worker's requests.
#include "road_fixture.h"

#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "platform/ado/ado.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "tests/support/com_holders.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <fstream>

namespace roadtest {

namespace {

using vrtest::Bstr;
using vrtest::TakeText;

void StoreItem(const char* name, const std::string& value) {
    CVrConfigData config;
    BSTR text = vr::AllocBstrUtf8(value);
    EXPECT_TRUE(config.StoreItem(name, text)) << name;
    SysFreeString(text);
}

} // namespace

void RoadTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    vr::RegisterSystemProxies();
    ASSERT_TRUE(instrument.Start("\\r\\n"));
    folder = vrtest::MakeFreshFolder("road");
    std::string store = folder + "/RoadStore.cfs";
    std::ofstream(store) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
                            "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
                            "</connections><sockets/></ConfigStore>\n";
    StoreItem("ConfigStoreFile", store);
    dsn = folder + "/results.dsn";
    std::ofstream(dsn) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << folder << "/results.db\nTimeout=10000\n";
    StoreItem("DSN", dsn);
    logFile = folder + "/traffic.xml";

    ASSERT_EQ(
        CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, IID_IVrRigmont, manager.PutVoid()),
        S_OK);
    std::u16string adapter = vr::FromUtf8(std::string(VR_TEST_DATA) + "/plugmar_powersupply.daf");
    ASSERT_EQ(manager->SaveRecord(Bstr(u"socket"), Bstr(u"Supply"), Bstr(u"Vornic.Socket"), Bstr(u"RoadLink"),
                                  Bstr(u"AdapterFile=" + adapter)),
              S_OK);
}

void RoadTest::TearDown() {
    worker.reset();
    manager = nullptr;
    CoUninitialize();
}

void RoadTest::SaveLink(std::u16string_view setup) {
    ASSERT_EQ(manager->SaveRecord(Bstr(u"connection"), Bstr(u"RoadLink"), Bstr(u"Vornic.CnVISA"),
                                  Bstr(vr::FromUtf8(instrument.SocketResource())), Bstr(setup)),
              S_OK);
}

void RoadTest::StartWorker() {
    worker = std::make_unique<CTestExecutive>();
    ASSERT_TRUE(worker->EngineProxy && worker->ScriptExecProxy) << vr::ToUtf8(ErrorText());
}

void RoadTest::LoadScript(std::u16string_view sn) {
    std::u16string file = vr::FromUtf8(VR_ROAD_DATA "/rail.ts");
    ASSERT_EQ(worker->Set(vr::AllocBstr(u"JScript"), vr::AllocBstr(u""), vr::AllocBstr(u""),
                          vr::AllocBstr(u"file='" + file + u"' sn=" + std::u16string(sn))),
              S_OK)
        << vr::ToUtf8(ErrorText());
    EXPECT_EQ(Run(u""), u"");
    ASSERT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
}

std::u16string RoadTest::Run(std::u16string_view name) {
    worker->Request(vr::AllocBstr(name), vr::AllocBstr(u""), vr::AllocBstr(u""));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (bool done = false; !done;) {
        done = worker->GetState() == CTestExecutive::kDone;
        LONG status = 0;
        BSTR text = nullptr;
        while (worker->GetOutput(&status, &text)) {
            output.emplace_back(status, TakeText(text));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the request never ended";
            return u"";
        }
        PumpMessages(0);
    }
    BSTR result = nullptr;
    worker->GetResult(&result);
    return TakeText(result);
}

HRESULT RoadTest::ErrorCode() {
    BSTR text = nullptr;
    HRESULT hr = S_OK;
    worker->GetError(&text, &hr);
    SysFreeString(text);
    return hr;
}

std::u16string RoadTest::ErrorText() {
    BSTR text = nullptr;
    HRESULT hr = S_OK;
    worker->GetError(&text, &hr);
    return TakeText(text);
}

std::vector<Row> RoadTest::StoredRows() {
    auto connection = vr::ado::Connection::Create();
    connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
    auto rows = connection->Execute(
        u"SELECT TestResultID,TestResultValue,TestStatus,Description,SN FROM TestResults ORDER BY rowid");
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

} // namespace roadtest
