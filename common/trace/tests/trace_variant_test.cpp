// Display texts of VARIANT values and the in-place coercion to schema datatypes.
#include "common/trace/Trace.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

namespace {

using vrtest::Adopt;
using vrtest::U8;

// Owns a VARIANT for one test.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    Var(const Var&) = delete;
    ~Var() { (void)VariantClear(this); }
};

std::string TextOf(const VARIANT& v) {
    return U8(VariantToText(&v));
}

template <class Set>
std::string TextOf(VARTYPE vt, Set set) {
    Var v;
    v.vt = vt;
    set(v);
    return TextOf(v);
}

// A one-dimensional VARIANT array holding strings from lower bound `lower`.
SAFEARRAY* StringArray(std::initializer_list<const OLECHAR*> items, LONG lower = 0) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, lower, static_cast<ULONG>(items.size()));
    LONG index = lower;
    for (const OLECHAR* item : items) {
        Var element;
        element.vt = VT_BSTR;
        element.bstrVal = SysAllocString(item);
        EXPECT_EQ(SafeArrayPutElement(array, &index, &element), S_OK);
        ++index;
    }
    return array;
}

TEST(VariantText, Scalars) {
    EXPECT_EQ(TextOf(VT_EMPTY, [](Var&) {}), "");
    EXPECT_EQ(TextOf(VT_NULL, [](Var&) {}), "");
    EXPECT_EQ(TextOf(VT_I2, [](Var& v) { v.iVal = -7; }), "-7");
    EXPECT_EQ(TextOf(VT_I1, [](Var& v) { v.cVal = static_cast<CHAR>(-3); }), "-3");
    EXPECT_EQ(TextOf(VT_I4, [](Var& v) { v.lVal = INT32_MIN; }), "-2147483648");
    EXPECT_EQ(TextOf(VT_INT, [](Var& v) { v.intVal = 42; }), "42");
    EXPECT_EQ(TextOf(VT_UI1, [](Var& v) { v.bVal = 255; }), "255");
    EXPECT_EQ(TextOf(VT_UI2, [](Var& v) { v.uiVal = 65535; }), "65535");
    EXPECT_EQ(TextOf(VT_UI4, [](Var& v) { v.ulVal = 4294967295u; }), "4294967295");
    EXPECT_EQ(TextOf(VT_UINT, [](Var& v) { v.uintVal = 7; }), "7");
    EXPECT_EQ(TextOf(VT_R4, [](Var& v) { v.fltVal = 0.5f; }), "0.500000");
    EXPECT_EQ(TextOf(VT_R8, [](Var& v) { v.dblVal = 0.1; }), "0.1");
    EXPECT_EQ(TextOf(VT_R8, [](Var& v) { v.dblVal = 1e20; }), "1E+20");
    EXPECT_EQ(TextOf(VT_BOOL, [](Var& v) { v.boolVal = VARIANT_TRUE; }), "True");
    EXPECT_EQ(TextOf(VT_BOOL, [](Var& v) { v.boolVal = 1; }), "False") << "only -1 is true";
    EXPECT_EQ(TextOf(VT_BSTR, [](Var& v) { v.bstrVal = SysAllocString(u"50% done"); }), "50% done");
    EXPECT_EQ(TextOf(VT_BSTR, [](Var& v) { v.bstrVal = nullptr; }), "");
}

TEST(VariantText, ErrorsAndTheMissingMarker) {
    EXPECT_EQ(TextOf(VT_ERROR, [](Var& v) { v.scode = DISP_E_PARAMNOTFOUND; }), "(null)");
    EXPECT_EQ(TextOf(VT_ERROR, [](Var& v) { v.scode = E_FAIL; }), "0x80004005");
}

TEST(VariantText, ValuesWithoutText) {
    EXPECT_EQ(TextOf(VT_CY, [](Var& v) { v.cyVal.int64 = 10000; }), "<value>");
    EXPECT_EQ(TextOf(VT_DATE, [](Var& v) { v.date = 1.0; }), "<value>");
    EXPECT_EQ(TextOf(VT_I8, [](Var& v) { v.llVal = 1; }), "<value>");
    LONG referenced = 5;
    EXPECT_EQ(TextOf(VT_I4 | VT_BYREF, [&](Var& v) { v.plVal = &referenced; }), "<value>");
    EXPECT_EQ(TextOf(VT_DISPATCH, [](Var& v) { v.pdispVal = nullptr; }), "<value>");
}

TEST(VariantText, ReferencesToVariantsShowTheInnerValue) {
    Var inner;
    inner.vt = VT_I4;
    inner.lVal = 5;
    Var outer;
    outer.vt = VT_VARIANT | VT_BYREF;
    outer.pvarVal = &inner;
    EXPECT_EQ(TextOf(outer), "5");
    EXPECT_EQ(Adopt(VariantToTypedText(&outer)).utf8(), "(VT_VARIANT | VT_BYREF)5");
    EXPECT_EQ(Adopt(VariantToTypedText(&inner)).utf8(), "(VT_I4)5");
    VARIANT shallow = UnwrapVariantRef(outer);
    EXPECT_EQ(shallow.vt, VT_I4);
    EXPECT_EQ(UnwrapVariantRef(inner).lVal, 5);
    outer.vt = VT_EMPTY; // the reference owns nothing
}

TEST(VariantText, OneDimensionalVariantArrays) {
    Var v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, 1, 3);
    LONG index = 1;
    Var element;
    element.vt = VT_I4;
    element.lVal = 1;
    ASSERT_EQ(SafeArrayPutElement(v.parray, &index, &element), S_OK);
    index = 2;
    element.vt = VT_R8;
    element.dblVal = 2.5;
    ASSERT_EQ(SafeArrayPutElement(v.parray, &index, &element), S_OK);
    index = 3;
    Var text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"abc");
    ASSERT_EQ(SafeArrayPutElement(v.parray, &index, &text), S_OK);
    EXPECT_EQ(TextOf(v), "{1, 2.5, abc}");
}

TEST(VariantText, ElementsWithoutTextAndEmptyArrays) {
    Var v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    LONG index = 1;
    Var element;
    element.vt = VT_ERROR;
    element.scode = E_FAIL;
    ASSERT_EQ(SafeArrayPutElement(v.parray, &index, &element), S_OK);
    EXPECT_EQ(TextOf(v), "{, <value>}") << "an empty element reads as empty text";

    Var empty;
    empty.vt = VT_ARRAY | VT_VARIANT;
    empty.parray = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    EXPECT_EQ(TextOf(empty), "{}");
    Var null;
    null.vt = VT_ARRAY | VT_VARIANT;
    null.parray = nullptr;
    EXPECT_EQ(TextOf(null), "<value>");
}

TEST(VariantText, LongArraysStopPast498Characters) {
    std::u16string item(100, u'x');
    Var v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = StringArray({item.c_str(), item.c_str(), item.c_str(), item.c_str(), item.c_str(),
                            item.c_str(), item.c_str(), item.c_str()});
    std::string text = TextOf(v);
    // "{" and five items with their separators make 509 characters; the sixth is not taken.
    std::string five = "{" + std::string(100, 'x');
    for (int i = 1; i < 5; ++i) {
        five += ", " + std::string(100, 'x');
    }
    EXPECT_EQ(text, five + ", ...}");
}

TEST(VariantText, OtherArraysHaveNoText) {
    Var strings;
    strings.vt = VT_ARRAY | VT_BSTR;
    strings.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    EXPECT_EQ(TextOf(strings), "<value>");

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    Var square;
    square.vt = VT_ARRAY | VT_VARIANT;
    square.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    EXPECT_EQ(TextOf(square), "<value>");
}

TEST(VariantText, BstrFormsAreCutAtTheirBuffers) {
    std::u16string fits(999, u'y');
    Var v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(fits.c_str());
    EXPECT_EQ(Adopt(VariantToTextBstr(&v)).str(), fits);
    EXPECT_EQ(VariantToText(&v).size(), 999u);

    std::u16string longer(5000, u'y');
    Var big;
    big.vt = VT_BSTR;
    big.bstrVal = SysAllocString(longer.c_str());
    EXPECT_EQ(VariantToText(&big).size(), 5000u) << "the plain text is not limited";
    std::u16string cut = Adopt(VariantToTextBstr(&big)).str();
    EXPECT_EQ(cut, std::u16string(996, u'y') + u"...");
    std::u16string typed = Adopt(VariantToTypedText(&big)).str();
    EXPECT_EQ(typed, u"(VT_BSTR)" + std::u16string(996, u'y') + u"...");
}

TEST(VariantText, CoercionToSchemaDatatypes) {
    Var number;
    number.vt = VT_BSTR;
    number.bstrVal = SysAllocString(u"42");
    EXPECT_EQ(CoerceVariant(SOMITEM_DATATYPE_INT, &number), S_OK);
    EXPECT_EQ(number.vt, VT_I4);
    EXPECT_EQ(number.lVal, 42);

    Var flag;
    flag.vt = VT_I4;
    flag.lVal = 1;
    EXPECT_EQ(CoerceVariant(SOMITEM_DATATYPE_BOOLEAN, &flag), S_OK);
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);

    Var text;
    text.vt = VT_R8;
    text.dblVal = 2.5;
    EXPECT_EQ(CoerceVariant(SOMITEM_DATATYPE_DECIMAL, &text), S_OK);
    EXPECT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(U8(vr::U16View(text.bstrVal)), "2.5");
}

TEST(VariantText, FailedCoercionTracesAndLeavesTheValue) {
    SetTraceMethodName(u"CTest::Coerce()");
    Var v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"abc");
    EXPECT_EQ(CoerceVariant(SOMITEM_DATATYPE_INT, &v), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(U8(vr::U16View(v.bstrVal)), "abc");
    EXPECT_EQ(U8(LastErrorText()), "Can't coerce VARIANT: '(VT_BSTR)abc' to 'SD_INT' type.");
    EXPECT_EQ(U8(TraceSiteTag()).rfind("CTest::Coerce(): TraceSchema.cpp (", 0), 0u);
}

} // namespace
