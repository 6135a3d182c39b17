// Tree operations on libxml2 nodes that keep handles valid: linking without merging, names, values, creation.
#include "platform/xml/tree_ops.h"

#include "platform/base/text.h"
#include "platform/xml/runtime.h"

#include <libxml/parserInternals.h>

namespace vr::xml::detail {
namespace {

std::pair<std::string, std::string> SplitQualifiedName(const std::string& name) {
    size_t colon = name.find(':');
    if (colon == std::string::npos) {
        return {std::string(), name};
    }
    return {name.substr(0, colon), name.substr(colon + 1)};
}

bool IsValidNcName(const std::string& name) {
    return !name.empty() && xmlValidateNCName(AsXml(name), 0) == 0;
}

HRESULT CheckQualifiedName(const std::string& name, std::string* prefix, std::string* local) {
    std::tie(*prefix, *local) = SplitQualifiedName(name);
    bool prefixOk = prefix->empty() ? name.find(':') == std::string::npos : IsValidNcName(*prefix);
    if (!prefixOk || !IsValidNcName(*local)) {
        return Fail(E_FAIL, u"'" + FromUtf8(name) + u"' is not a valid name.\r\n");
    }
    return S_OK;
}

void CopyKeptPrefixes(DocumentImpl& impl, xmlNodePtr original, xmlNodePtr copy, bool deep) {
    if (auto kept = impl.prefixes.find(original); kept != impl.prefixes.end()) {
        impl.prefixes.emplace(copy, kept->second);
    }
    // A copy keeps the layout of the start tag it copies (written as before while it stays the same).
    if (auto tag = impl.layout.startTags.find(original); tag != impl.layout.startTags.end()) {
        impl.layout.startTags.emplace(copy, tag->second);
    }
    if (original->type == XML_ELEMENT_NODE) {
        xmlAttrPtr from = original->properties;
        xmlAttrPtr to = copy->properties;
        for (; from != nullptr && to != nullptr; from = from->next, to = to->next) {
            CopyKeptPrefixes(impl, reinterpret_cast<xmlNodePtr>(from), reinterpret_cast<xmlNodePtr>(to),
                             false);
        }
    }
    if (!deep) {
        return;
    }
    xmlNodePtr from = original->children;
    xmlNodePtr to = copy->children;
    for (; from != nullptr && to != nullptr; from = from->next, to = to->next) {
        CopyKeptPrefixes(impl, from, to, true);
    }
}

// A copy of an attribute that keeps its namespace (libxml2 drops it for a copy without target element).
xmlNodePtr CopyAttribute(DocumentImpl& impl, xmlAttrPtr attribute) {
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
    xmlAttrPtr copy = xmlNewDocProp(impl.doc, attribute->name, nullptr);
    if (copy != nullptr && value != nullptr && *value != 0) {
        xmlNodePtr text = xmlNewDocText(impl.doc, value);
        LinkChild(reinterpret_cast<xmlNodePtr>(copy), text, nullptr);
    }
    xmlFree(value);
    if (copy != nullptr && attribute->ns != nullptr) {
        copy->ns = DocumentLevelNamespace(impl, ViewXml(attribute->ns->href), ViewXml(attribute->ns->prefix));
    }
    return reinterpret_cast<xmlNodePtr>(copy);
}

std::string UnusedPrefix(xmlDocPtr doc, xmlNodePtr element) {
    for (int n = 0;; ++n) {
        std::string candidate = "ns" + std::to_string(n);
        if (xmlSearchNs(doc, element, AsXml(candidate)) == nullptr) {
            return candidate;
        }
    }
}

} // namespace

DOMNodeType NodeTypeOf(xmlNodePtr node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
        return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE:
        return NODE_ATTRIBUTE;
    case XML_TEXT_NODE:
        return NODE_TEXT;
    case XML_CDATA_SECTION_NODE:
        return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE:
        return NODE_ENTITY_REFERENCE;
    case XML_ENTITY_DECL:
        return NODE_ENTITY;
    case XML_PI_NODE:
        return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE:
        return NODE_COMMENT;
    case XML_DOCUMENT_NODE:
        return NODE_DOCUMENT;
    case XML_DTD_NODE:
    case XML_DOCUMENT_TYPE_NODE:
        return NODE_DOCUMENT_TYPE;
    case XML_DOCUMENT_FRAG_NODE:
        return NODE_DOCUMENT_FRAGMENT;
    case XML_NOTATION_NODE:
        return NODE_NOTATION;
    default:
        return NODE_INVALID;
    }
}

std::string QualifiedName(const DocumentImpl& impl, xmlNodePtr node) {
    std::string name(ViewXml(node->name));
    xmlNsPtr ns = node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE ? node->ns : nullptr;
    if (ns != nullptr && ns->prefix != nullptr) {
        return std::string(ViewXml(ns->prefix)) + ":" + name;
    }
    if (std::string_view kept = KeptPrefix(impl, node); !kept.empty()) {
        return std::string(kept) + ":" + name;
    }
    return name;
}

std::string_view NamespaceOf(xmlNodePtr node) {
    bool named = node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE;
    return named && node->ns != nullptr ? ViewXml(node->ns->href) : std::string_view();
}

void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
    child->parent = parent;
    child->next = before;
    child->prev = before != nullptr ? before->prev : parent->last;
    if (child->prev != nullptr) {
        child->prev->next = child;
    } else {
        parent->children = child;
    }
    if (before != nullptr) {
        before->prev = child;
    } else {
        parent->last = child;
    }
    if (child->type == XML_DTD_NODE && parent->type == XML_DOCUMENT_NODE) {
        reinterpret_cast<xmlDocPtr>(parent)->intSubset = reinterpret_cast<xmlDtdPtr>(child);
    }
}

void LinkAttribute(xmlNodePtr element, xmlAttrPtr attribute, xmlAttrPtr before) {
    attribute->parent = element;
    attribute->next = before;
    if (before != nullptr) {
        attribute->prev = before->prev;
        before->prev = attribute;
    } else {
        xmlAttrPtr last = element->properties;
        while (last != nullptr && last->next != nullptr) {
            last = last->next;
        }
        attribute->prev = last;
    }
    if (attribute->prev != nullptr) {
        attribute->prev->next = attribute;
    } else {
        element->properties = attribute;
    }
}

void SettleAttributeNamespace(xmlNodePtr element, xmlAttrPtr attribute) {
    xmlNsPtr ns = attribute->ns;
    if (ns == nullptr || ns->href == nullptr) {
        return;
    }
    std::string uri(ViewXml(ns->href));
    std::string prefix(ViewXml(ns->prefix));
    if (uri == "http://www.w3.org/XML/1998/namespace") {
        attribute->ns = xmlSearchNsByHref(element->doc, element, ns->href);
        return;
    }
    if (!prefix.empty()) {
        xmlNsPtr bound = xmlSearchNs(element->doc, element, AsXml(prefix));
        if (bound != nullptr && ViewXml(bound->href) == uri) {
            attribute->ns = bound;
            return;
        }
        if (bound == nullptr) {
            attribute->ns = xmlNewNs(element, AsXml(uri), AsXml(prefix));
            return;
        }
    }
    xmlNsPtr byUri = xmlSearchNsByHref(element->doc, element, AsXml(uri));
    if (byUri != nullptr && byUri->prefix != nullptr) {
        attribute->ns = byUri;
        return;
    }
    attribute->ns = xmlNewNs(element, AsXml(uri), AsXml(UnusedPrefix(element->doc, element)));
}

void ReplaceChildrenWithText(DocumentImpl& impl, xmlNodePtr node, std::string_view text) {
    while (xmlNodePtr child = node->children) {
        Detach(impl, child);
        CollectIfUnreferenced(impl, child);
    }
    node->last = nullptr;
    if (!text.empty()) {
        xmlNodePtr textNode = xmlNewDocTextLen(impl.doc, reinterpret_cast<const xmlChar*>(text.data()),
                                               static_cast<int>(text.size()));
        if (textNode != nullptr) {
            LinkChild(node, textNode, nullptr);
        }
    }
}

std::string TextOf(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text(ViewXml(content));
    xmlFree(content);
    return text;
}

xmlNsPtr DocumentLevelNamespace(DocumentImpl& impl, std::string_view uri, std::string_view prefix) {
    xmlNsPtr last = nullptr;
    for (xmlNsPtr ns = impl.doc->oldNs; ns != nullptr; ns = ns->next) {
        if (ViewXml(ns->href) == uri && ViewXml(ns->prefix) == prefix) {
            return ns;
        }
        last = ns;
    }
    std::string uriText(uri);
    std::string prefixText(prefix);
    xmlNsPtr created = xmlNewNs(nullptr, AsXml(uriText), prefix.empty() ? nullptr : AsXml(prefixText));
    if (created != nullptr) {
        (last != nullptr ? last->next : impl.doc->oldNs) = created;
    }
    return created;
}

HRESULT CreateElementNode(DocumentImpl& impl, std::u16string_view name, std::u16string_view uri,
                          xmlNodePtr* result) {
    std::string prefix, local;
    if (HRESULT hr = CheckQualifiedName(ToUtf8(name), &prefix, &local); FAILED(hr)) {
        return hr;
    }
    xmlNodePtr element = xmlNewDocNode(impl.doc, nullptr, AsXml(local), nullptr);
    if (element == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (!uri.empty()) {
        std::string href = ToUtf8(uri);
        xmlSetNs(element, xmlNewNs(element, AsXml(href), prefix.empty() ? nullptr : AsXml(prefix)));
    } else if (!prefix.empty()) {
        impl.prefixes.emplace(element, prefix);
    }
    impl.detached.insert(element);
    *result = element;
    return S_OK;
}

HRESULT CreateAttributeNode(DocumentImpl& impl, std::u16string_view name, std::u16string_view uri,
                            xmlNodePtr* result) {
    std::string prefix, local;
    if (HRESULT hr = CheckQualifiedName(ToUtf8(name), &prefix, &local); FAILED(hr)) {
        return hr;
    }
    xmlAttrPtr attribute = xmlNewDocProp(impl.doc, AsXml(local), nullptr);
    if (attribute == nullptr) {
        return E_OUTOFMEMORY;
    }
    xmlNodePtr node = reinterpret_cast<xmlNodePtr>(attribute);
    if (!uri.empty()) {
        attribute->ns = DocumentLevelNamespace(impl, ToUtf8(uri), prefix);
    } else if (!prefix.empty()) {
        impl.prefixes.emplace(node, prefix);
    }
    impl.detached.insert(node);
    *result = node;
    return S_OK;
}

xmlNodePtr CopyNode(DocumentImpl& impl, xmlNodePtr node, bool deep) {
    xmlNodePtr copy = node->type == XML_ATTRIBUTE_NODE
                          ? CopyAttribute(impl, reinterpret_cast<xmlAttrPtr>(node))
                          : xmlDocCopyNode(node, impl.doc, deep ? 1 : 2);
    if (copy == nullptr) {
        return nullptr;
    }
    CopyKeptPrefixes(impl, node, copy, deep);
    impl.detached.insert(copy);
    return copy;
}

} // namespace vr::xml::detail
