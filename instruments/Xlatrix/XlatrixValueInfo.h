// What the parse works out once from a value element of the schema: its root type, annotations, fixed text
// and the literal ends of its pattern.
#pragma once

#include "instruments/Xlatrix/Xlatrix.h"

#include <optional>
#include <string>

struct CXlatrix::ValueInfo {
    vr::xml::SchemaType type; // the element's own type
    vr::xml::SchemaType root;
    bool rootFound = false; // a built-in datatype at the root; else ApplyParseText reports the call context
    SOMITEMTYPE rootType = SOMITEM_NULL;
    std::string rootName;
    mutable int rootNameId = -1; // in WalkState::typeNames, once a match needed it
    std::string typeName;
    std::string name; // the element's, or the type's without an element
    int base = 10;
    ParsingOption parsing = poNone;
    bool fixedOnly = false; // annotations that do not belong to parsing: only the fixed value matches
    std::optional<std::string> fixed;
    bool atomic = false;
    bool numeric = false;
    // The literal prefix and tail of a string type's only pattern (see GetTermString).
    std::string prefix;
    std::string term;
};
