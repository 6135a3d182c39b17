// The printf-style formatter with the Windows wide semantics, wide and narrow, with overflow reporting.
#pragma once

#include "platform/base/types.h"

#include <cstdarg>
#include <string>

namespace vr {

// Conversions: %d %i %u %o %x %X %c %s %f %e %E %g %G %p %% with flags (- + blank # 0), width and precision
// (also '*'). Length modifiers follow the system's sizes: none and 'l' take a 32-bit int (LONG), 'h' a
// short (and with s/c: narrow text), 'll' and 'I64' a 64-bit integer, 'L' a double.
// In the wide formatter %s and %ls take a wide (char16_t) string, %hs and %S a narrow (UTF-8) string;
// %c and %lc a wide character, %hc and %C a narrow one. In the narrow formatter %s and %hs take narrow
// text, %ls and %S wide text (written as UTF-8). A null string is written as "(null)".
//
// Overflow as _snwprintf reports it: at most count units are written; when the whole text and its
// terminator fit, the result is the length without the terminator; when the text fits exactly without the
// terminator, the result is count and no terminator is written; otherwise the result is -1 and the buffer
// holds the first count units. A format error (unknown conversion) also gives -1.
int FormatW(OLECHAR* buffer, size_t count, const OLECHAR* format, ...);
int VFormatW(OLECHAR* buffer, size_t count, const OLECHAR* format, va_list args);
int FormatA(char* buffer, size_t count, const char* format, ...);
int VFormatA(char* buffer, size_t count, const char* format, va_list args);

// Whole results, for code without a buffer limit of its own.
std::u16string FormatWString(const OLECHAR* format, ...);
std::u16string VFormatWString(const OLECHAR* format, va_list args);
std::string FormatAString(const char* format, ...);

// Checks a format that comes from a user's file before it is used with one value: exactly one conversion
// (any number of "%%"), of a kind that fits the value. Returns the kind, or Invalid.
enum class FormatKind { Invalid, Integer, Floating, String, Character };
FormatKind CheckUserFormat(const OLECHAR* format);
FormatKind CheckUserFormatA(const char* format);

} // namespace vr
