// What the parts of the XML file class share: raising failed DOM calls and reading a leaf's predicates.
#pragma once

#include "platform/com/hresult.h"

#include <string>
#include <string_view>
#include <vector>

namespace vrcommon::xmlfile {

// Raises a failed DOM call as a COM exception whose error information describes it (the XML layer's own
// description of its last failure on this thread). Successes, S_FALSE among them, pass.
void ThrowIfFailed(HRESULT hr);

// One attribute predicate "[@name = 'value']" of a leaf step.
struct PredicateAttribute {
    std::u16string name;
    std::u16string value;
};

// The attributes the predicates of a leaf give, in order. valid is false when a predicate is not of the
// accepted form; attributes then holds those before it.
struct PredicateScan {
    std::vector<PredicateAttribute> attributes;
    bool valid = true;
};

// Reads the predicates of a leaf step from its first "[": each "[" must be followed by "@", the name (up to a
// blank, "=" or "]"; not empty), optional blanks, "=", optional blanks and a value in single quotes. Scanning
// goes on after the value's closing quote, so a "[" inside a value starts no predicate; text between a value
// and the next "[" ("and @b = '2'") is not read. Never reads past the end of the text.
PredicateScan ScanPredicates(std::u16string_view predicates);

} // namespace vrcommon::xmlfile
