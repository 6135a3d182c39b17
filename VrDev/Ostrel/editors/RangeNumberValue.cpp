// Whole numbers between limits: the integer rows' check and their attribute value.
#include "VrDev/Ostrel/editors/RangeNumberValue.h"

#include "platform/base/text.h"

#include <cerrno>
#include <cstdlib>

namespace ostrel {

NumberVerdict RangeNumberVerdict(std::u16string_view text, const IntegerRange& range) {
    if (text == u"<Undefined>" || text == u"<Default>") {
        return NumberVerdict::Undefined;
    }
    if (text == range.defaultText) {
        return NumberVerdict::Accepted;
    }
    const std::string narrow = vr::ToUtf8(text);
    // strtol would skip leading blanks and take an empty text as 0: neither is a number as typed.
    if (narrow.empty() || narrow.front() == ' ' || narrow.front() == '\t') {
        return NumberVerdict::Refused;
    }
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(narrow.c_str(), &end, 0);
    if (errno != 0 || end != narrow.c_str() + narrow.size() || number <= INT32_MIN || number >= INT32_MAX) {
        return NumberVerdict::Refused;
    }
    return number >= range.lowest && number <= range.highest ? NumberVerdict::Accepted
                                                             : NumberVerdict::Refused;
}

std::u16string RangeRefusalText(std::u16string_view text, const IntegerRange& range) {
    std::u16string refusal = u"'" + std::u16string(text) + u"' is no whole number from " +
                             vr::FromUtf8(std::to_string(range.lowest)) + u" to " +
                             vr::FromUtf8(std::to_string(range.highest));
    if (!range.defaultText.empty()) {
        refusal += u" (nor '" + range.defaultText + u"')";
    }
    return refusal + u".";
}

} // namespace ostrel

CRangeNumberValue::CRangeNumberValue(const char* name, const char* options, ostrel::IntegerRange range)
    : CAttrValue(name, options), range_(std::move(range)) {}

int CRangeNumberValue::CompareValue(const char* text, std::string* /*completion*/) {
    return static_cast<int>(ostrel::RangeNumberVerdict(vr::FromUtf8(text ? text : ""), range_));
}
