// The description of the test engine server's type library, written at build time from its dispatch table and
// embedded into libcorvant.so.
#include "TestEngine.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_Corvant,
        .name = u"CorvantLib",
        .doc = u"Corvant 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<IVrTestEngine>(),
                        .name = u"IVrTestEngine",
                        .doc = u"IVrTestEngine Interface",
                        .table = &corvant::CTestEngine::GetDispatchTable(),
                        .dual = true}},
        .classes = {{.clsid = CLSID_TestEngine,
                     .name = u"TestEngine",
                     .doc = u"TestEngine Class",
                     .interfaces = {{vr::uuidof<IVrTestEngine>(), IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return spec;
}

} // namespace vr::typelib
