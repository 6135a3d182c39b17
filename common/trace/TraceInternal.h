// What the parts of the tracing module share: bounded formatting, the sending step and the error text store.
#pragma once

#include "platform/base/types.h"

#include <cstdarg>
#include <string>
#include <string_view>

namespace vrcommon::trace {

// Formats into a buffer of `size` units. When the formatter overflows (or fails), the text is cut to
// size - 4 units followed by "...". Any thread may format at any time.
std::u16string VFormatLimited(size_t size, const OLECHAR* format, va_list args);
std::u16string FormatLimited(size_t size, const OLECHAR* format, ...);

// The same rule for a finished text: one of size units or more is cut to size - 4 units and "...".
std::u16string CutToBuffer(std::u16string text, size_t size);

// Sends TraceSink.WriteText(source, level, text) when a tracer runs; drops the line otherwise.
void SendText(int level, std::u16string_view source, std::u16string_view text);

// Keeps the text of an error line as LastErrorText, cut to its buffer.
void StoreLastErrorText(std::u16string_view text);
// The description of a failure of the method entered last: LastErrorText when that method wrote it, else the
// description of the thread's error information (a failed call below), else the HRESULT's text; kept as
// LastErrorText.
std::u16string ErrorTextOfThisFailure(HRESULT hr);

// Sends an error line with the site tag as source and keeps it as LastErrorText.
void ReportErrorLine(std::u16string_view text);

} // namespace vrcommon::trace
