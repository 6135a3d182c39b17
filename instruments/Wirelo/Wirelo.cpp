// The Wirelo server's class table, its exported entry points, and the registration of its embedded type
// library.
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

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_WIRELOLib, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
