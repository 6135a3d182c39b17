// XPath selection through node handles, with the document's selection namespaces.
#include "platform/xml/doc_impl.h"
#include "platform/xml/runtime.h"
#include "platform/xml/xpath_state.h"

namespace vr::xml {

using detail::NodeAccess;

namespace {

detail::XPathState& XPathOf(detail::DocumentImpl& impl) {
    if (!impl.xpath) {
        impl.xpath = std::make_unique<detail::XPathState>(impl.doc);
        std::vector<std::pair<std::string, std::string>> namespaces;
        if (detail::ParseSelectionNamespaces(impl.selectionNamespaces, &namespaces)) {
            impl.xpath->SetNamespaces(namespaces);
        }
    }
    return *impl.xpath;
}

HRESULT Select(const Node& context, std::u16string_view xpath, bool firstOnly, std::vector<Node>* nodes) {
    detail::ClearErrorDescription();
    xmlNodePtr node = NodeAccess::Xml(context);
    if (node == nullptr) {
        return E_POINTER;
    }
    std::vector<xmlNodePtr> selected;
    HRESULT hr = XPathOf(*NodeAccess::Impl(context)).Select(node, xpath, firstOnly, &selected);
    if (FAILED(hr)) {
        return hr;
    }
    for (xmlNodePtr found : selected) {
        nodes->push_back(NodeAccess::Make(NodeAccess::Owner(context), found));
    }
    return S_OK;
}

} // namespace

HRESULT Node::selectNodes(std::u16string_view xpath, NodeList* result) const {
    if (result == nullptr) {
        return E_POINTER;
    }
    std::vector<Node> nodes;
    HRESULT hr = Select(*this, xpath, false, &nodes);
    *result = NodeList(std::move(nodes));
    return hr;
}

HRESULT Node::selectSingleNode(std::u16string_view xpath, Node* result) const {
    if (result == nullptr) {
        return E_POINTER;
    }
    std::vector<Node> nodes;
    HRESULT hr = Select(*this, xpath, true, &nodes);
    *result = nodes.empty() ? Node() : nodes.front();
    return FAILED(hr) ? hr : nodes.empty() ? S_FALSE : S_OK;
}

} // namespace vr::xml
