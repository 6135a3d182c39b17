// The graph control server's class table, its exported entry points and the registration of the type
// library it carries.
#include "PlotvaneCtrl.h"
#include "PlotvanePropPage.h"
#include "platform/com/server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_PlotvaneCtrl,
     .createInstance = &plotvane::CPlotvaneCtrl::CreateInstance,
     .progId = kPlotvaneProgId,
     .versionIndependentProgId = kPlotvaneIndependentProgId,
     .description = u"Plotvane Control",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_PlotvaneLib},
    {.clsid = CLSID_PlotvanePropPage,
     .createInstance = &plotvane::CPlotvanePropPage::CreateInstance,
     .progId = kPlotvanePropPageProgId,
     .versionIndependentProgId = kPlotvanePropPageIndependentProgId,
     .description = u"Plotvane Property Page",
     .threadingModel = vr::server::ThreadingModel::Apartment},
};

HRESULT UnregisterEmbeddedTypeLib(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_PlotvaneLib, kPlotvaneLibMajorVersion,
                                            kPlotvaneLibMinorVersion);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterEmbeddedTypeLib};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
