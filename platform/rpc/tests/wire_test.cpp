// The wire format: values survive a round trip, and the reader refuses whatever a peer could send wrong
// (cut short, counts beyond the frame, unknown types, nesting too deep, random bytes) without crashing.
#include "platform/rpc/wire.h"

#include "platform/com/comutil.h"

#include <gtest/gtest.h>

#include <random>

namespace rpctest {
namespace {

using vr::rpc::CheckMessage;
using vr::rpc::Reader;
using vr::rpc::Writer;

std::vector<uint8_t> Body(Writer& writer) {
    std::vector<uint8_t> frame = writer.Finish();
    return std::vector<uint8_t>(frame.begin() + 4, frame.end());
}

// A well-formed Invoke request with the given arguments.
std::vector<uint8_t> InvokeRequest(std::initializer_list<VARIANT> args) {
    Writer w;
    w.U8(static_cast<uint8_t>(vr::rpc::FrameKind::Request));
    w.U64(1);
    w.U64(2);
    w.U64(3);
    w.U8(static_cast<uint8_t>(vr::rpc::Operation::Invoke));
    w.U32(7);
    w.U16(DISPATCH_METHOD);
    w.U32(static_cast<uint32_t>(args.size()));
    w.U32(0);
    for (const VARIANT& arg : args) {
        EXPECT_EQ(w.Variant(arg), S_OK);
    }
    w.U8(1);
    w.U8(0);
    return Body(w);
}

TEST(RpcWire, ValuesSurviveARoundTrip) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 3, 2);
    LONG index = 4;
    _bstr_t text(u"two");
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<BSTR>(text)), S_OK);
    VARIANT values[4] = {};
    values[0].vt = VT_ARRAY | VT_BSTR;
    values[0].parray = array;
    values[1].vt = VT_R8;
    values[1].dblVal = -0.25;
    values[2].vt = VT_ERROR;
    values[2].scode = DISP_E_PARAMNOTFOUND;
    values[3].vt = VT_BSTR;
    values[3].bstrVal = nullptr;
    Writer w;
    for (const VARIANT& value : values) {
        ASSERT_EQ(w.Variant(value), S_OK);
    }
    std::vector<uint8_t> body = Body(w);
    Reader r(body.data(), body.size());
    for (const VARIANT& value : values) {
        _variant_t read;
        ASSERT_EQ(r.Variant(&read), S_OK);
        ASSERT_EQ(read.vt, value.vt);
        if (value.vt == (VT_ARRAY | VT_BSTR)) {
            LONG lower = 0;
            ASSERT_EQ(SafeArrayGetLBound(read.parray, 1, &lower), S_OK);
            EXPECT_EQ(lower, 3);
            BSTR element = nullptr;
            ASSERT_EQ(SafeArrayGetElement(read.parray, &index, &element), S_OK);
            EXPECT_EQ(std::u16string(element), u"two");
            SysFreeString(element);
        } else if (value.vt == VT_BSTR) {
            EXPECT_EQ(read.bstrVal, nullptr); // null stays null
        } else {
            EXPECT_EQ(read.llVal, value.llVal);
        }
    }
    EXPECT_TRUE(r.AtEnd());
    static_cast<void>(SafeArrayDestroy(array));
}

TEST(RpcWire, AnArrayWhoseElementsAreNotOfTheValuesTypeIsRefused) {
    // Numbers claimed to be VARIANTs or text would be read past the data or followed as pointers.
    SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 3);
    SAFEARRAY* words = SafeArrayCreateVector(VT_BSTR, 0, 1);
    VARIANT claimed{};
    claimed.parray = numbers;
    Writer w;
    for (VARTYPE vt : {VT_VARIANT, VT_BSTR, VT_I2}) {
        claimed.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
        EXPECT_EQ(w.Variant(claimed), DISP_E_BADVARTYPE) << "claimed as " << vt;
    }
    claimed.parray = words;
    claimed.vt = VT_ARRAY | VT_DISPATCH; // the same size, but text is no object
    EXPECT_EQ(w.Variant(claimed), DISP_E_BADVARTYPE);
    // Numbers of the same size stand for each other, as automation's own conversions allow.
    claimed.parray = numbers;
    claimed.vt = VT_ARRAY | VT_INT;
    EXPECT_EQ(w.Variant(claimed), S_OK);
    static_cast<void>(SafeArrayDestroy(numbers));
    static_cast<void>(SafeArrayDestroy(words));
}

TEST(RpcWire, AMessageCutShortAnywhereIsRefused) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT arrayValue;
    arrayValue.vt = VT_ARRAY | VT_VARIANT;
    arrayValue.parray = array;
    std::vector<uint8_t> body = InvokeRequest({_variant_t(u"text"), arrayValue, _variant_t(LONG{3})});
    static_cast<void>(SafeArrayDestroy(array));
    EXPECT_EQ(CheckMessage(body.data(), body.size()), S_OK);
    for (size_t size = 0; size < body.size(); ++size) {
        EXPECT_EQ(CheckMessage(body.data(), size), RPC_E_INVALID_DATA) << "cut at " << size;
    }
    std::vector<uint8_t> longer = body;
    longer.push_back(0);
    EXPECT_EQ(CheckMessage(longer.data(), longer.size()), RPC_E_INVALID_DATA); // trailing bytes
}

TEST(RpcWire, CountsTypesAndDepthsBeyondReasonAreRefused) {
    // An array claiming four billion elements in a few bytes.
    Writer huge;
    huge.U16(VT_ARRAY | VT_I4);
    huge.U16(1);
    huge.U32(0);
    huge.U32(0xFFFFFFF0u);
    huge.U32(1);
    std::vector<uint8_t> body = Body(huge);
    Reader hugeReader(body.data(), body.size());
    VARIANT value;
    EXPECT_EQ(hugeReader.Variant(&value), RPC_E_INVALID_DATA);
    // Dimensions whose product overflows.
    Writer dims;
    dims.U16(VT_ARRAY | VT_UI1);
    dims.U16(3);
    for (int i = 0; i < 3; ++i) {
        dims.U32(0);
        dims.U32(0x10000u);
    }
    body = Body(dims);
    Reader dimsReader(body.data(), body.size());
    EXPECT_EQ(dimsReader.Variant(&value), RPC_E_INVALID_DATA);
    // Types that do not cross: a decimal, a by-reference empty, unknown bits, a vector, a VARIANT held by
    // value.
    for (uint16_t vt : {uint16_t(VT_DECIMAL), uint16_t(VT_BYREF | VT_EMPTY), uint16_t(0x7FFF),
                        uint16_t(VT_RECORD), uint16_t(VT_ARRAY | VT_VECTOR | VT_R8), uint16_t(VT_VARIANT)}) {
        Writer w;
        w.U16(vt);
        w.U64(0);
        body = Body(w);
        Reader r(body.data(), body.size());
        EXPECT_EQ(r.Variant(&value), RPC_E_INVALID_DATA) << vt;
    }
    // A by-reference VARIANT whose value claims to be a VARIANT itself.
    Writer nestedVariant;
    nestedVariant.U16(VT_BYREF | VT_VARIANT);
    nestedVariant.U16(VT_VARIANT);
    nestedVariant.U16(VT_I4);
    nestedVariant.U32(1);
    body = Body(nestedVariant);
    Reader nestedReader(body.data(), body.size());
    EXPECT_EQ(nestedReader.Variant(&value), RPC_E_INVALID_DATA);
    // A text longer than the frame.
    Writer text;
    text.U16(VT_BSTR);
    text.U32(1000);
    text.U16(u'x');
    body = Body(text);
    Reader textReader(body.data(), body.size());
    EXPECT_EQ(textReader.Variant(&value), RPC_E_INVALID_DATA);
    // VARIANTs nested in arrays deeper than allowed.
    Writer deep;
    deep.U16(VT_ARRAY | VT_VARIANT);
    for (int level = 0; level < vr::rpc::kMaxVariantDepth + 2; ++level) {
        deep.U16(1);
        deep.U32(0);
        deep.U32(1);
        deep.U16(VT_ARRAY | VT_VARIANT);
    }
    deep.U16(0);
    body = Body(deep);
    Reader deepReader(body.data(), body.size());
    EXPECT_EQ(deepReader.Variant(&value), RPC_E_INVALID_DATA);
    // Unknown frame kinds and operations.
    uint8_t unknownKind[] = {9, 0, 0};
    EXPECT_EQ(CheckMessage(unknownKind, sizeof unknownKind), RPC_E_INVALID_DATA);
}

TEST(RpcWire, RandomAndMutatedBytesNeverCrashTheReader) {
    std::mt19937 random(12345);
    std::vector<uint8_t> valid = InvokeRequest({_variant_t(u"abc"), _variant_t(1.5)});
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> bytes = valid;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) {
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        }
        static_cast<void>(CheckMessage(bytes.data(), bytes.size()));
        std::vector<uint8_t> noise(1 + random() % 64);
        for (uint8_t& byte : noise) {
            byte = static_cast<uint8_t>(random());
        }
        static_cast<void>(CheckMessage(noise.data(), noise.size()));
    }
}

} // namespace
} // namespace rpctest
