// The type libraries the system's servers carry in their own files: registered with them, found by LIBID
// and read from the file without loading the server.
#include "Rigmont/include/rigmont.h"
#include "instruments/Instrel/include/instrel.h"
#include "instruments/Jotwell/include/jotwell.h"
#include "instruments/Plugmar/include/plugmar.h"
#include "instruments/Wirelo/include/wirelo.h"
#include "platform/base/text.h"
#include "platform/com/comptr.h"
#include "platform/com/typelib.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

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

} // namespace
