// Conversions between the system's UTF-16 text and Linux's UTF-8 and Latin-1 byte strings.
#pragma once

#include "platform/base/types.h"

#include <string>
#include <string_view>

namespace vr {

// UTF-16 <-> UTF-8. Unpaired surrogates and malformed UTF-8 become U+FFFD, so no input is lost silently
// into an exception.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Latin-1: one byte per code unit, for contracts that count bytes (instrument traffic, log files, the
// compose/parse library). Code units above 0xFF become '?'.
std::string ToLatin1(std::u16string_view text);
std::u16string FromLatin1(std::string_view bytes);

// Length of a zero-terminated UTF-16 string (0 for null).
size_t U16Length(const OLECHAR* text);

// A view of a zero-terminated UTF-16 string; null gives the empty view.
inline std::u16string_view U16View(const OLECHAR* text) { return text ? std::u16string_view(text, U16Length(text)) : std::u16string_view(); }

// Case folding of UTF-16 text as the system's case-insensitive comparisons do it (ASCII and Latin-1 letters).
OLECHAR FoldCase(OLECHAR c);
OLECHAR UpperCase(OLECHAR c);
std::u16string ToUpper(std::u16string_view text);
std::u16string ToLower(std::u16string_view text);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace vr
