// XPath selection: selection namespaces, context nodes, errors and the extension function ms:string-compare.
#include "platform/xml/namespaces.h"
#include "platform/xml/tests/xml_test_util.h"
#include "platform/xml/xpath_state.h"

namespace vr::xml {
namespace {

using testing::Parse;
using testing::Select;

constexpr char16_t kFileNamespaces[] = u"xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                                       u"xmlns:ms='urn:schemas-microsoft-com:xslt' "
                                       u"xmlns:vra='urn:vornic:adapter-annotations' "
                                       u"xmlns:vrt='urn:vornic:object-attributes'";

Document AdapterDocument() {
    Document doc = Parse(u"<definitions xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                         u"xmlns:vra='urn:vornic:adapter-annotations'>"
                         u"<types><xsd:schema targetNamespace='urn:dev'>"
                         u"<xsd:complexType name='msg'><xsd:sequence>"
                         u"<xsd:element name='mode'><xsd:simpleType><xsd:restriction base='xsd:string'>"
                         u"<xsd:enumeration value='1' vra:substitution='ON'/>"
                         u"<xsd:enumeration value='0' vra:substitution='OFF'/>"
                         u"</xsd:restriction></xsd:simpleType></xsd:element>"
                         u"</xsd:sequence></xsd:complexType></xsd:schema></types></definitions>");
    EXPECT_EQ(doc.setProperty(u"SelectionNamespaces", kFileNamespaces), S_OK);
    return doc;
}

TEST(XPath, SelectsWithDeclaredPrefixes) {
    Document doc = AdapterDocument();
    NodeList facets;
    ASSERT_EQ(doc.selectNodes(u"/definitions/types/xsd:schema/xsd:complexType[@name = 'msg']"
                              u"//xsd:element[@name = 'mode']//xsd:enumeration",
                              &facets),
              S_OK);
    ASSERT_EQ(facets.length(), 2);
    EXPECT_EQ(facets.item(1)
                  .attributes()
                  .getQualifiedItem(u"substitution", kAdapterAnnotationsNamespace)
                  .nodeValue(),
              u"OFF");
    EXPECT_EQ(Select(doc, u"//*/@targetNamespace").text(), u"urn:dev");
    EXPECT_EQ(Select(doc, u"//types/*").nodeName(), u"xsd:schema");
    EXPECT_EQ(Select(doc, u"//xsd:enumeration[@vra:substitution='ON']/@value").nodeValue(), u"1");
}

TEST(XPath, RelativePathsStartAtTheContextNode) {
    Document doc = Parse(u"<root><parent><child attr1='val1' attr2='2'/><child2/></parent><parent/></root>");
    Node parent = Select(doc, u"/root/parent");
    EXPECT_EQ(Select(parent, u"child[@attr1 = 'val1'][@attr2 = '2']").nodeName(), u"child");
    EXPECT_EQ(Select(parent, u"child2"), parent.lastChild());
    Node none;
    EXPECT_EQ(parent.selectSingleNode(u"child3", &none), S_FALSE);
    EXPECT_FALSE(none);
    NodeList all;
    ASSERT_EQ(parent.selectNodes(u"..//parent", &all), S_OK);
    EXPECT_EQ(all.length(), 2);
    Node attribute = Select(parent, u"child/@attr2");
    EXPECT_EQ(attribute.nodeType(), NODE_ATTRIBUTE);
    EXPECT_EQ(Select(attribute, u"..").nodeName(), u"child");
}

TEST(XPath, FindsNodesAfterEditsAndInDetachedSubtrees) {
    Document doc = Parse(u"<r/>");
    Node element;
    ASSERT_EQ(doc.createElement(u"x", &element), S_OK);
    Node inner;
    ASSERT_EQ(doc.createElement(u"y", &inner), S_OK);
    ASSERT_EQ(element.appendChild(inner), S_OK);
    EXPECT_EQ(Select(element, u"y"), inner); // not yet in the tree
    Node none;
    EXPECT_EQ(doc.selectSingleNode(u"//y", &none), S_FALSE);
    ASSERT_EQ(doc.documentElement().appendChild(element), S_OK);
    EXPECT_EQ(Select(doc, u"//y"), inner);
}

TEST(XPath, ErrorsAreFailuresWithADescription) {
    Document doc = AdapterDocument();
    NodeList nodes;
    EXPECT_EQ(doc.selectNodes(u"//xsd:element[", &nodes), E_FAIL);
    EXPECT_FALSE(ErrorDescription().empty());
    EXPECT_EQ(doc.selectNodes(u"//undeclared:x", &nodes), E_FAIL);
    EXPECT_EQ(doc.selectNodes(u"count(//xsd:element)", &nodes), E_FAIL);
    EXPECT_NE(ErrorDescription().find(u"node-set"), std::u16string::npos);
    Node node;
    EXPECT_EQ(doc.selectSingleNode(u"1 +", &node), E_FAIL);
    EXPECT_EQ(doc.selectNodes(u"//xsd:element", &nodes), S_OK); // the document still works
    EXPECT_EQ(nodes.length(), 1);
}

TEST(XPath, SelectionNamespacesCanBeChangedLater) {
    Document doc = Parse(u"<r xmlns:a='urn:one'><a:x/></r>");
    NodeList nodes;
    EXPECT_EQ(doc.selectNodes(u"//p:x", &nodes), E_FAIL);
    ASSERT_EQ(doc.setProperty(u"SelectionNamespaces", u"xmlns:p='urn:one'"), S_OK);
    EXPECT_EQ(Select(doc, u"//p:x").baseName(), u"x");
    ASSERT_EQ(doc.setProperty(u"SelectionNamespaces", u"xmlns:p='urn:two'"), S_OK);
    Node none;
    EXPECT_EQ(doc.selectSingleNode(u"//p:x", &none), S_FALSE);
}

TEST(XPath, StringCompareOrdersTextsAndIgnoresCaseOnRequest) {
    Document doc = Parse(u"<log><record><in>*IDN?</in></record><record><in>volt?</in></record></log>");
    ASSERT_EQ(doc.setProperty(u"SelectionNamespaces", u"xmlns:ms='urn:schemas-microsoft-com:xslt'"), S_OK);
    auto compare = [&](std::u16string_view expression) {
        NodeList nodes;
        EXPECT_EQ(doc.selectNodes(u"/*/record[" + std::u16string(expression) + u"]", &nodes), S_OK)
            << ToUtf8(expression);
        return nodes.length();
    };
    EXPECT_EQ(compare(u"ms:string-compare(in, 'VOLT?', 'en-US', 'i') = 0"), 1);
    EXPECT_EQ(compare(u"ms:string-compare(in, 'VOLT?') = 0"), 0);
    EXPECT_EQ(compare(u"ms:string-compare(in, 'volt?') = 0"), 1);
    EXPECT_EQ(compare(u"ms:string-compare(in, 'm') = -1"), 1); // "*IDN?" sorts before "m"
    EXPECT_EQ(compare(u"ms:string-compare(in, 'm') = 1"), 1);
    NodeList nodes;
    EXPECT_EQ(doc.selectNodes(u"/*/record[ms:string-compare(in)]", &nodes), E_FAIL);
}

TEST(XPath, StringCompareRules) {
    using detail::CompareStringsForXPath;
    EXPECT_EQ(CompareStringsForXPath(u"abc", u"abc", false), 0);
    EXPECT_EQ(CompareStringsForXPath(u"abc", u"ABC", true), 0);
    EXPECT_EQ(CompareStringsForXPath(u"apple", u"Apple", false), -1); // lower case first
    EXPECT_EQ(CompareStringsForXPath(u"Apple", u"apple", false), 1);
    EXPECT_EQ(CompareStringsForXPath(u"apple", u"Banana", false), -1); // letters before case
    EXPECT_EQ(CompareStringsForXPath(u"ab", u"abc", true), -1);
    EXPECT_EQ(CompareStringsForXPath(u"\u00e9", u"\u00c9", true), 0);
    EXPECT_EQ(CompareStringsForXPath(u"", u"", false), 0);
}

TEST(XPath, ManyDifferentExpressionsStayCorrect) {
    Document doc = Parse(u"<r><a n='1'/><a n='2'/><a n='3'/></r>");
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 400; ++i) { // more than the compiled-expression cache holds
            std::u16string expression = u"count(/r/a[@n <= " + FromUtf8(std::to_string(i % 4)) + u"]) >= 0";
            NodeList nodes;
            ASSERT_EQ(doc.selectNodes(
                          u"/r/a[" + expression + u"][" + FromUtf8(std::to_string(i % 3 + 1)) + u"]", &nodes),
                      S_OK);
            ASSERT_EQ(nodes.length(), 1);
        }
    }
}

} // namespace
} // namespace vr::xml
