// Diagnostics of the compose/parse library: the last error text, reports of XML failures and parse errors.
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixInternal.h"

#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"

#include <cstdarg>

namespace xlatrix {

// The longest error text kept, terminator included.
constexpr size_t kErrorBuffer = 5000;

std::string Trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(kTrimmed);
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(kTrimmed);
    return std::string(text.substr(first, last - first + 1));
}

void Trim(std::string& text) {
    // The characters of kTrimmed, compared one by one: this runs for every value a parse returns.
    static_assert(kTrimmed == " \t\n\r");
    auto trimmed = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    size_t last = text.size();
    while (last > 0 && trimmed(text[last - 1])) {
        --last;
    }
    size_t first = 0;
    while (first < last && trimmed(text[first])) {
        ++first;
    }
    text.resize(last);
    text.erase(0, first);
}

void ThrowXmlFailure(HRESULT hr, std::u16string_view description) {
    IErrorInfo* info = nullptr;
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        std::u16string text(description);
        std::u16string source = u"Xlatrix";
        (void)create->SetDescription(text.data());
        (void)create->SetSource(source.data());
        (void)create->QueryInterface(&info);
        create->Release();
    }
    _com_error error(hr, info);
    if (info != nullptr) {
        info->Release(); // the exception keeps its own reference
    }
    throw error;
}

void CheckXml(HRESULT hr) {
    if (FAILED(hr)) {
        ThrowXmlFailure(hr, vr::xml::ErrorDescription());
    }
}

std::string ItemTypeName(SOMITEMTYPE type) {
    return Narrow(SomItemTypeName(type));
}

std::string ContentTypeName(SCHEMACONTENTTYPE type) {
    return Narrow(SchemaContentTypeName(type));
}

} // namespace xlatrix

using xlatrix::Narrow;

void CXlatrix::DumpError(const char* format, ...) {
    char buffer[xlatrix::kErrorBuffer];
    va_list args;
    va_start(args, format);
    int count = vr::VFormatA(buffer, sizeof buffer, format, args);
    va_end(args);
    // A text that does not fit keeps what fits, with room for the terminator.
    size_t length = count < 0 || static_cast<size_t>(count) >= sizeof buffer ? sizeof buffer - 1 : count;
    bError = true;
    strErrorText.assign(buffer, length);
}

// The reports of XML failures also go to the tracer: they come from schema loading, not from the matching
// loops, where a trace line per message would cost more than the matching.
void CXlatrix::TraceReport() {
    TracePrintf(TRACE_LEVEL_ERROR, u"Xlatrix", u"%s", xlatrix::Wide(strErrorText).c_str());
}

void CXlatrix::DumpComError(const _com_error& error) {
    std::string text = "--- Exception Error ---\n";
    text += vr::FormatAString("Error = %08lx\n", error.Error());
    text += vr::FormatAString("ErrorMessage = %s\n", error.ErrorMessage());
    text += "Description = " + Narrow(error.Description().view()) + "\n";
    text += "Source = " + Narrow(error.Source().view()) + "\n";
    text += "HelpFile = " + Narrow(error.HelpFile().view()) + "\n";
    DumpError("%s", text.c_str());
    TraceReport();
}

void CXlatrix::DumpParseError(const vr::xml::ParseError& error) {
    std::string text = "--- Parse Error ---\n";
    text += vr::FormatAString("errorCode = 0x%x\n", error.errorCode);
    text += vr::FormatAString("line = %ld; linepos = %ld; filepos = %ld\n", error.line, error.linepos,
                              error.filepos);
    // The parser's reason ends with its own line break.
    text += "reason: " + Narrow(error.reason);
    text += "url: " + Narrow(error.url) + "\n";
    text += "srcText: " + Narrow(error.srcText) + "\n";
    DumpError("%s", text.c_str());
    TraceReport();
}
