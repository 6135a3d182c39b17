// The description of the VISA connection server's type library INSTRELLib, written at build time from its
// dispatch table and embedded into libinstrel.so.
#include "CnVISA.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_INSTRELLib,
        .name = u"INSTRELLib",
        .doc = u"Instrel 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<ICnVISA>(),
                        .name = u"ICnVISA",
                        .doc = u"ICnVISA Interface",
                        .table = &instrel::CCnVISA::GetDispatchTable(),
                        .dual = true}},
        .classes = {{.clsid = CLSID_CnVISA,
                     .name = u"CnVISA",
                     .doc = u"CnVISA Class",
                     .interfaces = {{vr::uuidof<ICnVISA>(), IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return spec;
}

} // namespace vr::typelib
