// BSTR allocation: the length prefix, null handling, embedded zeros, reallocation from its own text, UTF-8.
#include "platform/com/bstr.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t PrefixOf(BSTR text) {
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, 4);
    return prefix;
}

TEST(Bstr, CarriesByteLengthPrefixAndTerminator) {
    BSTR text = SysAllocString(u"abc");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(PrefixOf(text), 6u);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    EXPECT_EQ(text[3], u'\0');
    EXPECT_EQ(vr::BstrView(text), u"abc");
    SysFreeString(text);
}

TEST(Bstr, NullIsTheEmptyString) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_TRUE(vr::BstrView(nullptr).empty());
    EXPECT_EQ(vr::BstrToUtf8(nullptr), "");
    SysFreeString(nullptr);
}

TEST(Bstr, LengthWithoutTextGivesZeroUnits) {
    BSTR text = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 5u);
    for (int i = 0; i <= 5; ++i) {
        EXPECT_EQ(text[i], u'\0') << i;
    }
    SysFreeString(text);
}

TEST(Bstr, Latin1BytesWidenToTheirOwnCodePoints) {
    // Every byte value, over whole blocks of the widening loop and a tail after them.
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        bytes.push_back(static_cast<char>(i & 0xFF));
    }
    BSTR text = vr::AllocBstrLatin1(bytes);
    ASSERT_EQ(SysStringLen(text), bytes.size());
    std::u16string expected;
    for (int i = 0; i < 300; ++i) {
        expected.push_back(static_cast<char16_t>(i & 0xFF));
    }
    EXPECT_EQ(vr::BstrView(text), expected);
    EXPECT_EQ(text[300], u'\0');
    SysFreeString(text);
    text = vr::AllocBstrLatin1("");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
}

TEST(Bstr, KeepsEmbeddedZerosAndOddByteLengths) {
    BSTR text = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(vr::BstrView(text), std::u16string_view(u"a\0b", 3));
    SysFreeString(text);

    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    const char* raw = reinterpret_cast<const char*>(bytes);
    EXPECT_EQ(std::string(raw, 3), "abc");
    // The text still ends in a whole zero unit after the odd byte.
    EXPECT_EQ(raw[3], '\0');
    EXPECT_EQ(raw[4], '\0');
    EXPECT_EQ(raw[5], '\0');
    SysFreeString(bytes);
}

TEST(Bstr, RefusesLengthsBeyondThePrefix) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, ReallocatesFromItsOwnText) {
    BSTR text = SysAllocString(u"hello world");
    ASSERT_TRUE(SysReAllocString(&text, text + 6));
    EXPECT_EQ(vr::BstrView(text), u"world");
    ASSERT_TRUE(SysReAllocStringLen(&text, text + 1, 3));
    EXPECT_EQ(vr::BstrView(text), u"orl");
    ASSERT_TRUE(SysReAllocString(&text, nullptr));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

TEST(Bstr, ConvertsUtf8BothWays) {
    const std::string text = "Gr\xC3\xBC\xC3\x9F"
                             "e \xF0\x9D\x84\x9E"; // "Grüße " and a character beyond the BMP
    BSTR wide = vr::AllocBstrUtf8(text);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(SysStringLen(wide), 8u); // the last character takes a surrogate pair
    EXPECT_EQ(vr::BstrToUtf8(wide), text);
    SysFreeString(wide);

    BSTR empty = vr::AllocBstr(u"");
    ASSERT_NE(empty, nullptr); // an empty string, not a failure
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

} // namespace
