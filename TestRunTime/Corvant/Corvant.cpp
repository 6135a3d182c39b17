// The Corvant server's class table, its exported entry points, and the registration of the type library
// it carries.
#include "TestEngine.h"
#include "platform/com/server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_TestEngine,
     .createInstance = &corvant::CTestEngine::CreateInstance,
     .progId = kTestEngineProgId,
     .versionIndependentProgId = kTestEngineIndependentProgId,
     .description = u"CTestEngine Object",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_Corvant},
};

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_Corvant, 1, 0);
}

// The library the module carries, registered with the module's path as its file.
constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
