// Text placed into XPath expressions: XPath 1.0 has no escapes, so a literal is quoted by what it lacks.
#pragma once

#include <string>
#include <string_view>

namespace tabrisk {

// The text as an XPath string literal: 'text' when it has no apostrophe, "text" when it has no double quote,
// else concat() of pieces that each avoid one of the two ("it's \"x\"" -> concat('it', "'", 's "x"')).
std::u16string XPathLiteral(std::u16string_view text);

} // namespace tabrisk
