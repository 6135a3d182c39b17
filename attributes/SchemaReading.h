// What an attribute's schema declaration says: its datatype, annotations and enumeration indexes.
#pragma once

#include "attributes/AttributeRecord.h"
#include "platform/xml/dom.h"
#include "platform/xml/schema.h"

#include <optional>
#include <string>

namespace tabrisk {

// The element's datatype: its type when that is a built-in datatype, else the first base type, repeated until
// a built-in datatype is reached. False when the chain ends without one.
bool ResolveDatatype(const vr::xml::SchemaElement& element, SOMITEMTYPE* datatype);

// Reads PERSISTENT, CACHE, VALIDATE, NUMID and CLASS (by local name, any namespace, any letter case) into the
// record; a NUMID that is no whole number leaves 0 after its warning.
void ReadAnnotations(const vr::xml::SchemaElement& element, AttributeRecord* record);

// Fills validValues (the enumeration texts, or one empty value of the record's type) and, for a string
// attribute with enumeration values, the index of each value: its position, or the INDEX annotation of its
// facet in the schema document.
void ReadEnumerations(const vr::xml::Document& schemaDocument, const vr::xml::SchemaElement& element,
                      AttributeRecord* record);

// The INDEX annotation text of the first enumeration facet with that value under an element of that name.
std::optional<std::u16string> EnumerationIndexText(const vr::xml::Document& schemaDocument,
                                                   std::u16string_view elementName,
                                                   std::u16string_view value);

} // namespace tabrisk
