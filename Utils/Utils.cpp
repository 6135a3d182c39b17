// The Utils server's class table and its exported entry points.
#include "CsvFile.h"
#include "platform/com/server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_CsvFile,
     .createInstance = &utils::CCsvFile::CreateInstance,
     .progId = kCsvFileProgId,
     .versionIndependentProgId = kCsvFileIndependentProgId,
     .description = u"CCsvFile Object",
     .threadingModel = vr::server::ThreadingModel::Apartment},
};

} // namespace

VR_SERVER_EXPORTS(kClasses)
