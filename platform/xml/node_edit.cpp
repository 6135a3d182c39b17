// Tree editing through node handles: insert, append, replace, remove and copy, also across documents.
#include "platform/xml/doc_impl.h"
#include "platform/xml/runtime.h"
#include "platform/xml/tree_ops.h"

namespace vr::xml {

using detail::NodeAccess;

namespace {

bool CanHoldChildren(xmlNodePtr node) {
    return node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE ||
           node->type == XML_DOCUMENT_FRAG_NODE || node->type == XML_ATTRIBUTE_NODE;
}

bool IsAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node) {
    for (; node != nullptr; node = node->parent) {
        if (node == candidate) {
            return true;
        }
    }
    return false;
}

HRESULT CheckDocumentChild(xmlNodePtr document, xmlNodePtr child) {
    switch (child->type) {
    case XML_ELEMENT_NODE:
        for (xmlNodePtr existing = document->children; existing != nullptr; existing = existing->next) {
            if (existing->type == XML_ELEMENT_NODE && existing != child) {
                return detail::Fail(E_FAIL, u"Only one top level element is allowed in an XML document.\r\n");
            }
        }
        return S_OK;
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return S_OK;
    default:
        return detail::Fail(E_FAIL, u"This node cannot be a child of a document.\r\n");
    }
}

HRESULT CheckInsertion(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
    if (!CanHoldChildren(parent)) {
        return detail::Fail(E_FAIL, u"This node cannot have children.\r\n");
    }
    if (child->type == XML_ATTRIBUTE_NODE || child->type == XML_DOCUMENT_NODE ||
        child->type == XML_DTD_NODE) {
        return detail::Fail(E_INVALIDARG, u"This node cannot be inserted as a child.\r\n");
    }
    if (parent->type == XML_ATTRIBUTE_NODE && child->type != XML_TEXT_NODE &&
        child->type != XML_ENTITY_REF_NODE) {
        return detail::Fail(E_FAIL, u"An attribute can only hold text.\r\n");
    }
    if (before != nullptr && before->parent != parent) {
        return detail::Fail(E_INVALIDARG, u"The reference node is not a child of this node.\r\n");
    }
    if (IsAncestorOrSelf(child, parent)) {
        return detail::Fail(E_FAIL, u"Inserting a node or its ancestor under itself is not allowed.\r\n");
    }
    return parent->type == XML_DOCUMENT_NODE ? CheckDocumentChild(parent, child) : S_OK;
}

// Moves child (of any document, in a tree or detached) under parent, before `before` (null: at the end).
void MoveUnder(const Node& parentHandle, const Node& childHandle, xmlNodePtr before) {
    std::shared_ptr<detail::DocumentImpl> parentOwner = NodeAccess::Owner(parentHandle);
    std::shared_ptr<detail::DocumentImpl> childOwner = NodeAccess::Owner(childHandle);
    xmlNodePtr parent = NodeAccess::Xml(parentHandle);
    xmlNodePtr child = NodeAccess::Xml(childHandle);
    // The detached subtree the child leaves (an old root after a reload) may have been kept only for it.
    std::shared_ptr<detail::DocumentImpl> formerOwner = childOwner;
    xmlNodePtr formerTop = detail::TopOf(child);
    detail::Detach(*childOwner, child);
    if (childOwner != parentOwner) {
        detail::MoveDetachedRoot(std::move(childOwner), parentOwner, child);
    }
    parentOwner->detached.erase(child);
    detail::LinkChild(parent, child, before);
    if (child->type == XML_ELEMENT_NODE) {
        constexpr int kRemoveRedundantDeclarations = 1;
        xmlDOMWrapReconcileNamespaces(nullptr, child, kRemoveRedundantDeclarations);
    }
    if (formerTop != child) {
        detail::CollectIfUnreferenced(*formerOwner, formerTop);
    }
}

HRESULT Insert(const Node& parent, const Node& child, xmlNodePtr before, Node* result) {
    detail::ClearErrorDescription();
    if (!parent || !child) {
        return E_POINTER;
    }
    xmlNodePtr childNode = NodeAccess::Xml(child);
    if (childNode != before) {
        if (HRESULT hr = CheckInsertion(NodeAccess::Xml(parent), childNode, before); FAILED(hr)) {
            return hr;
        }
        MoveUnder(parent, child, before);
    }
    if (result != nullptr) {
        *result = child;
    }
    return S_OK;
}

} // namespace

HRESULT Node::appendChild(const Node& newChild, Node* result) {
    return Insert(*this, newChild, nullptr, result);
}

HRESULT Node::insertBefore(const Node& newChild, const Node& refChild, Node* result) {
    return Insert(*this, newChild, NodeAccess::Xml(refChild), result);
}

HRESULT Node::replaceChild(const Node& newChild, const Node& oldChild, Node* result) {
    if (!*this || !newChild || !oldChild) {
        return E_POINTER;
    }
    xmlNodePtr old = NodeAccess::Xml(oldChild);
    if (old->parent != NodeAccess::Xml(*this) || old->type == XML_ATTRIBUTE_NODE) {
        return detail::Fail(E_INVALIDARG, u"The node to replace is not a child of this node.\r\n");
    }
    if (newChild == oldChild) {
        if (result != nullptr) {
            *result = oldChild;
        }
        return S_OK;
    }
    Node keptOld = oldChild; // the caller's handle may be the only one; keep the node while we work
    if (old->type == XML_ELEMENT_NODE && NodeAccess::Xml(*this)->type == XML_DOCUMENT_NODE) {
        detail::Detach(*NodeAccess::Impl(*this), old); // the new root element may take its place
        if (HRESULT hr = Insert(*this, newChild, nullptr, nullptr); FAILED(hr)) {
            detail::DocumentImpl& impl = *NodeAccess::Impl(*this);
            impl.detached.erase(old);
            detail::LinkChild(NodeAccess::Xml(*this), old, nullptr);
            return hr;
        }
    } else if (HRESULT hr = Insert(*this, newChild, old, nullptr); FAILED(hr)) {
        return hr;
    } else {
        detail::Detach(*NodeAccess::Impl(*this), old);
    }
    if (result != nullptr) {
        *result = std::move(keptOld);
    }
    return S_OK;
}

HRESULT Node::removeChild(const Node& child, Node* result) {
    detail::ClearErrorDescription();
    if (!*this || !child) {
        return E_POINTER;
    }
    xmlNodePtr node = NodeAccess::Xml(child);
    if (node->parent != NodeAccess::Xml(*this) || node->type == XML_ATTRIBUTE_NODE) {
        return detail::Fail(E_INVALIDARG, u"The node to remove is not a child of this node.\r\n");
    }
    detail::Detach(*NodeAccess::Impl(*this), node);
    if (result != nullptr) {
        *result = child;
    }
    return S_OK;
}

HRESULT Node::cloneNode(bool deep, Node* result) const {
    detail::ClearErrorDescription();
    if (result == nullptr) {
        return E_POINTER;
    }
    xmlNodePtr node = NodeAccess::Xml(*this);
    if (node == nullptr) {
        return E_POINTER;
    }
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_DTD_NODE) {
        return detail::Fail(E_NOTIMPL, u"Documents and document types cannot be copied.\r\n");
    }
    xmlNodePtr copy = detail::CopyNode(*NodeAccess::Impl(*this), node, deep);
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    *result = NodeAccess::Make(NodeAccess::Owner(*this), copy);
    return S_OK;
}

} // namespace vr::xml
