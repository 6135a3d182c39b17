// SAFEARRAY: bounds and index order, element copies in and out, locks, copies, redim and destruction.
#include "platform/com/tests/counting_objects.h"
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

using vrtest::CountingUnknown;

TEST(SafeArray, RefusesBadTypesAndBounds) {
    const SAFEARRAYBOUND one{1, 0};
    for (VARTYPE bad : {VARTYPE(VT_EMPTY), VARTYPE(VT_NULL), VARTYPE(VT_DECIMAL), VARTYPE(VT_I4 | VT_BYREF),
                        VARTYPE(VT_ARRAY | VT_I4), VARTYPE(VT_RECORD)}) {
        EXPECT_EQ(SafeArrayCreate(bad, 1, &one), nullptr) << bad;
    }
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &one), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    const SAFEARRAYBOUND pastLongMax{2, INT32_MAX}; // its last index would not fit a LONG
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, &pastLongMax), nullptr);
    const SAFEARRAYBOUND huge[] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 3, huge), nullptr); // element count overflows
}

TEST(SafeArray, NumbersDimensionsFromTheLeftAndStoresBoundsReversed) {
    const SAFEARRAYBOUND bounds[] = {{2, 1}, {3, 10}, {4, -5}};
    SAFEARRAY* array = SafeArrayCreate(VT_I4, 3, bounds);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 3u);
    EXPECT_EQ(SafeArrayGetElemsize(array), 4u);
    EXPECT_EQ(array->rgsabound[0].lLbound, -5); // the last dimension comes first
    EXPECT_EQ(array->rgsabound[2].lLbound, 1);
    const LONG expected[][2] = {{1, 2}, {10, 12}, {-5, -2}};
    for (UINT dim = 1; dim <= 3; ++dim) {
        LONG lower = 0, upper = 0;
        ASSERT_EQ(SafeArrayGetLBound(array, dim, &lower), S_OK);
        ASSERT_EQ(SafeArrayGetUBound(array, dim, &upper), S_OK);
        EXPECT_EQ(lower, expected[dim - 1][0]) << dim;
        EXPECT_EQ(upper, expected[dim - 1][1]) << dim;
    }
    LONG ignored;
    EXPECT_EQ(SafeArrayGetLBound(array, 0, &ignored), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(array, 4, &ignored), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, FirstIndexVariesFastestInMemory) {
    const SAFEARRAYBOUND bounds[] = {{2, 1}, {3, 10}};
    SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG i = 1; i <= 2; ++i) {
        for (LONG j = 10; j <= 12; ++j) {
            const LONG indices[] = {i, j};
            const LONG value = i * 100 + j;
            ASSERT_EQ(SafeArrayPutElement(array, indices, &value), S_OK);
        }
    }
    LONG* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(std::vector<LONG>(data, data + 6), (std::vector<LONG>{110, 210, 111, 211, 112, 212}));
    ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);

    const LONG last[] = {2, 12};
    void* element = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(array, last, &element), S_OK);
    EXPECT_EQ(element, data + 5);
    LONG value = 0;
    ASSERT_EQ(SafeArrayGetElement(array, last, &value), S_OK);
    EXPECT_EQ(value, 212);

    const LONG outside[][2] = {{0, 10}, {3, 10}, {1, 9}, {1, 13}, {INT32_MIN, 10}, {1, INT32_MAX}};
    for (const auto& indices : outside) {
        EXPECT_EQ(SafeArrayGetElement(array, indices, &value), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(array, indices, &value), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPtrOfIndex(array, indices, &element), DISP_E_BADINDEX);
    }
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, EmptyDimensionHasNoElements) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 5, 0);
    ASSERT_NE(array, nullptr);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
    EXPECT_EQ(upper, 4);
    const LONG index = 5;
    BSTR text = nullptr;
    EXPECT_EQ(SafeArrayGetElement(array, &index, &text), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, KeepsEveryElementType) {
    const VARTYPE types[] = {VT_I1,  VT_I2,   VT_I4, VT_I8, VT_UI1, VT_UI2,  VT_UI4,  VT_UI8,
                             VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY,  VT_DATE, VT_BOOL, VT_ERROR};
    const uint64_t pattern = 0x8877665544332211ull;
    for (VARTYPE vt : types) {
        SAFEARRAY* array = SafeArrayCreateVector(vt, -1, 3);
        ASSERT_NE(array, nullptr) << vt;
        VARTYPE stored = VT_EMPTY;
        ASSERT_EQ(SafeArrayGetVartype(array, &stored), S_OK);
        EXPECT_EQ(stored, vt);
        const LONG index = 1;
        ASSERT_EQ(SafeArrayPutElement(array, &index, &pattern), S_OK);
        uint64_t read = 0;
        ASSERT_EQ(SafeArrayGetElement(array, &index, &read), S_OK);
        const size_t size = SafeArrayGetElemsize(array);
        EXPECT_EQ(std::memcmp(&read, &pattern, size), 0) << vt;
        const LONG before = 0;
        ASSERT_EQ(SafeArrayGetElement(array, &before, &read), S_OK);
        EXPECT_EQ(std::memcmp(&read, "\0\0\0\0\0\0\0\0", size), 0) << "neighbour overwritten, type " << vt;
        EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    }
}

TEST(SafeArray, CopiesTextInAndOut) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
    const LONG index = 1;
    BSTR text = SysAllocString(u"first");
    ASSERT_EQ(SafeArrayPutElement(array, &index, text), S_OK);
    SysFreeString(text); // the array holds its own copy
    text = SysAllocString(u"second");
    ASSERT_EQ(SafeArrayPutElement(array, &index, text), S_OK); // replaces and frees the copy of "first"
    SysFreeString(text);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array, &index, &out), S_OK);
    BSTR* inside = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(array, &index, reinterpret_cast<void**>(&inside)), S_OK);
    EXPECT_NE(out, *inside);
    EXPECT_EQ(vr::BstrView(out), vr::BstrView(*inside));
    SysFreeString(out);
    ASSERT_EQ(SafeArrayPutElement(array, &index, nullptr), S_OK);
    EXPECT_EQ(*inside, nullptr);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, CountsReferencesOfObjectsInAndOut) {
    CountingUnknown first, second;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    const LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<IUnknown*>(&first)), S_OK);
    EXPECT_EQ(first.Refs(), 2u);
    IUnknown* out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array, &index, &out), S_OK);
    EXPECT_EQ(out, &first);
    EXPECT_EQ(first.Refs(), 3u);
    out->Release();
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<IUnknown*>(&second)), S_OK);
    EXPECT_EQ(first.Refs(), 1u);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(second.Refs(), 1u);
}

TEST(SafeArray, CopiesVariantsDeeply) {
    CountingUnknown object;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(u"text");
    const LONG first = 0, second = 1;
    ASSERT_EQ(SafeArrayPutElement(array, &first, &value), S_OK);
    EXPECT_EQ(VariantClear(&value), S_OK);
    value.vt = VT_UNKNOWN;
    value.punkVal = &object; // not owned by value: the array AddRefs its copy
    ASSERT_EQ(SafeArrayPutElement(array, &second, &value), S_OK);
    EXPECT_EQ(object.Refs(), 2u);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    EXPECT_EQ(object.Refs(), 3u);
    VARIANT out;
    ASSERT_EQ(SafeArrayGetElement(copy, &first, &out), S_OK);
    VARIANT* original = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(array, &first, reinterpret_cast<void**>(&original)), S_OK);
    EXPECT_NE(out.bstrVal, original->bstrVal);
    EXPECT_EQ(vr::BstrView(out.bstrVal), u"text");
    EXPECT_EQ(VariantClear(&out), S_OK);

    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(object.Refs(), 2u);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(object.Refs(), 1u);
}

TEST(SafeArray, CopyIsIndependentAndUnlocked) {
    const SAFEARRAYBOUND bounds[] = {{2, 0}, {2, 3}};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 2, bounds);
    const LONG at[] = {1, 4};
    BSTR text = SysAllocString(u"kept");
    ASSERT_EQ(SafeArrayPutElement(array, at, text), S_OK);
    SysFreeString(text);
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    EXPECT_EQ(copy->cLocks, 0u);
    LONG lower = 0;
    ASSERT_EQ(SafeArrayGetLBound(copy, 2, &lower), S_OK);
    EXPECT_EQ(lower, 3);
    ASSERT_EQ(SafeArrayPutElement(copy, at, nullptr), S_OK); // leaves the original's element alone
    BSTR* original = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(array, at, reinterpret_cast<void**>(&original)), S_OK);
    EXPECT_NE(*original, nullptr);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    ASSERT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);

    SAFEARRAY* none = array;
    EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
    EXPECT_EQ(none, nullptr);
}

TEST(SafeArray, LockedArrayCannotBeDestroyedOrRedimensioned) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 4);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK); // a second lock
    EXPECT_EQ(array->cLocks, 2u);
    EXPECT_EQ(data, array->pvData);
    const SAFEARRAYBOUND smaller{2, 0};
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayRedim(array, &smaller), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, LockCountSurvivesConcurrentLocking) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([array] {
            for (int i = 0; i < 20000; ++i) {
                static_cast<void>(SafeArrayLock(array));
                static_cast<void>(SafeArrayUnlock(array));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(array->cLocks, 0u);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, RedimChangesTheLastDimension) {
    const SAFEARRAYBOUND bounds[] = {{2, 0}, {3, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 2, bounds);
    for (LONG j = 0; j < 3; ++j) {
        for (LONG i = 0; i < 2; ++i) {
            const LONG at[] = {i, j};
            const std::u16string text = {char16_t(u'a' + i), char16_t(u'0' + j)};
            BSTR value = vr::AllocBstr(text);
            ASSERT_EQ(SafeArrayPutElement(array, at, value), S_OK);
            SysFreeString(value);
        }
    }
    const SAFEARRAYBOUND shorter{2, 5}; // the third column is freed (ASan reports it otherwise)
    ASSERT_EQ(SafeArrayRedim(array, &shorter), S_OK);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(array, 2, &upper), S_OK);
    EXPECT_EQ(upper, 6);
    const LONG kept[] = {1, 6};
    BSTR text = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array, kept, &text), S_OK);
    EXPECT_EQ(vr::BstrView(text), u"b1");
    SysFreeString(text);

    const SAFEARRAYBOUND longer{4, 5};
    ASSERT_EQ(SafeArrayRedim(array, &longer), S_OK);
    const LONG added[] = {1, 8};
    ASSERT_EQ(SafeArrayGetElement(array, added, &text), S_OK);
    EXPECT_EQ(text, nullptr);
    const SAFEARRAYBOUND none{0, 0};
    ASSERT_EQ(SafeArrayRedim(array, &none), S_OK);
    EXPECT_EQ(array->pvData, nullptr);
    ASSERT_EQ(SafeArrayRedim(array, &longer), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, DestroyFreesNestedContents) {
    CountingUnknown object;
    SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    VARIANT* items = nullptr;
    ASSERT_EQ(SafeArrayAccessData(outer, reinterpret_cast<void**>(&items)), S_OK);
    items[0].vt = VT_BSTR;
    items[0].bstrVal = SysAllocString(u"owned by the array");
    items[1].vt = VT_UNKNOWN | VT_ARRAY;
    items[1].parray = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    const LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(items[1].parray, &index, static_cast<IUnknown*>(&object)), S_OK);
    items[2].vt = VT_UNKNOWN;
    items[2].punkVal = &object;
    object.AddRef();
    ASSERT_EQ(SafeArrayUnaccessData(outer), S_OK);
    EXPECT_EQ(object.Refs(), 3u);
    EXPECT_EQ(SafeArrayDestroy(outer), S_OK);
    EXPECT_EQ(object.Refs(), 1u);
}

} // namespace
