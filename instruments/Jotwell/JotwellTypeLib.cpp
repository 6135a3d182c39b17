// The description of the log file server's type library JOTWELLLib, written at build time from its dispatch
// table and embedded into libjotwell.so.
#include "LogFile.h"
#include "platform/com/typelib_writer.h"

namespace vr::typelib {

const LibrarySpec& ModuleLibrarySpec() {
    static const LibrarySpec spec{
        .libid = LIBID_JOTWELLLib,
        .name = u"JOTWELLLib",
        .doc = u"Jotwell 1.0 Type Library",
        .interfaces = {{.iid = vr::uuidof<IVrLogFile>(),
                        .name = u"IVrLogFile",
                        .doc = u"ILogFile Interface",
                        .table = &jotwell::CLogFile::GetDispatchTable(),
                        .dual = true}},
        .classes = {{.clsid = CLSID_LogFile,
                     .name = u"LogFile",
                     .doc = u"LogFile Class",
                     .interfaces = {{vr::uuidof<IVrLogFile>(), IMPLTYPEFLAG_FDEFAULT}}}},
    };
    return spec;
}

} // namespace vr::typelib
