// Whether a text is a valid value of a schema type, by validating it against a small schema made for the
// type.
#pragma once

#include "platform/com/hresult.h"
#include "platform/xml/som_data.h"

#include <string>
#include <string_view>

namespace vr::xml::detail {

// S_OK valid, S_FALSE not valid; a failure (with ErrorDescription()) when no check can be made for the type.
// The small schema of a type is compiled on first use and shared process-wide by its text; where the type's
// checks compile (value_compiled.h) they answer instead, without a document, else a check costs one
// validation of a one-element document.
[[nodiscard]] HRESULT CheckValue(const SchemaItemData& type, std::u16string_view text);

// The text of the small schema that checks values of the type: the type's definition (a copy of it for a
// named type) as the anonymous type of one global element "vrValue", with the named types it refers to.
// Exposed for tests.
std::string ValueSchemaText(const SchemaItemData& type, std::string* elementNamespace);

// The white-space handling XSD prescribes for values of the type (SCHEMAWHITESPACE_NONE for unions, whose
// members each apply their own).
SCHEMAWHITESPACE EffectiveWhitespace(const SchemaItemData& type);

// The lexical space of xsd:double and xsd:float as XSD has it (libxml2 2.9 also takes an exponent mark
// without digits, "1e"): the guard applied to a floating type's values after the schema's own check.
bool IsFloatingLexical(std::u16string_view text);

// The check by a small schema alone, without the compiled check in front of it. Exposed for the
// differential test.
[[nodiscard]] HRESULT CheckValueBySchema(const SchemaItemData& type, std::u16string_view text);

} // namespace vr::xml::detail
