// The XML file class: selecting nodes by path, building missing elements with their predicate attributes, and
// putting or removing whole elements.
#include "common/xmlfile/XmlFile.h"

#include "common/comtext/BstrText.h"
#include "common/trace/Trace.h"
#include "common/xmlfile/XmlFileInternal.h"
#include "platform/base/format.h"
#include "platform/base/text.h"

#include <vector>

using vr::xml::Node;
using vrcommon::xmlfile::ThrowIfFailed;

namespace {

// The node a relative XPath selects from start; an empty handle when nothing matches.
Node SelectFrom(const Node& start, std::u16string_view xpath) {
    Node found;
    ThrowIfFailed(start.selectSingleNode(xpath, &found));
    return found;
}

void StoreNode(Node* out, const Node& node) {
    if (out != nullptr) {
        *out = node;
    }
}

// Whether a path names the placeholder of an element whose name is still to be given: such a step never
// matches an element already there when elements are created.
bool NamesPlaceholder(std::u16string_view path) {
    return path.find(u"'<not_defined_name>'") != std::u16string_view::npos;
}

} // namespace

const Node& CXmlFile::StartNode(const Node& context) const {
    return context ? context : document_;
}

Node CXmlFile::NewNode(vr::xml::DOMNodeType type, std::u16string_view name) {
    Node node;
    ThrowIfFailed(document_.createNode(type, name, NamespaceUriOfPrefix(name), &node));
    return node;
}

HRESULT CXmlFile::SelectNodeAndParent(const OLECHAR* path, Node* parent, Node* node, const Node& context,
                                      BSTR* parentPath, BSTR* leaf) {
    return Guarded(nullptr, [&] {
        std::u16string_view text = vr::U16View(path);
        Node foundParent, foundNode;
        HRESULT hr = SelectPath(text, &foundParent, &foundNode, context);
        if (FAILED(hr)) {
            return hr;
        }
        XPathParts parts = SplitXPath(text);
        vrcommon::StoreBstr(parentPath, parts.parentPath);
        vrcommon::StoreBstr(leaf, parts.leaf);
        StoreNode(parent, foundParent);
        StoreNode(node, foundNode);
        return hr;
    });
}

HRESULT CXmlFile::SelectPath(std::u16string_view path, Node* parent, Node* node, const Node& context) {
    if (HRESULT hr = LoadDocument(); FAILED(hr)) {
        return hr;
    }
    XPathParts parts = SplitXPath(path);
    const Node& start = StartNode(context);
    *parent = parts.parentPath.empty() ? start : SelectFrom(start, parts.parentPath);
    *node = *parent && !parts.leaf.empty() ? SelectFrom(*parent, parts.leaf) : Node();
    return S_OK;
}

HRESULT CXmlFile::FindElement(const OLECHAR* path, Node* parent, Node* node, const Node& context, bool create,
                              BSTR* parentPath, BSTR* leaf) {
    return Guarded(nullptr, [&] {
        std::u16string_view text = vr::U16View(path);
        Node foundParent, foundNode;
        HRESULT hr = FindPath(text, &foundParent, &foundNode, context, create);
        if (FAILED(hr)) {
            return hr;
        }
        XPathParts parts = SplitXPath(text);
        vrcommon::StoreBstr(parentPath, parts.parentPath);
        vrcommon::StoreBstr(leaf, parts.leaf);
        StoreNode(parent, foundParent);
        StoreNode(node, foundNode);
        return hr;
    });
}

HRESULT CXmlFile::FindPath(std::u16string_view path, Node* parent, Node* node, const Node& context,
                           bool create) {
    HRESULT hr = SelectPath(path, parent, node, context);
    if (SUCCEEDED(hr) && !*parent && create) {
        hr = ElementAt(SplitXPath(path).parentPath, parent, true, context);
    }
    return hr;
}

HRESULT CXmlFile::GetElement(const OLECHAR* path, Node* element, bool create, const Node& context) {
    return Guarded(u"CXmlFile::GetElement()", [&] {
        if (element == nullptr) {
            return E_POINTER;
        }
        return ElementAt(vr::U16View(path), element, create, context);
    });
}

// Walks up the path to the deepest level whose parent exists, then builds the missing levels downwards, each
// appended to the one above it. Every level is a strictly shorter prefix of the path, so the walk ends.
HRESULT CXmlFile::ElementAt(std::u16string_view path, Node* element, bool create, const Node& context) {
    *element = Node();
    if (HRESULT hr = LoadDocument(); FAILED(hr)) {
        return hr;
    }
    std::vector<std::u16string_view> missing; // the paths whose parent is missing, deepest first
    std::u16string_view level = path;
    Node parent, node;
    for (;;) {
        if (HRESULT hr = SelectPath(level, &parent, &node, context); FAILED(hr)) {
            return hr;
        }
        XPathParts parts = SplitXPath(level);
        if (parent && !(create && NamesPlaceholder(parts.parentPath))) {
            if (create && NamesPlaceholder(parts.leaf)) {
                node = Node(); // a placeholder step is a new element each time
            }
            break;
        }
        if (!create) {
            return S_OK;
        }
        missing.push_back(level);
        level = SplitXPath(level).parentPath;
    }
    if (!node) {
        if (!create) {
            return S_OK;
        }
        if (HRESULT hr = AppendNewElement(parent, level, &node); FAILED(hr)) {
            return hr;
        }
    }
    for (auto below = missing.rbegin(); below != missing.rend(); ++below) {
        parent = node;
        if (HRESULT hr = AppendNewElement(parent, *below, &node); FAILED(hr)) {
            return hr;
        }
    }
    *element = node;
    return S_OK;
}

// Creates the leaf of path under parent: the element named by the leaf's text before its first "[", then the
// attributes of its predicates.
HRESULT CXmlFile::AppendNewElement(Node parent, std::u16string_view path, Node* element) {
    XPathParts parts = SplitXPath(path);
    size_t bracket = parts.leaf.find(u'[');
    std::u16string name(parts.leaf.substr(0, bracket));
    std::u16string_view predicates =
        bracket == std::u16string_view::npos ? std::u16string_view() : parts.leaf.substr(bracket);
    Node created = NewNode(vr::xml::NODE_ELEMENT, name);
    ThrowIfFailed(parent.appendChild(created));
    std::u16string log = vr::FormatWString(u"Created&Appended '%s' element to '%s'; ", name.c_str(),
                                           std::u16string(parts.parentPath).c_str());

    vrcommon::xmlfile::PredicateScan scan = vrcommon::xmlfile::ScanPredicates(predicates);
    vr::xml::NamedNodeMap attributes = created.attributes();
    for (const vrcommon::xmlfile::PredicateAttribute& predicate : scan.attributes) {
        Node attribute = NewNode(vr::xml::NODE_ATTRIBUTE, predicate.name);
        ThrowIfFailed(attribute.setNodeValue(predicate.value));
        ThrowIfFailed(attributes.setNamedItem(attribute));
        log +=
            vr::FormatWString(u"Set attribute '%s'='%s'; ", predicate.name.c_str(), predicate.value.c_str());
    }
    if (!scan.valid) {
        SetTraceSite();
        TraceError(u"Not valid syntax for the Attribute(s) provided in XPath '%s'",
                   std::u16string(path).c_str());
        return E_INVALIDARG;
    }
    // The log holds names and values from the path: it is traced as text, never used as a format.
    SetTraceSite();
    TraceInfo(u"%s", log.c_str());
    *element = created;
    return S_OK;
}

HRESULT CXmlFile::SetElement(const OLECHAR* path, const Node& newElement, bool create, const Node& context) {
    return Guarded(u"CXmlFile::SetElement()", [&] {
        Node parent, node;
        if (HRESULT hr = FindPath(vr::U16View(path), &parent, &node, context, create); FAILED(hr)) {
            return hr;
        }
        if (!parent) {
            return E_INVALIDARG;
        }
        Node copy;
        if (newElement) {
            ThrowIfFailed(newElement.cloneNode(true, &copy));
        }
        if (node && copy) {
            ThrowIfFailed(parent.replaceChild(copy, node));
        } else if (node) {
            ThrowIfFailed(parent.removeChild(node));
        } else if (copy) {
            ThrowIfFailed(parent.appendChild(copy));
        }
        return S_OK;
    });
}
