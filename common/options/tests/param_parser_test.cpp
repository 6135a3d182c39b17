// Reading option strings: the grammar of items, quoting, name and index matching, counts.
#include "common/options/ParamParser.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

namespace {

using vrtest::Bstr;
using vrtest::U8;

constexpr const OLECHAR* kT =
    u" Param1='1555.0',Param2  Param3=[\"'1'\"]  Param3=3;{som'e' option\\ \"X\"}  ";
constexpr const OLECHAR* kU = u" A:Param1='1555.0',B:Param1  Param1=[\"'1'\"]  C:Param1=3;  ";

struct Lookup {
    bool found = false;
    std::string name;
    std::optional<std::string> value;
    bool quoted = false;
};

Lookup At(const OLECHAR* text, int index) {
    Lookup result;
    Bstr name, value;
    result.found = GetParamAt(name.ptr(), value.ptr(), text, index, false, &result.quoted);
    result.name = name.utf8();
    result.value = value.value();
    return result;
}

Lookup Named(const OLECHAR* text, const OLECHAR* wanted, bool unscoped = false) {
    Lookup result;
    Bstr name, value;
    result.found = GetParam(name.ptr(), value.ptr(), text, wanted, unscoped, &result.quoted);
    result.name = name.utf8();
    result.value = value.value();
    return result;
}

TEST(ParamParserRead, FixedTextItemsByNumber) {
    EXPECT_EQ(ParamCount(kT), 5);
    EXPECT_FALSE(At(kT, 5).found);

    Lookup third = At(kT, 2);
    EXPECT_TRUE(third.found);
    EXPECT_EQ(third.name, "Param3");
    EXPECT_EQ(third.value, "\"'1'\"");
    EXPECT_TRUE(third.quoted);

    Lookup braces = At(kT, 4);
    EXPECT_EQ(braces.name, "som'e' option\\ \"X\"");
    EXPECT_EQ(braces.value, std::nullopt);
}

TEST(ParamParserRead, FixedTextItemsByNameLastWins) {
    EXPECT_EQ(Named(kT, u"Param3").value, "3");
    EXPECT_FALSE(Named(kT, u"Param3").quoted);
    EXPECT_EQ(Named(kT, u"Param1").value, "1555.0");
    Lookup bare = Named(kT, u"Param2");
    EXPECT_TRUE(bare.found);
    EXPECT_EQ(bare.value, std::nullopt);
    EXPECT_FALSE(Named(kT, u"param1").found) << "names are case-sensitive";
    EXPECT_FALSE(Named(kT, u"Param").found) << "a name matches whole";
}

TEST(ParamParserRead, ScopedNames) {
    Lookup exact = Named(kU, u"Param1");
    EXPECT_EQ(exact.name, "Param1");
    EXPECT_EQ(exact.value, "\"'1'\"");
    EXPECT_EQ(Named(kU, u"A:Param1").value, "1555.0");
    Lookup unscoped = Named(kU, u"Param1", true);
    EXPECT_EQ(unscoped.name, "C:Param1");
    EXPECT_EQ(unscoped.value, "3");
    // Only the part after the first colon counts.
    EXPECT_FALSE(Named(u"A:B:X=1", u"X", true).found);
    EXPECT_EQ(Named(u"A:B:X=1", u"B:X", true).value, "1");
}

TEST(ParamParserRead, ValuesAndTheirQuoting) {
    Lookup empty = At(u"A=", 0);
    EXPECT_EQ(empty.name, "A");
    EXPECT_EQ(empty.value, "");
    EXPECT_FALSE(empty.quoted);

    Lookup emptyQuotes = At(u"A=''", 0);
    EXPECT_EQ(emptyQuotes.value, "");
    EXPECT_TRUE(emptyQuotes.quoted);
    EXPECT_EQ(At(u"A={}", 0).value, "");

    EXPECT_EQ(At(u"A='ab'cd", 0).value, "ab") << "text after the group is dropped";
    EXPECT_EQ(At(u"A={a{b}c}", 0).value, "a{b") << "groups do not nest";
    EXPECT_EQ(At(u"A='x=y' B=2", 0).value, "x=y");
    EXPECT_EQ(At(u"A=x=y", 0).value, "x=y") << "an item splits at its first '='";
    EXPECT_EQ(At(u"A=\"a b;c,d\" B=2", 1).name, "B");
    EXPECT_EQ(At(u"'a=b'=c", 0).name, "a=b");
}

TEST(ParamParserRead, UnclosedOpeningCharacters) {
    // An opening character nothing closes is ordinary while scanning...
    EXPECT_EQ(ParamCount(u"A='x B=2"), 2);
    // ...a name keeps its raw text, and a value reads as none.
    Lookup name = At(u"'abc=1", 0);
    EXPECT_EQ(name.name, "'abc");
    EXPECT_EQ(name.value, "1");
    Lookup value = At(u"A='x B=2", 0);
    EXPECT_TRUE(value.found);
    EXPECT_EQ(value.value, std::nullopt);
    EXPECT_EQ(At(u"A=[x", 0).value, std::nullopt);
}

TEST(ParamParserRead, GapsAndItemEnds) {
    EXPECT_EQ(ParamCount(nullptr), 0);
    EXPECT_EQ(ParamCount(u""), 0);
    EXPECT_EQ(ParamCount(u" \t,;;, "), 0);
    EXPECT_EQ(ParamCount(u"a,b;c d\te"), 4) << "a tab separates items only between them";
    Lookup tabbed = At(u"A=1\tB=2", 0);
    EXPECT_EQ(tabbed.value, "1\tB=2");
    EXPECT_EQ(ParamCount(u"A=1\nB=2 C"), 2) << "a line break stays inside an item";
    // A group may span what would otherwise end the item, and reach across lines.
    EXPECT_EQ(At(u"A='1, 2; 3' B", 0).value, "1, 2; 3");
}

TEST(ParamParserRead, FindParamCountsTheItemsItExamined) {
    Bstr text(kT);
    int count = -1;
    EXPECT_FALSE(FindParam(nullptr, nullptr, text.ptr(), nullptr, kNoParamIndex, false, false, &count,
                           nullptr, false));
    EXPECT_EQ(count, 5);
    EXPECT_TRUE(FindParam(nullptr, nullptr, text.ptr(), nullptr, 1, false, false, &count, nullptr, false));
    EXPECT_EQ(count, 2) << "the scan stops once it has passed the index";
    EXPECT_FALSE(
        FindParam(nullptr, nullptr, text.ptr(), u"Param1", -1, false, false, &count, nullptr, false));
    EXPECT_EQ(count, 0) << "a negative index examines nothing";
    EXPECT_FALSE(
        FindParam(nullptr, nullptr, nullptr, u"Param1", kNoParamIndex, true, true, &count, nullptr, false));
    EXPECT_EQ(count, 0);
}

TEST(ParamParserRead, OutArgumentsAreReplacedOnlyWhenFound) {
    Bstr name(u"old name"), value(u"old value");
    ASSERT_TRUE(GetParam(name.ptr(), value.ptr(), u"X=1", u"X"));
    EXPECT_EQ(name.utf8(), "X");
    EXPECT_EQ(value.utf8(), "1");
    EXPECT_FALSE(GetParam(name.ptr(), value.ptr(), u"Y=2", u"X"));
    EXPECT_EQ(value.utf8(), "1");
    // A bare name replaces an earlier value by none.
    ASSERT_TRUE(HasParam(value.ptr(), u"X", u"X"));
    EXPECT_TRUE(value.isNull());
}

TEST(ParamParserRead, ReadingLeavesTheTextAlone) {
    Bstr text(kT);
    BSTR before = text.get();
    Bstr value;
    EXPECT_TRUE(FindParam(nullptr, value.ptr(), text.ptr(), u"Param3", kNoParamIndex, false, false, nullptr,
                          nullptr, false));
    EXPECT_EQ(text.get(), before);
    EXPECT_EQ(U8(vr::U16View(text.get())), U8(kT));
}

TEST(ParamParserRead, BooleanOptions) {
    EXPECT_TRUE(IsParamTrue(u"A", u"A"));
    EXPECT_TRUE(IsParamTrue(u"A=", u"A"));
    EXPECT_TRUE(IsParamTrue(u"A=''", u"A"));
    EXPECT_TRUE(IsParamTrue(u"A=yes", u"A"));
    EXPECT_TRUE(IsParamTrue(u"A=00", u"A")) << "only the text 0 reads false";
    EXPECT_FALSE(IsParamTrue(u"A=FALSE", u"A"));
    EXPECT_FALSE(IsParamTrue(u"A=False", u"A"));
    EXPECT_FALSE(IsParamTrue(u"A='0'", u"A"));
    EXPECT_FALSE(IsParamTrue(u"B", u"A"));
    EXPECT_FALSE(IsParamTrue(u"A B=1 A=false", u"A")) << "the last item wins";
    EXPECT_FALSE(IsParamTrue(u"S:A", u"A")) << "boolean options match names exactly";
}

TEST(ParamParserRead, SelfTestHolds) {
    EXPECT_TRUE(TestParamParser());
}

} // namespace
