// The Formiq server's class table, its exported entry points, and the registration of the type library
// it carries.
#include "FormiqCtrl.h"
#include "FormiqPropPage.h"
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
    {.clsid = CLSID_FormiqPropPage,
     .createInstance = &CFormiqPropPage::CreateInstance,
     .progId = kFormiqPropPageProgId,
     .versionIndependentProgId = kFormiqPropPageIndependentProgId,
     .description = u"Formiq Property Page",
     .threadingModel = vr::server::ThreadingModel::Apartment},
};

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_FORMIQLib, kFormiqLibMajorVersion, kFormiqLibMinorVersion);
}

// The library the module carries, registered with the module's path as its file.
constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
