// Tree operations on libxml2 nodes that keep handles valid: linking without merging, names, values, creation.
#pragma once

#include "platform/xml/doc_impl.h"

#include <string>
#include <string_view>

namespace vr::xml::detail {

DOMNodeType NodeTypeOf(xmlNodePtr node);
// The name as written: the namespace prefix or the kept prefix, ':' and the local name.
std::string QualifiedName(const DocumentImpl& impl, xmlNodePtr node);
std::string_view NamespaceOf(xmlNodePtr node);

// Links a detached node as a child before `before` (at the end when null). Unlike libxml2's own functions
// this never merges adjacent texts, so no node a handle refers to is freed.
void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before);
// Links a detached attribute into an element's list before `before` (at the end when null).
void LinkAttribute(xmlNodePtr element, xmlAttrPtr attribute, xmlAttrPtr before);
// Points a linked attribute's namespace at a declaration in scope of its element, declaring one when needed.
void SettleAttributeNamespace(xmlNodePtr element, xmlAttrPtr attribute);

// Replaces the children of an element or attribute with one text (none for empty text). Removed children
// that handles refer to stay usable as detached nodes.
void ReplaceChildrenWithText(DocumentImpl& impl, xmlNodePtr node, std::string_view text);
// The text of a node as the DOM's text property has it (untrimmed).
std::string TextOf(xmlNodePtr node);

// A namespace held by the document itself, for detached attributes in a namespace.
xmlNsPtr DocumentLevelNamespace(DocumentImpl& impl, std::string_view uri, std::string_view prefix);

// New detached nodes (registered as detached roots of impl). Qualified names are checked: a failure returns
// E_FAIL with a description. An empty namespace with a prefixed name keeps the prefix without a namespace.
[[nodiscard]] HRESULT CreateElementNode(DocumentImpl& impl, std::u16string_view name, std::u16string_view uri,
                                        xmlNodePtr* result);
[[nodiscard]] HRESULT CreateAttributeNode(DocumentImpl& impl, std::u16string_view name,
                                          std::u16string_view uri, xmlNodePtr* result);

// A detached copy of a node (deep: with descendants), with the kept prefixes of the original.
xmlNodePtr CopyNode(DocumentImpl& impl, xmlNodePtr node, bool deep);

} // namespace vr::xml::detail
