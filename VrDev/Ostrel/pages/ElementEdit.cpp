// An xsd:element edited in place: the attributes and the type that the edit changed, nothing else.
#include "VrDev/Ostrel/pages/ElementEdit.h"

#include "VrDev/Ostrel/model/AdapterActions.h"
#include "platform/com/comutil.h"

#include <vector>

namespace ostrel {

namespace {

using vr::xml::Node;

void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) {
        throw _com_error(hr);
    }
}

// The attribute of the same name (namespace and local name) on element; an empty handle when none.
Node SameAttribute(const Node& element, const Node& attribute) {
    return element.attributes().getQualifiedItem(attribute.baseName(), attribute.namespaceURI());
}

// The type the factory writes inside an element: its simple or complex type children.
bool IsTypeChild(const Node& child) {
    if (child.nodeType() != vr::xml::NODE_ELEMENT) {
        return false;
    }
    const std::u16string name = child.baseName();
    return name == u"simpleType" || name == u"complexType";
}

std::vector<Node> TypeChildren(const Node& element) {
    std::vector<Node> children;
    for (const Node& child : element.childNodes()) {
        if (IsTypeChild(child)) {
            children.push_back(child);
        }
    }
    return children;
}

std::u16string XmlOf(const std::vector<Node>& nodes) {
    std::u16string text;
    for (const Node& node : nodes) {
        text += node.xml();
    }
    return text;
}

void ApplyAttributes(Node& element, const Node& before, const Node& after) {
    const vr::xml::NamedNodeMap edited = after.attributes();
    for (int32_t i = 0; i < edited.length(); ++i) {
        const Node attribute = edited.item(i);
        const Node shown = SameAttribute(before, attribute);
        if (shown && shown.nodeValue() == attribute.nodeValue()) {
            continue; // not edited: the element keeps its own form of it
        }
        Node copy;
        ThrowIfFailed(attribute.cloneNode(false, &copy));
        ThrowIfFailed(element.attributes().setNamedItem(copy));
    }
    const vr::xml::NamedNodeMap shownAttributes = before.attributes();
    std::vector<Node> removed;
    for (int32_t i = 0; i < shownAttributes.length(); ++i) {
        const Node attribute = shownAttributes.item(i);
        if (!SameAttribute(after, attribute)) {
            if (Node own = SameAttribute(element, attribute)) {
                removed.push_back(own);
            }
        }
    }
    for (const Node& own : removed) {
        ThrowIfFailed(element.attributes().removeNamedItem(own.nodeName()));
    }
}

void ApplyType(Node& element, const Node& before, const Node& after) {
    const std::vector<Node> edited = TypeChildren(after);
    if (XmlOf(edited) == XmlOf(TypeChildren(before))) {
        return; // the type was not edited: the element keeps its own, comments and all
    }
    std::vector<Node> own = TypeChildren(element);
    for (size_t i = 0; i < edited.size(); ++i) {
        Node copy;
        ThrowIfFailed(edited[i].cloneNode(true, &copy));
        if (i < own.size()) {
            ThrowIfFailed(element.replaceChild(copy, own[i]));
            own[i] = copy;
            continue;
        }
        Node last;
        for (const Node& child : element.childNodes()) {
            if (child.nodeType() == vr::xml::NODE_ELEMENT) {
                last = child; // after the annotation and the type written before it
            }
        }
        ThrowIfFailed(InsertIndented(element, copy, last));
    }
    for (size_t i = edited.size(); i < own.size(); ++i) {
        ThrowIfFailed(RemoveIndented(own[i]));
    }
}

} // namespace

HRESULT ApplyElementEdit(Node element, const Node& before, const Node& after) {
    if (!element || !before || !after) {
        return E_POINTER;
    }
    try {
        ApplyAttributes(element, before, after);
        ApplyType(element, before, after);
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

} // namespace ostrel
