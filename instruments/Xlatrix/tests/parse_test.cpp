// Parsing: candidate lengths, fixed texts, parse entry values, occurrences, the returned values, the match
// records and the split of a failed answer.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

namespace {

using xltest::Element;
using xltest::Key;
using xltest::LoadTypes;
using xltest::Returned;
using xltest::Sequence;

using Values = std::vector<std::string>;

class XlatrixParse : public ::testing::Test {
protected:
    void Load(const std::string& components) {
        ASSERT_TRUE(LoadTypes(xlatrix, components)) << xlatrix.strErrorText;
    }
    bool Parse(const char* type, const char* text) { return xltest::ParseFresh(xlatrix, type, text); }
    CXlatrix xlatrix{false};
};

TEST_F(XlatrixParse, ValueGrowsUntilTheFixedTextFollows) {
    Load(Sequence("R",
                  Element("v", "xsd:decimal") + Key("_strKey1", "V") + Key("_strTermString", "&#13;&#10;")));
    ASSERT_TRUE(Parse("R", "12.5V\r\n")) << xlatrix.strErrorText;
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"12.5"});
    // Structural names are never returned.
    ASSERT_EQ(xlatrix.arrReturnedParamValues.size(), 1u);
    EXPECT_EQ(xlatrix.arrReturnedParamValues[0].type, SOMITEM_DATATYPE_DECIMAL);
    EXPECT_EQ(xlatrix.arrReturnedParamValues[0].strTypeName, "decimal");
    EXPECT_EQ(xlatrix.GetNumberOfElements("v"), 1);
    EXPECT_EQ(xlatrix.GetNumberOfElements("_strKey1"), 1);
    EXPECT_EQ(xlatrix.GetNumberOfElements("w"), 0);
    EXPECT_EQ(xlatrix.GetParseFailurePosition(), -1);
}

TEST_F(XlatrixParse, MatchRecordsGivePositions) {
    Load(Sequence("R",
                  Element("v", "xsd:decimal") + Key("_strKey1", "V") + Key("_strTermString", "&#13;&#10;")));
    ASSERT_TRUE(Parse("R", "12.5V\r\n"));
    CXlatrix::MatchRecord record;
    ASSERT_TRUE(xlatrix.FindMatchRecord("v", 0, &record));
    EXPECT_EQ(record.nBegin, 0);
    EXPECT_EQ(record.nEnd, 4);
    EXPECT_EQ(record.strValue, "12.5");
    ASSERT_TRUE(xlatrix.FindMatchRecord("_strKey1", 0, &record));
    EXPECT_EQ(record.nBegin, 4);
    EXPECT_EQ(record.nEnd, 5);
    ASSERT_TRUE(xlatrix.FindMatchRecord("_strTermString", 0, &record));
    EXPECT_EQ(record.nBegin, 5);
    EXPECT_EQ(record.nEnd, 7);
    EXPECT_FALSE(xlatrix.FindMatchRecord("v", 1, &record));
    EXPECT_EQ(xlatrix.GetMatchRecords().size(), 3u);
}

TEST_F(XlatrixParse, OtherBaseComesBackDecimal) {
    Load(Sequence("H", Element("v", "xsd:int", "vra:base='16'")) +
         Sequence("B", Element("v", "xsd:unsignedByte", "vra:base='2'") + Key("_strKey1", ";")));
    ASSERT_TRUE(Parse("H", "1F")) << xlatrix.strErrorText;
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"31"});
    ASSERT_TRUE(Parse("B", "11111111;"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"255"});
    EXPECT_FALSE(Parse("B", "111111111;")); // 511: no unsignedByte
    EXPECT_FALSE(Parse("B", "12;"));
}

TEST_F(XlatrixParse, BaseNeedsANumericTypeInRange) {
    Load(Sequence("S", Element("s", "xsd:string", "vra:base='16'")) +
         Sequence("W", Element("v", "xsd:int", "vra:base='40'") + Key("_strKey1", "!")) +
         Sequence("F", Key("_strKey1", "A") + Element("v", "xsd:int", "vra:format='%d'")));
    EXPECT_FALSE(Parse("S", "1F"));
    EXPECT_EQ(xlatrix.strErrorText,
              "Schema Element 'S:s': The 'base' attribute has a wrong value of '16'.\n");
    EXPECT_FALSE(Parse("W", "12!"));
    EXPECT_EQ(xlatrix.strErrorText,
              "Schema Element 'W:v': The 'base' attribute has a wrong value of '40'.\n");
    EXPECT_FALSE(Parse("F", "A12"));
    EXPECT_EQ(xlatrix.strErrorText,
              "Schema Element 'F:v': The 'format' attribute is used in the wrong context.\n");
}

TEST_F(XlatrixParse, ParseEntryValueStandsForTheFixedText) {
    Load(Sequence("K", Key("_strKey1", "CH1:") + Element("v", "xsd:int")));
    ASSERT_TRUE(Parse("K", "CH1:5"));
    xlatrix.AddParseEntryParamValue(SOMITEM_DATATYPE_STRING, "string", "_strKey1", "CH2:");
    EXPECT_FALSE(Parse("K", "CH1:5"));
    ASSERT_TRUE(Parse("K", "CH2:5"));
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"5"});
    // An empty expected text matches nothing, also longest first (no value is ever empty).
    xlatrix.RemoveAllParseEntryParamValues();
    xlatrix.AddParseEntryParamValue(SOMITEM_DATATYPE_STRING, "string", "_strKey1", "");
    xlatrix.bLongestValueByDefault = true;
    EXPECT_FALSE(Parse("K", "5"));
    EXPECT_TRUE(xlatrix.GetMatchRecords().empty());
}

TEST_F(XlatrixParse, ParseEntryValueSelectsTheCandidate) {
    Load(Sequence("N", Element("a", "xsd:decimal") + Element("b", "xsd:decimal")) +
         Sequence("S", Element("a", "xsd:string") + Element("b", "xsd:string")));
    ASSERT_TRUE(Parse("N", "1234"));
    EXPECT_EQ(Returned(xlatrix, "a"), Values{"1"});
    // Numerically equal is enough for numeric types ("12" equals "12.00").
    xlatrix.AddParseEntryParamValue(SOMITEM_DATATYPE_DECIMAL, "decimal", "a", "12.00");
    ASSERT_TRUE(Parse("N", "1234"));
    EXPECT_EQ(Returned(xlatrix, "a"), Values{"12"});
    EXPECT_EQ(Returned(xlatrix, "b"), Values{"34"});
    EXPECT_FALSE(Parse("N", "1334"));
    xlatrix.RemoveAllParseEntryParamValues();
    xlatrix.AddParseEntryParamValue(SOMITEM_DATATYPE_STRING, "string", "b", "cd");
    ASSERT_TRUE(Parse("S", "abcd"));
    EXPECT_EQ(Returned(xlatrix, "a"), Values{"ab"});
}

TEST_F(XlatrixParse, LeftoverTextMakesTheLastElementsLonger) {
    // Shortest first, the first pass ends after "1"; the next ones lengthen the value to the end.
    Load(Sequence("T", Key("_strKey1", "N=") + Element("n", "xsd:int")));
    ASSERT_TRUE(Parse("T", "N=12345"));
    EXPECT_EQ(Returned(xlatrix, "n"), Values{"12345"});
    // No reading consumes a trailing "x": the parse gives up.
    EXPECT_FALSE(Parse("T", "N=123x"));
    EXPECT_EQ(xlatrix.strErrorText, ""); // a mismatch is no error
    EXPECT_EQ(xlatrix.strParsedText, "N=123");
    EXPECT_EQ(xlatrix.strUnparsedText, "x");
    EXPECT_EQ(xlatrix.GetParseFailurePosition(), 5);
}

TEST_F(XlatrixParse, LongestFirstByElementOrByDefault) {
    Load(
        Sequence("L", Element("a", "xsd:string", "vra:parsing='LongestValue'") + Element("b", "xsd:string")) +
        Sequence("S",
                 Element("a", "xsd:string", "vra:parsing='ShortestValue'") + Element("b", "xsd:string")) +
        Sequence("D", Element("a", "xsd:string") + Element("b", "xsd:string")));
    ASSERT_TRUE(Parse("L", "abcd"));
    EXPECT_EQ(Returned(xlatrix, "a"), Values{"abc"});
    ASSERT_TRUE(Parse("S", "abcd"));
    EXPECT_EQ(Returned(xlatrix, "a"), Values{"a"});
    xlatrix.bLongestValueByDefault = true;
    ASSERT_TRUE(Parse("D", "abcd"));
    EXPECT_EQ(Returned(xlatrix, "a"), Values{"abc"});
    // The setting wins over an element that asks for the shortest value.
    ASSERT_TRUE(Parse("S", "abcd"));
    EXPECT_EQ(Returned(xlatrix, "a"), Values{"abc"});
}

TEST_F(XlatrixParse, UnboundedValueRepeatsWhileItMatches) {
    Load(Sequence("U", Key("_strKey1", "#") + Element("w", "xsd:hexBinary", "maxOccurs='unbounded'") +
                           Key("_strTermString", ";")));
    ASSERT_TRUE(Parse("U", "#0A0B0C;")) << xlatrix.strErrorText;
    // Shortest first, every value is one byte: the repetition takes as many as it can.
    EXPECT_EQ(Returned(xlatrix, "w"), (Values{"0A", "0B", "0C"}));
    EXPECT_EQ(xlatrix.GetNumberOfElements("w"), 3);
    CXlatrix::MatchRecord record;
    ASSERT_TRUE(xlatrix.FindMatchRecord("w", 2, &record));
    EXPECT_EQ(record.nBegin, 5);
    EXPECT_EQ(record.nEnd, 7);
}

TEST_F(XlatrixParse, ReturnedValuesAccumulateUntilTaken) {
    Load(Sequence("T", Element("v", "xsd:int") + Key("_strKey1", ";")));
    ASSERT_TRUE(xlatrix.Parse("T", "1;"));
    ASSERT_TRUE(xlatrix.Parse("T", "2;"));
    // The second parse's value stands at the same index.
    EXPECT_EQ(Returned(xlatrix, "v"), Values{"2"});
    std::string name = "v";
    std::string value;
    EXPECT_TRUE(xlatrix.GetReturnedParamValue(name, nullptr, nullptr, &value, 0, true));
    EXPECT_EQ(value, "2");
    EXPECT_FALSE(xlatrix.GetReturnedParamValue(name, nullptr, nullptr, &value, 0, true));
}

TEST_F(XlatrixParse, ValuesAreTrimmedByTheirType) {
    Load(Sequence("T", Element("n", "xsd:int") + Key("_strKey1", ",") + Element("s", "xsd:string") +
                           Key("_strKey2", ";")));
    ASSERT_TRUE(Parse("T", " 7 ,  x ;"));
    EXPECT_EQ(Returned(xlatrix, "n"), Values{"7"});
    EXPECT_EQ(Returned(xlatrix, "s"), Values{"x"});
    xlatrix.bTrimValues = false;
    ASSERT_TRUE(Parse("T", " 7 ,  x ;"));
    EXPECT_EQ(Returned(xlatrix, "n"), Values{"7"});
    EXPECT_EQ(Returned(xlatrix, "s"), Values{"  x "});
}

TEST_F(XlatrixParse, PatternPrefixAndTailFrameCandidates) {
    Load("<xsd:complexType name='P'><xsd:sequence><xsd:element name='id'><xsd:simpleType>"
         "<xsd:restriction base='xsd:string'><xsd:pattern value='ID[0-9A-F]+;'/></xsd:restriction>"
         "</xsd:simpleType></xsd:element>" +
         Element("rest", "xsd:string") + "</xsd:sequence></xsd:complexType>");
    ASSERT_TRUE(Parse("P", "ID12;ID34;tail"));
    EXPECT_EQ(Returned(xlatrix, "id"), Values{"ID12;"});
    EXPECT_EQ(Returned(xlatrix, "rest"), Values{"ID34;tail"});
    EXPECT_FALSE(Parse("P", "XD12;tail"));
}

TEST_F(XlatrixParse, SimpleTypeOnItsOwnAndEmptyAnswers) {
    Load("<xsd:simpleType name='Code'><xsd:restriction base='xsd:int'><xsd:maxInclusive value='99'/>"
         "</xsd:restriction></xsd:simpleType>" +
         Sequence("Opt", Element("v", "xsd:int", "minOccurs='0'")) +
         "<xsd:complexType name='Text'><xsd:simpleContent><xsd:extension "
         "base='xsd:string'/></xsd:simpleContent>"
         "</xsd:complexType>");
    ASSERT_TRUE(Parse("Code", "42"));
    EXPECT_EQ(Returned(xlatrix, "Code"), Values{"42"}); // named by the type without an element
    EXPECT_FALSE(Parse("Code", "420"));
    EXPECT_TRUE(Parse("Opt", ""));
    EXPECT_TRUE(xlatrix.arrReturnedParamValues.empty());
    EXPECT_FALSE(Parse("Opt", "x"));
    EXPECT_FALSE(Parse("Text", "abc"));
    EXPECT_EQ(xlatrix.strErrorText, "CXlatrix::ParseISchemaComplexType(): Unexpected contentType = "
                                    "'SCHEMACONTENTTYPE_TEXTONLY'.\n");
}

TEST_F(XlatrixParse, UnsupportedParticlesAreReported) {
    Load(Sequence("Any", Key("_strKey1", "A") + "<xsd:any processContents='skip'/>") +
         "<xsd:complexType name='Choice'><xsd:choice><xsd:element name='a' type='xsd:int'/>"
         "<xsd:element name='b' type='xsd:string'/></xsd:choice></xsd:complexType>");
    EXPECT_FALSE(Parse("Any", "AB"));
    EXPECT_EQ(xlatrix.strErrorText, "CXlatrix::ParseISchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for "
                                    "'/Any/group[0]/item[1]'.\n");
    EXPECT_FALSE(Parse("Choice", "1"));
    EXPECT_EQ(xlatrix.strErrorText,
              "CXlatrix::ParseISchemaModelGroup(): Unexpected itemType = 'SOMITEM_CHOICE'.\n");
}

TEST_F(XlatrixParse, FailureSplitsTheAnswerAtTheFurthestMatch) {
    Load(Sequence("R",
                  Element("v", "xsd:decimal") + Key("_strKey1", "V") + Key("_strTermString", "&#13;&#10;")));
    EXPECT_FALSE(Parse("R", "12.5A\r\n"));
    EXPECT_EQ(xlatrix.strParsedText, "12.5");
    EXPECT_EQ(xlatrix.strUnparsedText, "A\r\n");
    EXPECT_EQ(xlatrix.GetParseFailurePosition(), 4);
    EXPECT_TRUE(xlatrix.arrReturnedParamValues.empty());
    EXPECT_FALSE(Parse("R", "V\r\n"));
    EXPECT_EQ(xlatrix.strParsedText, "");
    EXPECT_EQ(xlatrix.GetParseFailurePosition(), 0);
    // A later success clears the split.
    EXPECT_TRUE(Parse("R", "1V\r\n"));
    EXPECT_EQ(xlatrix.strParsedText, "");
    EXPECT_EQ(xlatrix.strUnparsedText, "");
    EXPECT_EQ(xlatrix.GetParseFailurePosition(), -1);
}

TEST_F(XlatrixParse, LatinOneBytesCountAsOneCharacter) {
    Load(Sequence("T", Element("t", "xsd:decimal") + Key("_strKey1", "\xC2\xB0"
                                                                     "C")));
    // "°" is one byte of the answer (0xB0), as the instrument sends it.
    ASSERT_TRUE(Parse("T", "21.5\xB0"
                           "C"));
    EXPECT_EQ(Returned(xlatrix, "t"), Values{"21.5"});
    CXlatrix::MatchRecord record;
    ASSERT_TRUE(xlatrix.FindMatchRecord("_strKey1", 0, &record));
    EXPECT_EQ(record.nEnd - record.nBegin, 2);
    EXPECT_EQ(record.strValue, "\xB0"
                               "C");
}

} // namespace
