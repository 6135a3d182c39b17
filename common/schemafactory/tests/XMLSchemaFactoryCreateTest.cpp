// Building elements from descriptions: the plain and the facet form, the attribute structure, the qualifier
// and the three forms of CreateElement with their failures.
#include "common/schemafactory/tests/XMLSchemaFactoryTestSupport.h"

namespace schemafactorytest {
namespace {

TEST_F(SchemaFactoryTest, PlainAndFacetForms) {
    EXPECT_EQ(
        Bare(Build(u"string", u"strText",
                   u"fixed=xxx default=yyy minOccurs=1 maxOccurs=1 vra:parsing=LongestValue")),
        "<xsd:element name=\"strText\" type=\"xsd:string\" fixed=\"xxx\" default=\"yyy\" minOccurs=\"1\" "
        "maxOccurs=\"1\" vra:parsing=\"LongestValue\"/>");
    // A repeated item overwrites the value in its first place; a bare item gives the empty value.
    EXPECT_EQ(Bare(Build(u"int", u"n", u"a=1 b=2 a=3 c")),
              "<xsd:element name=\"n\" type=\"xsd:int\" a=\"3\" b=\"2\" c=\"\"/>");
    EXPECT_EQ(
        Bare(Build(u"string", u"strText",
                   u"default=yyy vra:parsing=LongestValue enumeration=LO vra:substitution=0 enumeration=HI "
                   u"vra:substitution=1 pattern='[^~]*Wl: ' length=10 maxInclusive=1700.0")),
        "<xsd:element name=\"strText\" default=\"yyy\" vra:parsing=\"LongestValue\"><xsd:simpleType>"
        "<xsd:restriction base=\"xsd:string\"><xsd:enumeration value=\"LO\" vra:substitution=\"0\"/>"
        "<xsd:enumeration value=\"HI\" vra:substitution=\"1\"/><xsd:pattern value=\"[^~]*Wl: \"/>"
        "<xsd:length value=\"10\"/><xsd:maxInclusive value=\"1700.0\"/></xsd:restriction></xsd:simpleType>"
        "</xsd:element>");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(SchemaFactoryTest, StructuredAttributeWithoutTargetFailsAndLeavesTheOutArgument) {
    Node earlier = Build(u"int", u"earlier", u"minInclusive=0");
    Node element = earlier;
    EXPECT_EQ(factory_.CreateElement(&element, u"string", u"strText",
                                     u"vra:substitution=0 enumeration=LO vra:substitution=1", kStructure,
                                     u"xsd"),
              E_INVALIDARG);
    EXPECT_TRUE(element == earlier);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].text,
              "Wrong bstrAttrStructure entry parameter: Attribute 'vra:substitution' should be "
              "placed to 'enumeration' Element which doesn't exist.");
    EXPECT_EQ(Errors()[0].source.rfind("CXMLSchemaFactory::CreateElement(): XMLSchemaFactory.cpp (", 0), 0u);
    // The earlier element's facets went with the template reload: they are no target either.
    EXPECT_EQ(factory_.CreateElement(&element, u"double", u"w", u"maxInclusive=1 vrt:numid=4",
                                     u"vrt:numid=minInclusive", u"xsd"),
              E_INVALIDARG);
    // Nor is a structure item without a target name.
    EXPECT_EQ(factory_.CreateElement(&element, u"double", u"w", u"maxInclusive=1 vrt:numid=4", u"vrt:numid",
                                     u"xsd"),
              E_INVALIDARG);
}

TEST_F(SchemaFactoryTest, StructureMayTargetAnyElementBuiltSoFar) {
    Node element;
    ASSERT_EQ(factory_.CreateElement(&element, u"double", u"v", u"vra:unit=V minInclusive=0 vrt:numid=3",
                                     u"vra:unit=restriction vrt:numid=minInclusive", u"xsd"),
              S_OK);
    EXPECT_EQ(Bare(element),
              "<xsd:element name=\"v\"><xsd:simpleType><xsd:restriction base=\"xsd:double\" "
              "vra:unit=\"V\"><xsd:minInclusive value=\"0\" vrt:numid=\"3\"/></xsd:restriction>"
              "</xsd:simpleType></xsd:element>");
}

TEST_F(SchemaFactoryTest, QualifierPrefixesEveryXsdName) {
    EXPECT_EQ(Bare(Build(u"int", u"n", u"minInclusive=1", u"xs")),
              "<xs:element name=\"n\"><xs:simpleType><xs:restriction base=\"xs:int\"><xs:minInclusive "
              "value=\"1\"/></xs:restriction></xs:simpleType></xs:element>");
    EXPECT_EQ(Bare(Build(u"string", u"s", u"", u"")), "<element name=\"s\" type=\"string\"/>");
    EXPECT_EQ(Bare(Build(u"type=int name=n XsdQualifier=xs")), "<xs:element name=\"n\" type=\"xs:int\"/>");
    EXPECT_EQ(Bare(Build(u"type=int name=n XsdQualifier=''")), "<element name=\"n\" type=\"int\"/>");
}

TEST_F(SchemaFactoryTest, DescriptionFormsTakeTheirItemsOutWhereverTheyStand) {
    // The one-argument form's own structure replaces the default one.
    EXPECT_EQ(Bare(Build(u"pattern=a* XmlAttrStructure='vra:format=pattern' vra:format=F type=string name=p "
                         u"enumeration=x vra:substitution=1")),
              "<xsd:element name=\"p\" vra:substitution=\"1\"><xsd:simpleType><xsd:restriction "
              "base=\"xsd:string\"><xsd:pattern value=\"a*\" vra:format=\"F\"/><xsd:enumeration value=\"x\"/>"
              "</xsd:restriction></xsd:simpleType></xsd:element>");
    Node element;
    EXPECT_EQ(factory_.CreateElement(&element, u"XsdQualifier=xs name=nX XmlAttrStructure='a=b' fixed=1"),
              E_INVALIDARG);
    EXPECT_FALSE(element);
    EXPECT_EQ(U8(LastErrorText()),
              "Not enough entry params/attributes (name and/or type are not specified) to "
              "CreateElement; bstrTypeNameAttributes = 'name=nX fixed=1'.");
    EXPECT_EQ(factory_.CreateElement(&element, u"type=int", kStructure, u"xsd"), E_INVALIDARG);
    EXPECT_EQ(factory_.CreateElement(&element, nullptr), E_INVALIDARG);
    EXPECT_EQ(Errors().size(), 3u);
}

TEST_F(SchemaFactoryTest, DomFailureIsReportedAsComException) {
    Node element;
    EXPECT_TRUE(FAILED(factory_.CreateElement(&element, u"string", u"s", u"1bad=x", kStructure, u"xsd")));
    EXPECT_FALSE(element);
    std::string report = U8(LastErrorText());
    EXPECT_EQ(report.rfind("-- Exception Error --\n", 0), 0u) << report;
    EXPECT_NE(report.find("'1bad'"), std::string::npos) << report;
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].source, "<UnknownSenderID>");
}

} // namespace
} // namespace schemafactorytest
