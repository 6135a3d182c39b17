// The Jotwell server's class table and its exported entry points.
#include "LogFile.h"
#include "platform/com/server.h"

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

} // namespace

VR_SERVER_EXPORTS(kClasses)
