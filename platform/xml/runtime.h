// Process-wide set-up of libxml2 for this layer, the capture of its errors, and small text helpers.
#pragma once

#include "platform/base/text.h"
#include "platform/base/types.h"

#include <libxml/xmlerror.h>
#include <libxml/xmlstring.h>

#include <string>
#include <string_view>
#include <vector>

namespace vr::xml::detail {

// Initialises libxml2 once per process: silent default error handlers and the guarded entity loader.
void EnsureInitialized();

// One error or warning reported by libxml2.
struct CapturedError {
    int domain = 0;
    int code = 0;
    int level = 0; // xmlErrorLevel
    int line = 0;
    int column = 0;
    std::string message; // UTF-8, without its trailing line break
    std::string file;
    const void* node = nullptr; // the node the error is about, when libxml2 names one
    bool IsError() const { return level >= XML_ERR_ERROR; }
};

// While alive, collects every libxml2 error raised on this thread instead of printing it. Nested captures
// collect into the innermost one. Making one initialises libxml2 when that has not been done yet.
class ErrorCapture {
public:
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    // The first error of level error or fatal; null when there was none.
    const CapturedError* FirstError() const;
    const std::vector<CapturedError>& All() const { return errors_; }

private:
    static void OnError(void* self, xmlErrorPtr error);
    std::vector<CapturedError> errors_;
    xmlStructuredErrorFunc previousStructured_ = nullptr;
    void* previousStructuredContext_ = nullptr;
    xmlGenericErrorFunc previousGeneric_ = nullptr;
    void* previousGenericContext_ = nullptr;
};

// The HRESULT that stands for a libxml2 error code: 0xC00CE000 plus the code (13 bits).
[[nodiscard]] HRESULT HResultFromXmlError(int code);

// Sets or clears the thread's error description (ErrorDescription()).
void SetErrorDescription(std::u16string text);
void ClearErrorDescription();
// Sets the description and returns hr, for "return Fail(E_FAIL, u"...")".
[[nodiscard]] HRESULT Fail(HRESULT hr, std::u16string text);

// A schema processor's error as a description: "<file>#line <n>\r\n<message>\r\n".
std::u16string DescribeSchemaError(const CapturedError& error);

// Registers in-memory texts that the entity loader serves by URL while a scope lives (schema imports of a
// cache's combined schema). Every other external resource is refused.
class ServedTexts {
public:
    ServedTexts() = default;
    ~ServedTexts();
    ServedTexts(const ServedTexts&) = delete;
    ServedTexts& operator=(const ServedTexts&) = delete;
    // Returns the unique URL under which the text is served.
    std::string Serve(std::string text);

private:
    std::vector<std::string> urls_;
};

// Text for an attribute value between double quotes: &, < and " escaped.
std::string EscapeAttributeText(std::string_view text);

inline std::u16string FromXml(const xmlChar* text) {
    return text ? FromUtf8(reinterpret_cast<const char*>(text)) : std::u16string();
}
inline std::string_view ViewXml(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}
inline const xmlChar* AsXml(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

} // namespace vr::xml::detail
