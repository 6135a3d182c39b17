// How the connection reports a failure: the message traced as the last error (with its site), so that the
// public method turns it into rich error information.
#pragma once

#include "common/trace/Trace.h"

#include <source_location>
#include <string>

namespace instrel {

// Traces message as an error at the caller's site; returns hr.
HRESULT Report(HRESULT hr, const std::u16string& message,
               std::source_location where = std::source_location::current());

// Report of a failed VISA call: message, then what the VISA layer said about it (its error information, else
// the standard text of hr), so that a bare code is never the only explanation; returns hr.
HRESULT ReportVisa(HRESULT hr, const std::u16string& message,
                   std::source_location where = std::source_location::current());

// Why the connection cannot open a resource name that it does not recognise, as the VISA layer reads the
// name: a name it cannot parse, an interface this system has no support for, or a keyword in lower case.
std::u16string UnrecognizedResourceCause(const std::u16string& resource);

// "Vornic Error: A<line> (<file>)" for a failing attribute or VARIANT operation; returns hr.
HRESULT ReportGeneric(HRESULT hr, std::source_location where = std::source_location::current());

// A BSTR's text for a "%s" conversion: a null BSTR is the empty text.
inline const OLECHAR* TextOf(BSTR text) {
    return text ? text : u"";
}

// A BSTR owned for the length of a scope.
class OwnedBstr {
public:
    OwnedBstr() = default;
    explicit OwnedBstr(std::u16string_view text) : bstr_(vr::AllocBstr(text)) {}
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(bstr_); }
    BSTR Get() const { return bstr_; }
    BSTR* Put() {
        SysFreeString(bstr_);
        bstr_ = nullptr;
        return &bstr_;
    }
    BSTR Detach() {
        BSTR bstr = bstr_;
        bstr_ = nullptr;
        return bstr;
    }
    std::u16string_view View() const { return vr::BstrView(bstr_); }

private:
    BSTR bstr_ = nullptr;
};

} // namespace instrel
