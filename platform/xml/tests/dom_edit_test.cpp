// Tree editing: creating nodes with and without namespaces, attributes, moving nodes within and across
// documents, node lifetimes, copies and the XML text of subtrees.
#include "platform/xml/doc_impl.h"
#include "platform/xml/namespaces.h"
#include "platform/xml/tests/xml_test_util.h"

namespace vr::xml {
namespace {

using testing::NewDocument;
using testing::Parse;

Node Create(Document& doc, DOMNodeType type, std::u16string_view name, std::u16string_view uri = u"") {
    Node node;
    EXPECT_EQ(doc.createNode(type, name, uri, &node), S_OK) << ToUtf8(name);
    return node;
}

TEST(DomEdit, NamespacedNodesGetTheirDeclarationsOnce) {
    Document doc = Parse(u"<root xmlns:vrt='urn:vornic:object-attributes'/>");
    Node root = doc.documentElement();
    Node child = Create(doc, NODE_ELEMENT, u"vrt:child3", kObjectAttributesNamespace);
    EXPECT_EQ(child.prefix(), u"vrt");
    EXPECT_EQ(child.baseName(), u"child3");
    EXPECT_EQ(child.namespaceURI(), kObjectAttributesNamespace);
    ASSERT_EQ(root.appendChild(child), S_OK);
    Node attribute = Create(doc, NODE_ATTRIBUTE, u"vrt:e", kObjectAttributesNamespace);
    ASSERT_EQ(attribute.setText(u"e5"), S_OK);
    ASSERT_EQ(child.attributes().setNamedItem(attribute), S_OK);
    EXPECT_EQ(doc.xml(),
              u"<root xmlns:vrt=\"urn:vornic:object-attributes\"><vrt:child3 vrt:e=\"e5\"/></root>\r\n");
    // Alone, the element brings the declaration its names need.
    EXPECT_EQ(child.xml(), u"<vrt:child3 xmlns:vrt=\"urn:vornic:object-attributes\" vrt:e=\"e5\"/>");
}

TEST(DomEdit, PrefixedNamesWithoutNamespaceKeepThePrefixAndMatchByLocalName) {
    Document doc = Parse(u"<xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                         u"xmlns:vra='urn:vornic:adapter-annotations'/>");
    Node facet;
    ASSERT_EQ(doc.createElement(u"xsd:enumeration", &facet), S_OK);
    EXPECT_EQ(facet.nodeName(), u"xsd:enumeration");
    EXPECT_EQ(facet.prefix(), u"xsd");
    EXPECT_EQ(facet.baseName(), u"enumeration");
    EXPECT_EQ(facet.namespaceURI(), u"");
    ASSERT_EQ(facet.setAttribute(u"value", u"LO"), S_OK);
    ASSERT_EQ(facet.setAttribute(u"vra:substitution", u"0"), S_OK);
    ASSERT_EQ(doc.documentElement().appendChild(facet), S_OK);

    // XPath sees the node under its local name only (it has no namespace) ...
    Node found;
    EXPECT_EQ(doc.selectSingleNode(u"//enumeration[position()=last()]", &found), S_OK);
    EXPECT_EQ(found, facet);
    // ... and the text, parsed again where the prefixes are declared, puts it into the namespace.
    EXPECT_EQ(facet.xml(), u"<xsd:enumeration value=\"LO\" vra:substitution=\"0\"/>");
    Document reparsed = Parse(doc.xml());
    Node real = reparsed.documentElement().firstChild();
    EXPECT_EQ(real.namespaceURI(), kXsdNamespace);
    EXPECT_EQ(real.attributes().item(1).namespaceURI(), kAdapterAnnotationsNamespace);
    std::u16string substitution;
    EXPECT_EQ(real.getAttribute(u"vra:substitution", &substitution), S_OK);
    EXPECT_EQ(substitution, u"0");
}

TEST(DomEdit, InvalidNamesAreRefused) {
    Document doc = NewDocument();
    Node node;
    EXPECT_EQ(doc.createElement(u"1abc", &node), E_FAIL);
    EXPECT_EQ(doc.createElement(u"a:b:c", &node), E_FAIL);
    EXPECT_EQ(doc.createElement(u"", &node), E_FAIL);
    EXPECT_FALSE(ErrorDescription().empty());
    EXPECT_EQ(doc.createAttribute(u"a b", &node), E_FAIL);
}

TEST(DomEdit, AttributesKeepDocumentOrderAndReplaceInPlace) {
    Document doc = Parse(u"<r attr2='val2'/>");
    Node r = doc.documentElement();
    ASSERT_EQ(r.setAttribute(u"a", u"a1"), S_OK);
    ASSERT_EQ(r.setAttribute(u"b", u"b1"), S_OK);
    ASSERT_EQ(r.setAttribute(u"attr2", u"new"), S_OK);
    NamedNodeMap attributes = r.attributes();
    ASSERT_EQ(attributes.length(), 3);
    EXPECT_EQ(attributes.item(0).nodeName(), u"attr2");
    EXPECT_EQ(attributes.item(0).nodeValue(), u"new");
    EXPECT_EQ(attributes.item(2).nodeName(), u"b");
    EXPECT_FALSE(attributes.item(3));

    Node replacement;
    ASSERT_EQ(doc.createAttribute(u"a", &replacement), S_OK);
    ASSERT_EQ(replacement.setText(u"a2"), S_OK);
    Node old;
    ASSERT_EQ(attributes.setNamedItem(replacement, &old), S_OK);
    EXPECT_EQ(old.nodeValue(), u"a1");
    EXPECT_EQ(attributes.item(1), replacement);

    Node removed;
    EXPECT_EQ(attributes.removeNamedItem(u"attr2", &removed), S_OK);
    EXPECT_EQ(removed.nodeValue(), u"new");
    EXPECT_EQ(attributes.removeNamedItem(u"attr2"), S_FALSE);
    std::u16string value = u"unchanged";
    EXPECT_EQ(r.getAttribute(u"attr2", &value), S_FALSE);
    EXPECT_EQ(value, u"unchanged");
    EXPECT_EQ(doc.xml(), u"<r a=\"a2\" b=\"b1\"/>\r\n");
    EXPECT_EQ(attributes.item(0).xml(), u"a=\"a2\"");
    // Clearing by removing the first until none is left.
    while (attributes.length() > 0) {
        ASSERT_EQ(r.removeAttribute(attributes.item(0).nodeName()), S_OK);
    }
    EXPECT_EQ(r.xml(), u"<r/>");
}

TEST(DomEdit, QualifiedLookupAndNamespaceDeclarations) {
    Document doc = Parse(u"<r xmlns:v='urn:v' v:x='1' x='2'/>");
    NamedNodeMap attributes = doc.documentElement().attributes();
    EXPECT_EQ(attributes.length(), 2); // declarations are not attributes here
    EXPECT_EQ(attributes.getQualifiedItem(u"x", u"urn:v").nodeValue(), u"1");
    EXPECT_EQ(attributes.getQualifiedItem(u"x", u"").nodeValue(), u"2");
    EXPECT_EQ(attributes.getNamedItem(u"v:x").nodeValue(), u"1");
    std::u16string uri;
    EXPECT_EQ(doc.documentElement().getAttribute(u"xmlns:v", &uri), S_OK);
    EXPECT_EQ(uri, u"urn:v");
    EXPECT_EQ(doc.documentElement().setAttribute(u"xmlns:w", u"urn:w"), S_OK);
    EXPECT_EQ(doc.documentElement().setAttribute(u"xmlns:v", u"urn:other"), E_FAIL);
    EXPECT_EQ(doc.documentElement().xml(), u"<r xmlns:v=\"urn:v\" xmlns:w=\"urn:w\" v:x=\"1\" x=\"2\"/>");
}

TEST(DomEdit, AppendInsertReplaceRemove) {
    Document doc = Parse(u"<r><a/><b/></r>");
    Node r = doc.documentElement();
    Node a = r.firstChild();
    Node b = r.lastChild();
    Node c;
    ASSERT_EQ(doc.createElement(u"c", &c), S_OK);
    ASSERT_EQ(r.insertBefore(c, b), S_OK);
    EXPECT_EQ(r.xml(), u"<r><a/><c/><b/></r>");
    ASSERT_EQ(r.appendChild(a), S_OK); // moves
    EXPECT_EQ(r.xml(), u"<r><c/><b/><a/></r>");
    Node replaced;
    Node d;
    ASSERT_EQ(doc.createElement(u"d", &d), S_OK);
    ASSERT_EQ(r.replaceChild(d, b, &replaced), S_OK);
    EXPECT_EQ(replaced, b);
    EXPECT_EQ(r.xml(), u"<r><c/><d/><a/></r>");
    EXPECT_FALSE(b.parentNode());
    ASSERT_EQ(r.removeChild(c), S_OK);
    EXPECT_EQ(r.xml(), u"<r><d/><a/></r>");
    EXPECT_EQ(c.nodeName(), u"c"); // still usable after removal
    ASSERT_EQ(b.appendChild(c), S_OK);
    EXPECT_EQ(b.xml(), u"<b><c/></b>");
    EXPECT_EQ(d.nextSibling(), a);
    EXPECT_EQ(a.previousSibling(), d);
    EXPECT_EQ(a.parentNode(), r);
    EXPECT_EQ(r.parentNode(), doc);
    EXPECT_EQ(a.ownerDocument(), doc);
}

TEST(DomEdit, TextNodesNextToEachOtherStaySeparate) {
    Document doc = Parse(u"<r>one</r>");
    Node r = doc.documentElement();
    Node first = r.firstChild();
    Node second;
    ASSERT_EQ(doc.createTextNode(u"two", &second), S_OK);
    ASSERT_EQ(r.appendChild(second), S_OK);
    EXPECT_EQ(r.childNodes().length(), 2);
    EXPECT_EQ(first.nodeValue(), u"one");
    EXPECT_EQ(second.nodeValue(), u"two");
    EXPECT_EQ(r.text(), u"onetwo");
}

TEST(DomEdit, WrongEditsAreRefusedAndChangeNothing) {
    Document doc = Parse(u"<r><a><b/></a></r>");
    Node r = doc.documentElement();
    Node a = r.firstChild();
    Node b = a.firstChild();
    EXPECT_EQ(b.appendChild(a), E_FAIL); // an ancestor under its descendant
    EXPECT_EQ(a.appendChild(a), E_FAIL);
    Node second;
    ASSERT_EQ(doc.createElement(u"second", &second), S_OK);
    EXPECT_EQ(doc.appendChild(second), E_FAIL); // one root only
    Node attribute;
    ASSERT_EQ(doc.createAttribute(u"x", &attribute), S_OK);
    EXPECT_EQ(r.appendChild(attribute), E_INVALIDARG);
    EXPECT_EQ(r.insertBefore(second, b), E_INVALIDARG); // b is not r's child
    EXPECT_EQ(r.removeChild(b), E_INVALIDARG);
    EXPECT_EQ(a.attributes().setNamedItem(second), E_INVALIDARG);
    EXPECT_EQ(doc.xml(), u"<r><a><b/></a></r>\r\n");
    EXPECT_EQ(Node().appendChild(second), E_POINTER);
}

TEST(DomEdit, RootElementCanBeReplacedAndBuiltFromNothing) {
    Document doc = NewDocument();
    Node root;
    ASSERT_EQ(doc.createElement(u"first", &root), S_OK);
    ASSERT_EQ(doc.appendChild(root), S_OK);
    Node comment;
    ASSERT_EQ(doc.createComment(u"note", &comment), S_OK);
    ASSERT_EQ(doc.insertBefore(comment, root), S_OK);
    Node other;
    ASSERT_EQ(doc.createElement(u"other", &other), S_OK);
    ASSERT_EQ(doc.replaceChild(other, root), S_OK);
    EXPECT_EQ(doc.xml(), u"<!--note-->\r\n<other/>\r\n");
    EXPECT_EQ(doc.documentElement(), other);
}

TEST(DomEdit, NodesMoveIntoAnotherDocumentAndOutliveTheirFirstDocument) {
    Document target = Parse(u"<other xmlns:a='urn:a'/>");
    Node moved;
    {
        Document source =
            Parse(u"<root xmlns:vrt='urn:v' xmlns:a='urn:a'><a:x vrt:q='1'><vrt:y>t</vrt:y></a:x></root>");
        moved = source.documentElement().firstChild();
        ASSERT_EQ(target.documentElement().appendChild(moved), S_OK);
        EXPECT_EQ(source.xml(), u"<root xmlns:vrt=\"urn:v\" xmlns:a=\"urn:a\"/>\r\n");
    } // the source document goes away here
    EXPECT_EQ(moved.ownerDocument(), target);
    EXPECT_EQ(
        target.xml(),
        u"<other xmlns:a=\"urn:a\"><a:x xmlns:vrt=\"urn:v\" vrt:q=\"1\"><vrt:y>t</vrt:y></a:x></other>\r\n");
    Node y = moved.firstChild();
    EXPECT_EQ(y.namespaceURI(), u"urn:v");
    EXPECT_EQ(y.text(), u"t");
}

TEST(DomEdit, DetachedNodesOfAnotherDocumentMoveToo) {
    Document first = NewDocument();
    Node element;
    ASSERT_EQ(first.createNode(NODE_ELEMENT, u"p:e", u"urn:p", &element), S_OK);
    Node prefixed;
    ASSERT_EQ(first.createElement(u"xsd:element", &prefixed), S_OK);
    ASSERT_EQ(element.appendChild(prefixed), S_OK);
    Node attribute;
    ASSERT_EQ(first.createNode(NODE_ATTRIBUTE, u"p:a", u"urn:p", &attribute), S_OK);
    first = Document(); // nothing refers to the first document but the nodes

    Document second = Parse(u"<r/>");
    ASSERT_EQ(second.documentElement().appendChild(element), S_OK);
    ASSERT_EQ(second.documentElement().attributes().setNamedItem(attribute), S_OK);
    EXPECT_EQ(second.xml(),
              u"<r xmlns:p=\"urn:p\" p:a=\"\"><p:e xmlns:p=\"urn:p\"><xsd:element/></p:e></r>\r\n");
    EXPECT_EQ(prefixed.prefix(), u"xsd");
}

TEST(DomEdit, NodesKeepTheirDocumentAlive) {
    Node node;
    {
        Document doc = Parse(u"<r><a>text</a></r>");
        node = doc.documentElement().firstChild();
    }
    EXPECT_EQ(node.text(), u"text");
    Document owner = node.ownerDocument();
    EXPECT_EQ(owner.documentElement().nodeName(), u"r");
}

TEST(DomEdit, ReloadingKeepsOldNodesUsable) {
    Document doc = Parse(u"<template/>");
    Node element;
    ASSERT_EQ(doc.createElement(u"element", &element), S_OK);
    ASSERT_EQ(doc.documentElement().appendChild(element), S_OK);
    Node oldRoot = doc.documentElement();
    ASSERT_EQ(doc.loadXML(u"<template/>"), S_OK);
    EXPECT_NE(doc.documentElement(), oldRoot);
    EXPECT_EQ(element.parentNode(), oldRoot);
    EXPECT_EQ(oldRoot.xml(), u"<template><element/></template>");
    // The old element can join the new tree.
    ASSERT_EQ(doc.documentElement().appendChild(element), S_OK);
    EXPECT_EQ(doc.xml(), u"<template><element/></template>\r\n");
}

// A working document lives as long as its owner: what is created, removed or left behind by reloading must
// be freed once no handle refers to it, not kept until the document goes.
TEST(DomEdit, LongLivedDocumentDoesNotAccumulateDetachedNodes) {
    Document doc = Parse(u"<template/>");
    const detail::DocumentImpl& impl = *detail::NodeAccess::Impl(doc);
    for (int i = 0; i < 200; ++i) {
        Node element;
        ASSERT_EQ(doc.createElement(u"xsd:element", &element), S_OK);
        ASSERT_EQ(doc.loadXML(u"<template/>"), S_OK);
        ASSERT_EQ(doc.documentElement().appendChild(element), S_OK);
        Node removed;
        ASSERT_EQ(doc.documentElement().removeChild(element, &removed), S_OK);
        Node copy;
        ASSERT_EQ(removed.cloneNode(true, &copy), S_OK);
    }
    EXPECT_TRUE(impl.detached.empty());
    EXPECT_TRUE(impl.prefixes.empty());
    Node kept;
    ASSERT_EQ(doc.createElement(u"kept", &kept), S_OK);
    EXPECT_EQ(impl.detached.size(), 1u);
}

// The schema factory's pattern on every value check: an element built under the template's root, the template
// reloaded, the element moved under the new root. The old root, left without the element and without a
// handle, goes at once rather than with the document.
TEST(DomEdit, AnOldRootThatANodeMovesOutOfIsFreed) {
    Document doc = Parse(u"<xsd:schema xmlns:xsd='urn:x'/>");
    const detail::DocumentImpl& impl = *detail::NodeAccess::Impl(doc);
    for (int i = 0; i < 100; ++i) {
        Node element;
        ASSERT_EQ(doc.createElement(u"xsd:element", &element), S_OK);
        ASSERT_EQ(doc.documentElement().appendChild(element), S_OK);
        ASSERT_EQ(doc.loadXML(u"<xsd:schema xmlns:xsd='urn:x'/>"), S_OK);
        ASSERT_EQ(doc.documentElement().appendChild(element), S_OK);
    }
    EXPECT_TRUE(impl.detached.empty()) << impl.detached.size() << " old roots kept";
}

TEST(DomEdit, SettingTextReplacesChildrenButKeepsThemUsable) {
    Document doc = Parse(u"<r><a/>x<b/></r>");
    Node r = doc.documentElement();
    Node a = r.firstChild();
    ASSERT_EQ(r.setText(u"plain & simple"), S_OK);
    EXPECT_EQ(r.xml(), u"<r>plain &amp; simple</r>");
    EXPECT_EQ(a.nodeName(), u"a");
    EXPECT_FALSE(a.parentNode());
    ASSERT_EQ(r.setText(u""), S_OK);
    EXPECT_FALSE(r.hasChildNodes());
    EXPECT_EQ(doc.setText(u"x"), E_FAIL);
}

TEST(DomEdit, CopiesAreDetachedAndIndependent) {
    Document doc = Parse(u"<r xmlns:v='urn:v'><v:a v:k='1'><b/></v:a></r>");
    Node a = doc.documentElement().firstChild();
    Node deep, shallow;
    ASSERT_EQ(a.cloneNode(true, &deep), S_OK);
    ASSERT_EQ(a.cloneNode(false, &shallow), S_OK);
    EXPECT_FALSE(deep.parentNode());
    EXPECT_EQ(deep.xml(), u"<v:a xmlns:v=\"urn:v\" v:k=\"1\"><b/></v:a>");
    EXPECT_EQ(shallow.xml(), u"<v:a xmlns:v=\"urn:v\" v:k=\"1\"/>");
    ASSERT_EQ(deep.setAttribute(u"v:k", u"2"), S_OK);
    std::u16string original;
    ASSERT_EQ(a.getAttribute(u"v:k", &original), S_OK);
    EXPECT_EQ(original, u"1");
    ASSERT_EQ(doc.documentElement().appendChild(deep), S_OK);
    EXPECT_EQ(doc.documentElement().xml(),
              u"<r xmlns:v=\"urn:v\"><v:a v:k=\"1\"><b/></v:a><v:a v:k=\"2\"><b/></v:a></r>");

    Node attribute = a.attributes().item(0);
    Node attributeCopy;
    ASSERT_EQ(attribute.cloneNode(true, &attributeCopy), S_OK);
    EXPECT_EQ(attributeCopy.namespaceURI(), u"urn:v");
    EXPECT_EQ(attributeCopy.nodeValue(), u"1");

    Document copyOfDocument;
    Node unused;
    EXPECT_EQ(doc.cloneNode(true, &unused), E_NOTIMPL);

    Node prefixed;
    ASSERT_EQ(doc.createElement(u"xsd:element", &prefixed), S_OK);
    Node prefixedCopy;
    ASSERT_EQ(prefixed.cloneNode(true, &prefixedCopy), S_OK);
    EXPECT_EQ(prefixedCopy.nodeName(), u"xsd:element");
}

TEST(DomEdit, NoNamespaceElementUnderADefaultNamespaceStaysOutOfIt) {
    Document doc = Parse(u"<r xmlns='urn:d'/>");
    Node plain;
    ASSERT_EQ(doc.createElement(u"plain", &plain), S_OK);
    ASSERT_EQ(doc.documentElement().appendChild(plain), S_OK);
    std::u16string xml = doc.xml();
    EXPECT_EQ(xml, u"<r xmlns=\"urn:d\"><plain xmlns=\"\"/></r>\r\n");
    EXPECT_EQ(Parse(xml).documentElement().firstChild().namespaceURI(), u"");
}

TEST(DomEdit, OtherNodeKindsHaveTheirNamesAndValues) {
    Document doc = Parse(u"<r><?target some data?><!--c--><![CDATA[x]]></r>");
    NodeList children = doc.documentElement().childNodes();
    ASSERT_EQ(children.length(), 3);
    EXPECT_EQ(children.item(0).nodeType(), NODE_PROCESSING_INSTRUCTION);
    EXPECT_EQ(children.item(0).nodeName(), u"target");
    EXPECT_EQ(children.item(0).nodeValue(), u"some data");
    EXPECT_EQ(children.item(1).nodeName(), u"#comment");
    EXPECT_EQ(children.item(2).nodeName(), u"#cdata-section");
    EXPECT_EQ(children.item(2).nodeValue(), u"x");
    ASSERT_EQ(children.item(1).setNodeValue(u"changed"), S_OK);
    EXPECT_EQ(doc.documentElement().setNodeValue(u"x"), E_FAIL);
    Node pi;
    EXPECT_EQ(doc.createProcessingInstruction(u"xml", u"", &pi), E_FAIL);
    Node cdata;
    ASSERT_EQ(doc.createCDATASection(u"a]]>b", &cdata), S_OK);
    ASSERT_EQ(doc.documentElement().appendChild(cdata), S_OK);
    Document again = Parse(doc.xml());
    EXPECT_EQ(again.documentElement().text(), u"xa]]>b");
    EXPECT_NE(again.xml().find(u"<!--changed-->"), std::u16string::npos);
}

} // namespace
} // namespace vr::xml
