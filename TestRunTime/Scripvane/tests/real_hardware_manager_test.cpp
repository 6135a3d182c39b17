// The script executive against the real hardware manager program: the records of its configuration store
// become script objects across the process boundary, and a record whose provider cannot be made fails the
// script with the record's name.
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "executive_fixture.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <fstream>

namespace scripvanetest {
namespace {

class RealHardwareManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        std::string store = vrtest::TestRoot() + "/ScriptStore.cfs";
        std::ofstream(store) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
                                "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
                                "<connection name=\"Meter\"><Server>Vornic.NoSuchProvider</Server>"
                                "<Resource>TCPIP::127.0.0.1::5025::SOCKET</Resource></connection>"
                                "</connections><sockets>"
                                "<socket name=\"_spare\"><Server>Vornic.Socket</Server></socket>"
                                "</sockets></ConfigStore>\n";
        CVrConfigData config;
        Bstr path(vr::FromUtf8(store));
        ASSERT_TRUE(config.StoreItem("ConfigStoreFile", path));
        vr::ComPtr<IVrRigmont> manager;
        if (CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, vr::uuidof<IVrRigmont>(),
                             manager.PutVoid()) == REGDB_E_CLASSNOTREG) {
            GTEST_SKIP() << "this platform build starts no local server programs";
        }
        ASSERT_EQ(vr::ComObject<FakeTestEngine>::Create(&engine), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_TestScriptExecutive, nullptr, CLSCTX_INPROC_SERVER,
                                   vr::uuidof<IScrivon>(), executive.PutVoid()),
                  S_OK)
            << vr::ToUtf8(TakeErrorDescription());
    }
    void TearDown() override {
        if (executive) {
            (void)executive->Close();
        }
        executive = nullptr;
        engine = nullptr;
        CoUninitialize();
    }

    vr::ComObjectPtr<FakeTestEngine> engine;
    vr::ComPtr<IScrivon> executive;
};

TEST_F(RealHardwareManagerTest, StoreRecordsAreScriptObjects) {
    ASSERT_EQ(executive->Init(static_cast<IVrTestEngine*>(engine.Get())), S_OK);
    ASSERT_EQ(executive->put_ScriptLanguage(Bstr(u"JScript")), S_OK) << vr::ToUtf8(TakeErrorDescription());
    ASSERT_EQ(executive->AddScript(Bstr(u"function Test() {\n  return Meter.ReadString();\n}\n")), S_OK);

    Value type;
    ASSERT_EQ(executive->Evaluate(Bstr(u"typeof _spare + '/' + typeof _default"), &type.v), S_OK);
    EXPECT_EQ(type.Text(), u"undefined/undefined");

    Value result;
    EXPECT_TRUE(FAILED(executive->Execute(Bstr(u"Test"), &result.v)));
    // The text says why (the hardware manager's own report) and where (the line that used the name).
    std::u16string error = TakeErrorDescription();
    EXPECT_EQ(error.rfind(u"Couldn't open 'Meter' Connection by the 'JScript' Script Engine. (HRESULT: "
                          u"0x800401F3) Wrong ProgID 'Vornic.NoSuchProvider' of the Connection provider.;",
                          0),
              0u)
        << vr::ToUtf8(error);
    EXPECT_NE(error.find(u"Line: 2, "), std::u16string::npos) << vr::ToUtf8(error);
}

} // namespace
} // namespace scripvanetest
