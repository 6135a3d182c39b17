// Validating documents and elements against a schema cache, with the first violation as a ParseError.
#pragma once

#include "platform/xml/doc_impl.h"
#include "platform/xml/parse.h"

namespace vr::xml::detail {

bool HasSchemas(const SchemaCache& cache);
// A document just parsed (before it replaces a document's content).
[[nodiscard]] HRESULT ValidateParsed(const SchemaCache& cache, xmlDocPtr parsed, const ParseRequest& request,
                                     ParseError* error);
// The document's tree (node is its xmlDoc) or one element of it, against the document's schemas.
[[nodiscard]] HRESULT ValidateTree(DocumentImpl& impl, xmlNodePtr node, ParseError* error);

} // namespace vr::xml::detail
