// Paths of the XML file class: splitting, namespaces of new nodes, predicate reading, and finding or building
// elements along a path.
#include "common/xmlfile/XmlFileInternal.h"
#include "common/xmlfile/tests/XmlFileTestSupport.h"

#include "platform/base/format.h"

#include <memory>

namespace xmlfiletest {
namespace {

using vrcommon::xmlfile::PredicateScan;
using vrcommon::xmlfile::ScanPredicates;

// Scans a copy that ends exactly where the text ends, so that a read past its end is caught by the sanitizer.
PredicateScan ScanExact(std::u16string_view text) {
    std::unique_ptr<char16_t[]> copy(new char16_t[text.size() + 1]);
    std::copy(text.begin(), text.end(), copy.get());
    return ScanPredicates(std::u16string_view(copy.get(), text.size()));
}

std::string Describe(const PredicateScan& scan) {
    std::string text = scan.valid ? "valid" : "invalid";
    for (const auto& attribute : scan.attributes) {
        text += " " + U8(attribute.name) + "=" + U8(attribute.value);
    }
    return text;
}

TEST(XmlFilePaths, SplitsAtTheLastSlashAndPicksNamespacesByPrefix) {
    auto split = [](std::u16string_view path) {
        XPathParts parts = SplitXPath(path);
        return U8(parts.parentPath) + "|" + U8(parts.leaf);
    };
    EXPECT_EQ(split(u"/root"), "|root");
    EXPECT_EQ(split(u"root"), "|root");
    EXPECT_EQ(split(u"/root/parent/child[@a='x']"), "/root/parent|child[@a='x']");
    EXPECT_EQ(split(u"a/"), "a|");
    EXPECT_EQ(split(u""), "|");

    EXPECT_EQ(NamespaceUriOfPrefix(u"vrt:e"), u"urn:vornic:object-attributes");
    EXPECT_EQ(NamespaceUriOfPrefix(u"xsd:element"), u"http://www.w3.org/2001/XMLSchema");
    EXPECT_EQ(NamespaceUriOfPrefix(u"vra:key:x"), u"urn:vornic:adapter-annotations")
        << "the first ':' counts";
    EXPECT_EQ(NamespaceUriOfPrefix(u"ms:x"), u"");
    EXPECT_EQ(NamespaceUriOfPrefix(u"VRT:e"), u"") << "prefixes compare exactly";
    EXPECT_EQ(NamespaceUriOfPrefix(u"plain"), u"");

    EXPECT_EQ(U8(XmlFileSelectionNamespaces()),
              "xmlns:xsd='http://www.w3.org/2001/XMLSchema' xmlns:ms='urn:schemas-microsoft-com:xslt' "
              "xmlns:vra='urn:vornic:adapter-annotations' xmlns:vrt='urn:vornic:object-attributes'");
}

TEST(XmlFilePaths, ReadsEachSingleQuotedPredicate) {
    EXPECT_EQ(Describe(ScanExact(u"[@attr1 = 'val1'][@attr2 = '2']")), "valid attr1=val1 attr2=2");
    EXPECT_EQ(Describe(ScanExact(u"[@a = '1' and @b = '2']")), "valid a=1") << "one predicate, one attribute";
    EXPECT_EQ(Describe(ScanExact(u"[@a='x[1]'][@b='']")), "valid a=x[1] b=") << "a '[' inside a value";
    EXPECT_EQ(Describe(ScanExact(u"[@vrt:e='50%s']")), "valid vrt:e=50%s");
    EXPECT_EQ(Describe(ScanExact(u"")), "valid");
}

TEST(XmlFilePaths, StopsAtBadPredicatesWithinTheText) {
    for (std::u16string_view text : {u"[", u"[@", u"[@a", u"[@a ", u"[@a=", u"[@a= ", u"[@a='", u"[@a='1",
                                     u"[a='1']", u"[@='1']", u"[@ a='1']", u"[@a b='1']", u"[@a = \"1\"]"}) {
        EXPECT_EQ(Describe(ScanExact(text)), "invalid") << U8(text);
    }
    EXPECT_EQ(Describe(ScanExact(u"[@a][@b='1']")), "invalid") << "the '=' of another predicate is not taken";
    EXPECT_EQ(Describe(ScanExact(u"[@a=\"1\"][@b='2']")), "invalid") << "nor the quotes of another";
    EXPECT_EQ(Describe(ScanExact(u"[@a='1'][b]")), "invalid a=1") << "attributes before the error are kept";
}

TEST_F(XmlFileTest, BuildsAMissingPathOnceWithItsPredicateAttributes) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(kRootWithVrt), S_OK);
    Node child, again, child2;
    ASSERT_EQ(file.GetElement(u"/root/parent/child[@attr1 = 'val1'][@attr2 = '2']", &child, true), S_OK);
    EXPECT_EQ(Xml(file.GetDocument().documentElement()),
              "<root xmlns:vrt=\"urn:vornic:object-attributes\"><parent><child attr1=\"val1\" attr2=\"2\"/>"
              "</parent></root>");
    EXPECT_EQ(Lines(TRACE_LEVEL_INFO),
              (std::vector<std::string>{"Created&Appended 'parent' element to '/root'; ",
                                        "Created&Appended 'child' element to '/root/parent'; Set attribute "
                                        "'attr1'='val1'; Set attribute 'attr2'='2'; "}));
    EXPECT_EQ(U8(TraceMethodName()), "CXmlFile::GetElement()");

    ClearLines();
    ASSERT_EQ(file.GetElement(u"/root/parent/child[@attr1 = 'val1'][@attr2 = '2']", &again, true), S_OK);
    EXPECT_EQ(again, child);
    EXPECT_TRUE(Lines(TRACE_LEVEL_INFO).empty()) << "nothing is created the second time";

    ASSERT_EQ(file.GetElement(u"/root/parent/child2", &child2, true), S_OK);
    EXPECT_EQ(child2.previousSibling(), child);

    // A step naming the placeholder of a name still to be given is a new element each time, and so is what
    // is built below it.
    Node first, second, below;
    const char16_t* unnamed = u"/root/parent/reference[@name='<not_defined_name>']";
    ASSERT_EQ(file.GetElement(unnamed, &first, true), S_OK);
    ASSERT_EQ(file.GetElement(unnamed, &second, true), S_OK);
    ASSERT_EQ(file.GetElement(u"/root/parent/reference[@name='<not_defined_name>']/input", &below, true),
              S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(Count(file, u"/root/parent/reference[@name='<not_defined_name>']"), 3);
    EXPECT_EQ(below.parentNode().previousSibling(), second);
}

TEST_F(XmlFileTest, FindsWithoutBuildingUnlessAsked) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root><a/></root>"), S_OK);
    Node element = file.GetDocument().documentElement();
    EXPECT_EQ(file.GetElement(u"/root/b/c", &element), S_OK);
    EXPECT_FALSE(element) << "a missing element empties the out-argument";
    EXPECT_EQ(file.GetElement(u"/root/a/c", &element), S_OK);
    EXPECT_FALSE(element);
    EXPECT_EQ(Count(file, u"//*"), 2);
    EXPECT_EQ(file.GetElement(u"/root/a", nullptr), E_POINTER);

    Node parent, node;
    Bstr parentPath, leaf;
    ASSERT_EQ(file.SelectNodeAndParent(u"/root/x/y", &parent, &node, {}, parentPath.ptr(), leaf.ptr()), S_OK);
    EXPECT_FALSE(parent);
    EXPECT_FALSE(node);
    EXPECT_EQ(parentPath.utf8() + "|" + leaf.utf8(), "/root/x|y");
    ASSERT_EQ(file.FindElement(u"/root/x/y", &parent, &node, {}, true), S_OK);
    EXPECT_EQ(U8(parent.nodeName()), "x") << "the parent is built";
    EXPECT_FALSE(node) << "the leaf is not";
    EXPECT_EQ(Count(file, u"/root/x/*"), 0);
}

TEST_F(XmlFileTest, AnEmptyDocumentGetsItsRootElement) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(), S_OK);
    Node section;
    ASSERT_EQ(file.GetElement(u"/config/section", &section, true), S_OK);
    EXPECT_EQ(Xml(file.GetDocument().documentElement()), "<config><section/></config>");
}

TEST_F(XmlFileTest, RelativePathsStartAtTheContext) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root><a/><b/></root>"), S_OK);
    Node b, c, parent, node;
    ASSERT_EQ(file.GetElement(u"/root/b", &b), S_OK);
    ASSERT_EQ(file.GetElement(u"x/c", &c, true, b), S_OK);
    EXPECT_EQ(Count(file, u"/root/b/x/c"), 1);
    ASSERT_EQ(file.SelectNodeAndParent(u"x/c", &parent, &node, b), S_OK);
    EXPECT_EQ(node, c);
    EXPECT_EQ(U8(parent.nodeName()), "x");
    EXPECT_EQ(Lines(TRACE_LEVEL_INFO).front(), "Created&Appended 'x' element to ''; ");
}

TEST_F(XmlFileTest, ABadPredicateFailsAfterCreatingTheBareElement) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(kRootWithVrt), S_OK);
    Node element;
    EXPECT_EQ(file.GetElement(u"/root/child4[@a = \"1\"]", &element, true), E_INVALIDARG);
    EXPECT_FALSE(element);
    EXPECT_EQ(U8(LastErrorText()),
              "Not valid syntax for the Attribute(s) provided in XPath '/root/child4[@a = \"1\"]'");
    EXPECT_EQ(Count(file, u"/root/child4[not(@*)]"), 1);

    EXPECT_EQ(file.GetElement(u"/root/child5[@a='1'][b]", &element, true), E_INVALIDARG);
    EXPECT_EQ(Count(file, u"/root/child5[@a='1']"), 1) << "the attribute before the error stays";
    EXPECT_TRUE(FAILED(file.GetElement(u"/root/child6[", &element, true))) << "not even a path to select";
}

TEST_F(XmlFileTest, NamesAndValuesAreLoggedAsText) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root/>"), S_OK);
    Node element;
    ASSERT_EQ(file.GetElement(u"/root/item[@v='50%s%n%d']", &element, true), S_OK);
    EXPECT_EQ(Lines(TRACE_LEVEL_INFO),
              std::vector<std::string>{
                  "Created&Appended 'item' element to '/root'; Set attribute 'v'='50%s%n%d'; "});
}

TEST_F(XmlFileTest, FailingDomCallsAreReportedAsExceptions) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root/>"), S_OK);
    Node element;
    HRESULT hr = file.GetElement(u"/root/@attribute", &element, true);
    EXPECT_TRUE(FAILED(hr)) << "an attribute step names no element";
    std::string report = U8(LastErrorText());
    std::string head = "-- Exception Error --\nError = " + U8(vr::FormatWString(u"%08lx", hr)) + "\n";
    EXPECT_EQ(report.rfind(head, 0), 0u) << report;
    EXPECT_EQ(report.find("Description = \n"), std::string::npos) << "the layer's description is carried";
    EXPECT_EQ(Lines(TRACE_LEVEL_ERROR).back(), report);
    EXPECT_EQ(Count(file, u"/root/node()"), 0);
}

TEST_F(XmlFileTest, DeepPathsAreBuiltWithoutRecursion) {
    CXmlFile file;
    ASSERT_EQ(file.CreateDocument(u"<root/>"), S_OK);
    std::u16string path = u"/root";
    for (int depth = 0; depth < 300; ++depth) {
        path += u"/e";
    }
    Node deepest;
    ASSERT_EQ(file.GetElement(path.c_str(), &deepest, true), S_OK);
    EXPECT_EQ(Count(file, u"//e"), 300);
    EXPECT_EQ(Count(file, u"//e[not(*)]"), 1);
}

} // namespace
} // namespace xmlfiletest
