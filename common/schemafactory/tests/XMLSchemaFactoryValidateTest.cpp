// Checking values against an element's type: facets and patterns decide, attributes do not; elements that do
// not parse or compile fail with their error texts.
#include "common/schemafactory/XMLSchemaFactoryInternal.h"
#include "common/schemafactory/tests/XMLSchemaFactoryTestSupport.h"

namespace schemafactorytest {
namespace {

class ValidateTest : public SchemaFactoryTest {
protected:
    // Checks with an error text that holds an earlier text, which the check must replace or free.
    HRESULT Check(const Node& element, const OLECHAR* value) {
        SysFreeString(*errorText_.ptr());
        *errorText_.ptr() = vr::AllocBstr(u"earlier text");
        return factory_.IsValidElement(element, value, errorText_.ptr());
    }
    Bstr errorText_;
};

TEST_F(ValidateTest, OnlyTheTypeDecides) {
    Node dX = Build(u"double", u"dX", u"pattern='\\d*.\\d{1}' minInclusive=0.0 maxInclusive=17.0");
    EXPECT_EQ(Check(dX, u"1.0"), S_OK);
    EXPECT_TRUE(errorText_.isNull());
    EXPECT_EQ(Check(dX, u"1.000"), S_FALSE); // the pattern
    EXPECT_TRUE(errorText_.isNull());
    EXPECT_EQ(Check(dX, u"100.0"), S_FALSE); // maxInclusive
    EXPECT_EQ(Check(dX, u""), S_OK);
    EXPECT_EQ(Check(dX, nullptr), S_OK);
    Node nX = Build(u"int", u"nX", u"fixed=10");
    EXPECT_EQ(Check(nX, u"1"), S_OK); // fixed takes no part
    EXPECT_EQ(Check(nX, u"1.5"), S_FALSE);
    EXPECT_EQ(Check(Build(u"type=string name=e enumeration=LO enumeration=HI"), u"hi"), S_FALSE);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ValidateTest, TheElementStaysUsableAfterTheCheck) {
    Node dX = Build(u"double", u"dX", u"maxInclusive=17.0");
    std::string before = Bare(dX);
    ASSERT_EQ(Check(dX, u"1"), S_OK);
    EXPECT_EQ(Bare(dX), before);
    Node complexType;
    ASSERT_EQ(factory_.CTBeginComplexType(&complexType, u"t", u"xsd"), S_OK);
    ASSERT_EQ(factory_.AddElement(dX), S_OK);
    EXPECT_EQ(Xml(complexType), "<xsd:complexType name=\"t\">" + before + "</xsd:complexType>");
    // Checked again from inside the complex type, it moves back into the working document.
    EXPECT_EQ(Check(dX, u"18"), S_FALSE);
    EXPECT_EQ(Xml(complexType), "<xsd:complexType name=\"t\"/>");
}

TEST_F(ValidateTest, UndeclaredPrefixesDoNotParse) {
    EXPECT_EQ(Check(Build(u"string", u"s", u"", u"foo"), u"x"), E_INVALIDARG);
    EXPECT_TRUE(errorText_.isNull());
    EXPECT_EQ(Check(Build(u"string", u"s", u"abc:x=1"), u"x"), E_INVALIDARG);
    EXPECT_EQ(Check(Build(u"string", u"s", u"vra:a=1 vrt:b=2"), u"x"), S_OK);
}

TEST_F(ValidateTest, SchemaFailuresGiveTheirTexts) {
    HRESULT hr = Check(Build(u"type=double name=x length=3"), u"1");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(hr, E_FAIL);
    std::string text = errorText_.utf8();
    EXPECT_NE(text.find("'length'"), std::string::npos) << text;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("line"), std::string::npos) << "the location line is dropped: " << text;
    EXPECT_TRUE(Errors().empty()) << "reported through the error text, not traced";

    vr::xml::Document document;
    ASSERT_EQ(vr::xml::Document::Create(&document), S_OK);
    ASSERT_EQ(document.loadXML(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema'><xsd:simpleType "
                               u"name='T'><xsd:restriction base='xsd:int'/></xsd:simpleType></xsd:schema>"),
              S_OK);
    EXPECT_EQ(Check(document.documentElement().firstChild(), u"1"), E_FAIL);
    EXPECT_EQ(errorText_.utf8(), "Element is not defined in the Schema.");

    // A failure without a description of its own (an empty handle) gives the last error line.
    Node element;
    ASSERT_EQ(factory_.CreateElement(&element, u"type=int"), E_INVALIDARG);
    EXPECT_EQ(Check(Node(), u"1"), E_FAIL);
    EXPECT_EQ(errorText_.utf8(), U8(LastErrorText()));
}

TEST(SchemaFactoryErrorText, LocationLineAndLineBreaksAreCleaned) {
    using vrcommon::schemafactory::CleanErrorDescription;
    EXPECT_EQ(U8(CleanErrorDescription(u"schema#line 1\r\nThe facet is wrong.\r\n")),
              "The facet is wrong.  ");
    EXPECT_EQ(U8(CleanErrorDescription(u"one line")), "one line");
    EXPECT_EQ(U8(CleanErrorDescription(u"a\nb\r\nc\rd\n")), "b  c d ");
    EXPECT_EQ(U8(CleanErrorDescription(u"\r\r")), " \r");
}

} // namespace
} // namespace schemafactorytest
