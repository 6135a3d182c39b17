// The description of the attribute-collection editor control's type library FORMIQLib, written at build time
// from its dispatch table and embedded into libformiq.so.
#include "FormiqCtrl.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_FORMIQLib,
        .name = u"FORMIQLib",
        .doc = u"Formiq 1.0 Type Library",
        .majorVersion = kFormiqLibMajorVersion,
        .minorVersion = kFormiqLibMinorVersion,
        .interfaces = {{.iid = vr::uuidof<_DFormiq>(),
                        .name = u"_DFormiq",
                        .doc = u"Dispatch interface for Formiq Control",
                        .table = &CFormiqCtrl::GetDispatchTable()},
                       {.iid = DIID__DFormiqEvents,
                        .name = u"_DFormiqEvents",
                        .doc = u"Event interface for Formiq Control"}},
        .classes = {{.clsid = CLSID_Formiq,
                     .name = u"Formiq",
                     .doc = u"Formiq Control",
                     .interfaces = {{vr::uuidof<_DFormiq>(), IMPLTYPEFLAG_FDEFAULT},
                                    {DIID__DFormiqEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}}},
        .enums = {{.name = u"FormiqOptions",
                   .doc = u"Options of the Formiq control",
                   .constants = {{u"FORMIQ_SHOWSUPPLEMENTARYSETUP", FORMIQ_SHOWSUPPLEMENTARYSETUP}}}},
    };
    return spec;
}

} // namespace vr::typelib
