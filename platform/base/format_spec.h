// One conversion specification of a printf-style format, and its parser (shared by formatter and checker).
#pragma once

#include <cstddef>
#include <cstring>

namespace vr::detail {

// The argument size a length modifier asks for: 'h', 'l', "ll"/"I64", 'L'.
enum class ArgSize { Default, Short, Long, LongLong, LongDouble };

// Width and precision beyond this are a format error: no text of the system comes near it, and it keeps a
// format from a user's file from asking for gigabytes.
inline constexpr int kMaxFieldSize = 1 << 20;

struct ConversionSpec {
    bool leftAlign = false;   // '-'
    bool plusSign = false;    // '+'
    bool blankSign = false;   // ' '
    bool alternate = false;   // '#'
    bool zeroPadding = false; // '0'
    bool widthFromArgument = false;
    bool precisionFromArgument = false;
    int width = 0;
    int precision = -1; // -1: none given
    ArgSize size = ArgSize::Default;
    char conversion = 0;
};

enum class ParseResult { Conversion, Percent, Error };

inline constexpr const char* kIntegerConversions = "diuoxX";
inline constexpr const char* kFloatingConversions = "feEgG";
inline constexpr const char* kTextConversions = "cCsS";

inline bool IsOneOf(char c, const char* set) {
    return c != 0 && std::strchr(set, c) != nullptr;
}

namespace format_parse {

template <typename Char>
bool ReadFlag(Char c, ConversionSpec& spec) {
    switch (c) {
    case '-':
        spec.leftAlign = true;
        return true;
    case '+':
        spec.plusSign = true;
        return true;
    case ' ':
        spec.blankSign = true;
        return true;
    case '#':
        spec.alternate = true;
        return true;
    case '0':
        spec.zeroPadding = true;
        return true;
    default:
        return false;
    }
}

// Reads a decimal field or '*'; false when the number is too large.
template <typename Char>
bool ReadField(const Char*& p, int& value, bool& fromArgument) {
    if (*p == '*') {
        fromArgument = true;
        ++p;
        return true;
    }
    long long number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        if (number > kMaxFieldSize) {
            return false;
        }
    }
    value = static_cast<int>(number);
    return true;
}

template <typename Char>
bool ReadSize(const Char*& p, ArgSize& size) {
    switch (*p) {
    case 'h':
        size = ArgSize::Short;
        ++p;
        return true;
    case 'l':
        ++p;
        size = *p == 'l' ? ArgSize::LongLong : ArgSize::Long;
        p += size == ArgSize::LongLong ? 1 : 0;
        return true;
    case 'L':
        size = ArgSize::LongDouble;
        ++p;
        return true;
    case 'I':
        if (p[1] != '6' || p[2] != '4') {
            return false;
        }
        size = ArgSize::LongLong;
        p += 3;
        return true;
    default:
        return true;
    }
}

// Whether the length modifier makes sense with the conversion; anything else is a format error rather than
// a guess at the argument's size.
inline bool SizeFitsConversion(ArgSize size, char conversion) {
    if (IsOneOf(conversion, kTextConversions)) {
        return size == ArgSize::Default || size == ArgSize::Short || size == ArgSize::Long;
    }
    if (IsOneOf(conversion, kFloatingConversions)) {
        return size == ArgSize::Default || size == ArgSize::Long || size == ArgSize::LongDouble;
    }
    if (conversion == 'p') {
        return size == ArgSize::Default;
    }
    return size != ArgSize::LongDouble;
}

} // namespace format_parse

// Parses the specification after a '%'; p ends after the conversion character. "%n" and unknown conversions
// are errors. A '%' conversion (with or without flags) stands for a literal percent sign.
template <typename Char>
ParseResult ParseConversion(const Char*& p, ConversionSpec& spec) {
    using namespace format_parse;
    spec = ConversionSpec{};
    while (ReadFlag(*p, spec)) {
        ++p;
    }
    if (!ReadField(p, spec.width, spec.widthFromArgument)) {
        return ParseResult::Error;
    }
    if (*p == '.') {
        ++p;
        spec.precision = 0; // "." alone is precision 0
        if (!ReadField(p, spec.precision, spec.precisionFromArgument)) {
            return ParseResult::Error;
        }
    }
    if (!ReadSize(p, spec.size)) {
        return ParseResult::Error;
    }
    Char c = *p;
    if (c == '%') {
        ++p;
        return ParseResult::Percent;
    }
    char conversion = static_cast<unsigned>(c) <= 0x7F ? static_cast<char>(c) : 0;
    bool known = IsOneOf(conversion, kIntegerConversions) || IsOneOf(conversion, kFloatingConversions) ||
                 IsOneOf(conversion, kTextConversions) || conversion == 'p';
    if (!known) {
        return ParseResult::Error;
    }
    spec.conversion = conversion;
    ++p;
    return SizeFitsConversion(spec.size, spec.conversion) ? ParseResult::Conversion : ParseResult::Error;
}

} // namespace vr::detail
