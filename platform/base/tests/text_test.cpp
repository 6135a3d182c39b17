// UTF-8, UTF-16 and Latin-1 conversions, and case-insensitive comparison.
#include "platform/base/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf, RoundTripsBmpAndSupplementaryCharacters) {
    std::u16string text = u"A\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(vr::ToUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    EXPECT_EQ(vr::FromUtf8(vr::ToUtf8(text)), text);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(vr::FromUtf8("a\xC3"), u"a\uFFFD");        // truncated sequence at the end
    EXPECT_EQ(vr::FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong encoding
    EXPECT_EQ(vr::FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(vr::ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD"); // lone surrogate
}

TEST(Latin1, KeepsEveryByteOneToOne) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    std::u16string wide = vr::FromLatin1(bytes);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0xFF], u'\xFF');
    EXPECT_EQ(vr::ToLatin1(wide), bytes);
    EXPECT_EQ(vr::ToLatin1(u"\u0101"), "?");
}

TEST(CaseInsensitive, FoldsAsciiAndLatin1Letters) {
    EXPECT_TRUE(vr::EqualsNoCase(u"Connection:Simulation", u"CONNECTION:SIMULATION"));
    EXPECT_TRUE(vr::EqualsNoCase(u"\u00e9t\u00e9", u"\u00c9T\u00c9"));
    EXPECT_FALSE(vr::EqualsNoCase(u"abc", u"abd"));
    EXPECT_LT(vr::CompareNoCase(u"abc", u"ABD"), 0);
    EXPECT_GT(vr::CompareNoCase(u"abcd", u"ABC"), 0);
    EXPECT_EQ(vr::ToUpper(u"visa:timeout"), u"VISA:TIMEOUT");
}

} // namespace
