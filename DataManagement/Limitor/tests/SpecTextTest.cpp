// Specification texts and kinds: where the informative part begins (a pattern's quantifiers kept), keyword
// and body, the plain comparison, range parsing and the schema attribute texts of ranges and patterns.
#include "SpecText.h"
#include "SpecKinds.h"
#include "platform/base/text.h"

#include <gtest/gtest.h>

namespace limitor {
namespace {

std::string U8(std::u16string_view text) {
    return vr::ToUtf8(text);
}

TEST(SpecText, InformativePartKeepsAPatternsQuantifiers) {
    EXPECT_EQ(U8(WithoutInformativePart(u"5..10 {supply voltage}")), "5..10 ");
    EXPECT_EQ(U8(WithoutInformativePart(u"x{3}")), "x"); // outside a pattern every brace is informative
    EXPECT_EQ(U8(WithoutInformativePart(u"pattern:[A-Z]{3}")), "pattern:[A-Z]{3}");
    EXPECT_EQ(U8(WithoutInformativePart(u"PATTERN:\\d{2,}-\\d{1,3} {code}")), "PATTERN:\\d{2,}-\\d{1,3} ");
    for (const char16_t* text : {u"pattern:a{}", u"pattern:a{,3}", u"pattern:a{b}", u"pattern:a{ 3}",
                                 u"pattern:a{3,4,5}", u"pattern:a{3", u"pattern:a{-1}", u"pattern:a{1,x}"}) {
        EXPECT_EQ(U8(WithoutInformativePart(text)), "pattern:a") << U8(text);
    }
    // The keyword is what stands before the first ":", as written.
    EXPECT_EQ(U8(WithoutInformativePart(u"x{3} pattern:a{2}")), "x");
    EXPECT_EQ(U8(WithoutInformativePart(u" pattern:a{2}")), " pattern:a");

    EXPECT_EQ(U8(InformativeText(u"a}b{c}{d}")), "c");
    EXPECT_EQ(U8(InformativeText(u"a{b")), "");
    EXPECT_EQ(U8(InformativeText(u"pattern:[A-Z]{3}")), "");
    EXPECT_EQ(U8(InformativeText(u"pattern:[A-Z]{3} {code}")), "code");
}

TEST(SpecText, KeywordAndBodyTrimmedOfBlanksOnly) {
    SpecParts parts = SplitSpec(u" a : b:c  ");
    EXPECT_EQ(U8(parts.keyword), " a ");
    EXPECT_EQ(U8(parts.body), "b:c");
    parts = SplitSpec(u"\tabc\t");
    EXPECT_EQ(U8(parts.keyword), "");
    EXPECT_EQ(U8(parts.body), "\tabc\t");
    EXPECT_EQ(U8(SplitSpec(u"x:   ").body), "");
}

TEST(SpecText, PlainComparisonByNumberOrText) {
    EXPECT_TRUE(PlainMatch(u" 5e0", u"5.000", 0));
    EXPECT_TRUE(PlainMatch(u"9.5", u"10", 0.5));
    EXPECT_FALSE(PlainMatch(u"10.51", u"10", 0.5));
    EXPECT_FALSE(PlainMatch(u"10", u"10.5", -1));
    EXPECT_FALSE(PlainMatch(u"5 ", u"5", 1)); // anything after the number makes it text
    EXPECT_FALSE(PlainMatch(u"0x10", u"16", 0));
    EXPECT_FALSE(PlainMatch(u"1e999", u"2e999", 0)); // an overflow is no number
    EXPECT_TRUE(PlainMatch(u"1e999", u"1e999", 0));
    // A text without a number holds no measurement: it is not read as 0.
    EXPECT_FALSE(PlainMatch(u"", u"0", 0));
    EXPECT_FALSE(PlainMatch(u"  ", u"5", 10));
}

// "[min,max]" with brackets pointing inwards for inclusive bounds, or the parse error.
std::string Parsed(std::u16string_view body) {
    SpecBounds bounds;
    std::u16string error;
    if (!ParseRange(body, bounds, error)) {
        return "error: " + U8(error);
    }
    auto bound = [](const std::optional<std::u16string>& b) { return b ? U8(*b) : "-"; };
    return (bounds.minExclusive ? "]" : "[") + bound(bounds.min) + "," + bound(bounds.max) +
           (bounds.maxExclusive ? "[" : "]");
}

TEST(SpecRange, BoundsAsWrittenOrFromCentreAndDeviation) {
    EXPECT_EQ(Parsed(u"[-1.50..+2e1]"), "[-1.50,+2e1]");
    EXPECT_EQ(Parsed(u"]1..5["), "]1,5[");
    EXPECT_EQ(Parsed(u"1...5"), "]1,.5["); // the first number's point belongs to the delimiter
    EXPECT_EQ(Parsed(u"..5]"), "]-,5]");
    EXPECT_EQ(Parsed(u"[1.."), "[1,-[");
    EXPECT_EQ(Parsed(u"[10+-0.5["), "[9.50000000000000000000e+00,1.05000000000000000000e+01[");
    EXPECT_EQ(Parsed(u"abc"), "error: Ther is no delimiter '..'");
    EXPECT_EQ(Parsed(u"1-5"), "error: Ther is no delimiter '..'");
    EXPECT_EQ(Parsed(u"[1..5]]"), "error: Unrecognized end ']'");
    EXPECT_EQ(Parsed(u"1e999..5"), "error: Wrong number '1e999..5'");
    EXPECT_EQ(Parsed(u"[1..-1e999]"), "error: Wrong number '-1e999]'");
    // Text after an embedded zero is still text after the range.
    EXPECT_EQ(Parsed(std::u16string_view(u"1..5\0x", 6)).rfind("error: Unrecognized end", 0), 0u);
}

std::string Attributes(const SpecKind& kind, std::u16string_view keyword, std::u16string_view body) {
    SpecMatch match;
    std::u16string error;
    if (!kind.Matches(body, keyword, match, error)) {
        return "no match";
    }
    std::u16string attributes;
    if (error.empty() && FAILED(kind.BuildSchemaAttributes(body, match, attributes, error))) {
        return "failed";
    }
    return error.empty() ? U8(attributes) : "error: " + U8(error);
}

TEST(SpecKinds, SchemaAttributeTexts) {
    const SpecKind& pattern = SpecKinds().At(0);
    const SpecKind& range = SpecKinds().At(1);
    EXPECT_EQ(Attributes(range, u"", u"..5]"), "type=double maxInclusive='5' ");
    EXPECT_EQ(Attributes(range, u"range", u"[0..2.5["), "type=double minInclusive='0' maxExclusive='2.5' ");
    EXPECT_EQ(Attributes(range, u"RANGE", u"abc"), "error: Ther is no delimiter '..'");
    EXPECT_EQ(Attributes(range, u"limit", u"abc"), "no match");
    EXPECT_EQ(Attributes(pattern, u"", u"1..5"), "no match");
    EXPECT_EQ(Attributes(pattern, u"Pattern", u"[A-Z]{3}"), "type=string pattern='[A-Z]{3}' ");
    // A quote inside the pattern never ends its value early.
    EXPECT_EQ(Attributes(pattern, u"pattern", u"it's"), "type=string pattern=\"it's\" ");
    EXPECT_EQ(Attributes(pattern, u"pattern", u"['\"]x"), "type=string pattern={['\"]x} ");
    EXPECT_EQ(Attributes(pattern, u"pattern", u"'\"}"), "type=string pattern=['\"}] ");
    EXPECT_EQ(Attributes(pattern, u"pattern", u"'\"}]"), "failed");
}

} // namespace
} // namespace limitor
