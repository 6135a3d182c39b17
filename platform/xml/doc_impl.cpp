// Node proxies, detached subtrees and their lifetime: the memory rules behind Document and Node handles.
#include "platform/xml/doc_impl.h"

#include "platform/xml/runtime.h"
#include "platform/xml/xpath_state.h"

#include <vector>

namespace vr::xml::detail {
namespace {

NodeProxy*& ProxySlot(xmlNodePtr node) {
    return reinterpret_cast<NodeProxy*&>(node->_private);
}

void ReleaseHandle(NodeProxy* proxy) {
    if (--proxy->handles > 0) {
        return;
    }
    xmlNodePtr node = proxy->node;
    std::shared_ptr<DocumentImpl> owner = std::move(proxy->owner); // keeps the document until we are done
    ProxySlot(node) = nullptr;
    delete proxy;
    if (node->type != XML_DOCUMENT_NODE) {
        CollectIfUnreferenced(*owner, node);
    }
}

void UnlinkAttribute(xmlAttrPtr attribute) {
    xmlNodePtr element = attribute->parent;
    if (attribute->prev != nullptr) {
        attribute->prev->next = attribute->next;
    } else if (element != nullptr) {
        element->properties = attribute->next;
    }
    if (attribute->next != nullptr) {
        attribute->next->prev = attribute->prev;
    }
    attribute->parent = nullptr;
    attribute->next = attribute->prev = nullptr;
}

} // namespace

DocumentImpl::DocumentImpl() {
    EnsureInitialized();
    doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (doc != nullptr) {
        doc->standalone = -1; // no XML declaration until a loaded text brings one
    }
}

DocumentImpl::~DocumentImpl() {
    xpath.reset();
    for (xmlNodePtr root : detached) {
        if (root->type == XML_ATTRIBUTE_NODE) {
            xmlFreeProp(reinterpret_cast<xmlAttrPtr>(root));
        } else {
            xmlFreeNode(root);
        }
    }
    if (doc != nullptr) {
        xmlFreeDoc(doc);
    }
}

xmlNodePtr TopOf(xmlNodePtr node) {
    while (node->parent != nullptr) {
        node = node->parent;
    }
    return node;
}

bool IsInTree(const DocumentImpl& impl, xmlNodePtr node) {
    return TopOf(node) == reinterpret_cast<xmlNodePtr>(impl.doc);
}

bool SubtreeHasProxy(xmlNodePtr root) {
    bool found = false;
    ForEachInSubtree(root, [&](xmlNodePtr node) { found = found || node->_private != nullptr; });
    return found;
}

NodeProxy* ProxyOf(const std::shared_ptr<DocumentImpl>& owner, xmlNodePtr node) {
    NodeProxy*& slot = ProxySlot(node);
    if (slot == nullptr) {
        slot = new NodeProxy{0, owner, node};
    }
    return slot;
}

void Detach(DocumentImpl& impl, xmlNodePtr node) {
    if (node->parent == nullptr) {
        impl.detached.insert(node);
        return;
    }
    if (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) {
        // References to namespace declarations of the former ancestors move to the document's own list.
        if (xmlDOMWrapRemoveNode(nullptr, impl.doc, node, 0) != 0) {
            xmlUnlinkNode(node);
        }
    } else {
        xmlUnlinkNode(node);
    }
    if (node->type == XML_ATTRIBUTE_NODE && node->parent != nullptr) {
        UnlinkAttribute(reinterpret_cast<xmlAttrPtr>(node));
    }
    impl.detached.insert(node);
}

void CollectIfUnreferenced(DocumentImpl& impl, xmlNodePtr node) {
    xmlNodePtr top = TopOf(node);
    if (top == reinterpret_cast<xmlNodePtr>(impl.doc) || impl.detached.count(top) == 0) {
        return;
    }
    if (!SubtreeHasProxy(top)) {
        FreeSubtree(impl, top);
    }
}

void FreeSubtree(DocumentImpl& impl, xmlNodePtr root) {
    impl.detached.erase(root);
    if (!impl.prefixes.empty()) {
        ForEachInSubtree(root, [&](xmlNodePtr node) { impl.prefixes.erase(node); });
    }
    impl.layout.Forget(root);
    if (root->type == XML_ATTRIBUTE_NODE) {
        xmlFreeProp(reinterpret_cast<xmlAttrPtr>(root));
    } else {
        xmlFreeNode(root);
    }
}

void MoveDetachedRoot(std::shared_ptr<DocumentImpl> fromOwner, const std::shared_ptr<DocumentImpl>& to,
                      xmlNodePtr root) {
    DocumentImpl& from = *fromOwner;
    if (&from == to.get()) {
        return;
    }
    from.detached.erase(root);
    xmlDOMWrapAdoptNode(nullptr, from.doc, root, to->doc, nullptr, 0);
    to->detached.insert(root);
    // Handles of the moved nodes now keep the new document alive; the old one may go when they were its last.
    std::vector<std::shared_ptr<DocumentImpl>> released;
    ForEachInSubtree(root, [&](xmlNodePtr node) {
        if (NodeProxy* proxy = ProxySlot(node)) {
            released.push_back(std::exchange(proxy->owner, to));
        }
        if (auto kept = from.prefixes.find(node); kept != from.prefixes.end()) {
            to->prefixes.emplace(node, std::move(kept->second));
            from.prefixes.erase(kept);
        }
    });
}

std::string_view KeptPrefix(const DocumentImpl& impl, xmlNodePtr node) {
    if (impl.prefixes.empty()) {
        return {};
    }
    auto found = impl.prefixes.find(node);
    return found == impl.prefixes.end() ? std::string_view() : std::string_view(found->second);
}

Node NodeAccess::Make(const std::shared_ptr<DocumentImpl>& owner, xmlNodePtr node) {
    return node == nullptr ? Node() : Node(ProxyOf(owner, node));
}

Document NodeAccess::MakeDocument(const std::shared_ptr<DocumentImpl>& owner) {
    return Document(ProxyOf(owner, reinterpret_cast<xmlNodePtr>(owner->doc)));
}

} // namespace vr::xml::detail

namespace vr::xml {

using detail::NodeProxy;

Node::Node(NodeProxy* proxy) : proxy_(proxy) {
    if (proxy_ != nullptr) {
        ++proxy_->handles;
    }
}

Node::Node(const Node& other) : Node(other.proxy_) {}

Node::Node(Node&& other) noexcept : proxy_(std::exchange(other.proxy_, nullptr)) {}

Node& Node::operator=(const Node& other) {
    Node copy(other);
    std::swap(proxy_, copy.proxy_);
    return *this;
}

Node& Node::operator=(Node&& other) noexcept {
    Node taken(std::move(other));
    std::swap(proxy_, taken.proxy_);
    return *this;
}

Node::~Node() {
    if (proxy_ != nullptr) {
        detail::ReleaseHandle(proxy_);
    }
}

} // namespace vr::xml
