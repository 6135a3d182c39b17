// Complex types from nested sequences: the insertion point, occurrence bounds, comments, unbalanced ends and
// calls without a complex type.
#include "common/schemafactory/tests/XMLSchemaFactoryTestSupport.h"

namespace schemafactorytest {
namespace {

class ComplexTypeTest : public SchemaFactoryTest {
protected:
    Node Begin(const OLECHAR* name, const OLECHAR* qualifier = u"xsd") {
        Node type;
        EXPECT_EQ(factory_.CTBeginComplexType(&type, name, qualifier), S_OK);
        return type;
    }
};

TEST_F(ComplexTypeTest, MessageTypeWithNestedSequences) {
    Node nX = Build(u"int", u"nX", u"fixed=10");
    Node dX = Build(u"double", u"dX", u"maxInclusive=17.0");
    Node msgWL = Begin(u"msgWL");
    EXPECT_FALSE(msgWL.parentNode());
    ASSERT_EQ(factory_.AddElement(u"This is comment..."), S_OK);
    ASSERT_EQ(factory_.CTBeginSequence(1, 1), S_OK);
    ASSERT_EQ(factory_.AddElement(nX), S_OK);
    ASSERT_EQ(factory_.CTBeginSequence(21, 21), S_OK);
    ASSERT_EQ(factory_.AddElement(dX), S_OK);
    ASSERT_EQ(factory_.CTEndSequence(), S_OK);
    ASSERT_EQ(factory_.CTBeginSequence(22, 22), S_OK);
    ASSERT_EQ(factory_.CTEndSequence(), S_OK);
    // The outer sequence is part of the type without an end of its own.
    EXPECT_EQ(Xml(msgWL),
              "<xsd:complexType name=\"msgWL\"><!--This is comment...--><xsd:sequence "
              "minOccurs=\"1\" maxOccurs=\"1\"><xsd:element name=\"nX\" type=\"xsd:int\" "
              "fixed=\"10\"/><xsd:sequence minOccurs=\"21\" maxOccurs=\"21\"><xsd:element "
              "name=\"dX\"><xsd:simpleType><xsd:restriction base=\"xsd:double\"><xsd:maxInclusive "
              "value=\"17.0\"/></xsd:restriction></xsd:simpleType></xsd:element></xsd:sequence>"
              "<xsd:sequence minOccurs=\"22\" maxOccurs=\"22\"/></xsd:sequence></xsd:complexType>");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ComplexTypeTest, ElementGoesIntoTheInnermostOpenGroupOfTheLastBranch) {
    Node type = Begin(u"t");
    ASSERT_EQ(factory_.CTBeginSequence(1, 1), S_OK);
    for (const OLECHAR* group : {u"first", u"second"}) {
        ASSERT_EQ(factory_.CTBeginSequence(2, 2), S_OK);
        ASSERT_EQ(factory_.CTBeginSequence(3, 3), S_OK);
        ASSERT_EQ(factory_.AddElement(group), S_OK);
        if (group == std::u16string_view(u"first")) {
            ASSERT_EQ(factory_.CTEndSequence(), S_OK);
            ASSERT_EQ(factory_.CTEndSequence(), S_OK);
        }
    }
    ASSERT_EQ(factory_.AddElement(Build(u"int", u"late", u"")), S_OK);
    EXPECT_EQ(Xml(type), "<xsd:complexType name=\"t\"><xsd:sequence minOccurs=\"1\" maxOccurs=\"1\">"
                         "<xsd:sequence minOccurs=\"2\" maxOccurs=\"2\"><xsd:sequence minOccurs=\"3\" "
                         "maxOccurs=\"3\"><!--first--></xsd:sequence></xsd:sequence><xsd:sequence "
                         "minOccurs=\"2\" maxOccurs=\"2\"><xsd:sequence minOccurs=\"3\" maxOccurs=\"3\">"
                         "<!--second--><xsd:element name=\"late\" type=\"xsd:int\"/></xsd:sequence>"
                         "</xsd:sequence></xsd:sequence></xsd:complexType>");
}

TEST_F(ComplexTypeTest, OccurrenceBounds) {
    Node type = Begin(u"t", u"xs");
    ASSERT_EQ(factory_.CTBeginSequence(0, -1), S_OK);
    ASSERT_EQ(factory_.CTEndSequence(), S_OK);
    ASSERT_EQ(factory_.SetOccurs(u""), S_OK);
    ASSERT_EQ(factory_.CTEndSequence(), S_OK);
    ASSERT_EQ(factory_.SetOccurs(u"minOccurs=0x2, maxOccurs=010"), S_OK);
    ASSERT_EQ(factory_.CTEndSequence(), S_OK);
    ASSERT_EQ(factory_.CTBeginSequence(5, -7), S_OK);
    ASSERT_EQ(factory_.CTEndSequence(), S_OK);
    EXPECT_TRUE(Errors().empty());
    // A bound that is not a number is traced; its default stands.
    ASSERT_EQ(factory_.SetOccurs(u"minOccurs=none maxOccurs=unbounded"), S_OK);
    EXPECT_EQ(Xml(type), "<xs:complexType name=\"t\"><xs:sequence minOccurs=\"0\" maxOccurs=\"unbounded\"/>"
                         "<xs:sequence minOccurs=\"1\" maxOccurs=\"unbounded\"/><xs:sequence minOccurs=\"2\" "
                         "maxOccurs=\"8\"/><xs:sequence minOccurs=\"5\" maxOccurs=\"-7\"/><xs:sequence "
                         "minOccurs=\"1\" maxOccurs=\"unbounded\"/></xs:complexType>");
    std::vector<TraceLine> errors = Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].text, "('unbounded'): The value cannot be represented because of wrong character(s): "
                              "'unbounded'.");
}

TEST_F(ComplexTypeTest, UnbalancedEndFailsAndChangesNothing) {
    Node type = Begin(u"t");
    EXPECT_EQ(factory_.CTEndSequence(), E_FAIL);
    EXPECT_EQ(factory_.CTEndSequence(), E_FAIL);
    ASSERT_EQ(factory_.CTBeginSequence(1, 1), S_OK);
    ASSERT_EQ(factory_.AddElement(u"inside"), S_OK);
    EXPECT_EQ(Xml(type), "<xsd:complexType name=\"t\"><xsd:sequence minOccurs=\"1\" maxOccurs=\"1\">"
                         "<!--inside--></xsd:sequence></xsd:complexType>");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ComplexTypeTest, WithoutComplexTypeNothingCanBeAdded) {
    EXPECT_EQ(factory_.CTBeginSequence(1, 1), E_POINTER);
    EXPECT_EQ(factory_.AddElement(u"text"), E_POINTER);
    EXPECT_EQ(factory_.AddElement(Build(u"int", u"n", u"")), E_POINTER);
    std::vector<TraceLine> errors = Errors();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].text.rfind("-- Exception Error --\nError = 80004003\n", 0), 0u) << errors[0].text;
    // A failed begin opens nothing: the next type starts at its own level.
    Node first = Begin(u"first");
    ASSERT_EQ(factory_.CTBeginSequence(1, 1), S_OK);
    // A new type takes the place of the current one, which stays as it was.
    Node second = Begin(u"second", u"xs");
    ASSERT_EQ(factory_.AddElement(u"top"), S_OK);
    EXPECT_EQ(Xml(first), "<xsd:complexType name=\"first\"><xsd:sequence minOccurs=\"1\" maxOccurs=\"1\"/>"
                          "</xsd:complexType>");
    EXPECT_EQ(Xml(second), "<xs:complexType name=\"second\"><!--top--></xs:complexType>");
}

} // namespace
} // namespace schemafactorytest
