// XPath evaluation for one document: its context with the selection namespaces and its compiled expressions.
#pragma once

#include "platform/com/hresult.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vr::xml::detail {

// Owned by a DocumentImpl and used by its thread only.
class XPathState {
public:
    explicit XPathState(xmlDocPtr doc);
    ~XPathState();
    XPathState(const XPathState&) = delete;
    XPathState& operator=(const XPathState&) = delete;

    // Replaces the prefixes that expressions may use.
    void SetNamespaces(const std::vector<std::pair<std::string, std::string>>& namespaces);
    // The nodes the expression selects from the context node, in document order (namespace nodes are left
    // out). At most one with firstOnly. E_FAIL with a description for a bad expression or a result that is
    // not a node-set.
    [[nodiscard]] HRESULT Select(xmlNodePtr context, std::u16string_view expression, bool firstOnly,
                                 std::vector<xmlNodePtr>* nodes);

private:
    xmlXPathCompExprPtr Compiled(const std::string& expression);
    xmlXPathContextPtr context_ = nullptr;
    std::unordered_map<std::string, xmlXPathCompExprPtr> compiled_;
};

// Parses a "SelectionNamespaces" value: declarations xmlns:p='uri' (or "uri") separated by white space. A
// default declaration xmlns='uri' is accepted and left out (XPath 1.0 names without prefix have no
// namespace). False for malformed text.
bool ParseSelectionNamespaces(std::u16string_view text,
                              std::vector<std::pair<std::string, std::string>>* namespaces);

// ms:string-compare(a, b [, language [, options]]): -1, 0 or 1; the option 'i' ignores case. Without it,
// texts that differ only in case order lower case first.
int CompareStringsForXPath(std::u16string_view a, std::u16string_view b, bool ignoreCase);

} // namespace vr::xml::detail
