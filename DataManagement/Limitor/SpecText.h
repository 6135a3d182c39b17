// Specification texts as the validator reads them: the informative part, keyword and body, and the plain
// comparison of a value with a specification.
//
// Every function here is reentrant: it keeps no state.
#pragma once

#include <string>
#include <string_view>

namespace limitor {

// Where the informative part begins: the first "{", except that in a "pattern:" text (keyword compared
// without case) a brace that opens a quantifier ("{3}", "{2,5}", "{2,}") belongs to the pattern and is
// passed over. npos when the text has no informative part.
size_t InformativeStart(std::u16string_view spec);

// The text before the informative part: what decides the kind of a specification.
std::u16string_view WithoutInformativePart(std::u16string_view spec);

// The text between the informative part's "{" and the first "}" after it; empty when either is missing.
std::u16string InformativeText(std::u16string_view spec);

// True when text[at] is the "{" of a quantifier: "{", digits, optionally "," and optionally more digits, "}".
bool IsQuantifierAt(std::u16string_view text, size_t at);

// A specification split at its first ":": the keyword as written (empty without a ":") and the body without
// its leading and trailing blanks.
struct SpecParts {
    std::u16string keyword;
    std::u16string body;
};
SpecParts SplitSpec(std::u16string_view spec);

// The plain comparison: when both texts are whole numbers (a number and nothing after it, no overflow), equal
// numbers or a value within spec - precision and spec + precision; otherwise identical texts.
bool PlainMatch(std::u16string_view value, std::u16string_view spec, double precision);

} // namespace limitor
