// BSTR helpers of the common library: allocation that raises on exhaustion, and in/out argument updates.
#pragma once

#include "platform/com/bstr.h"

#include <optional>
#include <string_view>

namespace vrcommon {

// A new BSTR holding the text; an empty text gives a non-null BSTR of length 0, so that "empty" and "none"
// stay apart where a contract tells them by null. Raises E_OUTOFMEMORY when no memory is left.
BSTR NewBstr(std::u16string_view text);

// Frees *target and stores a new BSTR with the text in its place.
void ReplaceBstr(BSTR* target, std::u16string_view text);

// Out-argument update: frees the earlier content and stores a copy of the text, or null for none.
// Does nothing when out is null (the caller did not ask for this result).
void StoreBstr(BSTR* out, std::optional<std::u16string_view> text);

} // namespace vrcommon
