// The Plugmar server's class table, its exported entry points and the registration of its type library key.
#include "Socket.h"
#include "platform/com/server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_Socket,
     .createInstance = &plugmar::CSocket::CreateInstance,
     .progId = kSocketProgId,
     .versionIndependentProgId = kSocketIndependentProgId,
     .description = u"Socket Class",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_PLUGMARLib,
     .programmable = true},
};

HRESULT RegisterTypeLibKey(std::u16string_view modulePath) {
    return vr::server::RegisterTypeLibKey(LIBID_PLUGMARLib, 1, 0, u"Plugmar 1.0 Type Library", modulePath);
}

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_PLUGMARLib, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &RegisterTypeLibKey,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
