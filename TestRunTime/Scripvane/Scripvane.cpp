// The Scripvane server's class table, its exported entry points, and the registration of its type library
// key.
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

HRESULT RegisterTypeLibKey(std::u16string_view modulePath) {
    return vr::server::RegisterTypeLibKey(LIBID_Scripvane, 1, 0, u"Scripvane 1.0 Type Library", modulePath);
}

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_Scripvane, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &RegisterTypeLibKey,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
