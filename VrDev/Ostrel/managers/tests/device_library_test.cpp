// Device libraries generated for the hardware manager's devices: regenerated when an adapter file's sheet
// closes (only the devices whose adapter file is that very file, however its path is written), created by
// their ProgID from a script and measuring the loopback instrument through the real hardware manager, rebuilt
// by the device window and removed with their registration.
#include "VrDev/Ostrel/managers/HwManager.h"
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/typelib/SocketLibraries.h"
#include "common/trace/Trace.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "tests/support/device_site.h"

#include <filesystem>

namespace ostreltest {
namespace {

namespace fs = std::filesystem;

std::string U8(const std::u16string& text) {
    return vr::ToUtf8(text);
}

TEST_F(ManagerTest, GeneratedDeviceLibraryMeasuresTheLoopbackInstrumentFromAScript) {
    vrvisatest::LoopbackInstrument meter; // the adapter's messages end with a line feed
    ASSERT_TRUE(meter.Start("\\n"));
    ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"connection"), _bstr_t(u"Meter"), _bstr_t(u"Vornic.CnVISA"),
                                  _bstr_t(meter.SocketResource().c_str()), _bstr_t(u"")),
              S_OK);
    const std::string adapter = folder + "/adapters/meter.daf";
    fs::create_directories(folder + "/adapters");
    fs::copy_file(VR_TEST_DATA "/plugmar_multimeter.daf", adapter);
    fs::copy_file(VR_TEST_DATA "/plugmar_multimeter.daf", adapter + ".old");
    const std::u16string adapterPath = vr::FromUtf8(adapter);
    // No device uses the file yet: nothing to generate.
    const ostrel::SocketLibraryPlaces places = ostrel::DefaultSocketLibraryPlaces();
    EXPECT_EQ(ostrel::RebuildAdapterSockets(u"", adapterPath), S_OK);
    EXPECT_FALSE(fs::exists(places.outputFolder));

    // mdm's letters sum as dmm's do, so it would get dmm's GUIDs. dmmlink and dmmrel name the same file as
    // dmm: through a symbolic link, and relative to the studio's folder.
    fs::create_symlink(adapter, folder + "/meter-link.daf");
    const std::string relative = fs::relative(adapter).string();
    for (auto [device, file] :
         {std::pair{u"dmm", adapter}, std::pair{u"olddmm", adapter + ".old"}, std::pair{u"mdm", adapter},
          std::pair{u"dmmlink", folder + "/meter-link.daf"}, std::pair{u"dmmrel", relative}}) {
        ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"socket"), _bstr_t(device), _bstr_t(u"Vornic.Socket"),
                                      _bstr_t(u"Meter"),
                                      _bstr_t(vr::FromUtf8("AdapterFile='" + file + "'").c_str())),
                  S_OK);
    }

    // The sheet of meter.daf closes: the adapter's own library beside it, and the library of dmm; mdm is
    // refused, and the sheet learns why.
    std::u16string error;
    ASSERT_EQ(ostrel::RebuildAdapterLibraries(adapterPath, &error), CO_E_CLASSSTRING) << U8(error);
    EXPECT_EQ(U8(error).rfind("The device 'mdm' can't get a library of its own", 0), 0u) << U8(error);
    EXPECT_TRUE(fs::exists(folder + "/adapters/bin/meter.daf.tlb"));
    EXPECT_EQ(places.outputFolder, vr::DataHome() + "/Adapter/bin");
    EXPECT_TRUE(fs::exists(ostrel::SocketLibraryPath(places, u"dmm")));
    EXPECT_TRUE(fs::exists(ostrel::SocketTypeLibraryPath(places, u"dmm")));
    EXPECT_FALSE(fs::exists(ostrel::SocketLibraryPath(places, u"olddmm"))) << "x.daf.old is not x.daf";
    EXPECT_FALSE(fs::exists(ostrel::SocketLibraryPath(places, u"mdm")));
    EXPECT_TRUE(fs::exists(ostrel::SocketLibraryPath(places, u"dmmlink")));
    EXPECT_TRUE(fs::exists(ostrel::SocketLibraryPath(places, u"dmmrel"))) << relative;

    const std::u16string script = u"var d = new ActiveXObject('Vornic.Device.dmm');\n"
                                  u"d.Range = 100;\n"
                                  u"var result = d.Range + ' ' + d.Model;\n";
    EXPECT_EQ(vrtest::RunDeviceScript(nullptr, {script}), "100 LOOPBACK");

    // Removing the device unregisters it and deletes its files; the device window builds it anew.
    ostrel::DeviceLibraryFolder libraries;
    libraries.Remove(u"dmm");
    EXPECT_FALSE(fs::exists(ostrel::SocketLibraryPath(places, u"dmm")));
    EXPECT_FALSE(fs::exists(ostrel::SocketTypeLibraryPath(places, u"dmm")));
    CLSID clsid{};
    EXPECT_TRUE(FAILED(CLSIDFromProgID(u"Vornic.Device.dmm", &clsid)));
    ostrel::HwManager devices(ostrel::HwKind::kDevice, rigmont.Get(), &libraries);
    devices.SelectName(u"dmm");
    EXPECT_EQ(U8(devices.Status()), "OK");
    EXPECT_EQ(vrtest::RunDeviceScript(nullptr, {script}), "100 LOOPBACK");
}

} // namespace
} // namespace ostreltest
