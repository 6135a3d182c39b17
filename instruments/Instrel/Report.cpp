// The connection's failure reports.
#include "Report.h"

namespace instrel {

HRESULT Report(HRESULT hr, const std::u16string& message, std::source_location where) {
    SetTraceSiteAt(where.file_name(), static_cast<int>(where.line()));
    TraceError(u"%s", message.c_str());
    return hr;
}

HRESULT ReportGeneric(HRESULT hr, std::source_location where) {
    SetTraceSiteAt(where.file_name(), static_cast<int>(where.line()));
    TraceError(u"Vornic Error: A%d (%hs)", static_cast<int>(where.line()), SourceFileName(where.file_name()));
    return hr;
}

} // namespace instrel
