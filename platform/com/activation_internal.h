// Helpers shared by the activation sources: the classes root of the registry and the thread's apartment.
#pragma once

#include "platform/base/types.h"
#include "platform/com/guid.h"

#include <chrono>
#include <string>
#include <string_view>

namespace vr::detail {

// A text value (REG_SZ or REG_EXPAND_SZ) under HKEY_CLASSES_ROOT; an empty valueName is the default value.
// False when the key or value is missing or holds no text.
bool ReadClassesText(std::u16string_view subKey, std::u16string_view valueName, std::u16string& text);

// Creates the key when missing and writes the text value; a Windows error code (ERROR_SUCCESS on success).
LONG WriteClassesText(std::u16string_view subKey, std::u16string_view valueName, std::u16string_view text);

// Creates the key (and the keys above it) when missing.
LONG CreateClassesKey(std::u16string_view subKey);

// Removes a value; a missing key or value counts as removed (ERROR_SUCCESS).
LONG RemoveClassesValue(std::u16string_view subKey, std::u16string_view valueName);

// Removes the key when it has neither sub-keys nor values left; a missing key counts as removed.
LONG RemoveClassesKeyIfEmpty(std::u16string_view subKey);

// "CLSID\{...}" and the keys under it.
std::u16string ClassKey(const CLSID& clsid);

// Asks the in-process server library at path for a class object, loading it on first use (it stays loaded
// until FreeUnusedLibraries finds it unused). CO_E_DLLNOTFOUND, CO_E_ERRORINDLL or the library's answer.
HRESULT GetClassObjectFromLibrary(const std::string& path, const CLSID& clsid, const IID& riid, void** ppv);

// Unloads the cached libraries that have been idle for at least delay (see CoFreeUnusedLibrariesEx).
void FreeUnusedLibraries(std::chrono::milliseconds delay);

// Remembers the loader's text of the calling thread's last failed load (LastLibraryLoadError).
void SetLastLibraryLoadError(std::string text);

// Revokes the class objects that the calling thread registered (its apartment is ending).
void RevokeClassObjectsOfThisThread();

} // namespace vr::detail
