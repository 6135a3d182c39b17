// The description of the script executive server's type library, written at build time from its dispatch
// table and embedded into libscripvane.so.
#include "ScriptExecutive.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_Scripvane,
        .name = u"ScripvaneLib",
        .doc = u"Scripvane 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<IScrivon>(),
                        .name = u"IScrivon",
                        .doc = u"IScrivon Interface",
                        .table = &scripvane::CTestScriptExecutive::GetDispatchTable(),
                        .dual = true},
                       {.iid = vr::uuidof<_IScrivonEvents>(),
                        .name = u"_IScrivonEvents",
                        .doc = u"_IScrivonEvents Interface"}},
        .classes = {{.clsid = CLSID_TestScriptExecutive,
                     .name = u"TestScriptExecutive",
                     .doc = u"TestScriptExecutive Class",
                     .interfaces = {{vr::uuidof<IScrivon>(), IMPLTYPEFLAG_FDEFAULT},
                                    {vr::uuidof<_IScrivonEvents>(),
                                     IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}}},
    };
    return spec;
}

} // namespace vr::typelib
