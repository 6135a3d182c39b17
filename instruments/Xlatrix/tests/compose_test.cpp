// Composing: values, fixed texts and defaults in document order, occurrences, checked formats, failures.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include <gtest/gtest.h>

namespace {

using xltest::Key;
using xltest::LoadTypes;
using xltest::Probe;
using xltest::Sequence;

class XlatrixCompose : public ::testing::Test {
protected:
    void Load(const std::string& components) {
        ASSERT_TRUE(LoadTypes(xlatrix, components)) << xlatrix.strErrorText;
    }
    void Value(const char* name, const char* value) {
        xlatrix.AddComposeEntryParamValue(SOMITEM_NULL, "", name, value);
    }
    // Composes into a fresh string; the error text on failure.
    std::string Composed(const char* type) {
        std::string out;
        return xlatrix.Compose(type, out) ? out : "failed: " + xlatrix.strErrorText;
    }
    Probe xlatrix;
};

TEST_F(XlatrixCompose, FixedKeyAndFormattedValue) {
    Load(Sequence("F",
                  Key("_strKey1", "VOLT ") + "<xsd:element name='v' type='xsd:double' vra:format='%.3f'/>") +
         Sequence("D",
                  Key("_strKey1", "VOLT ") + "<xsd:element name='v' type='xsd:double' vra:format='%d'/>"));
    Value("v", "1.5");
    EXPECT_EQ(Composed("F"), "VOLT 1.500");
    Value("v", "1.9");
    EXPECT_EQ(Composed("D"), "VOLT 1");
    Value("v", "-1.9");
    EXPECT_EQ(Composed("D"), "VOLT -1");
}

TEST_F(XlatrixCompose, MissingValueFailsOnlyWhenRequired) {
    Load(Sequence("Req", Key("_strKey1", "SET ") + "<xsd:element name='v' type='xsd:int'/>") +
         Sequence("Opt", Key("_strKey1", "SET") + "<xsd:element name='v' type='xsd:int' minOccurs='0'/>" +
                             Key("_strKey2", ";")));
    EXPECT_EQ(Composed("Req"), "failed: Not enough Entry Parameters.\n");
    EXPECT_EQ(Composed("Opt"), "SET;");
    Value("v", "4");
    EXPECT_EQ(Composed("Opt"), "SET4;");
}

TEST_F(XlatrixCompose, RepeatedElementTakesOneValueEach) {
    Load(Sequence("R", Key("_strKey1", "CH") + "<xsd:element name='c' type='xsd:int' maxOccurs='3'/>"));
    Value("c", "1");
    Value("c", "2");
    EXPECT_EQ(Composed("R"), "CH12");
    EXPECT_EQ(xlatrix.GetNumberOfParamValues(xlatrix.arrComposeEntryParamValues, "c"), 0); // consumed
    for (const char* v : {"1", "2", "3", "4"}) {
        Value("c", v);
    }
    EXPECT_EQ(Composed("R"), "CH123");
    EXPECT_EQ(xlatrix.GetNumberOfParamValues(xlatrix.arrComposeEntryParamValues, "c"), 1); // the fourth stays
}

TEST_F(XlatrixCompose, FixedBeatsValueAndDefaultFillsIn) {
    Load(Sequence("T", "<xsd:element name='k' type='xsd:string' fixed='K'/>" +
                           std::string("<xsd:element name='d' type='xsd:int' default='5' maxOccurs='2'/>")));
    Value("k", "ignored");
    EXPECT_EQ(Composed("T"), "K55");
    EXPECT_EQ(xlatrix.GetNumberOfParamValues(xlatrix.arrComposeEntryParamValues, "k"), 1);
    Value("d", "7");
    EXPECT_EQ(Composed("T"), "K75");
}

TEST_F(XlatrixCompose, DefaultWithUnboundedRepetitionIsRefused) {
    Load(Sequence("T", "<xsd:element name='d' type='xsd:int' default='5' maxOccurs='unbounded'/>"));
    EXPECT_EQ(Composed("T"),
              "failed: Schema Element 'T:d': The \"default\" attribute can't be used together with "
              "\"maxOccurs='unbounded'\".\n");
}

TEST_F(XlatrixCompose, UnboundedRepetitionOfFixedTextEnds) {
    // Fixed text alone takes no value: repeating it for ever would never end the command.
    Load(Sequence(
        "T",
        "<xsd:element name='_strKey1' type='xsd:string' fixed='X' maxOccurs='unbounded' minOccurs='2'/>" +
            std::string("<xsd:sequence maxOccurs='unbounded'>") + Key("_strKey2", "Y") + "</xsd:sequence>"));
    EXPECT_EQ(Composed("T"), "XXY");
}

TEST_F(XlatrixCompose, IncompleteRepetitionLeavesNoText) {
    Load(Sequence("L", Key("_strKey1", "LIST ") + "<xsd:element name='s' type='xsd:decimal'/>" +
                           "<xsd:sequence minOccurs='0' maxOccurs='unbounded'>" + Key("_strKey2", ",") +
                           "<xsd:element name='s' type='xsd:decimal'/></xsd:sequence>" +
                           Key("_strKey3", ";")));
    Value("s", "1.0");
    Value("s", "2.5");
    Value("s", "5");
    EXPECT_EQ(Composed("L"), "LIST 1.0,2.5,5;");
    Value("s", "7");
    EXPECT_EQ(Composed("L"), "LIST 7;");
}

TEST_F(XlatrixCompose, FormatConversionDecidesTheKind) {
    Load(
        "<xsd:simpleType name='Anything'><xsd:union memberTypes='xsd:decimal xsd:string'/></xsd:simpleType>" +
        Sequence("Volt", "<xsd:element name='v' type='Anything' vra:format='%.3f Volt'/>") +
        Sequence("Pct", "<xsd:element name='v' type='xsd:string' vra:format='%%%s'/>") +
        Sequence("Chr", "<xsd:element name='v' type='xsd:int' vra:format='%c'/>") +
        Sequence("Hex", "<xsd:element name='v' type='xsd:hexBinary' vra:format='%08X'/>"));
    // The letters of "Volt" do not make the conversion an integer one.
    Value("v", "1.5");
    EXPECT_EQ(Composed("Volt"), "1.500 Volt");
    Value("v", "abc");
    EXPECT_EQ(Composed("Pct"), "%abc");
    // Unsigned conversions take the whole 32-bit range.
    Value("v", "4294967295");
    EXPECT_EQ(Composed("Hex"), "FFFFFFFF");
    Value("v", "0x1F");
    EXPECT_EQ(Composed("Hex"), "0000001F");
}

TEST_F(XlatrixCompose, FormatsThatDoNotFitAreRefused) {
    const char* formats[] = {"%s", "%d %d", "no conversion", "%n", "%*d", "%lld", "%p", "%.2f%"};
    std::string types;
    int i = 0;
    for (const char* format : formats) {
        types += Sequence("N" + std::to_string(i++), "<xsd:element name='v' type='xsd:double' vra:format='" +
                                                         std::string(format) + "'/>");
    }
    types += Sequence("S", "<xsd:element name='v' type='xsd:string' vra:format='%d'/>");
    Load(types);
    for (int n = 0; n < i; ++n) {
        Value("v", "1");
        std::string result = Composed(("N" + std::to_string(n)).c_str());
        EXPECT_NE(result.find("it must hold exactly one conversion that fits the value"), std::string::npos)
            << formats[n] << " -> " << result;
        xlatrix.RemoveAllComposeEntryParamValues();
    }
    Value("v", "12");
    EXPECT_EQ(Composed("S"),
              "failed: Schema Element 'S:v': The format '%d' can't be used for the entry value '12': it "
              "must hold exactly one conversion that fits the value.\n");
}

TEST_F(XlatrixCompose, ValuesMustBeNumbersAndValid) {
    Load(Sequence("N", "<xsd:element name='v' type='xsd:int' vra:format='%d'/>") +
         Sequence("P", "<xsd:element name='v' type='xsd:int'/>"));
    Value("v", "twelve");
    EXPECT_EQ(Composed("N"),
              "failed: Schema Element 'N:v': The entry value 'twelve' can't be converted to a number in "
              "the specifed schema's context.\n");
    xlatrix.RemoveAllComposeEntryParamValues();
    Value("v", "3e9"); // no 32-bit integer
    EXPECT_NE(Composed("N").find("can't be converted to a number"), std::string::npos);
    xlatrix.RemoveAllComposeEntryParamValues();
    Value("v", "1.5");
    EXPECT_EQ(Composed("P"),
              "failed: Schema Element 'P:v': The entry value '1.5' isn't valid according to the "
              "Schema.\n");
}

TEST_F(XlatrixCompose, AnnotationsOfParsingAreWrongWhenComposing) {
    Load(Sequence("B", "<xsd:element name='v' type='xsd:int' vra:base='16'/>") +
         Sequence("L", "<xsd:element name='v' type='xsd:int' vra:parsing='LongestValue'/>"));
    Value("v", "1");
    EXPECT_EQ(Composed("B"),
              "failed: Schema Element 'B:v': The 'base' attribute is used in the wrong context.\n");
    EXPECT_EQ(Composed("L"),
              "failed: Schema Element 'L:v': The 'parsing' attribute is used in the wrong context.\n");
}

TEST_F(XlatrixCompose, NestedComplexTypesAndUnsupportedGroups) {
    Load("<xsd:complexType name='Pair'><xsd:sequence><xsd:element name='a' type='xsd:int'/>" +
         Key("_strKey1", "/") + "<xsd:element name='b' type='xsd:int'/></xsd:sequence></xsd:complexType>" +
         Sequence("Outer", Key("_strKey1", "P ") + "<xsd:element name='pair' type='Pair' maxOccurs='2'/>") +
         "<xsd:complexType name='Choice'><xsd:choice><xsd:element name='a' type='xsd:int'/>"
         "<xsd:element name='b' type='xsd:string'/></xsd:choice></xsd:complexType>" +
         Sequence("Any", Key("_strKey1", "A") + "<xsd:any processContents='skip'/>") +
         "<xsd:complexType name='Text'><xsd:simpleContent><xsd:extension "
         "base='xsd:string'/></xsd:simpleContent>"
         "</xsd:complexType>" +
         "<xsd:simpleType name='Simple'><xsd:restriction base='xsd:string'/></xsd:simpleType>");
    for (const char* v : {"1", "2", "3", "4"}) {
        Value(v[0] == '1' || v[0] == '3' ? "a" : "b", v);
    }
    EXPECT_EQ(Composed("Outer"), "P 1/23/4");
    EXPECT_EQ(Composed("Choice"), "failed: CXlatrix::ComposeISchemaModelGroup(): Unexpected itemType = "
                                  "'SOMITEM_CHOICE'.\n");
    EXPECT_EQ(Composed("Any"),
              "failed: CXlatrix::ComposeISchemaModelGroup(): itemType == MSXML2::SOMITEM_ANY for "
              "'/Any/group[0]/item[1]'.\n");
    EXPECT_EQ(Composed("Text"), "failed: CXlatrix::ComposeISchemaComplexType(): Unexpected contentType = "
                                "'SCHEMACONTENTTYPE_TEXTONLY'.\n");
    // A simple type on its own composes its (empty) value.
    EXPECT_EQ(Composed("Simple"), "");
}

TEST_F(XlatrixCompose, FailureLeavesTheCallersTextAlone) {
    Load(Sequence("T", Key("_strKey1", "A") + "<xsd:element name='v' type='xsd:int'/>"));
    std::string out = "kept";
    EXPECT_FALSE(xlatrix.Compose("T", out));
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(xlatrix.strErrorText, "Not enough Entry Parameters.\n");
    // The next Compose starts with a clean error text.
    Value("v", "1");
    EXPECT_TRUE(xlatrix.Compose("T", out));
    EXPECT_EQ(xlatrix.strErrorText, "");
    EXPECT_EQ(out, "keptA1");
}

} // namespace
