// The description of the hardware manager's type library RIGMONTLib, written at build time from its dispatch
// table and embedded into the program rigmont.
#include "VrRigmont.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_RIGMONTLib,
        .name = u"RIGMONTLib",
        .doc = u"Rigmont 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<IVrRigmont>(),
                        .name = u"IVrRigmont",
                        .doc = u"IVrRigmont Interface",
                        .table = &rigmont::CVrRigmont::GetDispatchTable(),
                        .dual = true}},
        .classes = {{.clsid = CLSID_VrRigmont,
                     .name = u"VrRigmont",
                     .doc = u"VrRigmont Class",
                     .interfaces = {{vr::uuidof<IVrRigmont>(), IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return spec;
}

} // namespace vr::typelib
