// The description of the script executive program's type library VrTestLoader, written at build time from
// its automation object's dispatch table and embedded into the program scrivon.
#include "TestRunTime/Scrivon/TestLoaderAutomation.h"
#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_VrTestLoader,
        .name = u"VrTestLoader",
        .doc = u"VrTestLoader 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<IVrTestLoader>(),
                        .name = u"IVrTestLoader",
                        .doc = u"IVrTestLoader Interface",
                        .table = &scrivon::CVrTestLoaderDlgAutoProxy::GetDispatchTable()}},
        .classes = {{.clsid = CLSID_VrTestLoader,
                     .name = u"VrTestLoader",
                     .doc = u"VrTestLoader Class",
                     .interfaces = {{vr::uuidof<IVrTestLoader>(), IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return spec;
}

} // namespace vr::typelib
