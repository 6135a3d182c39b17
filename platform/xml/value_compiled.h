// Value checks of simple types compiled once per type: the lexical forms of the common built-in datatypes and
// the facets of restrictions and unions, with patterns on libxml2's own regular-expression engine.
//
// Purpose: the schema check of a value (value_check.h) validates a document for every value; the compiled
// check answers the same for the types it covers without one. It is made to give exactly the schema check's
// verdict, as libxml2 gives it, including where libxml2 departs from XSD (more than 24 significant digits,
// "1e" as a double); the differential test in tests/value_compiled_test.cpp holds the two side by side.
//
// Usage: CompiledValueCheck::Compile(type) once per type; null when the type uses something the compiled
// checks do not cover (other datatypes, lists, facets on unions, bounds of floating types...), and then the
// schema check stays. Check() may still answer NotCovered for a text it cannot judge (lone surrogates); the
// caller then asks the schema check.
//
// Threads: a compiled check never changes once made; Check may run on any number of threads at once
// (xmlRegexpExec only reads the compiled expression).
#pragma once

#include "platform/xml/som_data.h"

#include <memory>
#include <string_view>

namespace vr::xml::detail {

enum class CompiledVerdict { kValid, kInvalid, kNotCovered };

class CompiledValueCheck {
public:
    virtual ~CompiledValueCheck() = default;
    // The check of the type, or null when the schema check must stay.
    static std::unique_ptr<const CompiledValueCheck> Compile(const SchemaItemData& type);
    virtual CompiledVerdict Check(std::u16string_view text) const = 0;

    // Whether CheckWithFloatingGuard folds in the guard of a floating type (IsFloatingLexical, value_check.h)
    // that a caller otherwise applies to a valid verdict: then it answers Check's verdict with that guard
    // applied, in one pass over most texts.
    virtual bool AppliesFloatingGuard() const { return false; }
    virtual CompiledVerdict CheckWithFloatingGuard(std::u16string_view text) const { return Check(text); }
};

} // namespace vr::xml::detail
