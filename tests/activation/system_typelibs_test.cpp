// The type libraries the system's servers carry in their own files: registered with them, found by LIBID
// and read from the file without loading the server.
#include "Rigmont/include/rigmont.h"
#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scripvane/include/scripvane.h"
#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "attributes/include/tabrisk.h"
#include "controls/Formiq/include/formiq.h"
#include "instruments/Instrel/include/instrel.h"
#include "instruments/Jotwell/include/jotwell.h"
#include "instruments/Plugmar/include/plugmar.h"
#include "instruments/Wirelo/include/wirelo.h"
#include "platform/base/text.h"
#include "platform/com/comptr.h"
#include "platform/com/typelib.h"
#include "platform/registry/registry.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct CarriedLibrary {
    const char* module;
    GUID libid;
    CLSID clsid;
};

TEST(SystemTypeLibraries, EachServersLibraryLoadsByItsLibidWithoutLoadingTheServer) {
    const CarriedLibrary libraries[] = {{"libplugmar.so", LIBID_PLUGMARLib, CLSID_Socket},
                                        {"libjotwell.so", LIBID_JOTWELLLib, CLSID_LogFile},
                                        {"libinstrel.so", LIBID_INSTRELLib, CLSID_CnVISA},
                                        {"libwirelo.so", LIBID_WIRELOLib, CLSID_TelnetClient},
                                        {"rigmont", LIBID_RIGMONTLib, CLSID_VrRigmont}};
    for (const CarriedLibrary& library : libraries) {
        SCOPED_TRACE(library.module);
        vr::ComPtr<ITypeLib> lib;
        vr::ComPtr<ITypeInfo> coclass;
        vr::ComPtr<ITypeInfo> defaultInterface;
        HREFTYPE ref = 0;
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(LoadRegTypeLib(library.libid, 1, 0, 0, lib.Put()), S_OK);
        ASSERT_EQ(lib->GetTypeInfoOfGuid(library.clsid, coclass.Put()), S_OK);
        ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
        ASSERT_EQ(coclass->GetRefTypeInfo(ref, defaultInterface.Put()), S_OK);
        ASSERT_EQ(defaultInterface->GetTypeAttr(&attr), S_OK);
        EXPECT_GT(attr->cFuncs, 0) << "the class's default interface lost its members";
        defaultInterface->ReleaseTypeAttr(attr);
        EXPECT_EQ(dlopen(library.module, RTLD_NOW | RTLD_NOLOAD), nullptr) << "reading the library loaded it";
    }
}

// The names of the subkeys of a key of HKEY_CLASSES_ROOT.
std::vector<std::u16string> SubKeys(const std::u16string& path) {
    std::vector<std::u16string> names;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        OLECHAR name[256] = {};
        DWORD length = 256;
        if (RegEnumKeyEx(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

// Every library a module registers, found again by LIBID and version: a registration that names no file it
// can be read from would leave a client that asks for the library's types with nothing.
TEST(SystemTypeLibraries, EveryRegisteredLibraryLoadsByItsLibid) {
    std::set<std::string> loaded;
    for (const std::u16string& libid : SubKeys(u"TypeLib")) {
        GUID guid{};
        ASSERT_TRUE(vr::GuidFromString(libid, guid)) << vr::ToUtf8(libid);
        for (const std::u16string& version : SubKeys(u"TypeLib\\" + libid)) {
            SCOPED_TRACE(vr::ToUtf8(libid + u" " + version));
            const size_t dot = version.find(u'.');
            ASSERT_NE(dot, std::u16string::npos);
            const WORD major = static_cast<WORD>(std::stoul(vr::ToUtf8(version.substr(0, dot)), nullptr, 16));
            const WORD minor =
                static_cast<WORD>(std::stoul(vr::ToUtf8(version.substr(dot + 1)), nullptr, 16));
            vr::ComPtr<ITypeLib> lib;
            EXPECT_EQ(LoadRegTypeLib(guid, major, minor, 0, lib.Put()), S_OK);
            if (lib) {
                loaded.insert(vr::GuidToUtf8(guid));
            }
        }
    }
    for (const GUID& libid : {LIBID_TABRISKLib, LIBID_Corvant, LIBID_Scripvane, LIBID_FORMIQLib,
                              LIBID_VrTestLoader, LIBID_PLUGMARLib, LIBID_RIGMONTLib}) {
        EXPECT_TRUE(loaded.count(vr::GuidToUtf8(libid))) << vr::GuidToUtf8(libid) << " is not registered";
    }
}

} // namespace
