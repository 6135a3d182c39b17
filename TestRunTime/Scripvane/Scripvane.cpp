// The Scripvane server's class table, its exported entry points, and the registration of the type library
// it carries.
#include "ScriptExecutive.h"
#include "platform/com/server.h"

#include <string>

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_TestScriptExecutive,
     .createInstance = &scripvane::CTestScriptExecutive::CreateInstance,
     .progId = kTestScriptExecutiveProgId,
     .versionIndependentProgId = kTestScriptExecutiveIndependentProgId,
     .description = u"CTestScriptExecutive Object",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_Scripvane},
};

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_Scripvane, 1, 0);
}

// The library the module carries, registered with the module's path as its file.
constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
