// The description of the instrument socket server's type library PLUGMARLib, written at build time from its
// dispatch tables and embedded into libplugmar.so.
#include "Socket.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_PLUGMARLib,
        .name = u"PLUGMARLib",
        .doc = u"Plugmar 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<ISocket>(),
                        .name = u"ISocket",
                        .doc = u"ISocket Interface",
                        .table = &plugmar::CSocket::GetDispatchTable(),
                        .dual = true},
                       {.iid = vr::uuidof<IVrSocketProcessor>(),
                        .name = u"IVrSocketProcessor",
                        .doc = u"IVrSocketProcessor Interface",
                        .table = &plugmar::CSocket::ProcessorTable(),
                        .dual = true}},
        .classes = {{.clsid = CLSID_Socket,
                     .name = u"Socket",
                     .doc = u"Socket Class",
                     .interfaces = {{vr::uuidof<ISocket>(), IMPLTYPEFLAG_FDEFAULT},
                                    {vr::uuidof<IVrSocketProcessor>(), 0}}}},
    };
    return spec;
}

} // namespace vr::typelib
