// The registry: file-backed hives HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, shared safely
// by every process of the station.
#pragma once

#include "platform/base/types.h"
#include "platform/base/win32errors.h"

#include <string>

struct VrRegistryKey;
using HKEY = VrRegistryKey*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

// The predefined root keys; never closed.
extern HKEY const HKEY_CLASSES_ROOT;
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// The calls return ERROR_SUCCESS or a Windows error code (ERROR_FILE_NOT_FOUND for a missing key or value,
// ERROR_MORE_DATA when a buffer is too small, ERROR_NO_MORE_ITEMS at the end of an enumeration,
// ERROR_ACCESS_DENIED when a key opened for reading is written). Key and value names are case-insensitive;
// sub-key paths use "\" as separator; a null or empty value name is the key's default value.
// String data (REG_SZ) is UTF-16 with its terminator counted in the byte size. RegEnumKeyEx and RegEnumValue
// take name buffer sizes in characters and return name lengths without the terminator; a name buffer that is
// too small gives ERROR_MORE_DATA with the length needed in *nameLength.
//
// Thread contract: any call may be made from any thread at any time, and by several processes at once. Each
// write is a read-modify-write of the hive file under an advisory lock, so concurrent writers lose nothing;
// each call sees every write completed before it started, in this process or another.
[[nodiscard]] LONG RegCreateKeyEx(HKEY key, LPCOLESTR subKey, DWORD reserved, LPOLESTR className,
                                  DWORD options, REGSAM access, void* security, PHKEY result,
                                  DWORD* disposition);
[[nodiscard]] LONG RegOpenKeyEx(HKEY key, LPCOLESTR subKey, DWORD options, REGSAM access, PHKEY result);
[[nodiscard]] LONG RegQueryValueEx(HKEY key, LPCOLESTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                   DWORD* dataSize);
[[nodiscard]] LONG RegSetValueEx(HKEY key, LPCOLESTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                 DWORD dataSize);
[[nodiscard]] LONG RegDeleteValue(HKEY key, LPCOLESTR valueName);
// Deletes a key that has no sub-keys (as Windows does); RegDeleteTree deletes a key with everything under it.
[[nodiscard]] LONG RegDeleteKey(HKEY key, LPCOLESTR subKey);
[[nodiscard]] LONG RegDeleteTree(HKEY key, LPCOLESTR subKey);
[[nodiscard]] LONG RegEnumKeyEx(HKEY key, DWORD index, LPOLESTR name, DWORD* nameLength, DWORD* reserved,
                                LPOLESTR className, DWORD* classLength, FILETIME* lastWrite);
[[nodiscard]] LONG RegEnumValue(HKEY key, DWORD index, LPOLESTR name, DWORD* nameLength, DWORD* reserved,
                                DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegCloseKey(HKEY key);

namespace vr {

// The folder that holds the hive files: $VORNIC_REGISTRY when set, else $XDG_CONFIG_HOME/vornic/registry
// (~/.config/vornic/registry). Read at every call, so a test may point it elsewhere.
std::string RegistryRoot();

} // namespace vr
