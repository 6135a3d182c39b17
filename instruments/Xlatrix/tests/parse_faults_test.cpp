// Parsing where a careless matcher goes wrong: repeated groups that must take every value whole, the numeric
// look-ahead, numbers in other bases, and content models that could keep a matcher busy for ever.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using xltest::Element;
using xltest::Key;
using xltest::LoadTypes;
using xltest::Returned;
using xltest::Sequence;

using Values = std::vector<std::string>;

// "a value, then a separator and a value, repeated", with or without a terminator after it.
std::string ListType(const std::string& name, const std::string& type, const std::string& terminator) {
    return Sequence(name, Element("v", type) + "<xsd:sequence minOccurs='0' maxOccurs='unbounded'>" +
                              Key("_strKey1", ",") + Element("v", type) + "</xsd:sequence>" + terminator);
}

class XlatrixParseFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoadTypes(
            xlatrix,
            ListType("Open", "xsd:int", "") +
                ListType("Closed", "xsd:double", Key("_strTermString", "&#10;")) +
                Sequence("Unit", Element("v", "xsd:double") + Key("_strKey1", "eV")) +
                Sequence("Hex", Element("v", "xsd:unsignedInt", "vra:base='16'") + Key("_strKey1", ";")) +
                Sequence("Long", Element("v", "xsd:unsignedLong", "vra:base='16'"))))
            << xlatrix.strErrorText;
    }
    bool Parse(const char* type, const char* text) { return xltest::ParseFresh(xlatrix, type, text); }
    CXlatrix xlatrix{false};
};

TEST_F(XlatrixParseFaults, RepeatedGroupTakesEveryValueWhole) {
    for (bool lookAhead : {false, true}) {
        for (bool longest : {false, true}) {
            xlatrix.bNumericLookAhead = lookAhead;
            xlatrix.bLongestValueByDefault = longest;
            SCOPED_TRACE(testing::Message() << "look-ahead " << lookAhead << ", longest " << longest);
            ASSERT_TRUE(Parse("Open", "10,20,30")) << xlatrix.strErrorText;
            EXPECT_EQ(Returned(xlatrix, "v"), (Values{"10", "20", "30"}));
            ASSERT_TRUE(Parse("Closed", "1.5,-2,3e2,40\n")) << xlatrix.strErrorText;
            EXPECT_EQ(Returned(xlatrix, "v"), (Values{"1.5", "-2", "3e2", "40"}));
            ASSERT_TRUE(Parse("Open", "7"));
            EXPECT_EQ(Returned(xlatrix, "v"), Values{"7"});
            EXPECT_FALSE(Parse("Open", "10,20,"));
            EXPECT_EQ(xlatrix.strParsedText, "10,20,");
            EXPECT_FALSE(Parse("Open", "10,,30"));
        }
    }
}

TEST_F(XlatrixParseFaults, LookAheadTakesTheLongestNumber) {
    xlatrix.bNumericLookAhead = true;
    // Up to the end of the answer, too.
    ASSERT_TRUE(Parse("Open", "123"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"123"});
    CXlatrix::MatchRecord record;
    ASSERT_TRUE(xlatrix.FindMatchRecord("v", 0, &record));
    EXPECT_EQ(record.nEnd, 3);
    // An exponent mark may still complete a number; "1e" never does, and the matcher goes back to "1" once.
    ASSERT_TRUE(Parse("Unit", "1eV"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"1"});
    ASSERT_TRUE(Parse("Unit", "1e+5eV"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"1e+5"});
    EXPECT_FALSE(Parse("Unit", "1e+eV"));
}

TEST_F(XlatrixParseFaults, LookAheadWithAnExpectedValueEnds) {
    xlatrix.bNumericLookAhead = true;
    xlatrix.AddParseEntryParamValue(SOMITEM_DATATYPE_DOUBLE, "double", "v", "12");
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Parse("Unit", "1e2+eV"));
    EXPECT_FALSE(Parse("Unit", "123eV"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_TRUE(Parse("Unit", "12eV"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"12"});
}

TEST_F(XlatrixParseFaults, HexValuesKeepAllTheirDigits) {
    ASSERT_TRUE(Parse("Hex", "12345678;"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"305419896"});
    ASSERT_TRUE(Parse("Hex", "FFFFFFFF;"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"4294967295"});
    EXPECT_FALSE(Parse("Hex", "100000000;")); // beyond unsignedInt
    ASSERT_TRUE(Parse("Long", "FFFFFFFFFFFFFFFF"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"18446744073709551615"});
    ASSERT_TRUE(Parse("Long", "7fffffffffffffff"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"9223372036854775807"});
}

TEST(XlatrixParseBounds, OccurrencesThatMatchNothingEnd) {
    CXlatrix xlatrix(false);
    ASSERT_TRUE(
        LoadTypes(xlatrix, Sequence("Empty", "<xsd:sequence minOccurs='0' maxOccurs='unbounded'>" +
                                                 Element("a", "xsd:int", "minOccurs='0'") +
                                                 Element("b", "xsd:string", "minOccurs='0' fixed='B'") +
                                                 "</xsd:sequence>") +
                               Sequence("Needed", "<xsd:sequence minOccurs='3' maxOccurs='unbounded'>" +
                                                      Element("a", "xsd:int", "minOccurs='0'") +
                                                      "</xsd:sequence>" + Key("_strKey1", ";"))))
        << xlatrix.strErrorText;
    EXPECT_TRUE(xlatrix.Parse("Empty", ""));
    EXPECT_TRUE(xlatrix.Parse("Empty", "1B2BB"));
    EXPECT_FALSE(xlatrix.Parse("Empty", "1Bx"));
    EXPECT_EQ(xlatrix.strParsedText, "1B");
    // Empty occurrences count as far as minOccurs asks for them.
    EXPECT_TRUE(xlatrix.Parse("Needed", ";"));
    EXPECT_TRUE(xlatrix.Parse("Needed", "12;"));
}

TEST(XlatrixParseBounds, ExponentialBacktrackingStopsAtTheStepLimit) {
    // Three unbounded runs of "a" and then "b": an answer without "b" has very many splits to try.
    std::string runs;
    for (const char* name : {"a1", "a2", "a3"}) {
        runs += "<xsd:sequence>" + Element(name, "ARun", "maxOccurs='unbounded'") + "</xsd:sequence>";
    }
    CXlatrix xlatrix(false);
    ASSERT_TRUE(LoadTypes(xlatrix, "<xsd:simpleType name='ARun'><xsd:restriction base='xsd:string'>"
                                   "<xsd:pattern value='a+'/></xsd:restriction></xsd:simpleType>" +
                                       Sequence("Runs", runs + Key("_strKey1", "b"))))
        << xlatrix.strErrorText;
    EXPECT_TRUE(xlatrix.Parse("Runs", "aaab"));
    std::string answer(60, 'a');
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(xlatrix.Parse("Runs", answer.c_str()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_NE(xlatrix.strErrorText.find("matching steps; parsing stopped."), std::string::npos)
        << xlatrix.strErrorText;
}

} // namespace
