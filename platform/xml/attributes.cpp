// Attributes of elements: the named node map and the element's get/set/remove by qualified name.
#include "platform/base/text.h"
#include "platform/xml/doc_impl.h"
#include "platform/xml/runtime.h"
#include "platform/xml/tree_ops.h"

namespace vr::xml {

using detail::NodeAccess;

namespace {

xmlNodePtr ElementOf(const Node& node) {
    xmlNodePtr element = NodeAccess::Xml(node);
    return element != nullptr && element->type == XML_ELEMENT_NODE ? element : nullptr;
}

xmlAttrPtr FindByName(const detail::DocumentImpl& impl, xmlNodePtr element, const std::string& name) {
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
        if (detail::QualifiedName(impl, reinterpret_cast<xmlNodePtr>(attribute)) == name) {
            return attribute;
        }
    }
    return nullptr;
}

// "xmlns" gives "" as the prefix declared; "xmlns:p" gives "p"; other names give nothing.
bool DeclaredPrefix(const std::string& name, std::string* prefix) {
    if (name == "xmlns") {
        prefix->clear();
        return true;
    }
    if (name.rfind("xmlns:", 0) == 0) {
        *prefix = name.substr(6);
        return true;
    }
    return false;
}

xmlNsPtr OwnDeclaration(xmlNodePtr element, const std::string& prefix) {
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        if (detail::ViewXml(ns->prefix) == prefix) {
            return ns;
        }
    }
    return nullptr;
}

HRESULT DeclareNamespace(xmlNodePtr element, const std::string& prefix, const std::string& uri) {
    if (xmlNsPtr existing = OwnDeclaration(element, prefix)) {
        if (detail::ViewXml(existing->href) == uri) {
            return S_OK;
        }
        return detail::Fail(E_FAIL, u"A namespace declaration of this element cannot be changed.\r\n");
    }
    xmlNsPtr ns = xmlNewNs(element, detail::AsXml(uri), prefix.empty() ? nullptr : detail::AsXml(prefix));
    return ns != nullptr ? S_OK : detail::Fail(E_FAIL, u"The namespace declaration is not valid.\r\n");
}

} // namespace

int32_t NamedNodeMap::length() const {
    xmlNodePtr element = ElementOf(element_);
    int32_t count = 0;
    for (xmlAttrPtr a = element ? element->properties : nullptr; a != nullptr; a = a->next) {
        ++count;
    }
    return count;
}

Node NamedNodeMap::item(int32_t index) const {
    xmlNodePtr element = ElementOf(element_);
    xmlAttrPtr attribute = element ? element->properties : nullptr;
    for (int32_t i = 0; attribute != nullptr && i < index; ++i) {
        attribute = attribute->next;
    }
    if (index < 0 || attribute == nullptr) {
        return {};
    }
    return NodeAccess::Make(NodeAccess::Owner(element_), reinterpret_cast<xmlNodePtr>(attribute));
}

Node NamedNodeMap::getNamedItem(std::u16string_view name) const {
    xmlNodePtr element = ElementOf(element_);
    if (element == nullptr) {
        return {};
    }
    xmlAttrPtr attribute = FindByName(*NodeAccess::Impl(element_), element, ToUtf8(name));
    return attribute ? NodeAccess::Make(NodeAccess::Owner(element_), reinterpret_cast<xmlNodePtr>(attribute))
                     : Node();
}

Node NamedNodeMap::getQualifiedItem(std::u16string_view baseName, std::u16string_view namespaceURI) const {
    xmlNodePtr element = ElementOf(element_);
    std::string local = ToUtf8(baseName);
    std::string uri = ToUtf8(namespaceURI);
    for (xmlAttrPtr a = element ? element->properties : nullptr; a != nullptr; a = a->next) {
        if (detail::ViewXml(a->name) == local &&
            detail::NamespaceOf(reinterpret_cast<xmlNodePtr>(a)) == uri) {
            return NodeAccess::Make(NodeAccess::Owner(element_), reinterpret_cast<xmlNodePtr>(a));
        }
    }
    return {};
}

HRESULT NamedNodeMap::setNamedItem(const Node& attribute, Node* replaced) {
    detail::ClearErrorDescription();
    xmlNodePtr element = ElementOf(element_);
    xmlNodePtr node = NodeAccess::Xml(attribute);
    if (element == nullptr || node == nullptr) {
        return E_POINTER;
    }
    if (node->type != XML_ATTRIBUTE_NODE) {
        return detail::Fail(E_INVALIDARG, u"Only attributes can be put into the attribute list.\r\n");
    }
    if (replaced != nullptr) {
        *replaced = Node();
    }
    if (node->parent == element) {
        return S_OK;
    }
    std::shared_ptr<detail::DocumentImpl> owner = NodeAccess::Owner(element_);
    std::shared_ptr<detail::DocumentImpl> attributeOwner = NodeAccess::Owner(attribute);
    detail::Detach(*attributeOwner, node);
    if (attributeOwner != owner) {
        detail::MoveDetachedRoot(std::move(attributeOwner), owner, node);
    }
    owner->detached.erase(node);
    xmlAttrPtr same = FindByName(*owner, element, detail::QualifiedName(*owner, node));
    detail::LinkAttribute(element, reinterpret_cast<xmlAttrPtr>(node), same);
    detail::SettleAttributeNamespace(element, reinterpret_cast<xmlAttrPtr>(node));
    if (same != nullptr) {
        Node old = NodeAccess::Make(owner, reinterpret_cast<xmlNodePtr>(same));
        detail::Detach(*owner, reinterpret_cast<xmlNodePtr>(same));
        if (replaced != nullptr) {
            *replaced = std::move(old);
        }
    }
    return S_OK;
}

HRESULT NamedNodeMap::removeNamedItem(std::u16string_view name, Node* removed) {
    xmlNodePtr element = ElementOf(element_);
    if (element == nullptr) {
        return E_POINTER;
    }
    detail::DocumentImpl& impl = *NodeAccess::Impl(element_);
    xmlAttrPtr attribute = FindByName(impl, element, ToUtf8(name));
    if (attribute == nullptr) {
        return S_FALSE;
    }
    Node handle = NodeAccess::Make(NodeAccess::Owner(element_), reinterpret_cast<xmlNodePtr>(attribute));
    detail::Detach(impl, reinterpret_cast<xmlNodePtr>(attribute));
    if (removed != nullptr) {
        *removed = std::move(handle);
    }
    return S_OK;
}

HRESULT Node::getAttribute(std::u16string_view name, std::u16string* value) const {
    xmlNodePtr element = ElementOf(*this);
    if (element == nullptr || value == nullptr) {
        return E_POINTER;
    }
    std::string qualified = ToUtf8(name);
    std::string prefix;
    if (DeclaredPrefix(qualified, &prefix)) {
        xmlNsPtr ns = OwnDeclaration(element, prefix);
        if (ns == nullptr) {
            return S_FALSE;
        }
        *value = detail::FromXml(ns->href);
        return S_OK;
    }
    xmlAttrPtr attribute = FindByName(*NodeAccess::Impl(*this), element, qualified);
    if (attribute == nullptr) {
        return S_FALSE;
    }
    *value = FromUtf8(detail::TextOf(reinterpret_cast<xmlNodePtr>(attribute)));
    return S_OK;
}

HRESULT Node::setAttribute(std::u16string_view name, std::u16string_view value) {
    detail::ClearErrorDescription();
    xmlNodePtr element = ElementOf(*this);
    if (element == nullptr) {
        return E_POINTER;
    }
    detail::DocumentImpl& impl = *NodeAccess::Impl(*this);
    std::string qualified = ToUtf8(name);
    std::string prefix;
    if (DeclaredPrefix(qualified, &prefix)) {
        return DeclareNamespace(element, prefix, ToUtf8(value));
    }
    xmlAttrPtr attribute = FindByName(impl, element, qualified);
    if (attribute == nullptr) {
        xmlNodePtr created = nullptr;
        if (HRESULT hr = detail::CreateAttributeNode(impl, name, u"", &created); FAILED(hr)) {
            return hr;
        }
        impl.detached.erase(created);
        attribute = reinterpret_cast<xmlAttrPtr>(created);
        detail::LinkAttribute(element, attribute, nullptr);
    }
    detail::ReplaceChildrenWithText(impl, reinterpret_cast<xmlNodePtr>(attribute), ToUtf8(value));
    return S_OK;
}

HRESULT Node::removeAttribute(std::u16string_view name) {
    xmlNodePtr element = ElementOf(*this);
    if (element == nullptr) {
        return E_POINTER;
    }
    std::string qualified = ToUtf8(name);
    std::string prefix;
    if (DeclaredPrefix(qualified, &prefix)) {
        return detail::Fail(E_FAIL, u"Namespace declarations cannot be removed.\r\n");
    }
    detail::DocumentImpl& impl = *NodeAccess::Impl(*this);
    xmlAttrPtr attribute = FindByName(impl, element, qualified);
    if (attribute != nullptr) {
        detail::Detach(impl, reinterpret_cast<xmlNodePtr>(attribute));
        detail::CollectIfUnreferenced(impl, reinterpret_cast<xmlNodePtr>(attribute));
    }
    return S_OK;
}

} // namespace vr::xml
