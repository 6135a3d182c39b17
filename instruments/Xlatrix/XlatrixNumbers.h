// Reading numbers from instrument text: decimal floating text, or integers in a base without loss of digits.
#pragma once

#include "platform/xml/somtypes.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace xlatrix {

struct NumberReading {
    double value = 0;
    // An integer read in another base, as plain decimal text ("4294967295"); empty for decimal text.
    std::string decimal;
    // Characters of the text that made up the number.
    size_t used = 0;
    bool overflow = false;
};

// Base 10, or base 0 without "0x" in the text: floating text in the "C" locale. Any other base (base 0 with
// "0x"): a signed 64-bit integer, or an unsigned one when it is larger than that.
NumberReading ReadNumber(const std::string& text, int base);

// False when the text, its surrounding blanks collapsed, lies outside the lexical space of a built-in numeric
// datatype (an exponent mark without digits is no double); true for every other datatype. A quick test
// before the schema's own check, which has the last word on ranges and facets.
bool MayBeLexicallyValid(SOMITEMTYPE root, std::string_view text);

// The text without blanks, tabs, line feeds and carriage returns.
std::string WithoutBlanks(std::string_view text);

} // namespace xlatrix
