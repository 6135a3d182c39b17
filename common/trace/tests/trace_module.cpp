// A stand-in deliverable for tests: its own copy of the common library, reached through exported functions.
#include "common/trace/Trace.h"

#include "common/comtext/BstrText.h"

#define MODULE_EXPORT extern "C" [[gnu::visibility("default")]]

MODULE_EXPORT void TraceModuleFail(const OLECHAR* method, const OLECHAR* message) {
    SetTraceMethodName(method);
    SetTraceSite();
    TraceError(u"%s", message);
}

MODULE_EXPORT BSTR TraceModuleMethodName() {
    return vrcommon::NewBstr(TraceMethodName());
}

MODULE_EXPORT BSTR TraceModuleSiteTag() {
    return vrcommon::NewBstr(TraceSiteTag());
}

MODULE_EXPORT BSTR TraceModuleLastError() {
    return vrcommon::NewBstr(LastErrorText());
}
