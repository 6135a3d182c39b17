// Helpers shared by the sources of the compose/parse library: Latin-1 text, item-type tests, XML failures.
#pragma once

#include "platform/base/text.h"
#include "platform/com/hresult.h"
#include "platform/xml/schema.h"

#include <string>
#include <string_view>

class _com_error;

namespace xlatrix {

// Instrument text and schema strings meet as Latin-1 bytes.
inline std::string Narrow(std::u16string_view text) {
    return vr::ToLatin1(text);
}
inline std::u16string Wide(std::string_view text) {
    return vr::FromLatin1(text);
}
inline std::string Narrow(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// Built-in datatypes carry the bits 0x2100, model groups (and the empty particle) the bits 0x4100.
inline bool IsBuiltInDatatype(SOMITEMTYPE type) {
    return (type & SOMITEM_DATATYPE) == SOMITEM_DATATYPE;
}
inline bool IsModelGroup(SOMITEMTYPE type) {
    return (type & SOMITEM_GROUP) == SOMITEM_GROUP;
}
inline bool IsElementOrMixed(SCHEMACONTENTTYPE type) {
    return type == SCHEMACONTENTTYPE_ELEMENTONLY || type == SCHEMACONTENTTYPE_MIXED;
}
// maxOccurs of -1 stands for "unbounded".
inline bool BelowMax(int32_t count, int32_t maxOccurs) {
    return maxOccurs < 0 || count < maxOccurs;
}

// Blank, tab, line feed and carriage return.
inline constexpr std::string_view kTrimmed = " \t\n\r";
std::string Trimmed(std::string_view text);
// Trimmed, in the text's own buffer.
void Trim(std::string& text);

// The failure of an XML call, raised as the smart pointers of the original interfaces raise it: hr with
// error information whose description says what failed.
[[noreturn]] void ThrowXmlFailure(HRESULT hr, std::u16string_view description);
// Raises a failed hr with the XML layer's description of its last failure on this thread.
void CheckXml(HRESULT hr);

// The item-type and content-type names as the diagnostics write them (narrow).
std::string ItemTypeName(SOMITEMTYPE type);
std::string ContentTypeName(SCHEMACONTENTTYPE type);

} // namespace xlatrix
