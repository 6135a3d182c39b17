// Specification texts: the informative part (with a pattern's quantifiers kept), keyword and body, and the
// plain comparison of a value with a specification.
#include "SpecText.h"

#include "platform/base/numbers.h"
#include "platform/base/text.h"

#include <cmath>
#include <optional>

namespace limitor {

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The end of a run of digits starting at `at`.
size_t SkipDigits(std::u16string_view text, size_t at) {
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
    }
    return at;
}

bool IsPatternText(std::u16string_view spec) {
    size_t colon = spec.find(u':');
    return colon != std::u16string_view::npos && vr::EqualsNoCase(spec.substr(0, colon), u"pattern");
}

// The whole text as a number, or nullopt when it is not one number without anything after it.
std::optional<double> WholeNumber(std::u16string_view text) {
    std::u16string terminated(text);
    const OLECHAR* begin = terminated.c_str();
    const OLECHAR* end = begin;
    double number = vr::Wcstod(begin, &end);
    if (end == begin || *end != 0 || number == HUGE_VAL || number == -HUGE_VAL) {
        return std::nullopt;
    }
    return number;
}

} // namespace

bool IsQuantifierAt(std::u16string_view text, size_t at) {
    if (at >= text.size() || text[at] != u'{') {
        return false;
    }
    size_t afterMinimum = SkipDigits(text, at + 1);
    if (afterMinimum == at + 1) {
        return false;
    }
    size_t close = afterMinimum;
    if (close < text.size() && text[close] == u',') {
        close = SkipDigits(text, close + 1);
    }
    return close < text.size() && text[close] == u'}';
}

size_t InformativeStart(std::u16string_view spec) {
    bool pattern = IsPatternText(spec);
    for (size_t brace = spec.find(u'{'); brace != std::u16string_view::npos;
         brace = spec.find(u'{', brace + 1)) {
        if (!pattern || !IsQuantifierAt(spec, brace)) {
            return brace;
        }
    }
    return std::u16string_view::npos;
}

std::u16string_view WithoutInformativePart(std::u16string_view spec) {
    return spec.substr(0, InformativeStart(spec));
}

std::u16string InformativeText(std::u16string_view spec) {
    size_t open = InformativeStart(spec);
    if (open == std::u16string_view::npos) {
        return {};
    }
    size_t close = spec.find(u'}', open + 1);
    if (close == std::u16string_view::npos) {
        return {};
    }
    return std::u16string(spec.substr(open + 1, close - open - 1));
}

SpecParts SplitSpec(std::u16string_view spec) {
    SpecParts parts;
    std::u16string_view body = spec;
    if (size_t colon = spec.find(u':'); colon != std::u16string_view::npos) {
        parts.keyword = spec.substr(0, colon);
        body = spec.substr(colon + 1);
    }
    size_t first = body.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) {
        return parts;
    }
    parts.body = body.substr(first, body.find_last_not_of(u' ') - first + 1);
    return parts;
}

bool PlainMatch(std::u16string_view value, std::u16string_view spec, double precision) {
    std::optional<double> measured = WholeNumber(value);
    std::optional<double> specified = WholeNumber(spec);
    if (measured && specified) {
        return *measured == *specified ||
               (*specified - precision <= *measured && *measured <= *specified + precision);
    }
    return value == spec;
}

} // namespace limitor
