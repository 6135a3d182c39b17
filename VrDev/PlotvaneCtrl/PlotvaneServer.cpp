// The graph control server's class table and its exported entry points.
#include "PlotvaneCtrl.h"
#include "platform/com/server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_PlotvaneCtrl,
     .createInstance = &plotvane::CPlotvaneCtrl::CreateInstance,
     .progId = kPlotvaneProgId,
     .versionIndependentProgId = kPlotvaneIndependentProgId,
     .description = u"Plotvane Control",
     .threadingModel = vr::server::ThreadingModel::Apartment},
};

} // namespace

VR_SERVER_EXPORTS(kClasses)
