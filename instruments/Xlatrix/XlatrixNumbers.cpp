// Numbers and value comparison of the compose/parse library: numeric datatypes, reading numbers in a base,
// normalising and comparing values, nesting levels of parse paths.
#include "instruments/Xlatrix/XlatrixNumbers.h"
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixInternal.h"

#include "platform/base/format.h"
#include "platform/base/numbers.h"

#include <algorithm>
#include <cctype>

namespace xlatrix {

namespace {

bool HasHexMark(std::string_view text) {
    return text.find("0x") != std::string_view::npos || text.find("0X") != std::string_view::npos;
}

// Integers in a base other than ten: 64-bit, so that no digit is lost, and unsigned 64-bit above that.
NumberReading ReadInteger(const std::string& text, int base) {
    NumberReading reading;
    const char* end = nullptr;
    bool overflow = false;
    LONGLONG value = vr::Strtoi64(text.c_str(), &end, base, &overflow);
    if (overflow && value > 0) {
        overflow = false;
        ULONGLONG large = vr::Strtoui64(text.c_str(), &end, base, &overflow);
        reading.value = static_cast<double>(large);
        reading.decimal = std::to_string(large);
    } else {
        reading.value = static_cast<double>(value);
        reading.decimal = std::to_string(value);
    }
    reading.overflow = overflow;
    reading.used = static_cast<size_t>(end - text.c_str());
    return reading;
}

NumberReading ReadFloating(const std::string& text) {
    NumberReading reading;
    const char* end = nullptr;
    reading.value = vr::Strtod(text.c_str(), &end, &reading.overflow);
    reading.used = static_cast<size_t>(end - text.c_str());
    return reading;
}

} // namespace

NumberReading ReadNumber(const std::string& text, int base) {
    if (base == 10 || (base == 0 && !HasHexMark(text))) {
        return ReadFloating(text);
    }
    return ReadInteger(text, base);
}

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (kTrimmed.find(c) == std::string_view::npos) {
            out += c;
        }
    }
    return out;
}

} // namespace xlatrix

bool CXlatrix::IsNumeric(SOMITEMTYPE type) {
    switch (type) {
    case SOMITEM_DATATYPE_BYTE:
    case SOMITEM_DATATYPE_DECIMAL:
    case SOMITEM_DATATYPE_DOUBLE:
    case SOMITEM_DATATYPE_FLOAT:
    case SOMITEM_DATATYPE_HEXBINARY:
    case SOMITEM_DATATYPE_INT:
    case SOMITEM_DATATYPE_INTEGER:
    case SOMITEM_DATATYPE_LONG:
    case SOMITEM_DATATYPE_NEGATIVEINTEGER:
    case SOMITEM_DATATYPE_NONNEGATIVEINTEGER:
    case SOMITEM_DATATYPE_NONPOSITIVEINTEGER:
    case SOMITEM_DATATYPE_POSITIVEINTEGER:
    case SOMITEM_DATATYPE_SHORT:
    case SOMITEM_DATATYPE_UNSIGNEDBYTE:
    case SOMITEM_DATATYPE_UNSIGNEDINT:
    case SOMITEM_DATATYPE_UNSIGNEDLONG:
    case SOMITEM_DATATYPE_UNSIGNEDSHORT:
        return true;
    default:
        return false;
    }
}

bool CXlatrix::NormalizeParamValue(SOMITEMTYPE type, std::string& value) {
    if (bTrimValues || IsNumeric(type)) {
        xlatrix::Trim(value);
    }
    return true;
}

bool CXlatrix::GetNumber(const char* text, double& value, int base, bool bQuiet, bool bWholeText) {
    std::string number = xlatrix::Narrow(text);
    NormalizeParamValue(SOMITEM_DATATYPE_DOUBLE, number);
    if (number.empty()) {
        if (!bQuiet) {
            DumpError(
                "CXlatrix::GetNumber(): Value '%s' can't be converted to a number, because it's empty.\n",
                number.c_str());
        }
        return false;
    }
    xlatrix::NumberReading reading = xlatrix::ReadNumber(number, base);
    if (reading.overflow && !bQuiet) {
        // Reported, and the clamped number is still used.
        DumpError(
            "CXlatrix::GetNumber(): Value '%s' can't be converted to a number, because of an overflow.\n",
            number.c_str());
    }
    if (bWholeText) {
        std::string rest = xlatrix::WithoutBlanks(std::string_view(number).substr(reading.used));
        if (!rest.empty()) {
            if (!bQuiet) {
                DumpError(
                    "CXlatrix::GetNumber(): Value '%s' can't be converted to a number, because of wrong "
                    "character(s): '%s'.\n",
                    number.c_str(), rest.c_str());
            }
            return false;
        }
    }
    value = reading.value;
    return true;
}

bool CXlatrix::IsParamValueEqual(SOMITEMTYPE type, const std::string& a, const std::string& b) {
    std::string left = a;
    std::string right = b;
    NormalizeParamValue(type, left);
    NormalizeParamValue(type, right);
    if (!IsNumeric(type)) {
        return left == right;
    }
    double leftNumber = 0;
    double rightNumber = 0;
    return GetNumber(left.c_str(), leftNumber, 0, true, true) &&
           GetNumber(right.c_str(), rightNumber, 0, true, true) && leftNumber == rightNumber;
}

bool CXlatrix::GetNestedLevel(const std::string& path, std::string& level) {
    level.clear();
    size_t i = 0;
    while (i < path.size()) {
        if (!std::isdigit(static_cast<unsigned char>(path[i]))) {
            ++i;
            continue;
        }
        size_t first = i;
        while (i < path.size() && std::isdigit(static_cast<unsigned char>(path[i]))) {
            ++i;
        }
        if (i < path.size() && path[i] == ']') {
            // "%.3d" of the number: at least three digits.
            size_t significant = std::min(path.find_first_not_of('0', first), i - 1);
            size_t digits = i - significant;
            if (!level.empty()) {
                level += '.';
            }
            level.append(digits < 3 ? 3 - digits : 0, '0');
            level.append(path, significant, digits);
        }
    }
    return true;
}
