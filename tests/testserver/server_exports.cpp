// The test server's class table and its exported entry points.
#include "platform/com/server.h"
#include "test_server.h"

namespace {

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_VrTestServer,
     .createInstance = &CTestServer::CreateInstance,
     .progId = kVrTestServerProgId,
     .versionIndependentProgId = kVrTestServerIndependentProgId,
     .description = u"VrTestServer Class",
     .threadingModel = vr::server::ThreadingModel::Apartment,
     .typeLib = LIBID_VrTestServerLib},
};

} // namespace

VR_SERVER_EXPORTS(kClasses)
