// Stamped copies of the template library, side by side in one process: each registered from its own script,
// created by its ProgID and reaching its own device on a loopback instrument through the real hardware
// manager.
#include "Rigmont/include/rigmont.h"
#include "VrDev/Ostrel/typelib/TypeLibBuilder.h"
#include "common/config/VrConfigData.h"
#include "peers.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/com/guid.h"
#include "platform/com/typelib.h"
#include "platform/com/variant.h"
#include "platform/registry/registry.h"
#include "platform/resources/module_resources.h"
#include "platform/resources/resource_update.h"
#include "tests/support/test_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

constexpr WORD kLanguage = 0x1009;

// ---- A device's type library, built from the socket's description of the adapter file ----

HRESULT WriteDeviceLibrary(const std::string& path, const std::u16string& device, GUID* libid, GUID* clsid) {
    vr::ComPtr<IVrSocket> socket;
    HRESULT hr = CoCreateInstance(CLSID_Socket, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrSocket>(),
                                  socket.PutVoid());
    vr::ComPtr<IVrSocketProcessor> processor;
    intptr_t address = 0;
    if (SUCCEEDED(hr) && SUCCEEDED(hr = socket.As(&processor)) &&
        SUCCEEDED(
            hr = processor->LoadInfo(_bstr_t(u"AdapterFile='" VR_TEST_DATA "/plugmar_multimeter.daf'")))) {
        hr = processor->GetInfo(_bstr_t(u""), &address);
    }
    if (FAILED(hr)) {
        return hr;
    }
    SocketInfo info = *reinterpret_cast<const SocketInfo*>(address);
    info.name = _bstr_t(device.c_str());
    info.typeLibraryPath = _bstr_t(vr::FromUtf8(path).c_str());
    ostrel::DeviceTypeLibIds ids = ostrel::DeriveDeviceTypeLibIds(device, info.interfaceName.view());
    *libid = ids.libid;
    *clsid = ids.clsid;
    ostrel::CTypeLibBuilder builder;
    return builder.BuildDeviceTypeLib(info);
}

// ---- Stamping, as the studio's generator does ----

std::string Replaced(std::string text, const std::string& placeholder, const std::string& value) {
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
        text.replace(at, placeholder.size(), value);
        at += value.size();
    }
    return text;
}

// A device name inside the script's quoted strings: apostrophes doubled.
std::string Quoted(const std::string& device) {
    return Replaced(device, "'", "''");
}

struct StampedDevice {
    std::string library;
    GUID clsid = GUID_NULL;
};

// Copies the template, gives the copy the device's script and type library, and registers it.
StampedDevice Stamp(const std::string& device) {
    StampedDevice stamped;
    std::string folder = vr::MapWindowsPath(std::string("c:\\Ostrel\\Adapter\\bin"));
    fs::create_directories(folder);
    stamped.library = folder + "/" + device + ".dll";
    std::string typeLibrary = folder + "/" + device + ".tlb";
    GUID libid = GUID_NULL;
    EXPECT_EQ(WriteDeviceLibrary(typeLibrary, vr::FromUtf8(device), &libid, &stamped.clsid), S_OK);
    std::string templon = vr::MapWindowsPath(std::string("c:\\Ostrel\\bin\\Templon.dll"));
    fs::copy_file(templon, stamped.library, fs::copy_options::overwrite_existing);

    std::string script;
    EXPECT_EQ(
        vr::LoadModuleResource(templon, vr::ResourceId(u"REGISTRY"), vr::ResourceId(WORD{102}), &script),
        S_OK);
    script = script.substr(0, script.find('\0'));
    script = Replaced(script, "<DEVICE>", Quoted(device));
    script = Replaced(script, "<CLSID>", vr::GuidToUtf8(stamped.clsid));
    script = Replaced(script, "<LIBID>", vr::GuidToUtf8(libid));
    std::ifstream in(typeLibrary, std::ios::binary);
    std::string libraryBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    vr::ResourceUpdateHandle update = nullptr;
    EXPECT_EQ(vr::BeginUpdateResource(stamped.library, false, &update), S_OK);
    EXPECT_EQ(vr::UpdateResource(update, vr::ResourceId(u"REGISTRY"), vr::ResourceId(WORD{102}), kLanguage,
                                 script.data(), static_cast<DWORD>(script.size())),
              S_OK);
    EXPECT_EQ(vr::UpdateResource(update, vr::ResourceId(u"TYPELIB"), vr::ResourceId(WORD{1}), kLanguage,
                                 libraryBytes.data(), static_cast<DWORD>(libraryBytes.size())),
              S_OK);
    EXPECT_EQ(vr::EndUpdateResource(update, false), S_OK);
    return stamped;
}

// Calls one of the library's exported registration entry points.
HRESULT CallExport(const std::string& library, const char* entry) {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        ADD_FAILURE() << dlerror();
        return E_FAIL;
    }
    auto function = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entry));
    HRESULT hr = function ? function() : E_FAIL;
    dlclose(handle);
    return hr;
}

// ---- The bench: two instruments, one device each, in a store of the test's own ----

class TemplonTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_TRUE(meterA.Start());
        ASSERT_TRUE(meterB.Start());
        std::string folder = vrtest::MakeFreshFolder("templon");
        std::string store = folder + "/Store.cfs";
        std::ofstream(store) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
                             << "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
                             << Connection("LinkA", meterA) << Connection("LinkB", meterB)
                             << "</connections><sockets>"
                             << "<socket name=\"_default\"><Server>Vornic.Socket</Server></socket>"
                             << Socket(kDeviceA, "LinkA") << Socket(kDeviceB, "LinkB")
                             << "</sockets></ConfigStore>\n";
        CVrConfigData config;
        ASSERT_TRUE(config.StoreItem("ConfigStoreFile", _bstr_t(store.c_str())));
    }
    void TearDown() override { CoUninitialize(); }

    static std::string Connection(const char* name, const vrvisatest::LoopbackInstrument& instrument) {
        return std::string("<connection name=\"") + name + "\"><Resource>" + instrument.SocketResource() +
               "</Resource></connection>";
    }
    static std::string Socket(const char* name, const char* link) {
        return std::string("<socket name=\"") + name + "\"><Resource>" + link +
               "</Resource><SetupString>AdapterFile='" VR_TEST_DATA "/plugmar_multimeter.daf'</SetupString>"
               "</socket>";
    }

    // Blanks and an apostrophe: the names stand quoted in the script.
    static constexpr const char* kDeviceA = "Bench Meter";
    static constexpr const char* kDeviceB = "O&apos;Neil";
    vrvisatest::LoopbackInstrument meterA;
    vrvisatest::LoopbackInstrument meterB;
};

vr::ComPtr<IDispatch> CreateByProgId(const std::u16string& progId) {
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(progId.c_str(), &clsid), S_OK) << vr::ToUtf8(progId);
    vr::ComPtr<IDispatch> device;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, device.PutVoid());
    EXPECT_EQ(hr, S_OK) << vr::ToUtf8(progId);
    return device;
}

DISPID IdOf(IDispatch* device, std::u16string name) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(device->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << vr::ToUtf8(name);
    return id;
}

void PutRange(IDispatch* device, double range) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R8;
    value.dblVal = range;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    EXPECT_EQ(device->Invoke(IdOf(device, u"Range"), IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr,
                             nullptr, nullptr),
              S_OK);
}

double GetRange(IDispatch* device) {
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(device->Invoke(IdOf(device, u"range"), IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result,
                             nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_R8);
    return result.dblVal;
}

std::string ErrorText() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK) {
        return "";
    }
    BSTR text = nullptr;
    EXPECT_EQ(info->GetDescription(&text), S_OK);
    std::string description = vr::ToUtf8(std::u16string_view(text, SysStringLen(text)));
    SysFreeString(text);
    return description;
}

// Sets the default value of key, returning the one it had.
std::u16string SwapDefault(const std::u16string& key, const std::u16string& text) {
    HKEY opened = nullptr;
    char16_t old[1024] = {};
    DWORD size = sizeof old - sizeof(char16_t);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_ALL_ACCESS, &opened), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(opened, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    (void)RegCloseKey(opened); // the write is done
    return old;
}

TEST_F(TemplonTest, TwoStampedDevicesSideBySideEachReachTheirOwnInstrument) {
    StampedDevice a = Stamp(kDeviceA);
    StampedDevice b = Stamp("O'Neil");
    ASSERT_EQ(CallExport(a.library, "DllRegisterServer"), S_OK) << ErrorText();
    ASSERT_EQ(CallExport(b.library, "DllRegisterServer"), S_OK) << ErrorText();

    vr::ComPtr<IDispatch> deviceA = CreateByProgId(u"Vornic.Device.Bench Meter.1");
    vr::ComPtr<IDispatch> deviceB = CreateByProgId(u"Vornic.Device.O'Neil");
    ASSERT_TRUE(deviceA && deviceB);
    PutRange(deviceA.Get(), 2);
    PutRange(deviceB.Get(), 7);
    EXPECT_EQ(GetRange(deviceA.Get()), 2);
    EXPECT_EQ(GetRange(deviceB.Get()), 7);

    // Typed by the copy's own library.
    vr::ComPtr<ITypeInfo> info;
    BSTR name = nullptr;
    ASSERT_EQ(deviceB->GetTypeInfo(0, 0, info.Put()), S_OK);
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(vr::ToUtf8(std::u16string_view(name, SysStringLen(name))), "IVrSocketPlugmar_multimeter");
    SysFreeString(name);

    deviceA = nullptr;
    deviceB = nullptr;
    ASSERT_EQ(CallExport(a.library, "DllUnregisterServer"), S_OK) << ErrorText();
    CLSID gone = GUID_NULL;
    EXPECT_NE(CLSIDFromProgID(u"Vornic.Device.Bench Meter.1", &gone), S_OK);
    EXPECT_EQ(CLSIDFromProgID(u"Vornic.Device.O'Neil.1", &gone), S_OK) << "the other device stays registered";
}

TEST_F(TemplonTest, FailuresAreClearErrorsAtCreation) {
    StampedDevice ghost = Stamp("Ghost");
    ASSERT_EQ(CallExport(ghost.library, "DllRegisterServer"), S_OK) << ErrorText();
    vr::ComPtr<IDispatch> device;

    // The hardware manager unreachable: its program unknown, in a runtime folder where none runs.
    std::string runtime = getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", vrtest::MakeFreshFolder("no-manager").c_str(), 1);
    const std::u16string server = u"CLSID\\" + vr::GuidToString(CLSID_VrRigmont) + u"\\LocalServer32";
    std::u16string program = SwapDefault(server, u"/nonexistent/rigmont");
    EXPECT_TRUE(FAILED(
        CoCreateInstance(ghost.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, device.PutVoid())));
    EXPECT_THAT(ErrorText(), testing::StartsWith("Device 'Ghost': the hardware manager cannot be reached ("));
    (void)SwapDefault(server, program); // the made-up program it had meanwhile
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    // A device the hardware manager has no record of.
    EXPECT_TRUE(FAILED(
        CoCreateInstance(ghost.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, device.PutVoid())));
    // The manager's own text follows, in the system's error form.
    EXPECT_THAT(ErrorText(),
                testing::AllOf(testing::StartsWith("Device 'Ghost': its socket cannot be made: "),
                               testing::EndsWith("'Ghost' socket wasn't found in the ConfigStore "
                                                 "File.")));

    // The template itself is not a device: it refuses to register with its placeholders.
    std::string templon = vr::MapWindowsPath(std::string("c:\\Ostrel\\bin\\Templon.dll"));
    EXPECT_EQ(CallExport(templon, "DllRegisterServer"), SELFREG_E_CLASS);
    EXPECT_EQ(ErrorText(), "The template library is registered only as a device's stamped copy (its script "
                           "still holds <DEVICE>).");
}

} // namespace
