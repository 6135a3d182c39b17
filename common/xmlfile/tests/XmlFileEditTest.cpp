// Editing through the XML file class: attributes as option strings, single attributes, element texts and
// whole elements.
#include "common/xmlfile/tests/XmlFileTestSupport.h"

#include "platform/xml/namespaces.h"

namespace xmlfiletest {
namespace {

TEST_F(XmlFileTest, AttributeStringsAddReplaceAndClear) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root><parent><child2 attr2='val2'/></parent></root>"), S_OK);
    ASSERT_EQ(file.SetAttributes(u"/root/parent/child2", u"a='a1' b='b1'"), S_OK);
    EXPECT_EQ(Attributes(file, u"/root/parent/child2"), "attr2=val2 a=a1 b=b1");
    EXPECT_EQ(U8(TraceMethodName()), "CXmlFile::GetAttributes()");

    ASSERT_EQ(file.SetAttributes(u"/root/parent/child2", u"c='c1'", true), S_OK);
    EXPECT_EQ(Attributes(file, u"/root/parent/child2"), "c=c1");

    ASSERT_EQ(file.SetAttributes(u"/root/parent/child2", u"c=2,s='a b';q=\"it's\" e='' ''=skipped"), S_OK);
    EXPECT_EQ(Attributes(file, u"/root/parent/child2"), "c=2 s='a b' q=\"it's\" e=''");
    ASSERT_EQ(file.SetAttributes(u"/root/parent/child2", u"c=<Default> s=<Undefined> q missing"), S_OK);
    EXPECT_EQ(Attributes(file, u"/root/parent/child2"), "e=''");

    Bstr list(u"stale");
    EXPECT_EQ(file.GetAttributes(u"/root/none", list.ptr()), S_OK);
    EXPECT_TRUE(list.isNull()) << "a missing element gives an empty list";
    EXPECT_EQ(Count(file, u"/root/none"), 0);
}

TEST_F(XmlFileTest, PredicatePathsAddAnotherElementWhenNoneMatches) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root><parent2><_child3/></parent2></root>"), S_OK);
    ASSERT_EQ(file.SetAttributes(u"/root/parent2/_child3[@name='ch']", u"a='a1'"), S_OK);
    EXPECT_EQ(Xml(file.GetDocument().documentElement()),
              "<root><parent2><_child3/><_child3 name=\"ch\" a=\"a1\"/></parent2></root>");
    ASSERT_EQ(file.SetAttributes(u"/root/parent2/_child3[@name='ch']", u"a"), S_OK);
    EXPECT_EQ(Attributes(file, u"/root/parent2/_child3[@name='ch']"), "name=ch");
    EXPECT_EQ(Count(file, u"/root/parent2/_child3"), 2);
}

TEST_F(XmlFileTest, PrefixedNamesTakeTheirNamespace) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(kRootWithVrt), S_OK);
    Node child3;
    ASSERT_EQ(file.GetElement(u"/root/parent/vrt:child3[@attr1 = 'val1']", &child3, true), S_OK);
    EXPECT_EQ(child3.namespaceURI(), vr::xml::kObjectAttributesNamespace);
    ASSERT_EQ(file.SetAttribute(u"/root/parent/vrt:child3[@attr1 = 'val1']", u"vrt:e", u"e5"), S_OK);
    Node e = child3.attributes().getQualifiedItem(u"e", vr::xml::kObjectAttributesNamespace);
    ASSERT_TRUE(e);
    EXPECT_EQ(U8(e.nodeValue()), "e5");
    ASSERT_EQ(file.SetAttributes(u"/root/xsd:element", u"name=x other:y=1"), S_OK);
    Node element;
    ASSERT_EQ(file.GetElement(u"/root/xsd:element", &element), S_OK);
    EXPECT_EQ(element.namespaceURI(), vr::xml::kXsdNamespace);
    EXPECT_EQ(U8(element.attributes().getNamedItem(u"other:y").namespaceURI()), "") << "unknown prefix";
}

TEST_F(XmlFileTest, SingleAttributesReadAndWriteAnyValue) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root><item a='1'/></root>"), S_OK);
    Bstr value(u"kept");
    EXPECT_EQ(file.GetAttribute(u"/root/item", u"b", value.ptr()), S_OK);
    EXPECT_EQ(value.utf8(), "kept") << "a missing attribute leaves the value";
    EXPECT_EQ(file.GetAttribute(u"/root/nothing", u"a", value.ptr()), S_OK);
    EXPECT_EQ(value.utf8(), "kept");
    EXPECT_EQ(file.GetAttribute(u"/root/item", u"a", nullptr), E_POINTER);

    const OLECHAR* everyQuote = u"'\"}] {[";
    ASSERT_EQ(file.SetAttribute(u"/root/item", u"q", everyQuote), S_OK);
    ASSERT_EQ(file.GetAttribute(u"/root/item", u"q", value.ptr()), S_OK);
    EXPECT_EQ(value.str(), everyQuote) << "no option string can hold this value, the attribute still can";
    EXPECT_EQ(Attributes(file, u"/root/item"), "a=1") << "the list leaves it out";

    ASSERT_EQ(file.SetAttribute(u"/root/item", u"a", nullptr), S_OK);
    ASSERT_EQ(file.SetAttribute(u"/root/item", u"", u"x"), S_OK);
    EXPECT_EQ(Count(file, u"/root/item/@*"), 1) << "a value of none removes, an empty name sets nothing";
    ASSERT_EQ(file.SetAttribute(u"/root/new/item", u"n", u"50%"), S_OK);
    EXPECT_EQ(Count(file, u"/root/new/item[@n='50%']"), 1);
}

TEST_F(XmlFileTest, ElementTextsKeepTheirWhiteSpace) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root><note>old<b>bold</b></note></root>"), S_OK);
    Bstr text(u"kept");
    ASSERT_EQ(file.GetElementText(u"/root/note", text.ptr()), S_OK);
    EXPECT_EQ(text.utf8(), "oldbold");
    ASSERT_EQ(file.SetElementText(u"/root/note", u"  two  words\n"), S_OK);
    EXPECT_EQ(Xml(file.GetDocument().documentElement()), "<root><note>  two  words\n</note></root>");
    ASSERT_EQ(file.GetElementText(u"/root/note", text.ptr()), S_OK);
    EXPECT_EQ(text.utf8(), "  two  words\n");
    ASSERT_EQ(file.GetElementText(u"/root/missing", text.ptr()), S_OK);
    EXPECT_EQ(text.utf8(), "  two  words\n") << "a missing element leaves the text";
    ASSERT_EQ(file.SetElementText(u"/root/made/here", u"x"), S_OK);
    EXPECT_EQ(Count(file, u"/root/made/here[.='x']"), 1);
}

TEST_F(XmlFileTest, WholeElementsAreCopiedReplacedAndRemoved) {
    CXmlFile file, source;
    ASSERT_EQ(file.CreateDocument(u"<root><item id='old'/><keep/></root>"), S_OK);
    ASSERT_EQ(source.CreateDocument(u"<item id='new'><sub/></item>"), S_OK);
    Node replacement = source.GetDocument().documentElement();

    ASSERT_EQ(file.SetElement(u"/root/item", replacement), S_OK);
    EXPECT_EQ(Xml(file.GetDocument().documentElement()),
              "<root><item id=\"new\"><sub/></item><keep/></root>");
    EXPECT_EQ(replacement.parentNode(), source.GetDocument()) << "the source stays where it was";

    ASSERT_EQ(file.SetElement(u"/root/parent2/unkChild", replacement, true), S_OK);
    EXPECT_EQ(Count(file, u"/root/parent2/item/sub"), 1) << "appended, under the name it has";
    EXPECT_EQ(file.SetElement(u"/root/parent3/unkChild", replacement), E_INVALIDARG);
    EXPECT_EQ(Count(file, u"/root/parent3"), 0);

    ASSERT_EQ(file.SetElement(u"/root/keep", Node()), S_OK);
    ASSERT_EQ(file.SetElement(u"/root/absent", Node()), S_OK);
    EXPECT_EQ(Xml(file.GetDocument().documentElement()),
              "<root><item id=\"new\"><sub/></item><parent2><item id=\"new\"><sub/></item></parent2></root>");
}

TEST_F(XmlFileTest, TheFixedExamplesHold) {
    EXPECT_EQ(CXmlFile::TestClass(), S_OK) << U8(LastErrorText());
}

} // namespace
} // namespace xmlfiletest
