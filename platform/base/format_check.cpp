// Checks a format that comes from a user's file before it is used with one value.
#include "platform/base/format.h"

#include "platform/base/format_spec.h"

#include <type_traits>

namespace vr {
namespace {

using detail::ArgSize;
using detail::ConversionSpec;

// The kind of value a conversion takes, or Invalid when the value a caller passes for that kind would not
// be the argument the conversion reads: '*' (an extra argument), %p, 64-bit integers (the value is passed
// as the system's 32-bit integer) and strings of the other width (%S, %hs in wide text, %ls in narrow text).
template <typename Char>
FormatKind KindOf(const ConversionSpec& spec) {
    if (spec.widthFromArgument || spec.precisionFromArgument) {
        return FormatKind::Invalid;
    }
    constexpr ArgSize kOwnWidth = std::is_same_v<Char, char16_t> ? ArgSize::Long : ArgSize::Short;
    char conversion = spec.conversion;
    if (detail::IsOneOf(conversion, detail::kIntegerConversions)) {
        return spec.size == ArgSize::LongLong ? FormatKind::Invalid : FormatKind::Integer;
    }
    if (detail::IsOneOf(conversion, detail::kFloatingConversions)) {
        return FormatKind::Floating;
    }
    if (conversion == 'c' || conversion == 'C') {
        return FormatKind::Character; // every character conversion reads an int
    }
    bool ownWidthString = conversion == 's' && (spec.size == ArgSize::Default || spec.size == kOwnWidth);
    return ownWidthString ? FormatKind::String : FormatKind::Invalid;
}

template <typename Char>
FormatKind Check(const Char* format) {
    if (format == nullptr) {
        return FormatKind::Invalid;
    }
    FormatKind found = FormatKind::Invalid;
    int conversions = 0;
    for (const Char* p = format; *p != 0;) {
        if (*p++ != '%') {
            continue;
        }
        ConversionSpec spec;
        switch (detail::ParseConversion(p, spec)) {
        case detail::ParseResult::Error:
            return FormatKind::Invalid;
        case detail::ParseResult::Percent:
            break;
        case detail::ParseResult::Conversion:
            found = KindOf<Char>(spec);
            if (found == FormatKind::Invalid || ++conversions > 1) {
                return FormatKind::Invalid;
            }
            break;
        }
    }
    return conversions == 1 ? found : FormatKind::Invalid;
}

} // namespace

FormatKind CheckUserFormat(const OLECHAR* format) {
    return Check(format);
}

FormatKind CheckUserFormatA(const char* format) {
    return Check(format);
}

} // namespace vr
