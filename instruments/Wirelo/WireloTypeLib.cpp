// The description of the telnet converter server's type library WIRELOLib, written at build time from its
// dispatch table and embedded into libwirelo.so.
#include "TelnetClient.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_WIRELOLib,
        .name = u"WIRELOLib",
        .doc = u"Wirelo 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<ITelnetClient>(),
                        .name = u"ITelnetClient",
                        .doc = u"ITelnetClient Interface",
                        .table = &wirelo::CTelnetClient::GetDispatchTable(),
                        .dual = true}},
        .classes = {{.clsid = CLSID_TelnetClient,
                     .name = u"TelnetClient",
                     .doc = u"TelnetClient Class",
                     .interfaces = {{vr::uuidof<ITelnetClient>(), IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return spec;
}

} // namespace vr::typelib
