// Reading elements back into descriptions: round trips through both forms, elements from parsed documents
// with their own prefixes, structures learned from facet attributes, and nodes that are not elements.
#include "common/schemafactory/tests/XMLSchemaFactoryTestSupport.h"

#include <array>

namespace schemafactorytest {
namespace {

// The five results of the six-result LoadElement: type, name, attributes, structure, qualifier.
struct Loaded {
    std::array<Bstr, 5> parts;
    std::array<std::string, 5> Texts() const {
        return {parts[0].utf8(), parts[1].utf8(), parts[2].utf8(), parts[3].utf8(), parts[4].utf8()};
    }
};

class LoadTest : public SchemaFactoryTest {
protected:
    HRESULT Load(const Node& element, Loaded& loaded) {
        return factory_.LoadElement(element, loaded.parts[0].ptr(), loaded.parts[1].ptr(),
                                    loaded.parts[2].ptr(), loaded.parts[3].ptr(), loaded.parts[4].ptr());
    }
    std::string Description(const Node& element) {
        Bstr description;
        EXPECT_EQ(factory_.LoadElement(element, description.ptr()), S_OK);
        return description.utf8();
    }
    static Node Parsed(const OLECHAR* text) {
        vr::xml::Document document;
        EXPECT_EQ(vr::xml::Document::Create(&document), S_OK);
        EXPECT_EQ(document.loadXML(text), S_OK);
        return document.documentElement().firstChild();
    }
};

using Texts = std::array<std::string, 5>;

TEST_F(LoadTest, SixResultFormInvertsCreateElement) {
    const OLECHAR* plain = u"fixed=xxx default=yyy minOccurs=1 maxOccurs=1 vra:parsing=LongestValue";
    Loaded loaded;
    ASSERT_EQ(Load(Build(u"string", u"strText", plain), loaded), S_OK);
    EXPECT_EQ(loaded.Texts(), (Texts{"string", "strText", U8(plain), U8(kStructure), "xsd"}));

    const OLECHAR* facets =
        u"default=yyy minOccurs=1 maxOccurs=1 vra:parsing=LongestValue enumeration=LO "
        u"vra:substitution=0 enumeration=HI vra:substitution=1 pattern='[^~]*Wl: ' length=10 "
        u"minLength=1 maxLength=100 minInclusive=0.0 maxInclusive=1700.0";
    ASSERT_EQ(Load(Build(u"string", u"strText", facets), loaded), S_OK);
    EXPECT_EQ(loaded.Texts(), (Texts{"string", "strText", U8(facets), U8(kStructure), "xsd"}));
}

TEST_F(LoadTest, DescriptionFeedsTheOneArgumentFormUnchanged) {
    Node element = Build(u"double", u"dX", u"pattern='\\d*.\\d{1}' minInclusive=0.0 vra:format=%5.1f");
    std::string description = Description(element);
    // The element's own attributes come first, then its facets.
    EXPECT_EQ(description, "vra:format=%5.1f pattern='\\d*.\\d{1}' minInclusive=0.0 type=double name=dX "
                           "XsdQualifier=xsd XmlAttrStructure='vra:substitution=enumeration'");
    std::string before = Bare(element);
    Node again = Build(vr::FromUtf8(description).c_str());
    EXPECT_EQ(Bare(again), before);

    Node unqualified = Build(u"string", u"s", u"a=''", u"");
    EXPECT_EQ(Description(unqualified), "a='' type=string name=s XsdQualifier='' "
                                        "XmlAttrStructure='vra:substitution=enumeration'");
    EXPECT_EQ(Bare(Build(vr::FromUtf8(Description(unqualified)).c_str())), Bare(unqualified));
}

TEST_F(LoadTest, StructureIsLearnedFromFacetAttributes) {
    Node element =
        Parsed(u"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' xmlns:vra='urn:vornic:adapter-"
               u"annotations'><xs:element name='v' vra:parsing='x'><xs:simpleType><xs:restriction "
               u"base='xs:string'><xs:enumeration value='A' vra:substitution='1' vra:note=''/>"
               u"<!-- skipped --><xs:pattern value='[A-Z]' vra:format='%s'/></xs:restriction>"
               u"</xs:simpleType></xs:element></xs:schema>");
    Loaded loaded;
    ASSERT_EQ(Load(element, loaded), S_OK);
    EXPECT_EQ(
        loaded.Texts(),
        (Texts{"string", "v",
               "vra:parsing=x enumeration=A vra:substitution=1 vra:note='' pattern='[A-Z]' vra:format=%s",
               "vra:substitution=enumeration vra:note=enumeration vra:format=pattern", "xs"}));
    // What was learned places the attributes where they were.
    Node rebuilt;
    ASSERT_EQ(factory_.CreateElement(&rebuilt, loaded.parts[0].get(), loaded.parts[1].get(),
                                     loaded.parts[2].get(), loaded.parts[3].get(), loaded.parts[4].get()),
              S_OK);
    EXPECT_EQ(Bare(rebuilt), "<xs:element name=\"v\" vra:parsing=\"x\"><xs:simpleType><xs:restriction "
                             "base=\"xs:string\"><xs:enumeration value=\"A\" vra:substitution=\"1\" "
                             "vra:note=\"\"/><xs:pattern value=\"[A-Z]\" vra:format=\"%s\"/></xs:restriction>"
                             "</xs:simpleType></xs:element>");
}

TEST_F(LoadTest, ForeignPrefixesStayOnNamesAndTypes) {
    Node element = Parsed(u"<s xmlns:xsd='http://www.w3.org/2001/XMLSchema' xmlns:my='urn:my'><xsd:element "
                          u"name='e' type='my:Volt' my:unit='V'/></s>");
    Loaded loaded;
    ASSERT_EQ(Load(element, loaded), S_OK);
    EXPECT_EQ(loaded.Texts(), (Texts{"my:Volt", "e", "my:unit=V", U8(kStructure), "xsd"}));
    // A restriction base wins over a type attribute; an element without either has the empty type.
    element =
        Parsed(u"<s xmlns:xsd='http://www.w3.org/2001/XMLSchema'><xsd:element name='e' type='xsd:int'>"
               u"<xsd:simpleType><xsd:restriction base='xsd:short'/></xsd:simpleType></xsd:element></s>");
    ASSERT_EQ(Load(element, loaded), S_OK);
    EXPECT_EQ(loaded.parts[0].utf8(), "short");
    ASSERT_EQ(Load(Parsed(u"<s><element/></s>"), loaded), S_OK);
    EXPECT_EQ(loaded.Texts(), (Texts{"", "", "", U8(kStructure), ""}));
    EXPECT_FALSE(loaded.parts[0].isNull());
}

TEST_F(LoadTest, NodeThatIsNoElementFails) {
    Node simpleType = Build(u"int", u"n", u"minInclusive=1").firstChild();
    Loaded loaded;
    *loaded.parts[0].ptr() = vr::AllocBstr(u"old");
    EXPECT_EQ(Load(simpleType, loaded), E_FAIL);
    EXPECT_EQ(loaded.Texts(), (Texts{"", "", "", "", ""}));
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].text, "Wrong pElementNode: ElementNode is not an 'element', but 'simpleType'.");
    EXPECT_EQ(Errors()[0].source.rfind("CXMLSchemaFactory::LoadElement(): XMLSchemaFactory.cpp (", 0), 0u);

    Bstr description(u"old");
    EXPECT_EQ(factory_.LoadElement(simpleType, description.ptr()), E_FAIL);
    EXPECT_EQ(description.utf8(), "old");
    EXPECT_EQ(Load(Node(), loaded), E_FAIL);
}

} // namespace
} // namespace schemafactorytest
