// The text of one simple element when composing: its value (fixed, compose value or default), the checked
// "format" annotation, and validity against the schema.
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixWalk.h"

#include "platform/base/format.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

// The conversion character of a checked format (the one that is not "%%").
char ConversionOf(std::string_view format) {
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t end = format.find_first_of("diouxXcC", i + 1);
        return end != std::string_view::npos ? format[end] : '\0';
    }
    return '\0';
}

// A double that a 32-bit integer conversion can take, truncated: signed 32-bit, and for the unsigned
// conversions also up to 0xFFFFFFFF (passed as the same 32 bits).
bool FitsConversion(double number, char conversion) {
    bool isUnsigned = std::string_view("ouxX").find(conversion) != std::string_view::npos;
    double high = isUnsigned ? 4294967296.0 : 2147483648.0;
    return std::isfinite(number) && number > -2147483649.0 && number < high;
}

LONG Truncated(double number) {
    auto whole = static_cast<int64_t>(number);
    return static_cast<LONG>(static_cast<uint32_t>(whole));
}

} // namespace

// particle (null for a message type that is itself simple) keeps what the element's text needs of the schema
// once it was read without faults; an element with faults reports them on every compose.
bool CXlatrix::ApplyComposeText(const vr::xml::SchemaType& type, bool& missing, std::string& out,
                                const vr::xml::SchemaElement& element, WalkParticle* particle) {
    vr::xml::SchemaType readRoot;
    std::string readFormat;
    const bool known = particle != nullptr && particle->composeKnown;
    if (!known) {
        if (!GetRootType(type, readRoot) || !xlatrix::IsBuiltInDatatype(readRoot.itemType())) {
            DumpError("Error: CXlatrix::ApplyComposeText(): wrong call context.\n");
            return false;
        }
        std::string units;
        if (element && !GetExtendedElementAttributes(element, &readFormat, nullptr, &units, nullptr)) {
            return false;
        }
        if (particle != nullptr) {
            particle->composeKnown = true;
            particle->composeRoot = readRoot;
            particle->format = readFormat;
            if (std::optional<std::u16string> fixed = element.fixedValue(); fixed && !fixed->empty()) {
                particle->fixed = xlatrix::Narrow(*fixed);
            }
            if (std::optional<std::u16string> byDefault = element.defaultValue()) {
                particle->byDefault = xlatrix::Narrow(*byDefault);
            }
        }
    }
    const vr::xml::SchemaType& root = known ? particle->composeRoot : readRoot;
    const std::string& format = known ? particle->format : readFormat;
    std::string value;
    if (element) {
        bool found = false;
        if (!TakeComposeValue(element, particle, value, found)) {
            return false;
        }
        if (!found) {
            missing = true;
            return true;
        }
    }
    std::string text = value;
    if (!format.empty() && !ComposeValueText(root, element, format, value, text)) {
        return false;
    }
    if (type.isValid(WideCandidate(text)) != S_OK) {
        DumpError("Schema Element '%s:%s': The entry value '%s' isn't valid according to the Schema.\n",
                  strCurrentTypeName.c_str(), xlatrix::Narrow(element.name()).c_str(), text.c_str());
        return false;
    }
    out += text;
    return true;
}

// The first that exists wins: the fixed value, the next compose value of the element's name (consumed, so
// that successive occurrences take successive values), the default. particle, when given, holds the element's
// name, fixed and default values.
bool CXlatrix::TakeComposeValue(const vr::xml::SchemaElement& element, const WalkParticle* particle,
                                std::string& value, bool& found) {
    found = true;
    std::optional<std::string> readFixed;
    std::optional<std::string> readDefault;
    if (particle == nullptr) {
        if (std::optional<std::u16string> fixed = element.fixedValue(); fixed && !fixed->empty()) {
            readFixed = xlatrix::Narrow(*fixed);
        }
        if (std::optional<std::u16string> byDefault = element.defaultValue()) {
            readDefault = xlatrix::Narrow(*byDefault);
        }
    }
    const std::optional<std::string>& fixed = particle != nullptr ? particle->fixed : readFixed;
    if (fixed) {
        value = *fixed;
        return true;
    }
    std::string name = particle != nullptr ? particle->name : xlatrix::Narrow(element.name());
    if (!name.empty() &&
        GetParamValue(arrComposeEntryParamValues, name, nullptr, nullptr, &value, 0, true, true)) {
        return true;
    }
    const std::optional<std::string>& byDefault = particle != nullptr ? particle->byDefault : readDefault;
    if (byDefault) {
        if (element.maxOccurs() < 0) {
            DumpError("Schema Element '%s:%s': The \"default\" attribute can't be used together with "
                      "\"maxOccurs='unbounded'\".\n",
                      strCurrentTypeName.c_str(), name.c_str());
            return false;
        }
        value = *byDefault;
        return true;
    }
    found = false;
    return true;
}

// A format from the adapter file reaches the formatter only when it holds exactly one conversion of the
// value's kind: an integer or character conversion takes the number truncated to 32 bits, a floating one the
// double, a string conversion the text of a non-numeric value. The kind comes from the conversion itself,
// never from letters of the literal text around it ("%.3f Volt" is floating).
bool CXlatrix::ComposeValueText(const vr::xml::SchemaType& root, const vr::xml::SchemaElement& element,
                                const std::string& format, const std::string& value, std::string& text) {
    auto elementName = [&] { return xlatrix::Narrow(element.name()); };
    vr::FormatKind kind = vr::CheckUserFormatA(format.c_str());
    bool numeric = IsNumeric(root.itemType());
    bool fits = numeric ? kind == vr::FormatKind::Integer || kind == vr::FormatKind::Character ||
                              kind == vr::FormatKind::Floating
                        : kind == vr::FormatKind::String;
    if (!fits) {
        DumpError(
            "Schema Element '%s:%s': The format '%s' can't be used for the entry value '%s': it must hold "
            "exactly one conversion that fits the value.\n",
            strCurrentTypeName.c_str(), elementName().c_str(), format.c_str(), value.c_str());
        return false;
    }
    if (!numeric) {
        text = vr::FormatAString(format.c_str(), value.c_str());
        return true;
    }
    double number = 0;
    bool converted = GetNumber(value.c_str(), number, 0, false, true);
    bool integral = kind != vr::FormatKind::Floating;
    if (!converted || (integral && !FitsConversion(number, ConversionOf(format)))) {
        DumpError(
            "Schema Element '%s:%s': The entry value '%s' can't be converted to a number in the specifed "
            "schema's context.\n",
            strCurrentTypeName.c_str(), elementName().c_str(), value.c_str());
        return false;
    }
    text = integral ? vr::FormatAString(format.c_str(), Truncated(number))
                    : vr::FormatAString(format.c_str(), number);
    return true;
}
