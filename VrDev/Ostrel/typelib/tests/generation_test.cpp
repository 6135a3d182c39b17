// Device libraries made from a template: the stamped copy's script and type library, a failed stamping that
// leaves the earlier library in place, a failed registration reported, and devices whose GUIDs collide.
#include "VrDev/Ostrel/typelib/SocketLibraries.h"
#include "VrDev/Ostrel/typelib/TypeLibBuilder.h"
#include "common/trace/Trace.h"
#include "platform/base/library_folder.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/registry/registry.h"
#include "platform/resources/module_resources.h"
#include "platform/resources/resource_update.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr WORD kCanada = 0x1009;
constexpr char kScript[] =
    "HKCR { Vornic.Device.<DEVICE> = s 'Device <DEVICE>' { CLSID = s '<CLSID>' }\n"
    "  NoRemove CLSID { ForceRemove <CLSID> = s 'Device <DEVICE>' { TypeLib = s '<LIBID>' } }"
    " }";

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Utf8(const std::u16string& text) {
    return vr::ToUtf8(text);
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Points the class at the library, as a device's registration does.
void RegisterInproc(const CLSID& clsid, const std::string& library) {
    HKEY key = nullptr;
    std::u16string name = u"CLSID\\" + vr::GuidToString(clsid) + u"\\InprocServer32";
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    std::u16string path = vr::FromUtf8(library);
    EXPECT_EQ(RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                            static_cast<DWORD>((path.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// Whether creating the class got as far as the library's own answer (E_ACCESSDENIED: it was not loaded).
HRESULT Create(const CLSID& clsid) {
    vr::ComPtr<IUnknown> object;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid());
}

class GenerationTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        folder_ = vrtest::MakeFreshFolder("generation");
        places_.outputFolder = folder_ + "/Adapter/bin"; // made on the first generation
        places_.templatePath = folder_ + "/Templon.so";
    }
    void TearDown() override { CoUninitialize(); }

    // A template from a real library: its own resources kept, the script given in the stamping language
    // (with a zero byte and rubbish after it, which is not the script's) and an old script in the neutral
    // one.
    void MakeTemplate(const char* library) {
        fs::copy_file(library, places_.templatePath, fs::copy_options::overwrite_existing);
        vr::ResourceUpdateHandle update = nullptr;
        ASSERT_EQ(vr::BeginUpdateResource(places_.templatePath, false, &update), S_OK);
        const std::string script = std::string(kScript) + std::string(1, '\0') + "rubbish";
        ASSERT_EQ(vr::UpdateResource(update, u"REGISTRY", 102, kCanada, script.data(), DWORD(script.size())),
                  S_OK);
        ASSERT_EQ(vr::UpdateResource(update, u"REGISTRY", 102, LANG_NEUTRAL, "old", 3), S_OK);
        ASSERT_EQ(vr::UpdateResource(update, u"TYPELIB", 1, kCanada, "none", 4), S_OK);
        ASSERT_EQ(vr::EndUpdateResource(update, false), S_OK);
    }

    std::string BuildTypeLibrary(const std::u16string& device) {
        SocketInfo info;
        info.name = device.c_str();
        info.interfaceName = u"meter";
        const std::string path = ostrel::SocketTypeLibraryPath(places_, device);
        info.typeLibraryPath = vr::FromUtf8(path).c_str();
        ostrel::CTypeLibBuilder builder;
        EXPECT_EQ(builder.BuildDeviceTypeLib(info), S_OK);
        return path;
    }

    std::string folder_;
    ostrel::SocketLibraryPlaces places_;
};

TEST_F(GenerationTest, StampedCopyCarriesTheDevicesScriptAndTypeLibraryOnly) {
    MakeTemplate(VR_PROBE_LIBRARY_PATH);
    const std::u16string device = u"o'dmm"; // an apostrophe must not end the script's quoted string
    const std::string typeLibrary = BuildTypeLibrary(device);
    std::string library;
    ASSERT_EQ(ostrel::UpdateSocketDllResources(device, typeLibrary, places_.templatePath,
                                               places_.outputFolder, &library),
              S_OK)
        << Utf8(LastErrorText());
    EXPECT_EQ(library, places_.outputFolder + "/o'dmm.dll");

    const auto ids = ostrel::DeriveDeviceTypeLibIds(device, u"meter");
    const std::string clsid = vr::GuidToUtf8(ids.clsid);
    const std::string libid = vr::GuidToUtf8(ids.libid);
    EXPECT_EQ(clsid.substr(0, 10), "{89153F8D-"); // 0x89153DD9 + the units of "O'dmm"
    vr::ModuleResources stamped;
    ASSERT_EQ(vr::ModuleResources::Open(library, &stamped), S_OK);
    EXPECT_EQ(stamped.Languages(u"REGISTRY", 102), std::vector<WORD>{kCanada});
    EXPECT_EQ(stamped.Languages(u"TYPELIB", 1), std::vector<WORD>{kCanada});
    const vr::ResourceEntry* entry = nullptr;
    ASSERT_EQ(stamped.Find(u"REGISTRY", 102, &entry), S_OK);
    EXPECT_EQ(entry->data, "HKCR { Vornic.Device.o''dmm = s 'Device o''dmm' { CLSID = s '" + clsid +
                               "' }\n  NoRemove CLSID { ForceRemove " + clsid +
                               " = s 'Device o''dmm' { TypeLib = s '" + libid + "' } } }");
    ASSERT_EQ(stamped.Find(u"TYPELIB", 1, &entry), S_OK);
    EXPECT_EQ(entry->data, FileBytes(typeLibrary));
    EXPECT_EQ(stamped.Find(RT_HTML, u"Attributes.xml", &entry), S_OK)
        << "the template's other resources stay";

    // A template without a script fails the stamping: the device's earlier library stays where it was, and
    // no temporary copy is left behind.
    const std::string before = FileBytes(library);
    fs::copy_file(VR_NO_ENTRY_LIBRARY_PATH, places_.templatePath, fs::copy_options::overwrite_existing);
    EXPECT_EQ(ostrel::UpdateSocketDllResources(device, typeLibrary, places_.templatePath,
                                               places_.outputFolder, &library),
              E_FAIL);
    EXPECT_NE(Utf8(LastErrorText()).find("Couldn't read the registration script"), std::string::npos)
        << Utf8(LastErrorText());
    EXPECT_EQ(FileBytes(library), before);
    std::vector<std::string> files;
    for (const auto& file : fs::directory_iterator(places_.outputFolder)) {
        files.push_back(file.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"o'dmm.dll", "o'dmm.tlb"}));
}

// Whoever may write the generated libraries' folder runs code as every user who creates a device: the folder
// and its libraries are the user's only under any umask, and no library is loaded from a folder another user
// owns or everyone may write.
TEST_F(GenerationTest, TheLibraryFolderIsTheUsersOwnUnderAnyUmaskAndAForeignOneIsNotLoadedFrom) {
    places_.outputFolder = vr::GeneratedLibraryFolder();
    const std::string folder = places_.outputFolder;
    MakeTemplate(VR_PROBE_LIBRARY_PATH);
    std::string library;
    const mode_t umaskBefore = ::umask(0);
    const std::string typeLibrary = BuildTypeLibrary(u"dmm");
    const HRESULT made =
        ostrel::UpdateSocketDllResources(u"dmm", typeLibrary, places_.templatePath, folder, &library);
    ::umask(umaskBefore);
    ASSERT_EQ(made, S_OK) << Utf8(LastErrorText());
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(library), 0700u);
    const CLSID clsid = ostrel::DeriveDeviceTypeLibIds(u"dmm", u"").clsid;
    RegisterInproc(clsid, library);

    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(Create(clsid), E_ACCESSDENIED);
        EXPECT_EQ(vr::LastLibraryLoadError(),
                  "The folder '" + folder +
                      "' belongs to another user (uid 65534); no library is loaded from it.");
        EXPECT_EQ(
            ostrel::UpdateSocketDllResources(u"dmm", typeLibrary, places_.templatePath, folder, &library),
            E_FAIL)
            << "nor is one made there";
        ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_EQ(Create(clsid), E_ACCESSDENIED);
    EXPECT_NE(vr::LastLibraryLoadError().find("Everyone may write the folder '" + folder + "' (mode 0777)"),
              std::string::npos);
    // The next generation makes the folder the user's own again, and the library loads.
    ASSERT_EQ(ostrel::UpdateSocketDllResources(u"dmm", typeLibrary, places_.templatePath, folder, &library),
              S_OK);
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_NE(Create(clsid), E_ACCESSDENIED) << vr::LastLibraryLoadError();
}

TEST_F(GenerationTest, RegistrationFailuresAndCollidingDevicesAreRefused) {
    const std::u16string adapter = vr::FromUtf8(VR_TEST_DATA "/plugmar_multimeter.daf");
    // A copy that has no DllRegisterServer: reported, not taken for a registered device.
    MakeTemplate(VR_NO_ENTRY_LIBRARY_PATH);
    EXPECT_EQ(ostrel::CreateSocketDll(u"meter", adapter, places_), E_FAIL);
    EXPECT_NE(Utf8(LastErrorText()).find("has no DllRegisterServer"), std::string::npos)
        << Utf8(LastErrorText());

    // A template that registers: "dmm" gets its library; its type library is registered as a real template
    // registers its own.
    MakeTemplate(VR_PROBE_LIBRARY_PATH);
    ASSERT_EQ(ostrel::CreateSocketDll(u"dmm", adapter, places_), S_OK) << Utf8(LastErrorText());
    const std::string dmm = ostrel::SocketLibraryPath(places_, u"dmm");
    vr::ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLib(vr::FromUtf8(dmm).c_str(), lib.Put()), S_OK);
    ASSERT_EQ(RegisterTypeLib(lib.Get(), vr::FromUtf8(dmm).c_str(), nullptr), S_OK);
    lib = nullptr;

    // "mdm" and "Dmm" would get dmm's GUIDs: refused, nothing of theirs written.
    for (const char16_t* other : {u"mdm", u"Dmm"}) {
        EXPECT_EQ(ostrel::CreateSocketDll(other, adapter, places_), CO_E_CLASSSTRING);
        EXPECT_NE(Utf8(LastErrorText()).find("are those of the library '" + dmm + "' of another device"),
                  std::string::npos)
            << Utf8(LastErrorText());
        EXPECT_FALSE(fs::exists(ostrel::SocketLibraryPath(places_, other)));
    }
    // dmm itself is rebuilt with the same GUIDs.
    ASSERT_EQ(ostrel::CreateSocketDll(u"dmm", adapter, places_), S_OK) << Utf8(LastErrorText());
    ASSERT_EQ(LoadRegTypeLib(ostrel::DeriveDeviceTypeLibIds(u"dmm", u"").libid, 1, 0, 0, lib.Put()), S_OK);
    lib = nullptr;

    // Once dmm's library is gone, mdm may take the GUIDs.
    ostrel::RemoveSocketDll(u"dmm", places_);
    EXPECT_FALSE(fs::exists(dmm));
    EXPECT_FALSE(fs::exists(ostrel::SocketTypeLibraryPath(places_, u"dmm")));
    EXPECT_EQ(ostrel::CreateSocketDll(u"mdm", adapter, places_), S_OK) << Utf8(LastErrorText());

    EXPECT_EQ(ostrel::CreateSocketDll(u"../up", adapter, places_), E_INVALIDARG);
}

} // namespace
