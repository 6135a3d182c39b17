// The printf-style formatter with the Windows wide semantics, wide and narrow, with overflow reporting.
#pragma once

#include "platform/base/types.h"

#include <cstdarg>
#include <string>

namespace vr {

// Every function here may be called from any thread at the same time (no shared state).
//
// Conversions: %d %i %u %o %x %X %c %s %f %e %E %g %G %p %% with flags (- + blank # 0), width and precision
// (also '*'). Length modifiers follow the system's sizes: none and 'l' take a 32-bit int (LONG), 'h' a
// short (and with s/c: narrow text), 'll' and 'I64' a 64-bit integer, 'L' a double.
// In the wide formatter %s and %ls take a wide (char16_t) string, %hs and %S a narrow (UTF-8) string;
// %c and %lc a wide character, %hc and %C a narrow one. In the narrow formatter %s and %hs take narrow
// text, %ls and %S wide text (written as UTF-8). A narrow character is one byte, read as Latin-1 into wide
// text. A null string is written as "(null)". %p writes the address in upper-case hexadecimal digits, as
// many as a pointer has.
//
// Overflow as _snwprintf reports it: at most count units are written; when the whole text and its
// terminator fit, the result is the length without the terminator; when the text fits exactly without the
// terminator, the result is count and no terminator is written; otherwise the result is -1 and the buffer
// holds the first count units. A format error also gives -1: an unknown conversion, %n (never supported: it
// would write through an argument), a length modifier that does not fit its conversion (%Ld, %lls, %hf), an
// incomplete specification at the end, or a width or precision above 1048576.
// Floating digits are written in the "C" locale whatever the program's locale. A precision bounds how much
// of a string argument is read, so it may limit an array without a terminator.
int FormatW(OLECHAR* buffer, size_t count, const OLECHAR* format, ...);
int VFormatW(OLECHAR* buffer, size_t count, const OLECHAR* format, va_list args);
int FormatA(char* buffer, size_t count, const char* format, ...);
int VFormatA(char* buffer, size_t count, const char* format, va_list args);

// Whole results, for code without a buffer limit of its own; empty on a format error.
std::u16string FormatWString(const OLECHAR* format, ...);
std::u16string VFormatWString(const OLECHAR* format, va_list args);
std::string FormatAString(const char* format, ...);

// Checks a format that comes from a user's file before it is used with one value: exactly one conversion
// (any number of "%%"), of a kind that fits the value. Returns the kind, or Invalid. Also Invalid is any
// conversion for which one value of its kind would not be the argument it reads: '*', %p, %n, 64-bit integers
// ("%lld", "%I64d": the value is the system's 32-bit integer), and strings of the other width (%S; %hs in a
// wide format, %ls in a narrow one). Integer conversions take a LONG, floating ones a double, string ones
// text of the format's own width, character ones an int.
enum class FormatKind { Invalid, Integer, Floating, String, Character };
FormatKind CheckUserFormat(const OLECHAR* format);
FormatKind CheckUserFormatA(const char* format);

} // namespace vr
