// Node handles: kind, names, values, text, XML text and navigation.
#include "platform/base/text.h"
#include "platform/xml/doc_impl.h"
#include "platform/xml/runtime.h"
#include "platform/xml/serialize.h"
#include "platform/xml/tree_ops.h"

namespace vr::xml {

using detail::NodeAccess;

namespace {

bool IsWhiteSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::u16string Trimmed(std::u16string text) {
    size_t begin = 0;
    while (begin < text.size() && IsWhiteSpace(text[begin])) {
        ++begin;
    }
    size_t end = text.size();
    while (end > begin && IsWhiteSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool HoldsValue(xmlNodePtr node) {
    switch (node->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return true;
    default:
        return false;
    }
}

// Children a handle may walk to: not the content of entity references, not declarations inside a DTD.
bool HasWalkableChildren(xmlNodePtr node) {
    return node->type != XML_ENTITY_REF_NODE && node->type != XML_DTD_NODE && node->children != nullptr;
}

Node Related(const Node& from, xmlNodePtr related) {
    return related == nullptr ? Node() : NodeAccess::Make(NodeAccess::Owner(from), related);
}

} // namespace

DOMNodeType Node::nodeType() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node ? detail::NodeTypeOf(node) : NODE_INVALID;
}

std::u16string Node::nodeName() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr) {
        return {};
    }
    switch (node->type) {
    case XML_TEXT_NODE:
        return u"#text";
    case XML_CDATA_SECTION_NODE:
        return u"#cdata-section";
    case XML_COMMENT_NODE:
        return u"#comment";
    case XML_DOCUMENT_NODE:
        return u"#document";
    case XML_DOCUMENT_FRAG_NODE:
        return u"#document-fragment";
    default:
        return FromUtf8(detail::QualifiedName(*NodeAccess::Impl(*this), node));
    }
}

std::u16string Node::baseName() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr) {
        return {};
    }
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE:
        return detail::FromXml(node->name);
    default:
        return {};
    }
}

std::u16string Node::prefix() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr || (node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE)) {
        return {};
    }
    if (node->ns != nullptr) {
        return detail::FromXml(node->ns->prefix);
    }
    return FromUtf8(detail::KeptPrefix(*NodeAccess::Impl(*this), node));
}

std::u16string Node::namespaceURI() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node ? FromUtf8(detail::NamespaceOf(node)) : std::u16string();
}

std::u16string Node::text() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr) {
        return {};
    }
    std::u16string text = FromUtf8(detail::TextOf(node));
    bool container = node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE;
    return container && !NodeAccess::Impl(*this)->preserveWhiteSpace ? Trimmed(std::move(text)) : text;
}

HRESULT Node::setText(std::u16string_view text) {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr) {
        return E_POINTER;
    }
    std::string utf8 = ToUtf8(text);
    if (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) {
        detail::ReplaceChildrenWithText(*NodeAccess::Impl(*this), node, utf8);
        return S_OK;
    }
    if (HoldsValue(node)) {
        xmlNodeSetContent(node, detail::AsXml(utf8));
        return S_OK;
    }
    return detail::Fail(E_FAIL, u"This operation can not be performed with a node of this type.\r\n");
}

std::u16string Node::nodeValue() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node != nullptr && HoldsValue(node) ? FromUtf8(detail::TextOf(node)) : std::u16string();
}

HRESULT Node::setNodeValue(std::u16string_view value) {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr) {
        return E_POINTER;
    }
    if (!HoldsValue(node)) {
        return detail::Fail(E_FAIL, u"This node has no value to set.\r\n");
    }
    return setText(value);
}

std::u16string Node::xml() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr) {
        return {};
    }
    const detail::DocumentImpl& impl = *NodeAccess::Impl(*this);
    return FromUtf8(node->type == XML_DOCUMENT_NODE ? detail::SerializeDocument(impl, false)
                                                    : detail::SerializeNode(impl, node));
}

Node Node::parentNode() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr || node->type == XML_ATTRIBUTE_NODE) {
        return {};
    }
    return Related(*this, node->parent);
}

Node Node::firstChild() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node != nullptr && HasWalkableChildren(node) ? Related(*this, node->children) : Node();
}

Node Node::lastChild() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node != nullptr && HasWalkableChildren(node) ? Related(*this, node->last) : Node();
}

Node Node::previousSibling() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node != nullptr && node->type != XML_ATTRIBUTE_NODE ? Related(*this, node->prev) : Node();
}

Node Node::nextSibling() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node != nullptr && node->type != XML_ATTRIBUTE_NODE ? Related(*this, node->next) : Node();
}

bool Node::hasChildNodes() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    return node != nullptr && HasWalkableChildren(node);
}

NodeList Node::childNodes() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    std::vector<Node> children;
    if (node != nullptr && HasWalkableChildren(node)) {
        for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
            children.push_back(Related(*this, child));
        }
    }
    return NodeList(std::move(children));
}

NamedNodeMap Node::attributes() const {
    return nodeType() == NODE_ELEMENT ? NamedNodeMap(*this) : NamedNodeMap();
}

Document Node::ownerDocument() const {
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr || node->type == XML_DOCUMENT_NODE) {
        return {};
    }
    return NodeAccess::MakeDocument(NodeAccess::Owner(*this));
}

Node NodeList::item(int32_t index) const {
    return index >= 0 && index < length() ? nodes_[static_cast<size_t>(index)] : Node();
}

} // namespace vr::xml
