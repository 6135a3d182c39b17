// The Instrel server's class table, its exported entry points, and the registration of its embedded type
// library.
#include "CnVISA.h"
#include "platform/com/server.h"

#include <string>

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_CnVISA,
     .createInstance = &instrel::CCnVISA::CreateInstance,
     .progId = kCnVisaProgId,
     .versionIndependentProgId = kCnVisaIndependentProgId,
     .description = u"CnVISA Class",
     .threadingModel = vr::server::ThreadingModel::Both,
     .typeLib = LIBID_INSTRELLib},
};

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_INSTRELLib, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
