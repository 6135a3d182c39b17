// Verdicts of the validator server for each kind of specification: empty, plain values with precision,
// ranges, patterns and schema attribute texts, with the lastError each leaves.
#include "ValidatorTestSupport.h"

namespace limitortest {
namespace {

TEST_F(ValidatorTest, EmptySpecificationAcceptsEverything) {
    for (const Value& spec : {Value(u""), Value(u"{any value}"), Value()}) {
        EXPECT_TRUE(Valid(u"whatever", spec));
    }
    EXPECT_TRUE(Valid(u"x", u"{info}", u"not a number")); // the precision is not even read
}

TEST_F(ValidatorTest, PlainValuesCompareAsNumbersOrAsText) {
    EXPECT_TRUE(Valid(u"5.0", u"5"));
    EXPECT_TRUE(Valid(5.0, u"5"));
    Outcome outcome = Check(u"abc", u"ABC");
    EXPECT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.valid, false);
    EXPECT_EQ(outcome.lastError, "Value 'abc' is not valid according to the Spec 'ABC'.");
    EXPECT_EQ(outcome.errorDescription, "") << "a false verdict is no failure";
    // "5 {volts}" is neither a range nor a whole number: only the identical text matches.
    EXPECT_FALSE(Valid(u"5", u"5 {volts}"));
    EXPECT_TRUE(Valid(u"5 {volts}", u"5 {volts}"));
    EXPECT_FALSE(Valid(Value(), u"0", 1.0)); // no measurement is not 0
    // The precision widens numbers only; missing or "" is none.
    EXPECT_TRUE(Valid(9.5, u"10", 0.5));
    EXPECT_TRUE(Valid(u"10.5", u"10", u"0.5"));
    EXPECT_FALSE(Valid(u"10.51", u"10", 0.5));
    EXPECT_FALSE(Valid(u"10.5", u"10", u""));
}

TEST_F(ValidatorTest, RangesWithBracketsAndDeviation) {
    EXPECT_TRUE(Valid(u"9.6", u"10+-0.5"));
    EXPECT_FALSE(Valid(u"9.5", u"10+-0.5")); // exclusive without brackets
    EXPECT_TRUE(Valid(u"9.5", u"[10+-0.5]"));
    EXPECT_TRUE(Valid(u"1", u"[1..5]"));
    EXPECT_FALSE(Valid(u"1", u"1..5"));
    EXPECT_FALSE(Valid(u"2.5", u"range:[0..2.5["));
    EXPECT_TRUE(Valid(u"-100", u"..5]"));
    EXPECT_TRUE(Valid(u"10", u"limit:[0..10]"));
    EXPECT_TRUE(Valid(u"7", u"5..10 {supply voltage}"));
    EXPECT_EQ(Check(u"abc", u"[1..5]").lastError, "Value 'abc' is not valid according to the Spec '[1..5]'.");
    // Without the keyword a text that is no range is compared as text.
    EXPECT_FALSE(Valid(u"3", u"1..5x"));
    EXPECT_TRUE(Valid(u"1..5x", u"1..5x"));
}

TEST_F(ValidatorTest, RangeKeywordReportsWhatItCannotRead) {
    Outcome outcome = Check(u"1", u"range:abc");
    EXPECT_EQ(outcome.hr, E_INVALIDARG);
    EXPECT_EQ(outcome.valid, std::nullopt);
    EXPECT_EQ(outcome.errorDescription, "Invalid entry Spec 'abc': Ther is no delimiter '..'.");
    EXPECT_EQ(outcome.errorSource, "Vornic.SpecValidator.1");
    EXPECT_EQ(outcome.lastError, "") << "input errors leave lastError empty";
    EXPECT_EQ(Check(u"1", u"Range: 1e999..5").errorDescription,
              "Invalid entry Spec '1e999..5': Wrong number '1e999..5'.");
}

TEST_F(ValidatorTest, PatternsKeepTheirQuantifiersAndQuotes) {
    EXPECT_TRUE(Valid(u"ABC", u"pattern:[A-Z]{3}"));
    EXPECT_FALSE(Valid(u"AB", u"pattern:[A-Z]{3}"));
    EXPECT_FALSE(Valid(u"ABCD", u"pattern:[A-Z]{3}"));
    EXPECT_TRUE(Valid(u"12-345", u"PATTERN:\\d{2,}-\\d{1,3} {part number}"));
    EXPECT_FALSE(Valid(u"1-345", u"PATTERN:\\d{2,}-\\d{1,3} {part number}"));
    EXPECT_EQ(Check(u"A", u"pattern:[A-Z]{3}").lastError,
              "Value 'A' is not valid according to the Spec 'pattern:[A-Z]{3}'.");
    EXPECT_TRUE(Valid(u"it's", u"pattern:it's"));
    EXPECT_FALSE(Valid(u"it", u"pattern:it's"));
    EXPECT_TRUE(Valid(u"say \"hi\"", u"pattern:say \"[a-z]+\""));
    EXPECT_FALSE(Valid(u"3", u"pattern:1..5")); // a pattern, whatever it looks like
}

TEST_F(ValidatorTest, SchemaAttributeTexts) {
    EXPECT_TRUE(Valid(u"3", u"schema:type=int minInclusive='3'"));
    EXPECT_FALSE(Valid(u"2", u"schema:type=int minInclusive='3'"));
    EXPECT_FALSE(Valid(u"6", u"type=int maxInclusive=5 {max}"));
    EXPECT_TRUE(Valid(u"HI", u"SCHEMA:type=string name=Level enumeration=LO enumeration=HI"));
    EXPECT_FALSE(Valid(u"MID", u"schema:type=string name=Level enumeration=LO enumeration=HI"));
    EXPECT_TRUE(Valid(u"1", u"schema:type=int fixed=10")); // attributes of the element take no part
    EXPECT_TRUE(Valid(u"", u"schema:type=int"));
}

// A read that gave nothing (empty or no value at all) is within no bounds, though the schema check alone
// would let an empty text pass; a specification that only informs still takes it.
TEST_F(ValidatorTest, MissingOrEmptyValueFailsEveryBound) {
    for (const Value& value : {Value(u""), Value()}) {
        for (const char16_t* spec :
             {u"[4.95..5.05] {5 V rail}", u"3.3+-0.05", u"..5]", u"5", u"schema:type=int minInclusive='3'"}) {
            Outcome outcome = Check(value, spec);
            EXPECT_EQ(outcome.hr, S_OK) << U8(spec) << ": " << outcome.errorDescription;
            EXPECT_EQ(outcome.valid, false) << U8(spec);
            EXPECT_EQ(outcome.lastError, "Value '' is not valid according to the Spec '" + U8(spec) + "'.");
        }
        EXPECT_TRUE(Valid(value, u"{any value}"));
        EXPECT_TRUE(Valid(value, u""));
    }
}

TEST_F(ValidatorTest, SchemaThatCannotBeUsedFailsWithItsReason) {
    Outcome outcome = Check(u"1", u"schema:type=double length=3");
    EXPECT_TRUE(FAILED(outcome.hr));
    EXPECT_EQ(outcome.valid, false);
    EXPECT_EQ(outcome.lastError.rfind("Value '1', Spec 'schema:type=double length=3': '", 0), 0u)
        << outcome.lastError;
    EXPECT_NE(outcome.lastError.find("'length'"), std::string::npos) << outcome.lastError;
    EXPECT_EQ(outcome.errorDescription, outcome.lastError);

    outcome = Check(u"1", u"schema:minInclusive=1"); // no type: no element
    EXPECT_EQ(outcome.hr, E_FAIL);
    EXPECT_EQ(outcome.valid, std::nullopt);
    EXPECT_EQ(outcome.errorDescription, "Vornic Error: A208 (SpecValidator.cpp)");
    // A prefix the schema does not know keeps the text from becoming a schema: the value is not valid.
    outcome = Check(u"1", u"schema:type=int foo:x=1");
    EXPECT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.valid, false);
}

} // namespace
} // namespace limitortest
