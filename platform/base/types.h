// The system's fixed-width scalar types and its 16-bit text unit, as its interfaces define them.
#pragma once

#include <cstddef>
#include <cstdint>

// The system's 32-bit integers are int32_t: Linux `long` is 64-bit and never stands for the system's LONG.
using BYTE = uint8_t;
using CHAR = char;
using UCHAR = uint8_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using WORD = uint16_t;
using INT = int32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using BOOL = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using FLOAT = float;
using DOUBLE = double;
using LCID = uint32_t;
using HRESULT = int32_t;
using SCODE = int32_t;
using DISPID = int32_t;
using MEMBERID = int32_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;

// Pointers handed out through an integer are widened to this type.
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;

// An opaque handle of a kernel-style object (an event, a thread); null is no handle.
using HANDLE = void*;

// One UTF-16 code unit: the system's wide character, never Linux's 32-bit wchar_t.
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// A BSTR points at UTF-16 text preceded by a 32-bit byte length; a null BSTR is the empty string.
using BSTR = OLECHAR*;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// A wait or delay without limit (and, where a call says so, "the default").
constexpr DWORD INFINITE = 0xFFFFFFFF;

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// Currency: a 64-bit integer scaled by 10000.
struct CY {
    LONGLONG int64;
};
