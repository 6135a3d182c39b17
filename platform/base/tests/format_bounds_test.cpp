// The formatter's buffer limits: exact fit without terminator, one short, one over, and nothing past count.
#include "platform/base/format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char16_t kGuard = u'#';

// A buffer of `count` units followed by guard units that the formatter must never touch.
struct GuardedBuffer {
    explicit GuardedBuffer(size_t count) : count(count), units(count + 4, kGuard) {}
    bool GuardIntact() const {
        for (size_t i = count; i < units.size(); ++i) {
            if (units[i] != kGuard) {
                return false;
            }
        }
        return true;
    }
    std::u16string Text(size_t length) const { return std::u16string(units.data(), length); }

    size_t count;
    std::vector<char16_t> units;
};

struct BoundCase {
    size_t count;
    int result;
    const char16_t* content; // the first units of the buffer afterwards
    bool terminated;         // a terminator right after content
};

TEST(FormatBounds, ReportsLikeTheWindowsFormatter) {
    // "abcde" is five units: the terminator needs a sixth.
    const BoundCase cases[] = {
        {7, 5, u"abcde", true},  {6, 5, u"abcde", true}, {5, 5, u"abcde", false},
        {4, -1, u"abcd", false}, {1, -1, u"a", false},   {0, -1, u"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("count " + std::to_string(c.count));
        GuardedBuffer buffer(c.count);
        int result = vr::FormatW(buffer.units.data(), c.count, u"ab%s", u"cde");
        EXPECT_EQ(result, c.result);
        std::u16string content(c.content);
        EXPECT_EQ(buffer.Text(content.size()), content);
        if (c.terminated) {
            EXPECT_EQ(buffer.units[content.size()], u'\0');
        } else if (content.size() < c.count) {
            EXPECT_NE(buffer.units[content.size()], u'\0');
        }
        EXPECT_TRUE(buffer.GuardIntact());
    }
}

TEST(FormatBounds, EmptyTextIntoAnEmptyBufferFitsExactly) {
    EXPECT_EQ(vr::FormatW(nullptr, 0, u""), 0);
    EXPECT_EQ(vr::FormatW(nullptr, 0, u"x"), -1);
    char16_t one[1] = {kGuard};
    EXPECT_EQ(vr::FormatW(one, 1, u"%s", u""), 0);
    EXPECT_EQ(one[0], u'\0');
}

TEST(FormatBounds, PaddingAndConversionsStopAtTheLimit) {
    GuardedBuffer padded(3);
    EXPECT_EQ(vr::FormatW(padded.units.data(), 3, u"%6d", 42), -1);
    EXPECT_EQ(padded.Text(3), u"   ");
    EXPECT_TRUE(padded.GuardIntact());

    GuardedBuffer floating(4);
    EXPECT_EQ(vr::FormatW(floating.units.data(), 4, u"%.6f", 3.25), -1);
    EXPECT_EQ(floating.Text(4), u"3.25");
    EXPECT_TRUE(floating.GuardIntact());

    GuardedBuffer wideWidth(10);
    EXPECT_EQ(vr::FormatW(wideWidth.units.data(), 10, u"%1000000s", u"x"), -1);
    EXPECT_TRUE(wideWidth.GuardIntact());
}

TEST(FormatBounds, TwentyThousandUnitText) {
    const size_t kSize = 20000;
    std::u16string text(kSize, u'x');
    text[kSize - 1] = u'y';

    GuardedBuffer exact(kSize);
    EXPECT_EQ(vr::FormatW(exact.units.data(), kSize, u"%s", text.c_str()), static_cast<int>(kSize));
    EXPECT_EQ(exact.Text(kSize), text);
    EXPECT_TRUE(exact.GuardIntact());

    GuardedBuffer roomy(kSize + 1);
    EXPECT_EQ(vr::FormatW(roomy.units.data(), kSize + 1, u"%s", text.c_str()), static_cast<int>(kSize));
    EXPECT_EQ(roomy.units[kSize], u'\0');

    GuardedBuffer over(kSize);
    EXPECT_EQ(vr::FormatW(over.units.data(), kSize, u"%s!", text.c_str()), -1);
    EXPECT_EQ(over.Text(kSize), text);
    EXPECT_TRUE(over.GuardIntact());
}

TEST(FormatBounds, NarrowFormatterHasTheSameRules) {
    char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(vr::FormatA(buffer, 4, "%s", "abc"), 3);
    EXPECT_STREQ(buffer, "abc");
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(vr::FormatA(buffer, 3, "%s", "abc"), 3);
    EXPECT_EQ(std::string(buffer, 4), "abc#");
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(vr::FormatA(buffer, 2, "%ls", u"\u00e9\u00e9"), -1);
    EXPECT_EQ(std::string(buffer, 3), "\xC3\xA9#");
}

} // namespace
