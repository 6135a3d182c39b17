// VARIANT ownership: what VariantClear frees, what VariantCopy duplicates, what VariantCopyInd reads through.
#include "platform/com/tests/counting_objects.h"
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using vrtest::CountingUnknown;

VARIANT Text(const char16_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Object(IUnknown* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = object;
    object->AddRef();
    return v;
}

VARIANT Reference(VARTYPE vt, void* target) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt | VT_BYREF;
    v.byref = target;
    return v;
}

TEST(VariantClear, ReleasesInterfacesAndEmptiesTheVariant) {
    CountingUnknown object;
    VARIANT v = Object(&object);
    EXPECT_EQ(object.Refs(), 2u);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.Refs(), 1u);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = VT_DISPATCH; // a null object is fine
    v.pdispVal = nullptr;
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(VariantClear, LeavesReferencedValuesAlone) {
    CountingUnknown object;
    IUnknown* held = &object;
    BSTR text = SysAllocString(u"kept");
    VARIANT byText = Reference(VT_BSTR, &text);
    VARIANT byObject = Reference(VT_UNKNOWN, &held);
    EXPECT_EQ(VariantClear(&byText), S_OK);
    EXPECT_EQ(VariantClear(&byObject), S_OK);
    EXPECT_EQ(vr::BstrView(text), u"kept");
    EXPECT_EQ(object.Refs(), 1u);
    SysFreeString(text);
}

TEST(VariantClear, RefusesLockedArraysAndBadTypes) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4); // still owns the array
    ASSERT_EQ(SafeArrayUnlock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), S_OK);

    for (VARTYPE bad : {VARTYPE(VT_VARIANT), VARTYPE(VT_DECIMAL), VARTYPE(VT_EMPTY | VT_BYREF),
                        VARTYPE(VT_VECTOR | VT_I4), VARTYPE(VT_RECORD), VARTYPE(0x0FFF)}) {
        v.vt = bad;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
    }
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantCopy, DuplicatesTextKeepingItsExactLength) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocStringByteLen("a\0bcd", 5); // embedded zero, odd byte length
    VARIANT dest = Text(u"old value, freed by the copy");
    EXPECT_EQ(VariantCopy(&dest, &src), S_OK);
    ASSERT_EQ(dest.vt, VT_BSTR);
    EXPECT_NE(dest.bstrVal, src.bstrVal);
    EXPECT_EQ(SysStringByteLen(dest.bstrVal), 5u);
    EXPECT_EQ(std::memcmp(dest.bstrVal, src.bstrVal, 5), 0);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(VariantClear(&src), S_OK);
}

TEST(VariantCopy, AddRefsObjectsAndReleasesWhatDestHeld) {
    CountingUnknown first, second;
    VARIANT src = Object(&first);
    VARIANT dest = Object(&second);
    EXPECT_EQ(VariantCopy(&dest, &src), S_OK);
    EXPECT_EQ(dest.punkVal, &first);
    EXPECT_EQ(first.Refs(), 3u);
    EXPECT_EQ(second.Refs(), 1u);
    EXPECT_EQ(VariantCopy(&dest, &dest), S_OK); // onto itself: nothing changes
    EXPECT_EQ(first.Refs(), 3u);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(VariantClear(&src), S_OK);
    EXPECT_EQ(first.Refs(), 1u);
}

TEST(VariantCopy, CopiesArraysDeeplyAndReferencesShallowly) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_ARRAY | VT_BSTR;
    src.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    const LONG index = 0;
    BSTR text = SysAllocString(u"element");
    ASSERT_EQ(SafeArrayPutElement(src.parray, &index, text), S_OK);
    SysFreeString(text);

    VARIANT dest;
    VariantInit(&dest);
    ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
    ASSERT_NE(dest.parray, src.parray);
    BSTR* copied;
    ASSERT_EQ(SafeArrayPtrOfIndex(dest.parray, &index, reinterpret_cast<void**>(&copied)), S_OK);
    BSTR* original;
    ASSERT_EQ(SafeArrayPtrOfIndex(src.parray, &index, reinterpret_cast<void**>(&original)), S_OK);
    EXPECT_NE(*copied, *original);
    EXPECT_EQ(vr::BstrView(*copied), u"element");

    LONG number = 7;
    VARIANT reference = Reference(VT_I4, &number);
    ASSERT_EQ(VariantCopy(&dest, &reference), S_OK); // frees the copied array
    EXPECT_EQ(dest.plVal, &number);
    EXPECT_EQ(VariantClear(&src), S_OK);
}

TEST(VariantCopy, FailsWithoutTouchingDestWhoseArrayIsLocked) {
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_ARRAY | VT_I4;
    dest.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    ASSERT_EQ(SafeArrayLock(dest.parray), S_OK);
    VARIANT src = Text(u"not leaked when the copy is dropped");
    EXPECT_EQ(VariantCopy(&dest, &src), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(dest.vt, VT_ARRAY | VT_I4);
    ASSERT_EQ(SafeArrayUnlock(dest.parray), S_OK);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(VariantClear(&src), S_OK);
}

TEST(VariantCopyInd, ReadsThroughReferences) {
    LONG number = 42;
    VARIANT dest;
    VariantInit(&dest);
    VARIANT byNumber = Reference(VT_I4, &number);
    ASSERT_EQ(VariantCopyInd(&dest, &byNumber), S_OK);
    EXPECT_EQ(dest.vt, VT_I4);
    EXPECT_EQ(dest.lVal, 42);

    BSTR text = SysAllocString(u"shared");
    VARIANT byText = Reference(VT_BSTR, &text);
    ASSERT_EQ(VariantCopyInd(&dest, &byText), S_OK);
    EXPECT_EQ(dest.vt, VT_BSTR);
    EXPECT_NE(dest.bstrVal, text);
    EXPECT_EQ(vr::BstrView(dest.bstrVal), u"shared");

    CountingUnknown object;
    IUnknown* held = &object;
    VARIANT byObject = Reference(VT_UNKNOWN, &held);
    ASSERT_EQ(VariantCopyInd(&dest, &byObject), S_OK);
    EXPECT_EQ(object.Refs(), 2u);

    // A VARIANT reference to a reference is read through both.
    VARIANT inner = Reference(VT_I4, &number);
    VARIANT outer = Reference(VT_VARIANT, &inner);
    ASSERT_EQ(VariantCopyInd(&dest, &outer), S_OK);
    EXPECT_EQ(object.Refs(), 1u);
    EXPECT_EQ(dest.vt, VT_I4);
    EXPECT_EQ(dest.lVal, 42);
    SysFreeString(text);
}

TEST(VariantCopyInd, DereferencesInPlaceAndRefusesBadReferences) {
    LONG number = 5;
    VARIANT v = Reference(VT_I4, &number);
    ASSERT_EQ(VariantCopyInd(&v, &v), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 5);

    VARIANT dest = Text(u"unchanged");
    VARIANT nowhere = Reference(VT_I4, nullptr);
    EXPECT_EQ(VariantCopyInd(&dest, &nowhere), E_INVALIDARG);
    VARIANT inner = Reference(VT_VARIANT, &v);
    VARIANT chain = Reference(VT_VARIANT, &inner);
    EXPECT_EQ(VariantCopyInd(&dest, &chain), E_INVALIDARG);
    DECIMAL decimal{};
    VARIANT byDecimal = Reference(VT_DECIMAL, &decimal);
    EXPECT_EQ(VariantCopyInd(&dest, &byDecimal), DISP_E_BADVARTYPE);
    EXPECT_EQ(vr::BstrView(dest.bstrVal), u"unchanged");
    EXPECT_EQ(VariantClear(&dest), S_OK);
}

TEST(VariantCopyInd, CopiesReferencedArrays) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 1, 2);
    VARIANT byArray = Reference(VT_ARRAY | VT_VARIANT, &array);
    VARIANT dest;
    VariantInit(&dest);
    ASSERT_EQ(VariantCopyInd(&dest, &byArray), S_OK);
    EXPECT_EQ(dest.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_NE(dest.parray, array);
    LONG lower = 0;
    EXPECT_EQ(SafeArrayGetLBound(dest.parray, 1, &lower), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

} // namespace
