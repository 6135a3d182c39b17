// The Formiq server's class table and its exported entry points.
#include "FormiqCtrl.h"
#include "platform/com/server.h"

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

} // namespace

VR_SERVER_EXPORTS(kClasses)
