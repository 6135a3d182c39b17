// Tracing to the outside tracer, the deliverable's diagnostic state (current method, site tag, last error),
// the conventions of public COM methods, and the display texts of HRESULTs, VARIANTs and schema types.
//
// Every deliverable compiles its own copy of this module (hidden visibility), so each keeps its own state.
// Ownership: all string arguments are borrowed (literals and BSTRs alike); returned BSTRs belong to the
// caller. Formats are printf-style with the wide semantics of vr::FormatW: "%s" a wide string, "%hs" a UTF-8
// string. A message is formatted once; the finished text is never used as a format again, so a "%" in it
// arrives unchanged.
//
// Threads: the senders and the text functions may be called on any thread. The three state values are guarded
// by one lock per deliverable: writers replace them whole, readers get copies. SetTraceSite and the trace
// that follows it are two steps, so a deliverable whose objects run on several threads at once may see one
// thread's site tag on another thread's line; the texts themselves are never torn.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"
#include "platform/xml/somtypes.h"

#include <cstddef>
#include <string>

class _com_error;
namespace vr::xml {
struct ParseError;
} // namespace vr::xml

// ---- The tracer ----

// The outside tracer registers its object in the running object table under this class; it is reached by
// IDispatch, by dispatch identifier, as methods without a result.
inline constexpr CLSID CLSID_TraceSink = vr::MakeGuid("A8F2F377-D8ED-417E-8F06-EDF0D1C761F9");
// WriteText(BSTR source, VT_I2 level, BSTR text)
inline constexpr DISPID DISPID_TRACESINK_WRITETEXT = 2;
// WriteCall(BSTR name, BSTR detail, VT_I4 delta)
inline constexpr DISPID DISPID_TRACESINK_WRITECALL = 3;

inline constexpr int TRACE_LEVEL_INFO = 0;
inline constexpr int TRACE_LEVEL_ERROR = 2;
inline constexpr int TRACE_LEVEL_TRAFFIC = 3;

// Buffer sizes in wide characters, terminator included. A text that does not fit (its length reaches the
// size) is cut to size - 4 characters followed by "...".
inline constexpr size_t TRACE_PRINTF_BUFFER = 20000;
inline constexpr size_t TRACE_MESSAGE_BUFFER = 5000;
inline constexpr size_t TRACE_HRESULT_BUFFER = 10000;
inline constexpr size_t FORMAT_BSTR_BUFFER = 10000;
inline constexpr size_t LAST_ERROR_BUFFER = 5000;
inline constexpr size_t WIN32_TEXT_BUFFER = 5000;
inline constexpr size_t VARIANT_TEXT_BUFFER = 1000;

// The source of the lines of DumpComError and DumpParseError.
inline constexpr const OLECHAR* UNKNOWN_SENDER_ID = u"<UnknownSenderID>";

// ---- Senders ----
// None reports a failure: without a tracer (or when it fails) the line is dropped. Each looks the tracer up
// afresh, initialising COM on the calling thread for the duration of the call unless the lookup is known to
// find nothing (no registration changed since none was found). A line that is only sent (not kept as
// LastErrorText) is formatted only after the lookup found a tracer, so its arguments cost nothing while
// nobody traces.

// Formats into TRACE_PRINTF_BUFFER and sends TraceSink.WriteText(source, level, text).
void TracePrintf(int level, const OLECHAR* source, const OLECHAR* format, ...);
// Sends TraceSink.WriteCall(name, detail, delta).
void TraceCall(const OLECHAR* name, const OLECHAR* detail, LONG delta);
// TraceCall(name, "", delta): +1 from constructors and FinalConstruct with their own name, -1 from
// destructors and FinalRelease with the name the matching constructor used.
void TraceFunction(const OLECHAR* name, LONG delta);
// Formats into TRACE_MESSAGE_BUFFER and sends at level 0 with the site tag as source.
void TraceInfo(const OLECHAR* format, ...);
// As TraceInfo at level 2; the text then becomes LastErrorText.
void TraceError(const OLECHAR* format, ...);
// HResultText(hr) (none for hr == 0) followed by the message (TRACE_MESSAGE_BUFFER), the whole within
// TRACE_HRESULT_BUFFER; sent at level 2 with the site tag as source, then kept as LastErrorText.
void TraceHResultError(HRESULT hr, const OLECHAR* format, ...);
// Instrument traffic: formats into TRACE_MESSAGE_BUFFER and sends at level 3 with an empty source.
void TracePrintfLevel3(const OLECHAR* format, ...);

// As TraceInfo(u"%s", text) for the text textOf() returns, with textOf called only when a tracer receives
// the line: for lines whose arguments cost more than the line itself (display texts of values, joined
// lists), which would otherwise be built on every call while nobody traces. textOf runs on the calling
// thread before the call returns.
template <class TextOf>
void TraceInfoOf(const TextOf& textOf);
// As TracePrintf(level, source, u"%s", text) for the text textOf() returns, called only for a running tracer.
template <class TextOf>
void TracePrintfOf(int level, const OLECHAR* source, const TextOf& textOf);

// ---- Diagnostic state of the deliverable ----

// The name "CClass::Method()" of the public method that runs now.
void SetTraceMethodName(const OLECHAR* name);
std::u16string TraceMethodName();
// The site tag "method: file (line)" of the last reported site.
std::u16string TraceSiteTag();
// The text of the last error line (at most LAST_ERROR_BUFFER - 1 characters).
std::u16string LastErrorText();

// Stores the site tag for a source file path and line: the method name, ": ", the file name (the path after
// its last "/", else after its last "\", else the whole path), " (", the line, ")".
void SetTraceSiteAt(const char* file, int line);
// The site tag of the place where it stands.
#define SetTraceSite() SetTraceSiteAt(__FILE__, __LINE__)

// An internal failure without a message of its own: sets the site, traces "Vornic Error: A<line> (<file>)"
// and returns E_FAIL for the method to return.
[[nodiscard]] HRESULT TraceInternalErrorAt(const char* file, int line);
#define TraceInternalError() TraceInternalErrorAt(__FILE__, __LINE__)

// The end of a public COM method: a failure hr gets rich error information (interface GUID_NULL, source the
// ProgID registered for clsid, no help) and is returned unchanged; a success is returned without touching the
// thread's error information. The description is LastErrorText when the method entered last wrote it, else
// the description the failed call below left on the thread, else the HRESULT's text (kept as LastErrorText).
[[nodiscard]] HRESULT FailWithErrorInfo(REFCLSID clsid, HRESULT hr);

// The source file name of a path, as site tags show it.
const char* SourceFileName(const char* path);

// ---- Diagnostic text ----

// "(HRESULT: 0x%08X) " followed by the facility's text: interface errors, Win32 errors and control errors by
// their tables, "Unknown error code\n" for every other facility.
std::u16string HResultText(HRESULT hr);
// The system message text of the low 16 bits of a Win32 code, with its line break at the end (at most
// WIN32_TEXT_BUFFER - 1 characters); empty when the system has none.
std::u16string Win32ErrorText(DWORD code);
// The texts of the interface facility (0x0154 "Class not registered") and of the control facility
// (0x004C "Path not found"), by the low 16 bits; empty for other codes.
std::u16string ItfErrorText(DWORD code);
std::u16string ControlErrorText(DWORD code);

// The message followed, after a blank, by the cause (without the line breaks and blanks it ends with), so
// that a user reads why without a tracer; the message alone when the cause is empty or already in it.
std::u16string WithCause(std::u16string_view message, std::u16string cause);
// WithCause with the cause that a failed call below left as the thread's error information (which this
// consumes).
std::u16string WithCauseBelow(std::u16string_view message);

// Formats into FORMAT_BSTR_BUFFER and returns a new BSTR.
BSTR FormatBstr(const OLECHAR* format, ...);

// "VT_I4", "VT_VARIANT | VT_ARRAY | VT_BYREF", "Unknown VARTYPE = 37".
std::u16string VarTypeName(VARTYPE vt);
BSTR VarTypeNameBstr(const VARTYPE* vt);
// The item-type name, built-in datatypes as "SD_STRING" and so on; "Unknown SOMITEMTYPE = %d" otherwise.
std::u16string SomItemTypeName(SOMITEMTYPE type);
BSTR SomItemTypeNameBstr(SOMITEMTYPE type);
// "" for 0, "SCHEMACONTENTTYPE_TEXTONLY" ..., "Unknown SCHEMACONTENTTYPE = %d".
std::u16string SchemaContentTypeName(SCHEMACONTENTTYPE type);
// The VARTYPE in which values of a schema datatype are held; always S_OK.
[[nodiscard]] HRESULT SomTypeToVarType(SOMITEMTYPE type, VARTYPE* out);
// Converts the value in place to the VARTYPE of the datatype; on failure traces the value and the type and
// returns the conversion's HRESULT, the value unchanged.
[[nodiscard]] HRESULT CoerceVariant(SOMITEMTYPE type, VARIANT* value);

// The referenced VARIANT when the type is exactly VT_VARIANT | VT_BYREF, else the VARIANT itself; a shallow
// copy either way (the result owns nothing).
VARIANT UnwrapVariantRef(const VARIANT& value);
// The display text of a value: numbers, "True"/"False", strings, "(null)" for a missing argument, "0x%08X"
// for other errors, "{a, b, c}" for a one-dimensional VARIANT array (", ..." once past 498 characters),
// "<value>" for everything else. Not limited in length.
std::u16string VariantToText(const VARIANT* value);
// "(type)text", each part within VARIANT_TEXT_BUFFER; the type is the argument's own, not unwrapped.
BSTR VariantToTypedText(const VARIANT* value);
// VariantToText within VARIANT_TEXT_BUFFER.
BSTR VariantToTextBstr(const VARIANT* value);

// Report of a caught COM exception, kept as LastErrorText and sent at level 2 from UNKNOWN_SENDER_ID.
void DumpComError(const _com_error& error);
// Report of an XML parse error (a document's parseError), kept as LastErrorText and sent at level 2 from
// UNKNOWN_SENDER_ID.
void DumpParseError(const vr::xml::ParseError& error);

// Each code unit up to the first zero as "%02X", separated by blanks ("41 101"); null for an empty text.
BSTR HexDumpText(const OLECHAR* text);
// The inverse: blank-separated base-16 numbers, one code unit each. A character that starts no number is
// skipped. Empty input gives an empty BSTR.
BSTR HexTextToBstr(const OLECHAR* hex);

// ---- Template parts ----

namespace vrcommon::trace {
// The text of a line to build: build(context).
struct LineBuilder {
    std::u16string (*build)(const void* context);
    const void* context;
};
template <class TextOf>
LineBuilder BuilderOf(const TextOf& textOf) {
    return {[](const void* context) -> std::u16string { return (*static_cast<const TextOf*>(context))(); },
            &textOf};
}
// The sending steps of TraceInfoOf and TracePrintfOf: the builder runs only for a running tracer.
void SendInfoBuilt(LineBuilder text);
void SendPrintfBuilt(int level, const OLECHAR* source, LineBuilder text);
} // namespace vrcommon::trace

template <class TextOf>
void TraceInfoOf(const TextOf& textOf) {
    vrcommon::trace::SendInfoBuilt(vrcommon::trace::BuilderOf(textOf));
}

template <class TextOf>
void TracePrintfOf(int level, const OLECHAR* source, const TextOf& textOf) {
    vrcommon::trace::SendPrintfBuilt(level, source, vrcommon::trace::BuilderOf(textOf));
}
