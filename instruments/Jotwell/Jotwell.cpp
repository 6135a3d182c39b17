// The Jotwell server's class table, its exported entry points, and the registration of its embedded type
// library.
#include "LogFile.h"
#include "platform/base/text.h"
#include "platform/com/server.h"

#include <string>

namespace {

// The component categories "safe for scripting" and "safe for initializing".
constexpr GUID kCategories[] = {vr::MakeGuid("7DD95801-9882-11CF-9FA9-00AA006C42C4"),
                                vr::MakeGuid("7DD95802-9882-11CF-9FA9-00AA006C42C4")};

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_LogFile,
     .createInstance = &jotwell::CLogFile::CreateInstance,
     .progId = kLogFileProgId,
     .versionIndependentProgId = kLogFileIndependentProgId,
     .description = u"LogFile Class",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_JOTWELLLib,
     .implementedCategories = kCategories},
};

HRESULT UnregisterTypeLibKey(std::u16string_view) {
    return vr::server::UnregisterTypeLibKey(LIBID_JOTWELLLib, 1, 0);
}

constexpr vr::server::RegistrationHooks kHooks{.afterRegister = &vr::server::RegisterEmbeddedTypeLib,
                                               .beforeUnregister = &UnregisterTypeLibKey};

} // namespace

VR_SERVER_EXPORTS_WITH_HOOKS(kClasses, kHooks)
