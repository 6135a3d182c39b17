// The type libraries the system's servers carry in their own files: registered with them, found by LIBID
// and read from the file without loading the server; and the type information every registered class gives
// of itself.
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
#include "platform/com/activation.h"
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

bool HasKey(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
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

// Every class registered to run in process, created as a script creates it: the ones that answer IDispatch
// describe themselves. A dispatch table that contradicts itself, or leaves a SHORT parameter undescribed (a
// VARIANT_BOOL is a SHORT to C++, and a flag described as a number reaches a script as -1), describes
// nothing, so no such class is registered.
TEST(SystemClasses, EveryRegisteredClassDescribesItself) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    int described = 0;
    for (const std::u16string& clsidText : SubKeys(u"CLSID")) {
        if (!HasKey(u"CLSID\\" + clsidText + u"\\InprocServer32")) {
            continue;
        }
        SCOPED_TRACE(vr::ToUtf8(clsidText));
        CLSID clsid{};
        ASSERT_TRUE(vr::GuidFromString(clsidText, clsid));
        vr::ComPtr<IDispatch> object;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()))) {
            continue; // no automation object (the categories manager, a script engine)
        }
        UINT count = 0;
        ASSERT_EQ(object->GetTypeInfoCount(&count), S_OK);
        if (count == 0) {
            continue;
        }
        vr::ComPtr<ITypeInfo> info;
        EXPECT_EQ(object->GetTypeInfo(0, 0, info.Put()), S_OK) << "the class cannot describe itself";
        ++described;
    }
    EXPECT_GE(described, 10) << "the registered classes were not reached";
    CoUninitialize();
}

} // namespace
