// Editing option strings: removal, appending and quoting, normal form, truncation, boolean options,
// splitting.
#include "common/options/ParamParser.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

namespace {

using vrtest::Adopt;
using vrtest::Bstr;
using vrtest::U8;

constexpr const OLECHAR* kT =
    u" Param1='1555.0',Param2  Param3=[\"'1'\"]  Param3=3;{som'e' option\\ \"X\"}  ";
constexpr const OLECHAR* kU = u" A:Param1='1555.0',B:Param1  Param1=[\"'1'\"]  C:Param1=3;  ";

std::string Normalised(const OLECHAR* text) {
    Bstr copy(vr::U16View(text));
    EXPECT_TRUE(GetParamRaw(copy.ptr()));
    return copy.utf8();
}

std::string Appended(const OLECHAR* text, const OLECHAR* name, const OLECHAR* value, const OLECHAR* separator,
                     bool force) {
    Bstr copy(vr::U16View(text));
    EXPECT_TRUE(AppendParam(copy.ptr(), name, value, separator, force));
    return copy.utf8();
}

TEST(ParamParserEdit, RemovalTakesOneTerminatorOrTheGapBeforeALastItem) {
    Bstr first(u"A=1, B=2");
    EXPECT_TRUE(FindParamAt(nullptr, nullptr, first.ptr(), 0));
    EXPECT_EQ(first.utf8(), " B=2");
    Bstr last(u"A=1, B=2");
    EXPECT_TRUE(FindParamAt(nullptr, nullptr, last.ptr(), 1));
    EXPECT_EQ(last.utf8(), "A=1");
    Bstr middle(u"A=1;B=2;C=3");
    Bstr value;
    EXPECT_TRUE(HasParamValue(value.ptr(), middle.ptr(), u"B"));
    EXPECT_EQ(value.utf8(), "2");
    EXPECT_EQ(middle.utf8(), "A=1;C=3");
    Bstr missing(u"A=1");
    BSTR before = missing.get();
    EXPECT_FALSE(FindParamValue(nullptr, nullptr, missing.ptr(), u"B"));
    EXPECT_EQ(missing.get(), before) << "an unchanged text keeps its BSTR";
}

TEST(ParamParserEdit, RepeatedUnscopedRemovalTakesTheLastMatchFirst) {
    Bstr text(kU);
    for (const char* expected : {"C:Param1", "Param1", "B:Param1", "A:Param1"}) {
        Bstr name;
        ASSERT_TRUE(FindParamValue(name.ptr(), nullptr, text.ptr(), u"Param1", true));
        EXPECT_EQ(name.utf8(), expected);
    }
    EXPECT_EQ(ParamCount(text.get()), 0);
    EXPECT_FALSE(FindParamValue(nullptr, nullptr, text.ptr(), u"Param1", true));
}

TEST(ParamParserEdit, RemoveAndNormaliseTogether) {
    Bstr text(u"  b=3 ; A='1',   c  ");
    EXPECT_TRUE(
        FindParam(nullptr, nullptr, text.ptr(), u"A", kNoParamIndex, true, true, nullptr, nullptr, false));
    EXPECT_EQ(text.utf8(), "b=3 c");
    Bstr untouched(u"  b=3 ;   c  ");
    EXPECT_FALSE(FindParam(nullptr, nullptr, untouched.ptr(), u"A", kNoParamIndex, true, true, nullptr,
                           nullptr, false));
    EXPECT_EQ(untouched.utf8(), "b=3 c") << "normalised even when nothing matched";
}

TEST(ParamParserEdit, NormalisingAtAnIndexKeepsTheItemsAfterIt) {
    Bstr text(u"a=1  b=2  c=3");
    Bstr value;
    EXPECT_TRUE(
        FindParam(nullptr, value.ptr(), text.ptr(), nullptr, 0, false, true, nullptr, nullptr, false));
    EXPECT_EQ(value.utf8(), "1");
    EXPECT_EQ(text.utf8(), "a=1 b=2 c=3");
}

TEST(ParamParserEdit, NormalForm) {
    EXPECT_EQ(Normalised(u" a='1',     b=3  ; 'c'   {d 6}"), "a='1' b=3 c 'd 6'");
    EXPECT_EQ(Normalised(u"A="), "A=''");
    EXPECT_EQ(Normalised(u"A"), "A");
    EXPECT_EQ(Normalised(nullptr), "");
    EXPECT_EQ(Normalised(u"A=\"it's\""), "A=\"it's\"");
    EXPECT_EQ(Normalised(u"A={'\"}"), "A={'\"}");
    EXPECT_EQ(Normalised(u"A=['\"}]"), "A=['\"}]");
    EXPECT_EQ(Normalised(u"A=x\tB"), "A='x\tB'");
}

TEST(ParamParserEdit, NormalFormRefusesWhatCannotBeWritten) {
    // The value holds all four closing characters, read from a group that closed at its first "]".
    Bstr text(u"A=1 B=['\"}]] C=3");
    Bstr value;
    ASSERT_TRUE(HasParam(value.ptr(), text.get(), u"B"));
    EXPECT_EQ(value.utf8(), "'\"}");
    // What the parser can read it can always write back: the cut value lacks "]".
    EXPECT_EQ(Normalised(text.get()), "A=1 B=['\"}] C=3");
    // A bare name may hold all four when none of them opens a group that closes: the normal form cannot hold
    // it, so the rewrite is refused, as AppendParam refuses it, and the text keeps it.
    Bstr bad(u"A=1 x'\"}]=2 C=3");
    Bstr name;
    ASSERT_TRUE(GetParamAt(name.ptr(), nullptr, bad.get(), 1));
    EXPECT_EQ(name.utf8(), "x'\"}]");
    EXPECT_FALSE(GetParamRaw(bad.ptr()));
    EXPECT_EQ(bad.utf8(), "A=1 x'\"}]=2 C=3");
}

TEST(ParamParserEdit, AppendQuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(Appended(kT, u"_name", u"_value", u" ", false), U8(kT) + " _name=_value");
    EXPECT_EQ(Appended(kT, u"_name", u"_value", u";", true), U8(kT) + ";_name='_value'");
    EXPECT_EQ(Appended(u"", u"A", u"1", u";", false), "A=1") << "no separator before the first item";
    EXPECT_EQ(Appended(u" ,; ", u"A", u"1", u";", false), " ,; A=1");
    EXPECT_EQ(Appended(u"X", u"A", nullptr, u",", false), "X,A");
    EXPECT_EQ(Appended(u"X", u"A", u"", u" ", false), "X A=''");
    EXPECT_EQ(Appended(u"X", u"a b", u"c=d", u" ", false), "X 'a b'='c=d'");
    EXPECT_EQ(Appended(u"X", u"A", u"it's", u" ", false), "X A=\"it's\"");
    EXPECT_EQ(Appended(u"X", u"A", u"'\"", u" ", false), "X A={'\"}");
    EXPECT_EQ(Appended(u"X", u"A", u"'\"}", u" ", false), "X A=['\"}]");
    EXPECT_EQ(Appended(u"X", u"A", u"{", u" ", false), "X A='{'");
}

TEST(ParamParserEdit, AppendRefusesTextWithEveryClosingCharacter) {
    Bstr text(u"X=1");
    BSTR before = text.get();
    EXPECT_FALSE(AppendParam(text.ptr(), u"A", u"'\"}]", u" ", false));
    EXPECT_FALSE(AppendParam(text.ptr(), u"'\"}]", u"1", u" ", false));
    EXPECT_EQ(text.get(), before);
    EXPECT_EQ(text.utf8(), "X=1");
    EXPECT_FALSE(AppendParam(nullptr, u"A", u"1", u" ", false));
}

TEST(ParamParserEdit, AppendedValuesReadBackUnchanged) {
    const OLECHAR* values[] = {u"\"'_value\"'", u"a b", u"",          u"x=y;z",
                               u"{[",           u"]}",  u"tab\there", u"line\nfeed"};
    for (const OLECHAR* value : values) {
        Bstr text(u"Z");
        ASSERT_TRUE(AppendParam(text.ptr(), u"_name", value, u" ", false));
        Bstr read;
        ASSERT_TRUE(HasParam(read.ptr(), text.get(), u"_name")) << text.utf8();
        EXPECT_EQ(read.utf8(), U8(value)) << text.utf8();
    }
}

TEST(ParamParserEdit, FixedSequenceOnT) {
    Bstr t(kT);
    ASSERT_TRUE(AppendParam(t.ptr(), u"_name", u"_value", u" ", false));
    ASSERT_TRUE(AppendParam(t.ptr(), u"_name", u"_value", u";", true));
    ASSERT_TRUE(AppendParam(t.ptr(), u"_name", u"\"'_value\"'", u" ", false));
    ASSERT_EQ(ParamCount(t.get()), 8);

    EXPECT_TRUE(TruncateParams(t.ptr(), 7));
    EXPECT_EQ(t.utf8(),
              "Param2 Param3={\"'1'\"} Param3=3 {som'e' option\\ \"X\"} _name=_value _name='_value' "
              "_name={\"'_value\"'}");
    EXPECT_TRUE(FindParamAt(nullptr, nullptr, t.ptr(), 1));
    Bstr name, value;
    ASSERT_TRUE(GetParamAt(name.ptr(), value.ptr(), t.get(), 1));
    EXPECT_EQ(name.utf8(), "Param3");
    EXPECT_EQ(value.utf8(), "3");

    EXPECT_TRUE(EnsureParam(t.ptr(), u"Option1"));
    EXPECT_TRUE(GetBoolParam(t.ptr(), u"Option1", false));
    EXPECT_TRUE(IsParamFalse(t.ptr(), u"Option1"));
    EXPECT_FALSE(GetBoolParam(t.ptr(), u"Option1", false));
    EXPECT_TRUE(vr::U16View(t.get()).ends_with(u" Option1 Option1=false"));
    EXPECT_FALSE(GetBoolParam(t.ptr(), u"Option1", true));
    EXPECT_TRUE(GetBoolParam(t.ptr(), u"Option1", true));
    EXPECT_FALSE(GetBoolParam(t.ptr(), u"Option1", true));
    EXPECT_EQ(ParamCount(t.get()), 6);
}

TEST(ParamParserEdit, EnsureAndForceFalseAppendOnlyWhenNeeded) {
    Bstr text(u"A");
    EXPECT_TRUE(EnsureParam(text.ptr(), u"A"));
    EXPECT_EQ(text.utf8(), "A");
    EXPECT_TRUE(IsParamFalse(text.ptr(), u"B"));
    EXPECT_EQ(text.utf8(), "A");
    Bstr empty;
    EXPECT_TRUE(EnsureParam(empty.ptr(), u"A"));
    EXPECT_EQ(empty.utf8(), "A");
}

TEST(ParamParserEdit, Truncation) {
    Bstr few(u"a b");
    EXPECT_FALSE(TruncateParams(few.ptr(), 2));
    EXPECT_EQ(few.utf8(), "a b");
    Bstr many(u"a=1, b=2;  c='3'");
    EXPECT_TRUE(TruncateParams(many.ptr(), 1));
    EXPECT_EQ(many.utf8(), "c='3'");
    Bstr all(u"a b c");
    EXPECT_TRUE(TruncateParams(all.ptr(), 0));
    EXPECT_EQ(all.utf8(), "");
    Bstr negative(u"a b c");
    EXPECT_TRUE(TruncateParams(negative.ptr(), -5));
    EXPECT_EQ(negative.utf8(), "");
}

TEST(ParamParserEdit, SplittingAndJoining) {
    Bstr head(u"stale"), tail;
    EXPECT_TRUE(SplitAt(u"key::rest::more", head.ptr(), tail.ptr(), u"::"));
    EXPECT_EQ(head.utf8(), "key");
    EXPECT_EQ(tail.utf8(), "rest::more");
    EXPECT_FALSE(SplitAt(u"no pattern", head.ptr(), tail.ptr(), u"::"));
    EXPECT_EQ(head.utf8(), "");
    EXPECT_EQ(tail.utf8(), "no pattern");

    EXPECT_EQ(Adopt(SubstringBefore(u"a.b.c", u".")).utf8(), "a");
    EXPECT_EQ(Adopt(SubstringBefore(u"abc", u".")).utf8(), "");
    EXPECT_EQ(Adopt(SplitAtColon(u"Scope:Name:X")).utf8(), "Name:X");
    EXPECT_EQ(Adopt(SplitAtColon(u"Name")).utf8(), "Name");
    EXPECT_EQ(Adopt(JoinText(u"Connection", u"Simulation")).utf8(), "Connection:Simulation");
    EXPECT_EQ(Adopt(JoinText(u"", u"Simulation")).utf8(), "Simulation");
    EXPECT_EQ(Adopt(JoinText(nullptr, u"Simulation")).utf8(), "Simulation");
}

} // namespace
