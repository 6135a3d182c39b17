// Writing nodes and documents as XML text (UTF-8), with the namespace declarations their names need.
#pragma once

#include "platform/xml/doc_impl.h"

#include <string>

namespace vr::xml::detail {

// A node and its descendants. Declarations of namespaces that names use but that are declared outside the
// node are added where first needed; a no-namespace element under a default namespace gets xmlns="".
std::string SerializeNode(const DocumentImpl& impl, xmlNodePtr node);

// The document's nodes, each followed by CR LF; the XML declaration first when the loaded text had one
// (withDeclaration forces one naming UTF-8, for files).
std::string SerializeDocument(const DocumentImpl& impl, bool withDeclaration);

} // namespace vr::xml::detail
