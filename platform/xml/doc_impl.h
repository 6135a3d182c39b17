// The state behind Document and Node handles: the libxml2 document, its detached subtrees and node proxies.
#pragma once

#include "platform/xml/dom.h"
#include "platform/xml/layout.h"
#include "platform/xml/schema.h"

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace vr::xml::detail {

struct DocumentImpl;
class XPathState;

// The bridge between handles and a libxml2 node: one per node that handles refer to, kept in the node's
// _private field and counting those handles. It names the document the node belongs to now.
struct NodeProxy {
    int32_t handles = 0;
    std::shared_ptr<DocumentImpl> owner;
    xmlNodePtr node = nullptr;
};

// One document. Its xmlDoc lives as long as the document; loading replaces the xmlDoc's children. Nodes
// that leave the tree (created, removed, replaced) become detached roots owned by the document: they are
// freed as soon as no handle refers into them, and with the document at the latest.
// Nodes without a namespace that were created under a prefixed name keep that prefix here: the tree holds
// their local name, so that XPath finds them by it, and the writer puts the prefix back.
struct DocumentImpl {
    DocumentImpl();
    ~DocumentImpl();
    DocumentImpl(const DocumentImpl&) = delete;
    DocumentImpl& operator=(const DocumentImpl&) = delete;

    xmlDocPtr doc = nullptr;
    std::unordered_set<xmlNodePtr> detached;
    std::unordered_map<xmlNodePtr, std::string> prefixes;

    bool async = true;
    bool validateOnParse = true;
    bool preserveWhiteSpace = false;
    bool keepLayout = false;
    std::u16string selectionNamespaces;
    std::u16string url;
    ParseError parseError;
    std::unique_ptr<XPathState> xpath;
    SchemaCache schemas;
    // How the loaded text was laid out, for the writer (documents that preserve white space).
    DocumentLayout layout;
    // The file last loaded into a document that keeps its layout began with a UTF-8 byte-order mark, which
    // save writes again. A text given to loadXML has none of its own and leaves it as it is.
    bool byteOrderMark = false;
};

// Applies f to the node, its attributes and all their descendants (attributes before children).
template <class F>
void ForEachInSubtree(xmlNodePtr root, F&& f);

// The topmost ancestor (the xmlDoc for a node in the tree).
xmlNodePtr TopOf(xmlNodePtr node);
bool IsInTree(const DocumentImpl& impl, xmlNodePtr node);
bool SubtreeHasProxy(xmlNodePtr root);

// Handles: the proxy of a node (made when missing, owned by owner) and the handle types made from it.
NodeProxy* ProxyOf(const std::shared_ptr<DocumentImpl>& owner, xmlNodePtr node);

// Unlinks a node from its parent (namespace references it takes along stay valid) and makes it a detached
// root of its document. A detached root stays as it is.
void Detach(DocumentImpl& impl, xmlNodePtr node);
// Frees a detached root when no handle refers into it any more.
void CollectIfUnreferenced(DocumentImpl& impl, xmlNodePtr node);
// Frees a detached subtree (no handles may refer into it).
void FreeSubtree(DocumentImpl& impl, xmlNodePtr root);
// Moves a detached root of `from` into `to`: libxml2 document, proxies and kept prefixes. `from` may be
// destroyed on return (when the moved handles were its last ones), so the caller must not use it after.
void MoveDetachedRoot(std::shared_ptr<DocumentImpl> from, const std::shared_ptr<DocumentImpl>& to,
                      xmlNodePtr root);

// The prefix kept for a node created under a prefixed name without namespace (empty when none).
std::string_view KeptPrefix(const DocumentImpl& impl, xmlNodePtr node);

// Handle access for the implementation files.
struct NodeAccess {
    static NodeProxy* Proxy(const Node& node) { return node.proxy_; }
    static Node Make(const std::shared_ptr<DocumentImpl>& owner, xmlNodePtr node);
    static Document MakeDocument(const std::shared_ptr<DocumentImpl>& owner);
    static xmlNodePtr Xml(const Node& node) { return node.proxy_ ? node.proxy_->node : nullptr; }
    static DocumentImpl* Impl(const Node& node) { return node.proxy_ ? node.proxy_->owner.get() : nullptr; }
    static const std::shared_ptr<DocumentImpl>& Owner(const Node& node) { return node.proxy_->owner; }
};

template <class F>
void ForEachInSubtree(xmlNodePtr root, F&& f) {
    // Iterative walk; an attribute is visited with its text children right after its element.
    auto visitWithAttributes = [&](xmlNodePtr node) {
        f(node);
        if (node->type == XML_ELEMENT_NODE) {
            for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
                f(reinterpret_cast<xmlNodePtr>(attribute));
                for (xmlNodePtr child = attribute->children; child != nullptr; child = child->next) {
                    f(child);
                }
            }
        }
    };
    if (root->type == XML_ATTRIBUTE_NODE) {
        f(root);
        for (xmlNodePtr child = root->children; child != nullptr; child = child->next) {
            f(child);
        }
        return;
    }
    xmlNodePtr node = root;
    while (node != nullptr) {
        visitWithAttributes(node);
        if (node->children != nullptr && node->type != XML_ENTITY_REF_NODE && node->type != XML_DTD_NODE) {
            node = node->children;
            continue;
        }
        while (node != root && node->next == nullptr) {
            node = node->parent;
        }
        node = node == root ? nullptr : node->next;
    }
}

} // namespace vr::xml::detail
