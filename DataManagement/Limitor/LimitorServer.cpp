// The specification validator server's class table and its exported entry points.
#include "SpecValidator.h"
#include "platform/com/server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_SpecValidator,
     .createInstance = &CSpecValidator::CreateInstance,
     .progId = kSpecValidatorProgId,
     .versionIndependentProgId = kSpecValidatorIndependentProgId,
     .description = u"CSpecValidator Object",
     .threadingModel = vr::server::ThreadingModel::Apartment},
};

} // namespace

VR_SERVER_EXPORTS(kClasses)
