// The Plugmar server's class table, its exported entry points and the registration of its embedded type
// library.
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

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_PLUGMARLib, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
