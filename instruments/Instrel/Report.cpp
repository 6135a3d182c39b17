// The connection's failure reports.
#include "Report.h"

#include "platform/base/text.h"
#include "platform/visa/resource_name.h"

namespace instrel {

HRESULT Report(HRESULT hr, const std::u16string& message, std::source_location where) {
    SetTraceSiteAt(where.file_name(), static_cast<int>(where.line()));
    TraceError(u"%s", message.c_str());
    return hr;
}

HRESULT ReportVisa(HRESULT hr, const std::u16string& message, std::source_location where) {
    std::u16string text = WithCauseBelow(message);
    if (text == message) {
        std::string standard = vr::visa::StatusText(hr);
        if (!standard.empty()) {
            text += u" " + vr::FromUtf8(standard);
        }
    }
    return Report(hr, text, where);
}

std::u16string UnrecognizedResourceCause(const std::u16string& resource) {
    vr::visa::ResourceName name;
    vr::visa::Failure failure;
    if (FAILED(vr::visa::ParseResourceName(vr::ToUtf8(resource), &name, &failure))) {
        return vr::FromUtf8(failure.message) + u".";
    }
    using vr::visa::InterfaceType;
    switch (name.type) {
    case InterfaceType::Tcpip:
    case InterfaceType::Asrl:
    case InterfaceType::Gpib:
    case InterfaceType::GpibVxi:
        return u"The interface is told by its name in upper case, as in " + vr::FromUtf8(name.canonical) +
               u".";
    default:
        return u"Instruments of this interface are not supported on this system (" +
               vr::FromUtf8(name.canonical) + u"); it reaches TCPIP and serial (ASRL) resources.";
    }
}

HRESULT ReportGeneric(HRESULT hr, std::source_location where) {
    SetTraceSiteAt(where.file_name(), static_cast<int>(where.line()));
    TraceError(u"Vornic Error: A%d (%hs)", static_cast<int>(where.line()), SourceFileName(where.file_name()));
    return hr;
}

} // namespace instrel
