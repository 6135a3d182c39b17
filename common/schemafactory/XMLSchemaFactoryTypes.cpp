// The XML schema factory's type helpers for sample values: the type a sample suggests, and which XSD type
// names are numeric.
#include "common/comtext/BstrText.h"
#include "common/options/ParamParser.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "platform/base/text.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::u16string_view, 16> kNumericTypes = {
    u"decimal",
    u"float",
    u"double",
    u"integer",
    u"nonPositiveInteger",
    u"negativeInteger",
    u"long",
    u"int",
    u"short",
    u"byte",
    u"nonNegativeInteger",
    u"unsignedLong",
    u"unsignedInt",
    u"unsignedShort",
    u"unsignedByte",
    u"positiveInteger",
};

} // namespace

bool CXMLSchemaFactory::GuessXsdTypeOfValue(const OLECHAR* value, BSTR& type, bool* numeric) {
    if (numeric != nullptr) {
        *numeric = false;
    }
    std::u16string_view guess = u"string";
    if (TextToLong(nullptr, value, 10, true, true)) {
        guess = u"long";
    } else if (TextToDouble(nullptr, value, true, true)) {
        guess = u"double";
    }
    if (numeric != nullptr) {
        *numeric = guess != u"string";
    }
    vrcommon::ReplaceBstr(&type, guess);
    return true;
}

bool CXMLSchemaFactory::IsNumericXsdType(const OLECHAR* typeName) {
    std::u16string_view name = vr::U16View(typeName);
    for (std::u16string_view numericType : kNumericTypes) {
        if (numericType == name) {
            return true;
        }
    }
    return false;
}
