// The Corvant server's class table, its exported entry points, and the registration of its type library key.
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

HRESULT RegisterTypeLibKey(std::u16string_view modulePath) {
    return vr::server::RegisterTypeLibKey(LIBID_Corvant, 1, 0, u"Corvant 1.0 Type Library", modulePath);
}

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_Corvant, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &RegisterTypeLibKey,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
