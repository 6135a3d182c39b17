// What the parts of the XML schema factory share: raising failed DOM calls, the site tag of its traces, facet
// names and qualified names.
#pragma once

#include "common/trace/Trace.h"
#include "platform/com/hresult.h"

#include <string>
#include <string_view>

// The factory's traces name one source file, whichever of its parts reports.
#define SetFactoryTraceSite() SetTraceSiteAt("XMLSchemaFactory.cpp", __LINE__)

namespace vrcommon::schemafactory {

// The attribute structure used when a description names none.
inline constexpr char16_t kDefaultAttrStructure[] = u"vra:substitution=enumeration";

// Raises a failed DOM call as a COM exception whose error information carries the XML layer's description of
// the failure (none when the layer gave none). Successes, S_FALSE among them, pass.
void ThrowIfFailed(HRESULT hr);

// True for the ten facet names, compared exactly.
bool IsFacetName(std::u16string_view name);

// A schema processor's failure description as an error text: its last line feed and its first carriage
// return become blanks; when a line feed is still left, the text after it, with every further line break
// character as a blank (so a leading location line is dropped).
std::u16string CleanErrorDescription(std::u16string_view description);

// "qualifier:localName", or the local name alone for an empty qualifier.
std::u16string Qualified(std::u16string_view qualifier, std::u16string_view localName);

// A type as an element or a restriction names it: a built-in XSD type under the qualifier, any other type
// (one of the schema's own, or one written with a prefix) as it is written.
std::u16string TypeReference(std::u16string_view qualifier, std::u16string_view type);

} // namespace vrcommon::schemafactory
