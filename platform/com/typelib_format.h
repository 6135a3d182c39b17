// The type library file: encoding a library's data and reading it back with every field checked.
//
// Layout (all numbers little-endian):
//   header:  8 magic bytes "VRTLB\0\r\n", uint32 format version (1), uint32 body size, uint32 CRC-32 of the
//   body body:    the library, then its references, then its types library: guid, uint32 lcid, uint32
//   syskind, uint16 major, minor, flags, text name, doc, help file,
//            uint32 help context
//   refs:    uint32 count; each: uint8 local (1) or not (0); local: uint32 type index; else guid of the
//            library, uint16 major, minor, guid of the type
//   types:   uint32 count; each: guid, uint32 kind, uint16 flags, major, minor, alignment, text name, doc,
//            uint32 help context; impl types (uint32 count; uint32 ref, int32 flags); functions (uint32
//            count; see EncodeFunc); constants (uint32 count; see EncodeVar)
//   text:    uint32 length in UTF-16 code units, then the code units
//   guid:    16 bytes: uint32, uint16, uint16, 8 bytes
//   type:    uint8 chain length (1..8), uint16 VARTYPE per link; a VT_USERDEFINED last link is followed by
//   its
//            uint32 ref
//   value:   uint16 VARTYPE, then by type: nothing (EMPTY, NULL), 1, 2, 4 or 8 bytes, or a text (BSTR)
// A reader accepts a file only when it is exactly this: the magic, a version it knows, a body of the stated
// size and checksum, every count within what is left, every kind and type known, every reference in range.
// Any thread.
#pragma once

#include "platform/com/hresult.h"
#include "platform/com/typelib_data.h"

#include <string>
#include <string_view>

namespace vr::typelib {

inline constexpr char kFileMagic[8] = {'V', 'R', 'T', 'L', 'B', '\0', '\r', '\n'};
inline constexpr uint32_t kFileVersion = 1;
inline constexpr size_t kHeaderSize = 20;

// Whether bytes begin with the file's magic (a library file, sound or not).
bool HasFileMagic(std::string_view bytes);

// The file bytes of lib. DISP_E_BADVARTYPE for a default or constant value of a type the file cannot hold.
[[nodiscard]] HRESULT EncodeLibrary(const LibData& lib, std::string* bytes);

// Reads file bytes. TYPE_E_CANTLOADLIBRARY without the magic, TYPE_E_UNSUPFORMAT for another version,
// TYPE_E_INVDATAREAD for anything damaged, TYPE_E_CIRCULARTYPE for a type that is its own base (see
// CheckInheritance); *lib is untouched then.
[[nodiscard]] HRESULT DecodeLibrary(std::string_view bytes, LibData* lib);

// Whether the data is consistent (references and indexes in range, type chains well-formed): what a
// reader may rely on. The decoder checks it; the builder's LayOut too.
bool IsConsistent(const LibData& lib);
bool IsValidTypeSpec(const TypeSpec& type, size_t refCount);
// Whether every chain of bases through the library's own types (the first implemented type of an interface or
// dispatch interface) ends: TYPE_E_CIRCULARTYPE when one comes back to a type already on it,
// TYPE_E_INVDATAREAD when one holds more than kMaxInheritanceDepth types. The decoder checks it; the
// builder's SaveAllChanges too.
[[nodiscard]] HRESULT CheckInheritance(const LibData& lib);
// Whether the file can hold value (a default value or a constant): numbers, booleans, errors, texts, empty.
bool IsStorableValue(const VARIANT& value);

} // namespace vr::typelib
