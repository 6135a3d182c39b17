// The test's store and hardware manager.
#include "VrDev/Ostrel/managers/tests/fixture.h"

#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/com/guid.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ostreltest {

void ManagerTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    vr::RegisterSystemProxies();
    ASSERT_TRUE(instrument.Start("\\r\\n"));
    folder = vrtest::MakeFreshFolder("ostrel-managers");
    std::string store = folder + "/Store.cfs";
    std::ofstream(store) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
                            "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
                            "</connections><sockets><socket name=\"_default\"><Server>Vornic.Socket</Server>"
                            "</socket></sockets></ConfigStore>\n";
    CVrConfigData config;
    _bstr_t path(store.c_str());
    ASSERT_TRUE(config.StoreItem("ConfigStoreFile", path));
    ASSERT_EQ(
        CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, IID_IVrRigmont, rigmont.PutVoid()),
        S_OK);
}

void ManagerTest::TearDown() {
    rigmont = nullptr;
    CoUninitialize();
    // The hardware manager keeps the store it loaded while it runs, and it runs on a little while it is idle:
    // the test waits for it to withdraw, so that a next test of this program gets a manager of its own store.
    const std::string published =
        vr::RuntimeFolder() + "/class-" + vr::ToUtf8(vr::GuidToString(CLSID_VrRigmont));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::filesystem::exists(published) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void ManagerTest::SaveLoopback(const std::u16string& name, const std::u16string& setup) {
    _bstr_t resource(instrument.SocketResource().c_str());
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"connection"), _bstr_t(name.c_str()), _bstr_t(u"Vornic.CnVISA"),
                                  resource, _bstr_t(setup.c_str())),
              S_OK);
}

std::u16string ManagerTest::StoredRecord(const std::u16string& type, const std::u16string& name) {
    _bstr_t server;
    _bstr_t resource;
    _bstr_t setup;
    if (FAILED(rigmont->LoadRecord(_bstr_t(type.c_str()), _bstr_t(name.c_str()), _bstr_t(u""),
                                   server.GetAddress(), resource.GetAddress(), setup.GetAddress()))) {
        return u"<missing>";
    }
    return std::u16string(server.view()) + u"|" + std::u16string(resource.view()) + u"|" +
           std::u16string(setup.view());
}

} // namespace ostreltest
