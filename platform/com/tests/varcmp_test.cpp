// VarCmp: numbers across types, strings with and without case, empty, null, number against string.
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Owns a VARIANT for the length of a test.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    ~Value() { static_cast<void>(VariantClear(&v)); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
};

template <class Setter>
Value* Make(VARTYPE vt, Setter set) {
    auto* value = new Value;
    value->v.vt = vt;
    set(value->v);
    return value;
}

HRESULT Cmp(const Value& left, const Value& right, ULONG flags = 0) {
    return VarCmp(&left.v, &right.v, LOCALE_USER_DEFAULT, flags);
}

class VarCmpTest : public ::testing::Test {
protected:
    Value& I4(LONG n) {
        return Keep(Make(VT_I4, [n](VARIANT& v) { v.lVal = n; }));
    }
    Value& I8(LONGLONG n) {
        return Keep(Make(VT_I8, [n](VARIANT& v) { v.llVal = n; }));
    }
    Value& UI8(ULONGLONG n) {
        return Keep(Make(VT_UI8, [n](VARIANT& v) { v.ullVal = n; }));
    }
    Value& UI1(BYTE n) {
        return Keep(Make(VT_UI1, [n](VARIANT& v) { v.bVal = n; }));
    }
    Value& I1(int n) {
        return Keep(Make(VT_I1, [n](VARIANT& v) { v.cVal = static_cast<CHAR>(n); }));
    }
    Value& I2(SHORT n) {
        return Keep(Make(VT_I2, [n](VARIANT& v) { v.iVal = n; }));
    }
    Value& R4(float n) {
        return Keep(Make(VT_R4, [n](VARIANT& v) { v.fltVal = n; }));
    }
    Value& R8(double n) {
        return Keep(Make(VT_R8, [n](VARIANT& v) { v.dblVal = n; }));
    }
    Value& Date(double n) {
        return Keep(Make(VT_DATE, [n](VARIANT& v) { v.date = n; }));
    }
    Value& Cy(LONGLONG scaled) {
        return Keep(Make(VT_CY, [scaled](VARIANT& v) { v.cyVal.int64 = scaled; }));
    }
    Value& Bool(bool b) {
        return Keep(Make(VT_BOOL, [b](VARIANT& v) { v.boolVal = b ? VARIANT_TRUE : 0; }));
    }
    Value& Str(std::u16string_view s) {
        return Keep(Make(VT_BSTR, [s](VARIANT& v) { v.bstrVal = vr::AllocBstr(s); }));
    }
    Value& Empty() { return Keep(new Value); }
    Value& Null() {
        return Keep(Make(VT_NULL, [](VARIANT&) {}));
    }

private:
    Value& Keep(Value* value) {
        values_.emplace_back(value);
        return *value;
    }
    std::vector<std::unique_ptr<Value>> values_;
};

TEST_F(VarCmpTest, ComparesNumbersAcrossTypes) {
    EXPECT_EQ(Cmp(I2(5), R8(5.0)), VARCMP_EQ);
    EXPECT_EQ(Cmp(UI1(200), I1(-1)), VARCMP_GT);
    EXPECT_EQ(Cmp(I8(INT64_MAX), I8(INT64_MAX - 1)), VARCMP_GT);
    EXPECT_EQ(Cmp(UI8(UINT64_MAX), I8(-1)), VARCMP_GT);
    EXPECT_EQ(Cmp(I8((1ll << 53) + 1), R8(9007199254740992.0)), VARCMP_GT); // exact, not through a double
    EXPECT_EQ(Cmp(Cy(15000), R8(1.5)), VARCMP_EQ);
    EXPECT_EQ(Cmp(Cy(15000), I4(1)), VARCMP_GT);
    EXPECT_EQ(Cmp(Cy(INT64_MAX), I8(922337203685477)), VARCMP_GT);
    EXPECT_EQ(Cmp(Bool(true), I4(-1)), VARCMP_EQ);
    EXPECT_EQ(Cmp(Date(45000.5), R8(45000.5)), VARCMP_EQ);
    EXPECT_EQ(Cmp(R4(0.1f), R8(0.1)), VARCMP_GT); // the float is a little more than 0.1
    EXPECT_EQ(Cmp(R8(-2), I4(3)), VARCMP_LT);
}

TEST_F(VarCmpTest, ComparesStringsWithAndWithoutCase) {
    EXPECT_EQ(Cmp(Str(u"abc"), Str(u"abd")), VARCMP_LT);
    EXPECT_EQ(Cmp(Str(u"ABC"), Str(u"abc")), VARCMP_LT);
    EXPECT_EQ(Cmp(Str(u"ABC"), Str(u"abc"), NORM_IGNORECASE), VARCMP_EQ);
    EXPECT_EQ(Cmp(Str(u"\u00C4rger"), Str(u"\u00E4rger"), NORM_IGNORECASE), VARCMP_EQ);
    EXPECT_EQ(Cmp(Str(u"b"), Str(u"ab")), VARCMP_GT);
    EXPECT_EQ(Cmp(Str(u"a"), Str(u"ab")), VARCMP_LT);
    EXPECT_EQ(Cmp(Str(std::u16string_view(u"a\0b", 3)), Str(u"a")), VARCMP_GT); // the whole length counts
    EXPECT_EQ(Cmp(Str(u"10"), Str(u"9")), VARCMP_LT);                           // as text, not as numbers
}

TEST_F(VarCmpTest, EmptyIsZeroOrEmptyTextAndNullIsUnordered) {
    EXPECT_EQ(Cmp(Empty(), Empty()), VARCMP_EQ);
    EXPECT_EQ(Cmp(Empty(), I4(0)), VARCMP_EQ);
    EXPECT_EQ(Cmp(Empty(), R8(-0.5)), VARCMP_GT);
    EXPECT_EQ(Cmp(Empty(), Str(u"")), VARCMP_EQ);
    EXPECT_EQ(Cmp(Str(u"a"), Empty()), VARCMP_GT);
    EXPECT_EQ(Cmp(Null(), I4(1)), VARCMP_NULL);
    EXPECT_EQ(Cmp(Str(u"x"), Null()), VARCMP_NULL);
    EXPECT_EQ(Cmp(Null(), Null()), VARCMP_NULL);
    EXPECT_EQ(Cmp(Null(), Empty()), VARCMP_NULL);
}

TEST_F(VarCmpTest, NumberSortsBeforeAnyString) {
    EXPECT_EQ(Cmp(I4(5), Str(u"4")), VARCMP_LT);
    EXPECT_EQ(Cmp(Str(u"4"), I4(5)), VARCMP_GT);
    EXPECT_EQ(Cmp(R8(5), Str(u"5")), VARCMP_LT);
    EXPECT_EQ(Cmp(Bool(false), Str(u"")), VARCMP_LT);
}

TEST_F(VarCmpTest, ReadsThroughReferencesAndRefusesOtherTypes) {
    LONG number = 3;
    Value& byNumber = Empty();
    byNumber.v.vt = VT_I4 | VT_BYREF;
    byNumber.v.plVal = &number;
    EXPECT_EQ(Cmp(byNumber, I2(3)), VARCMP_EQ);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"Q");
    Value& byVariant = Empty();
    byVariant.v.vt = VT_VARIANT | VT_BYREF;
    byVariant.v.pvarVal = &text;
    EXPECT_EQ(Cmp(byVariant, Str(u"q"), NORM_IGNORECASE), VARCMP_EQ);
    EXPECT_EQ(VariantClear(&text), S_OK);

    Value& error = Empty();
    error.v.vt = VT_ERROR;
    error.v.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(Cmp(error, I4(0)), DISP_E_TYPEMISMATCH);
    Value& object = Empty();
    object.v.vt = VT_DISPATCH;
    EXPECT_EQ(Cmp(I4(0), object), DISP_E_TYPEMISMATCH);
    Value& array = Empty();
    array.v.vt = VT_ARRAY | VT_I4;
    array.v.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    EXPECT_EQ(Cmp(array, array), DISP_E_TYPEMISMATCH);
    Value& bad = Empty();
    bad.v.vt = VT_VARIANT;
    EXPECT_EQ(Cmp(bad, I4(0)), DISP_E_BADVARTYPE);
    bad.v.vt = VT_EMPTY;
    EXPECT_EQ(VarCmp(nullptr, &bad.v, LOCALE_USER_DEFAULT, 0), E_INVALIDARG);
}

} // namespace
