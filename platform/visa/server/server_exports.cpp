// The VISA server's class table and its exported entry points.
#include "platform/com/server.h"
#include "resource_manager_object.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_VisaResourceManager,
     .createInstance = &CVisaResourceManager::CreateInstance,
     .progId = kVisaResourceManagerProgId,
     .versionIndependentProgId = kVisaResourceManagerIndependentProgId,
     .description = u"VISA Resource Manager",
     .threadingModel = vr::server::ThreadingModel::Both},
};

} // namespace

VR_SERVER_EXPORTS(kClasses)
