// An edit of one xsd:element applied where the element stands: only what the engineer changed is written, so
// that annotations, comments, attributes no row shows and the hand-written form of what was not edited stay.
//
// The edit is given as two elements built the same way (by the schema factory, from the editor's rows):
// before (the rows as shown) and after (the rows as edited). An attribute whose value differs between them is
// set (or removed) on the element; the simple or complex type they hold replaces the element's own only when
// the two differ.
// Failures: the document's HRESULTs; the element may be half edited after a failing DOM call.
// Threads: as the document's.
#pragma once

#include "platform/xml/dom.h"

namespace ostrel {

[[nodiscard]] HRESULT ApplyElementEdit(vr::xml::Node element, const vr::xml::Node& before,
                                       const vr::xml::Node& after);

} // namespace ostrel
