// The registry entries of the server program (LocalServer32 = the program's path).
#include "Registration.h"

#include "Rigmont/include/rigmont.h"
#include "platform/com/server.h"

namespace rigmont {

namespace {

const vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_VrRigmont,
     .progId = kRigmontProgId,
     .versionIndependentProgId = kRigmontIndependentProgId,
     .description = u"VrRigmont Class",
     .typeLib = LIBID_RIGMONTLib,
     .appId = APPID_Rigmont},
};

} // namespace

HRESULT RegisterProgram(std::u16string_view programPath) {
    HRESULT hr = vr::server::RegisterLocalServerClasses(kClasses, programPath);
    if (SUCCEEDED(hr)) {
        hr = vr::server::RegisterEmbeddedTypeLib(programPath); // the library the program carries
    }
    if (FAILED(hr)) {
        (void)UnregisterProgram(programPath); // leave no half registration behind
    }
    return hr;
}

HRESULT UnregisterProgram(std::u16string_view programPath) {
    HRESULT typeLib = vr::server::UnregisterTypeLibKey(LIBID_RIGMONTLib, 1, 0);
    HRESULT classes = vr::server::UnregisterLocalServerClasses(kClasses, programPath);
    return FAILED(classes) ? classes : typeLib;
}

} // namespace rigmont
