// The description of the graph control's type library PlotvaneLib, written at build time from the control's
// dispatch table and embedded into libplotvane.so.
#include "PlotvaneCtrl.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_PlotvaneLib,
        .name = u"PlotvaneLib",
        .doc = u"Plotvane ActiveX Control module",
        .majorVersion = kPlotvaneLibMajorVersion,
        .minorVersion = kPlotvaneLibMinorVersion,
        .libFlags = LIBFLAG_FCONTROL,
        .interfaces = {{.iid = vr::uuidof<IPlotvane>(),
                        .name = u"IPlotvane",
                        .doc = u"Dispatch interface for Plotvane Control",
                        .table = &plotvane::CPlotvaneCtrl::GetDispatchTable()},
                       {.iid = IID_IPlotvaneEvents,
                        .name = u"IPlotvaneEvents",
                        .doc = u"Event interface for Plotvane Control"}},
        .classes = {{.clsid = CLSID_PlotvaneCtrl,
                     .name = u"Plotvane",
                     .doc = u"Plotvane Control",
                     .typeFlags = TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL,
                     .interfaces = {{vr::uuidof<IPlotvane>(), IMPLTYPEFLAG_FDEFAULT},
                                    {IID_IPlotvaneEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}}},
    };
    return spec;
}

} // namespace vr::typelib
