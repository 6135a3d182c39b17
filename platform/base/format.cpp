// The printf-style formatter, wide and narrow, with _snwprintf's overflow reporting.
#include "platform/base/format.h"

#include "platform/base/c_locale.h"
#include "platform/base/format_spec.h"
#include "platform/base/text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace vr {
namespace {

using detail::ArgSize;
using detail::ConversionSpec;
using detail::ParseResult;

// Where the formatted text goes: a caller's buffer of fixed size, or a growing string. Every unit produced
// is counted, also those that no longer fit, so that overflow can be told from an exact fit.
template <typename Char>
class Output {
public:
    Output(Char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    explicit Output(std::basic_string<Char>* text) : text_(text) {}

    void Append(const Char* units, size_t count) {
        if (text_ != nullptr) {
            text_->append(units, count);
        } else if (produced_ < capacity_ && count != 0) {
            std::memcpy(buffer_ + produced_, units, std::min(count, capacity_ - produced_) * sizeof(Char));
        }
        produced_ += count;
    }

    void Repeat(Char unit, size_t count) {
        if (text_ != nullptr) {
            text_->append(count, unit);
        } else {
            for (size_t i = produced_; i < capacity_ && i < produced_ + count; ++i) {
                buffer_[i] = unit;
            }
        }
        produced_ += count;
    }

    void Append(std::basic_string_view<Char> units) { Append(units.data(), units.size()); }
    size_t Produced() const { return produced_; }

private:
    Char* buffer_ = nullptr;
    size_t capacity_ = 0;
    std::basic_string<Char>* text_ = nullptr;
    size_t produced_ = 0;
};

// A va_list that the helpers can share by reference.
struct Arguments {
    va_list list;
};

template <typename Char>
constexpr bool kWideOutput = std::is_same_v<Char, char16_t>;

template <typename Char>
std::basic_string<Char> FromAscii(std::string_view ascii) {
    return std::basic_string<Char>(ascii.begin(), ascii.end());
}

// Writes body (already carrying its sign or prefix at the front, `signLength` units) into the field width:
// spaces on the left, spaces on the right ('-'), or zeros between the sign and the rest ('0').
template <typename Char>
void WritePadded(Output<Char>& out, const ConversionSpec& spec, std::basic_string_view<Char> body,
                 size_t signLength, bool zeroPad) {
    size_t width = static_cast<size_t>(spec.width);
    size_t fill = width > body.size() ? width - body.size() : 0;
    if (spec.leftAlign) {
        out.Append(body);
        out.Repeat(' ', fill);
    } else if (zeroPad) {
        out.Append(body.substr(0, signLength));
        out.Repeat('0', fill);
        out.Append(body.substr(signLength));
    } else {
        out.Repeat(' ', fill);
        out.Append(body);
    }
}

// Integer conversions: the value as sign and magnitude, written in the radix of the conversion.
struct IntegerValue {
    unsigned long long magnitude = 0;
    bool negative = false;
};

IntegerValue ReadSigned(Arguments& args, ArgSize size) {
    long long value = 0;
    if (size == ArgSize::LongLong) {
        value = va_arg(args.list, long long);
    } else {
        int raw = va_arg(args.list, int);
        value = size == ArgSize::Short ? static_cast<short>(raw) : raw;
    }
    // The magnitude in unsigned arithmetic, so that the minimum value does not overflow.
    unsigned long long bits = static_cast<unsigned long long>(value);
    return value < 0 ? IntegerValue{0ull - bits, true} : IntegerValue{bits, false};
}

IntegerValue ReadUnsigned(Arguments& args, ArgSize size) {
    if (size == ArgSize::LongLong) {
        return {va_arg(args.list, unsigned long long), false};
    }
    unsigned raw = va_arg(args.list, unsigned);
    return {size == ArgSize::Short ? static_cast<unsigned short>(raw) : raw, false};
}

std::string Digits(unsigned long long magnitude, unsigned radix, bool upper, int precision) {
    const char* digitSet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string digits;
    for (; magnitude != 0; magnitude /= radix) {
        digits.insert(digits.begin(), digitSet[magnitude % radix]);
    }
    // The precision is the least number of digits; precision 0 writes nothing for the value 0.
    size_t least = precision < 0 ? 1 : static_cast<size_t>(precision);
    if (digits.size() < least) {
        digits.insert(0, least - digits.size(), '0');
    }
    return digits;
}

template <typename Char>
void FormatInteger(Output<Char>& out, const ConversionSpec& spec, Arguments& args) {
    char conversion = spec.conversion;
    bool isSigned = conversion == 'd' || conversion == 'i';
    IntegerValue value = isSigned ? ReadSigned(args, spec.size) : ReadUnsigned(args, spec.size);
    unsigned radix = conversion == 'o' ? 8 : (conversion == 'x' || conversion == 'X') ? 16 : 10;
    std::string digits = Digits(value.magnitude, radix, conversion == 'X', spec.precision);

    std::string prefix;
    if (isSigned) {
        prefix = value.negative ? "-" : spec.plusSign ? "+" : spec.blankSign ? " " : "";
    } else if (spec.alternate && radix == 16 && value.magnitude != 0) {
        prefix = conversion == 'X' ? "0X" : "0x";
    } else if (spec.alternate && radix == 8 && (digits.empty() || digits[0] != '0')) {
        digits.insert(digits.begin(), '0');
    }
    // A precision turns the '0' flag off, as '-' does.
    bool zeroPad = spec.zeroPadding && spec.precision < 0;
    WritePadded<Char>(out, spec, FromAscii<Char>(prefix + digits), prefix.size(), zeroPad);
}

// %p: the address as upper-case hexadecimal digits, as many as a pointer has.
template <typename Char>
void FormatPointer(Output<Char>& out, const ConversionSpec& spec, Arguments& args) {
    auto address = reinterpret_cast<uintptr_t>(va_arg(args.list, void*));
    std::string digits = Digits(address, 16, true, static_cast<int>(2 * sizeof(void*)));
    WritePadded<Char>(out, spec, FromAscii<Char>(digits), 0, false);
}

// Floating conversions: the C library writes the digits, in the "C" locale, from a specification built
// here (never from the caller's format); width and padding are applied here.
template <typename Char>
void FormatFloating(Output<Char>& out, const ConversionSpec& spec, Arguments& args) {
    double value = va_arg(args.list, double);
    std::string single = "%";
    single += spec.plusSign ? "+" : "";
    single += spec.blankSign ? " " : "";
    single += spec.alternate ? "#" : "";
    single += spec.precision >= 0 ? "." + std::to_string(spec.precision) : "";
    single += spec.conversion;

    std::string digits;
    {
        detail::ScopedCLocale cLocale;
        int length = std::snprintf(nullptr, 0, single.c_str(), value);
        digits.resize(static_cast<size_t>(length > 0 ? length : 0) + 1);
        std::snprintf(digits.data(), digits.size(), single.c_str(), value);
        digits.pop_back();
    }
    bool hasSign = !digits.empty() && (digits[0] == '-' || digits[0] == '+' || digits[0] == ' ');
    // Infinity and NaN are padded with blanks even with the '0' flag.
    bool zeroPad = spec.zeroPadding && std::isfinite(value);
    WritePadded<Char>(out, spec, FromAscii<Char>(digits), hasSign ? 1 : 0, zeroPad);
}

// Whether a %s/%c argument is wide text: 'h' says narrow and 'l' wide; without either, the lower-case
// conversion takes the formatter's own width and the upper-case one (%S, %C) the other.
template <typename Char>
bool ArgumentIsWide(const ConversionSpec& spec) {
    if (spec.size == ArgSize::Short || spec.size == ArgSize::Long) {
        return spec.size == ArgSize::Long;
    }
    bool upper = spec.conversion == 'S' || spec.conversion == 'C';
    return upper != kWideOutput<Char>;
}

size_t BoundedLength(const char* text, size_t limit) {
    return strnlen(text, limit);
}

size_t BoundedLength(const OLECHAR* text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != 0) {
        ++n;
    }
    return n;
}

// The bytes of the UTF-8 sequence that starts at text: its lead byte and the continuation bytes that
// follow, never past a terminator.
size_t SequenceLength(const char* text) {
    unsigned char lead = static_cast<unsigned char>(text[0]);
    size_t expected = lead >= 0xF0 && lead < 0xF5   ? 4
                      : lead >= 0xE0                ? 3
                      : lead >= 0xC2 && lead < 0xE0 ? 2
                                                    : 1;
    size_t length = 1;
    while (length < expected && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        ++length;
    }
    return length;
}

// The text of a %s argument in the formatter's width, cut to the precision (counted in output units; a
// UTF-8 sequence or a surrogate pair is never cut in half). Reads no further into the argument than the
// precision needs, so that a precision may bound an array without a terminator.
std::u16string WideText(const char* text, int precision) {
    if (precision < 0) {
        return FromUtf8(text);
    }
    size_t limit = static_cast<size_t>(precision);
    std::u16string wide;
    for (size_t i = 0; wide.size() < limit && text[i] != 0;) {
        size_t length = SequenceLength(text + i);
        std::u16string piece = FromUtf8(std::string_view(text + i, length));
        if (wide.size() + piece.size() > limit) {
            break;
        }
        wide += piece;
        i += length;
    }
    return wide;
}

std::u16string WideText(const OLECHAR* text, int precision) {
    size_t limit = precision < 0 ? SIZE_MAX : static_cast<size_t>(precision);
    return std::u16string(text, BoundedLength(text, limit));
}

std::string NarrowText(const OLECHAR* text, int precision) {
    // Every unit gives at least one byte of UTF-8, so no more units than the precision are needed.
    size_t limit = precision < 0 ? SIZE_MAX : static_cast<size_t>(precision);
    std::string utf8 = ToUtf8(std::u16string_view(text, BoundedLength(text, limit)));
    if (precision >= 0 && utf8.size() > static_cast<size_t>(precision)) {
        size_t cut = static_cast<size_t>(precision);
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        utf8.resize(cut);
    }
    return utf8;
}

std::string NarrowText(const char* text, int precision) {
    size_t limit = precision < 0 ? SIZE_MAX : static_cast<size_t>(precision);
    return std::string(text, BoundedLength(text, limit));
}

template <typename Char, typename Source>
std::basic_string<Char> TextInOutputWidth(const Source* text, int precision) {
    if constexpr (kWideOutput<Char>) {
        return WideText(text, precision);
    } else {
        return NarrowText(text, precision);
    }
}

template <typename Char>
void FormatString(Output<Char>& out, const ConversionSpec& spec, Arguments& args) {
    std::basic_string<Char> text;
    if (ArgumentIsWide<Char>(spec)) {
        const OLECHAR* wide = va_arg(args.list, const OLECHAR*);
        text = TextInOutputWidth<Char>(wide != nullptr ? wide : u"(null)", spec.precision);
    } else {
        const char* narrow = va_arg(args.list, const char*);
        text = TextInOutputWidth<Char>(narrow != nullptr ? narrow : "(null)", spec.precision);
    }
    WritePadded<Char>(out, spec, text, 0, false);
}

// A narrow character is one byte, read as Latin-1 into wide text; a wide character becomes UTF-8 in
// narrow text.
template <typename Char>
void FormatCharacter(Output<Char>& out, const ConversionSpec& spec, Arguments& args) {
    int raw = va_arg(args.list, int);
    std::basic_string<Char> text;
    if (ArgumentIsWide<Char>(spec)) {
        char16_t unit = static_cast<char16_t>(raw);
        if constexpr (kWideOutput<Char>) {
            text.assign(1, unit);
        } else {
            text = ToUtf8(std::u16string_view(&unit, 1));
        }
    } else {
        text.assign(1, static_cast<Char>(static_cast<unsigned char>(raw)));
    }
    WritePadded<Char>(out, spec, text, 0, false);
}

// '*' takes the width or precision from the arguments; a negative width means '-', a negative precision
// none at all.
bool ResolveStars(ConversionSpec& spec, Arguments& args) {
    if (spec.widthFromArgument) {
        int width = va_arg(args.list, int);
        if (width < 0) {
            spec.leftAlign = true;
            width = width == INT_MIN ? INT_MAX : -width;
        }
        spec.width = width;
    }
    if (spec.precisionFromArgument) {
        int precision = va_arg(args.list, int);
        spec.precision = precision < 0 ? -1 : precision;
    }
    return spec.width <= detail::kMaxFieldSize && spec.precision <= detail::kMaxFieldSize;
}

template <typename Char>
void FormatConversion(Output<Char>& out, const ConversionSpec& spec, Arguments& args) {
    switch (spec.conversion) {
    case 'f':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
        FormatFloating(out, spec, args);
        break;
    case 's':
    case 'S':
        FormatString(out, spec, args);
        break;
    case 'c':
    case 'C':
        FormatCharacter(out, spec, args);
        break;
    case 'p':
        FormatPointer(out, spec, args);
        break;
    default:
        FormatInteger(out, spec, args);
        break;
    }
}

// Formats the whole text; false on a format error.
template <typename Char>
bool FormatAll(Output<Char>& out, const Char* format, Arguments& args) {
    if (format == nullptr) {
        return false;
    }
    const Char* p = format;
    while (*p != 0) {
        const Char* literal = p;
        while (*p != 0 && *p != '%') {
            ++p;
        }
        out.Append(literal, static_cast<size_t>(p - literal));
        if (*p == 0) {
            break;
        }
        ++p;
        ConversionSpec spec;
        ParseResult parsed = detail::ParseConversion(p, spec);
        if (parsed == ParseResult::Error) {
            return false;
        }
        if (parsed == ParseResult::Percent) {
            out.Repeat('%', 1);
            continue;
        }
        if (!ResolveStars(spec, args)) {
            return false;
        }
        FormatConversion(out, spec, args);
    }
    return true;
}

// Formats into the caller's buffer with _snwprintf's result: the length when text and terminator fit,
// count when the text fits exactly without its terminator, -1 on overflow or a format error.
template <typename Char>
int FormatBounded(Char* buffer, size_t count, const Char* format, va_list list) {
    if (buffer == nullptr && count != 0) {
        return -1;
    }
    Output<Char> out(buffer, count);
    Arguments args;
    va_copy(args.list, list);
    bool ok = FormatAll(out, format, args);
    va_end(args.list);
    size_t produced = out.Produced();
    if (!ok || produced > count || produced > static_cast<size_t>(INT_MAX)) {
        return -1;
    }
    if (produced < count) {
        buffer[produced] = 0;
    }
    return static_cast<int>(produced);
}

template <typename Char>
std::basic_string<Char> FormatWhole(const Char* format, va_list list) {
    std::basic_string<Char> text;
    Output<Char> out(&text);
    Arguments args;
    va_copy(args.list, list);
    bool ok = FormatAll(out, format, args);
    va_end(args.list);
    return ok ? text : std::basic_string<Char>();
}

} // namespace

int VFormatW(OLECHAR* buffer, size_t count, const OLECHAR* format, va_list args) {
    return FormatBounded(buffer, count, format, args);
}

int VFormatA(char* buffer, size_t count, const char* format, va_list args) {
    return FormatBounded(buffer, count, format, args);
}

int FormatW(OLECHAR* buffer, size_t count, const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    int result = VFormatW(buffer, count, format, args);
    va_end(args);
    return result;
}

int FormatA(char* buffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = VFormatA(buffer, count, format, args);
    va_end(args);
    return result;
}

std::u16string VFormatWString(const OLECHAR* format, va_list args) {
    return FormatWhole(format, args);
}

std::u16string FormatWString(const OLECHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = VFormatWString(format, args);
    va_end(args);
    return text;
}

std::string FormatAString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatWhole(format, args);
    va_end(args);
    return text;
}

} // namespace vr
