// The XML document object model: documents, nodes, node lists, attribute maps and parse errors, over libxml2.
#pragma once

#include "platform/base/types.h"
#include "platform/com/hresult.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Thread contract: one document, with every node of it, is used by one thread at a time. Handles (Node,
// Document, NodeList, NamedNodeMap) are cheap to copy; each keeps the document it belongs to alive. A node
// moved into another document belongs to that document from then on, and its handles keep working.
// The process-wide pieces (initialisation, the resource resolver, the entity guard) are thread-safe.

namespace vr::xml {

namespace detail {
struct NodeProxy;
struct NodeAccess;
} // namespace detail

class Document;
class NodeList;
class NamedNodeMap;
class SchemaCache;

// The node kinds, with the values the system's code passes to createNode.
enum DOMNodeType : int32_t {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12,
};

// Why the last load, loadXML or validate failed. errorCode is S_OK after a success; a failure is a negative
// HRESULT that callers may return as their own (0xC00CE000 + the parser's code for malformed XML, the
// Windows error of a file that cannot be read). reason ends in "\r\n"; line and linepos count from 1,
// filepos from 0 (UTF-16 units); srcText is the line of the source where the error was found.
struct ParseError {
    HRESULT errorCode = S_OK;
    std::u16string url;
    std::u16string reason;
    std::u16string srcText;
    int32_t line = 0;
    int32_t linepos = 0;
    int32_t filepos = 0;
};

// A handle to one node; an empty handle stands for "no node". Two handles are equal when they refer to the
// same node. Getters of an empty handle return empty values; operations on it fail with E_POINTER.
class Node {
public:
    Node() = default;
    Node(const Node& other);
    Node(Node&& other) noexcept;
    Node& operator=(const Node& other);
    Node& operator=(Node&& other) noexcept;
    ~Node();

    explicit operator bool() const { return proxy_ != nullptr; }
    friend bool operator==(const Node& a, const Node& b) { return a.proxy_ == b.proxy_; }

    DOMNodeType nodeType() const;
    // The qualified name ("xsd:element"), "#text", "#comment", "#cdata-section", "#document".
    std::u16string nodeName() const;
    // The local part of the name; `baseName` in the system's words.
    std::u16string baseName() const;
    std::u16string prefix() const;
    std::u16string namespaceURI() const;

    // The text of the node and its descendants (texts and CDATA sections). For a document that does not
    // preserve white space, leading and trailing white space is trimmed.
    std::u16string text() const;
    // Element: replaces every child with one text node; attribute, text, comment, CDATA, processing
    // instruction: replaces the value.
    [[nodiscard]] HRESULT setText(std::u16string_view text);
    // The value of an attribute, text, comment, CDATA section or processing instruction; empty otherwise.
    std::u16string nodeValue() const;
    [[nodiscard]] HRESULT setNodeValue(std::u16string_view value);

    // The node as XML text, with the namespace declarations its names need.
    std::u16string xml() const;

    Node parentNode() const;
    Node firstChild() const;
    Node lastChild() const;
    Node previousSibling() const;
    Node nextSibling() const;
    bool hasChildNodes() const;
    // The children as they are now (a snapshot).
    NodeList childNodes() const;
    // The attributes of an element (a live view); empty for other nodes.
    NamedNodeMap attributes() const;
    Document ownerDocument() const;

    // Tree editing. A node that is already in a tree leaves it first; a node of another document moves into
    // this one. The result (when asked for) is the node inserted or removed.
    [[nodiscard]] HRESULT appendChild(const Node& newChild, Node* result = nullptr);
    [[nodiscard]] HRESULT insertBefore(const Node& newChild, const Node& refChild, Node* result = nullptr);
    [[nodiscard]] HRESULT replaceChild(const Node& newChild, const Node& oldChild, Node* result = nullptr);
    [[nodiscard]] HRESULT removeChild(const Node& child, Node* result = nullptr);
    // A copy that belongs to no tree of the same document; deep copies the descendants too.
    [[nodiscard]] HRESULT cloneNode(bool deep, Node* result) const;

    // XPath 1.0 from this node, with the document's selection namespaces. selectSingleNode gives S_FALSE and
    // an empty handle when nothing matches. A bad expression fails with E_FAIL (see ErrorDescription()).
    [[nodiscard]] HRESULT selectNodes(std::u16string_view xpath, NodeList* result) const;
    [[nodiscard]] HRESULT selectSingleNode(std::u16string_view xpath, Node* result) const;

    // Element conveniences. getAttribute gives S_FALSE and leaves value alone when there is no such
    // attribute. setAttribute creates the attribute when missing; a name "xmlns:p" or "xmlns" declares a
    // namespace. Names are qualified names as written.
    [[nodiscard]] HRESULT getAttribute(std::u16string_view name, std::u16string* value) const;
    [[nodiscard]] HRESULT setAttribute(std::u16string_view name, std::u16string_view value);
    [[nodiscard]] HRESULT removeAttribute(std::u16string_view name);

protected:
    explicit Node(detail::NodeProxy* proxy);
    detail::NodeProxy* proxy_ = nullptr;
    friend struct detail::NodeAccess;
};

// A list of nodes in document order.
class NodeList {
public:
    NodeList() = default;
    explicit NodeList(std::vector<Node> nodes) : nodes_(std::move(nodes)) {}
    int32_t length() const { return static_cast<int32_t>(nodes_.size()); }
    // An empty handle when index is out of range.
    Node item(int32_t index) const;
    std::vector<Node>::const_iterator begin() const { return nodes_.begin(); }
    std::vector<Node>::const_iterator end() const { return nodes_.end(); }

private:
    std::vector<Node> nodes_;
};

// The attributes of one element in document order (namespace declarations are not listed). A live view:
// changes to the element show at once.
class NamedNodeMap {
public:
    NamedNodeMap() = default;
    explicit NamedNodeMap(Node element) : element_(std::move(element)) {}
    int32_t length() const;
    Node item(int32_t index) const;
    // By qualified name as written ("vrt:numid").
    Node getNamedItem(std::u16string_view name) const;
    // By local name and namespace URI.
    Node getQualifiedItem(std::u16string_view baseName, std::u16string_view namespaceURI) const;
    // Puts an attribute node on the element; one of the same qualified name is replaced in place (its node
    // is the result). The attribute leaves the element it was on.
    [[nodiscard]] HRESULT setNamedItem(const Node& attribute, Node* replaced = nullptr);
    // S_FALSE when there is no attribute of that name.
    [[nodiscard]] HRESULT removeNamedItem(std::u16string_view name, Node* removed = nullptr);

private:
    Node element_;
};

// A document. Create() makes an empty one with the defaults: async true, validateOnParse true,
// preserveWhiteSpace false, selection language XPath, no selection namespaces. Loading is synchronous
// whatever async says, so readyState is always 4 (completed). validateOnParse validates against schemas()
// when that cache holds schemas; DTDs are never used for validation. External entities, DTDs and network
// resources are never fetched.
class Document : public Node {
public:
    Document() = default;
    [[nodiscard]] static HRESULT Create(Document* result);

    bool async() const;
    void setAsync(bool value);
    bool validateOnParse() const;
    void setValidateOnParse(bool value);
    bool preserveWhiteSpace() const;
    void setPreserveWhiteSpace(bool value);
    // Whether the layout of a text loaded from now on is kept for writing the document again (off by
    // default, so that xml and save write the layout of their own): the XML declaration as written (or none
    // when the text had none, for a text in UTF-8), what stood between the top-level nodes, the document type
    // declaration as written, each start tag as written while its name, declarations and attributes stay as
    // they were, an empty element written with an end tag, and CR LF line ends when the text had them. A
    // file loaded with a UTF-8 byte-order mark is saved with it (loadXML, whose text has none, leaves that as
    // the last load found it, so that a file's text loaded again is saved as the file was).
    bool keepLayout() const;
    void setKeepLayout(bool value);
    // "SelectionLanguage" ("XPath" only) and "SelectionNamespaces" (declarations "xmlns:p='uri'" separated
    // by white space). Unknown names and malformed values fail with E_INVALIDARG.
    [[nodiscard]] HRESULT setProperty(std::u16string_view name, std::u16string_view value);
    [[nodiscard]] HRESULT getProperty(std::u16string_view name, std::u16string* value) const;

    // Loads a file path, a "file://" URL or a "res://" URL (through the resource resolver). S_OK when
    // loaded; otherwise the failure code of parseError() and the document keeps its previous content.
    [[nodiscard]] HRESULT load(std::u16string_view url);
    [[nodiscard]] HRESULT loadXML(std::u16string_view text);
    // Writes the document as UTF-8 with an XML declaration. The file is replaced as a whole: a failed save
    // leaves the previous file as it was.
    [[nodiscard]] HRESULT save(std::u16string_view path) const;
    int32_t readyState() const;
    ParseError parseError() const;
    // The URL of the last successful load (empty after loadXML).
    std::u16string url() const;

    Node documentElement() const;
    // createElement and createAttribute take the name as it is: a prefixed name gets no namespace (it is
    // written with its prefix and resolved when the text is parsed again). createNode with a namespace URI
    // puts the node into that namespace under the name's prefix.
    [[nodiscard]] HRESULT createElement(std::u16string_view name, Node* result);
    [[nodiscard]] HRESULT createAttribute(std::u16string_view name, Node* result);
    [[nodiscard]] HRESULT createNode(DOMNodeType type, std::u16string_view name,
                                     std::u16string_view namespaceURI, Node* result);
    [[nodiscard]] HRESULT createTextNode(std::u16string_view text, Node* result);
    [[nodiscard]] HRESULT createComment(std::u16string_view text, Node* result);
    [[nodiscard]] HRESULT createCDATASection(std::u16string_view text, Node* result);
    [[nodiscard]] HRESULT createProcessingInstruction(std::u16string_view target, std::u16string_view data,
                                                      Node* result);

    // The schema cache that validate() and validateOnParse use, and that answers getDeclaration.
    SchemaCache schemas() const;
    void setSchemas(const SchemaCache& cache);
    // Validates the document (or one element of it) against schemas(). S_OK when valid; otherwise the
    // failure code, with parseError() describing the first violation.
    [[nodiscard]] HRESULT validate();
    [[nodiscard]] HRESULT validateNode(const Node& node);

private:
    explicit Document(detail::NodeProxy* proxy) : Node(proxy) {}
    friend struct detail::NodeAccess;
};

// Reads the bytes behind a "res://" URL; returns S_OK with the bytes or a failure HRESULT.
using ResourceResolver = std::function<HRESULT(std::u16string_view url, std::string* bytes)>;
// Installs the process-wide resolver of "res://" URLs (an empty function removes it).
void SetResourceResolver(ResourceResolver resolver);

// The description of the last failure of this layer on the calling thread (schema compilation, XPath,
// tree editing); empty after an operation that did not describe its failure.
std::u16string ErrorDescription();

} // namespace vr::xml
