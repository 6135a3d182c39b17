// The Formiq server's class table, its exported entry points, and the registration of its type library key.
#include "FormiqCtrl.h"
#include "platform/com/server.h"

#include <string>

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_Formiq,
     .createInstance = &CFormiqCtrl::CreateInstance,
     .progId = kFormiqProgId,
     .versionIndependentProgId = kFormiqIndependentProgId,
     .description = u"Formiq Control",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_FORMIQLib},
};

HRESULT RegisterTypeLibKey(std::u16string_view modulePath) {
    return vr::server::RegisterTypeLibKey(LIBID_FORMIQLib, kFormiqLibMajorVersion, kFormiqLibMinorVersion,
                                          u"FORMIQLib", modulePath);
}

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_FORMIQLib, kFormiqLibMajorVersion, kFormiqLibMinorVersion);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &RegisterTypeLibKey,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
