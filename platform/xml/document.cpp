// Documents: creation, settings and properties, loading and saving, node factories.
#include "platform/base/file_write.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/xml/doc_impl.h"
#include "platform/xml/parse.h"
#include "platform/xml/runtime.h"
#include "platform/xml/serialize.h"
#include "platform/xml/tree_ops.h"
#include "platform/xml/validation.h"
#include "platform/xml/xpath_state.h"

namespace vr::xml {

using detail::DocumentImpl;
using detail::NodeAccess;

namespace {

constexpr std::u16string_view kSelectionLanguage = u"SelectionLanguage";
constexpr std::u16string_view kSelectionNamespaces = u"SelectionNamespaces";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Replaces the content of impl.doc with the children of parsed (which is freed). Old nodes that handles
// refer to stay usable as detached nodes.
void ReplaceContent(DocumentImpl& impl, xmlDocPtr parsed) {
    impl.layout.Clear(); // the old nodes leave the tree
    while (xmlNodePtr child = impl.doc->children) {
        detail::Detach(impl, child);
        detail::CollectIfUnreferenced(impl, child);
    }
    while (xmlNodePtr child = parsed->children) {
        xmlUnlinkNode(child);
        if (child->type == XML_DTD_NODE) {
            xmlSetTreeDoc(child, impl.doc);
        } else {
            xmlDOMWrapAdoptNode(nullptr, parsed, child, impl.doc, nullptr, 0);
        }
        detail::LinkChild(reinterpret_cast<xmlNodePtr>(impl.doc), child, nullptr);
    }
    impl.doc->standalone = parsed->standalone;
    xmlFree(const_cast<xmlChar*>(impl.doc->version));
    impl.doc->version = xmlStrdup(parsed->version != nullptr ? parsed->version : detail::AsXml("1.0"));
    xmlFreeDoc(parsed);
}

HRESULT LoadBytes(Document& document, std::string_view bytes, std::u16string_view url, bool textIsUtf8) {
    DocumentImpl& impl = *NodeAccess::Impl(document);
    detail::ParseRequest request{bytes, std::u16string(url), textIsUtf8, impl.preserveWhiteSpace};
    xmlDocPtr parsed = detail::ParseDocument(request, &impl.parseError);
    if (parsed == nullptr) {
        return impl.parseError.errorCode;
    }
    if (impl.validateOnParse && impl.schemas && detail::HasSchemas(impl.schemas)) {
        HRESULT hr = detail::ValidateParsed(impl.schemas, parsed, request, &impl.parseError);
        if (FAILED(hr)) {
            xmlFreeDoc(parsed);
            return hr;
        }
    }
    // The layout is kept for texts read as UTF-8, the writer's encoding; a file's byte-order mark (editors
    // of other systems write one) is no part of the text's layout, but is written again before it.
    const bool utf8 = textIsUtf8 || parsed->encoding == nullptr ||
                      EqualsNoCase(detail::ViewXml(parsed->encoding), std::string_view("UTF-8"));
    const bool keepLayout = impl.keepLayout && utf8;
    const bool marked = bytes.starts_with(kUtf8ByteOrderMark);
    ReplaceContent(impl, parsed);
    if (keepLayout) {
        detail::RecordLayout(impl, marked ? bytes.substr(kUtf8ByteOrderMark.size()) : bytes);
    }
    if (!textIsUtf8) { // a file: loadXML's text, already decoded, says nothing about the file's mark
        impl.byteOrderMark = keepLayout && marked;
    }
    impl.url = std::u16string(url);
    return S_OK;
}

// The file replaced whole (see platform/base/file_write.h): a failure leaves the earlier file as it was and
// says why in the error description.
HRESULT WriteFile(const std::string& path, const std::string& bytes) {
    FileWriteResult saved = WriteFileWhole(path, bytes);
    if (!saved) {
        return detail::Fail(HResultFromErrno(saved.error), FromUtf8(saved.reason) + u"\r\n");
    }
    return S_OK;
}

HRESULT Created(DocumentImpl& impl, const Document& document, xmlNodePtr node, Node* result) {
    if (node == nullptr) {
        return E_OUTOFMEMORY;
    }
    impl.detached.insert(node);
    *result = NodeAccess::Make(NodeAccess::Owner(document), node);
    return S_OK;
}

} // namespace

HRESULT Document::Create(Document* result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    auto impl = std::make_shared<DocumentImpl>();
    if (impl->doc == nullptr) {
        return E_OUTOFMEMORY;
    }
    *result = NodeAccess::MakeDocument(impl);
    return S_OK;
}

bool Document::async() const {
    return *this && NodeAccess::Impl(*this)->async;
}
void Document::setAsync(bool value) {
    if (*this) {
        NodeAccess::Impl(*this)->async = value;
    }
}
bool Document::validateOnParse() const {
    return *this && NodeAccess::Impl(*this)->validateOnParse;
}
void Document::setValidateOnParse(bool value) {
    if (*this) {
        NodeAccess::Impl(*this)->validateOnParse = value;
    }
}
bool Document::preserveWhiteSpace() const {
    return *this && NodeAccess::Impl(*this)->preserveWhiteSpace;
}
void Document::setPreserveWhiteSpace(bool value) {
    if (*this) {
        NodeAccess::Impl(*this)->preserveWhiteSpace = value;
    }
}

bool Document::keepLayout() const {
    return *this && NodeAccess::Impl(*this)->keepLayout;
}
void Document::setKeepLayout(bool value) {
    if (*this) {
        NodeAccess::Impl(*this)->keepLayout = value;
    }
}

HRESULT Document::setProperty(std::u16string_view name, std::u16string_view value) {
    detail::ClearErrorDescription();
    if (!*this) {
        return E_POINTER;
    }
    DocumentImpl& impl = *NodeAccess::Impl(*this);
    if (name == kSelectionLanguage) {
        return value == u"XPath"
                   ? S_OK
                   : detail::Fail(E_INVALIDARG, u"Only XPath is supported as selection language.\r\n");
    }
    if (name != kSelectionNamespaces) {
        return detail::Fail(E_INVALIDARG, u"Unknown property '" + std::u16string(name) + u"'.\r\n");
    }
    std::vector<std::pair<std::string, std::string>> namespaces;
    if (!detail::ParseSelectionNamespaces(value, &namespaces)) {
        return detail::Fail(E_INVALIDARG, u"SelectionNamespaces property value is invalid.\r\n");
    }
    impl.selectionNamespaces = std::u16string(value);
    if (impl.xpath) {
        impl.xpath->SetNamespaces(namespaces);
    }
    return S_OK;
}

HRESULT Document::getProperty(std::u16string_view name, std::u16string* value) const {
    if (!*this || value == nullptr) {
        return E_POINTER;
    }
    if (name == kSelectionLanguage) {
        *value = u"XPath";
        return S_OK;
    }
    if (name == kSelectionNamespaces) {
        *value = NodeAccess::Impl(*this)->selectionNamespaces;
        return S_OK;
    }
    return detail::Fail(E_INVALIDARG, u"Unknown property '" + std::u16string(name) + u"'.\r\n");
}

HRESULT Document::load(std::u16string_view url) {
    if (!*this) {
        return E_POINTER;
    }
    std::string bytes;
    if (!detail::ReadUrl(url, &bytes, &NodeAccess::Impl(*this)->parseError)) {
        return NodeAccess::Impl(*this)->parseError.errorCode;
    }
    return LoadBytes(*this, bytes, url, false);
}

HRESULT Document::loadXML(std::u16string_view text) {
    if (!*this) {
        return E_POINTER;
    }
    return LoadBytes(*this, ToUtf8(text), u"", true);
}

HRESULT Document::save(std::u16string_view path) const {
    if (!*this) {
        return E_POINTER;
    }
    detail::ClearErrorDescription();
    const DocumentImpl& impl = *NodeAccess::Impl(*this);
    const std::string_view mark = impl.byteOrderMark ? kUtf8ByteOrderMark : std::string_view();
    return WriteFile(ToUtf8(path), std::string(mark) + detail::SerializeDocument(impl, true));
}

int32_t Document::readyState() const {
    return 4;
}

ParseError Document::parseError() const {
    return *this ? NodeAccess::Impl(*this)->parseError : ParseError();
}

std::u16string Document::url() const {
    return *this ? NodeAccess::Impl(*this)->url : std::u16string();
}

Node Document::documentElement() const {
    if (!*this) {
        return {};
    }
    return NodeAccess::Make(NodeAccess::Owner(*this), xmlDocGetRootElement(NodeAccess::Impl(*this)->doc));
}

HRESULT Document::createElement(std::u16string_view name, Node* result) {
    return createNode(NODE_ELEMENT, name, u"", result);
}

HRESULT Document::createAttribute(std::u16string_view name, Node* result) {
    return createNode(NODE_ATTRIBUTE, name, u"", result);
}

HRESULT Document::createNode(DOMNodeType type, std::u16string_view name, std::u16string_view namespaceURI,
                             Node* result) {
    detail::ClearErrorDescription();
    if (!*this || result == nullptr) {
        return E_POINTER;
    }
    DocumentImpl& impl = *NodeAccess::Impl(*this);
    xmlNodePtr node = nullptr;
    HRESULT hr = S_OK;
    switch (type) {
    case NODE_ELEMENT:
        hr = detail::CreateElementNode(impl, name, namespaceURI, &node);
        break;
    case NODE_ATTRIBUTE:
        hr = detail::CreateAttributeNode(impl, name, namespaceURI, &node);
        break;
    case NODE_TEXT:
        return createTextNode(u"", result);
    case NODE_CDATA_SECTION:
        return createCDATASection(u"", result);
    case NODE_COMMENT:
        return createComment(u"", result);
    case NODE_PROCESSING_INSTRUCTION:
        return createProcessingInstruction(name, u"", result);
    default:
        return detail::Fail(E_INVALIDARG, u"Nodes of this type cannot be created.\r\n");
    }
    if (FAILED(hr)) {
        return hr;
    }
    *result = NodeAccess::Make(NodeAccess::Owner(*this), node);
    return S_OK;
}

HRESULT Document::createTextNode(std::u16string_view text, Node* result) {
    if (!*this || result == nullptr) {
        return E_POINTER;
    }
    DocumentImpl& impl = *NodeAccess::Impl(*this);
    std::string utf8 = ToUtf8(text);
    return Created(impl, *this,
                   xmlNewDocTextLen(impl.doc, detail::AsXml(utf8), static_cast<int>(utf8.size())), result);
}

HRESULT Document::createComment(std::u16string_view text, Node* result) {
    if (!*this || result == nullptr) {
        return E_POINTER;
    }
    DocumentImpl& impl = *NodeAccess::Impl(*this);
    return Created(impl, *this, xmlNewDocComment(impl.doc, detail::AsXml(ToUtf8(text))), result);
}

HRESULT Document::createCDATASection(std::u16string_view text, Node* result) {
    if (!*this || result == nullptr) {
        return E_POINTER;
    }
    DocumentImpl& impl = *NodeAccess::Impl(*this);
    std::string utf8 = ToUtf8(text);
    return Created(impl, *this,
                   xmlNewCDataBlock(impl.doc, detail::AsXml(utf8), static_cast<int>(utf8.size())), result);
}

HRESULT Document::createProcessingInstruction(std::u16string_view target, std::u16string_view data,
                                              Node* result) {
    detail::ClearErrorDescription();
    if (!*this || result == nullptr) {
        return E_POINTER;
    }
    std::string name = ToUtf8(target);
    if (xmlValidateNCName(detail::AsXml(name), 0) != 0 || EqualsNoCase(std::string_view(name), "xml")) {
        return detail::Fail(E_FAIL, u"'" + std::u16string(target) +
                                        u"' is not a valid processing instruction target.\r\n");
    }
    DocumentImpl& impl = *NodeAccess::Impl(*this);
    return Created(impl, *this, xmlNewDocPI(impl.doc, detail::AsXml(name), detail::AsXml(ToUtf8(data))),
                   result);
}

SchemaCache Document::schemas() const {
    return *this ? NodeAccess::Impl(*this)->schemas : SchemaCache();
}

void Document::setSchemas(const SchemaCache& cache) {
    if (*this) {
        NodeAccess::Impl(*this)->schemas = cache;
    }
}

HRESULT Document::validate() {
    if (!*this) {
        return E_POINTER;
    }
    return validateNode(*this);
}

HRESULT Document::validateNode(const Node& node) {
    if (!*this || !node) {
        return E_POINTER;
    }
    DocumentImpl& impl = *NodeAccess::Impl(*this);
    if (NodeAccess::Impl(node) != &impl) {
        return detail::Fail(E_INVALIDARG, u"The node does not belong to this document.\r\n");
    }
    return detail::ValidateTree(impl, NodeAccess::Xml(node), &impl.parseError);
}

} // namespace vr::xml
