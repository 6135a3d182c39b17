// The Wirelo server's class table, its exported entry points, and the registration of its type library key.
#include "TelnetClient.h"
#include "platform/com/server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_TelnetClient,
     .createInstance = &wirelo::CTelnetClient::CreateInstance,
     .progId = kTelnetClientProgId,
     .versionIndependentProgId = kTelnetClientIndependentProgId,
     .description = u"TelnetClient Class",
     .threadingModel = vr::server::ThreadingModel::Both,
     .typeLib = LIBID_WIRELOLib},
};

HRESULT RegisterTypeLibKey(std::u16string_view modulePath) {
    return vr::server::RegisterTypeLibKey(LIBID_WIRELOLib, 1, 0, u"Wirelo 1.0 Type Library", modulePath);
}

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_WIRELOLib, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &RegisterTypeLibKey,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
