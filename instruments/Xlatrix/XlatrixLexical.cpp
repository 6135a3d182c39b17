// Lexical forms of the numeric datatypes: a quick test that rejects text no number of the type can have.
#include "instruments/Xlatrix/XlatrixNumbers.h"

#include <cctype>

namespace xlatrix {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Skips digits from i; true when there was at least one.
bool Digits(std::string_view text, size_t& i) {
    size_t first = i;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i > first;
}

void Sign(std::string_view text, size_t& i) {
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
}

// [+-]?(digits(.digits?)?|.digits)
bool Mantissa(std::string_view text, size_t& i) {
    Sign(text, i);
    bool whole = Digits(text, i);
    if (i < text.size() && text[i] == '.') {
        ++i;
        return Digits(text, i) || whole;
    }
    return whole;
}

bool IsInteger(std::string_view text) {
    size_t i = 0;
    Sign(text, i);
    return Digits(text, i) && i == text.size();
}

bool IsDecimal(std::string_view text) {
    size_t i = 0;
    return Mantissa(text, i) && i == text.size();
}

bool IsFloating(std::string_view text) {
    if (text == "INF" || text == "-INF" || text == "+INF" || text == "NaN") {
        return true;
    }
    size_t i = 0;
    if (!Mantissa(text, i)) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        Sign(text, i);
        if (!Digits(text, i)) {
            return false; // an exponent mark needs its digits
        }
    }
    return i == text.size();
}

bool IsHexBinary(std::string_view text) {
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return text.size() % 2 == 0;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text without its leading and trailing blanks. A plain loop: this runs for every candidate, and the
// character-set search of find_first_not_of costs a library call per character.
std::string_view Collapsed(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

} // namespace

bool MayBeLexicallyValid(SOMITEMTYPE root, std::string_view text) {
    std::string_view value = Collapsed(text);
    switch (root) {
    case SOMITEM_DATATYPE_DOUBLE:
    case SOMITEM_DATATYPE_FLOAT:
        return IsFloating(value);
    case SOMITEM_DATATYPE_DECIMAL:
        return IsDecimal(value);
    case SOMITEM_DATATYPE_HEXBINARY:
        return IsHexBinary(value);
    case SOMITEM_DATATYPE_BYTE:
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
        return IsInteger(value);
    default:
        return true;
    }
}

} // namespace xlatrix
