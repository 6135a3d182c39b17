// The registry calls on the file-backed hives, with the contracts of their Windows counterparts.
#include "platform/registry/registry.h"

#include "platform/base/text.h"
#include "platform/registry/hive_store.h"
#include "platform/registry/key_handles.h"

#include <cstring>

using vr::registry::AddHandle;
using vr::registry::HiveName;
using vr::registry::HiveStore;
using vr::registry::KeyPath;
using vr::registry::LookUpHandle;
using vr::registry::OpenedKey;
using vr::registry::RegKey;
using vr::registry::RegValue;

namespace {

// DELETE, part of KEY_ALL_ACCESS. Removing a key needs it or a right to write (KEY_WRITE), so a handle
// opened with KEY_READ only can delete nothing.
constexpr REGSAM kDeleteAccess = 0x00010000;
constexpr REGSAM kDeleteRights = kDeleteAccess | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

struct Target {
    OpenedKey key;
    std::shared_ptr<HiveStore> store;
};

// Resolves a handle and checks that it was opened with one of the `rights` (none needed when 0).
LONG Resolve(HKEY handle, REGSAM rights, Target& target) {
    auto key = LookUpHandle(handle);
    if (!key) {
        return ERROR_INVALID_HANDLE;
    }
    if (rights != 0 && (key->access & rights) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    target.store = vr::registry::StoreFor(key->file, HiveName(key->hive));
    target.key = std::move(*key);
    return ERROR_SUCCESS;
}

// "A\B\C" -> {A, B, C}. Empty names (from a leading, trailing or doubled "\") are skipped, so
// "Software\Vornic\Config\" names the key Config.
KeyPath SplitPath(LPCOLESTR subKey) {
    KeyPath names;
    std::u16string_view rest = vr::U16View(subKey);
    while (!rest.empty()) {
        size_t end = rest.find(u'\\');
        if (end != 0) {
            names.emplace_back(rest.substr(0, end));
        }
        rest.remove_prefix(end == std::u16string_view::npos ? rest.size() : end + 1);
    }
    return names;
}

KeyPath Join(const KeyPath& base, const KeyPath& names) {
    KeyPath path = base;
    path.insert(path.end(), names.begin(), names.end());
    return path;
}

bool ValidKeyNames(const KeyPath& names) {
    for (const auto& name : names) {
        if (name.size() > vr::registry::kMaxKeyNameLength || !vr::registry::IsStorableName(name)) {
            return false;
        }
    }
    return true;
}

bool ValidValueName(std::u16string_view name) {
    return name.size() <= vr::registry::kMaxValueNameLength && vr::registry::IsStorableName(name);
}

// Fills the caller's data buffer as RegQueryValueEx does: no buffer -> only the size; a buffer too small ->
// ERROR_MORE_DATA with the size needed in *dataSize.
LONG CopyData(const RegValue& value, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (type != nullptr) {
        *type = value.type;
    }
    auto size = static_cast<DWORD>(value.data.size());
    if (data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = size;
        }
        return ERROR_SUCCESS;
    }
    if (dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD room = *dataSize;
    *dataSize = size;
    if (room < size) {
        return ERROR_MORE_DATA;
    }
    if (size > 0) {
        std::memcpy(data, value.data.data(), size);
    }
    return ERROR_SUCCESS;
}

// Copies a name with its terminator. *length: the buffer's size in characters on entry, the name's length
// without terminator on return; when the buffer is too small, ERROR_MORE_DATA and the length needed
// (without terminator) in *length.
LONG CopyName(std::u16string_view text, LPOLESTR name, DWORD* length) {
    if (name == nullptr || length == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    auto needed = static_cast<DWORD>(text.size());
    if (*length <= needed) {
        *length = needed;
        return ERROR_MORE_DATA;
    }
    std::copy(text.begin(), text.end(), name);
    name[needed] = u'\0';
    *length = needed;
    return ERROR_SUCCESS;
}

// Whether the key `path` exists (ERROR_SUCCESS), is missing (ERROR_FILE_NOT_FOUND), or the handle's own key
// is gone (ERROR_KEY_DELETED).
LONG FindKey(const Target& target, const KeyPath& path) {
    return target.store->Read([&](const RegKey& root, const FILETIME&) -> LONG {
        if (root.Find(target.key.path) == nullptr) {
            return ERROR_KEY_DELETED;
        }
        return root.Find(path) != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG CreateKeys(const Target& target, const KeyPath& names, bool& created) {
    return target.store->Write([&](RegKey& root, bool& changed) -> LONG {
        RegKey* key = root.Find(target.key.path);
        if (key == nullptr) {
            return ERROR_KEY_DELETED;
        }
        for (const auto& name : names) {
            key = &key->AddSubKey(name, &created);
            changed = changed || created;
        }
        return ERROR_SUCCESS;
    });
}

HKEY NewHandle(const Target& base, KeyPath path, REGSAM access) {
    return AddHandle(OpenedKey{base.key.hive, base.key.file, std::move(path), access, false});
}

// Removes the key at `path` (not the hive's root); with `onlyWhenLeaf` a key with sub-keys is refused.
LONG RemoveKey(const Target& target, const KeyPath& path, bool onlyWhenLeaf) {
    return target.store->Write([&](RegKey& root, bool& changed) -> LONG {
        if (root.Find(target.key.path) == nullptr) {
            return ERROR_KEY_DELETED;
        }
        const RegKey* key = root.Find(path);
        if (key == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (onlyWhenLeaf && key->SubKeyCount() > 0) {
            return ERROR_ACCESS_DENIED;
        }
        RegKey* parent = root.Find(KeyPath(path.begin(), path.end() - 1));
        changed = parent->RemoveSubKey(path.back());
        return ERROR_SUCCESS;
    });
}

} // namespace

LONG RegCreateKeyEx(HKEY key, LPCOLESTR subKey, DWORD /*reserved*/, LPOLESTR /*className*/, DWORD /*options*/,
                    REGSAM access, void* /*security*/, PHKEY result, DWORD* disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    Target target;
    LONG status = Resolve(key, 0, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    KeyPath names = SplitPath(subKey);
    if (!ValidKeyNames(names)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyPath path = Join(target.key.path, names);
    if (path.size() > vr::registry::kMaxKeyDepth) {
        return ERROR_INVALID_PARAMETER;
    }
    // Opening an existing key takes no lock and writes nothing, so it works where the user may not write.
    status = FindKey(target, path);
    bool created = false;
    if (status == ERROR_FILE_NOT_FOUND) {
        if ((target.key.access & KEY_CREATE_SUB_KEY) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        status = CreateKeys(target, names, created);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *result = names.empty() && target.key.predefined ? key : NewHandle(target, std::move(path), access);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyEx(HKEY key, LPCOLESTR subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    Target target;
    LONG status = Resolve(key, 0, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    KeyPath names = SplitPath(subKey);
    KeyPath path = Join(target.key.path, names);
    status = FindKey(target, path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // As on Windows, an empty sub-key of a predefined root gives back the root itself.
    *result = names.empty() && target.key.predefined ? key : NewHandle(target, std::move(path), access);
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, LPCOLESTR valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                     DWORD* dataSize) {
    Target target;
    LONG status = Resolve(key, KEY_QUERY_VALUE, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return target.store->Read([&](const RegKey& root, const FILETIME&) -> LONG {
        const RegKey* found = root.Find(target.key.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        const RegValue* value = found->FindValue(vr::U16View(valueName));
        return value != nullptr ? CopyData(*value, type, data, dataSize) : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegSetValueEx(HKEY key, LPCOLESTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                   DWORD dataSize) {
    Target target;
    LONG status = Resolve(key, KEY_SET_VALUE, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::u16string_view name = vr::U16View(valueName);
    if (!ValidValueName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (data == nullptr && dataSize != 0) {
        return ERROR_NOACCESS;
    }
    std::vector<BYTE> bytes(data, data + dataSize);
    return target.store->Write([&](RegKey& root, bool& changed) -> LONG {
        RegKey* found = root.Find(target.key.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        changed = found->SetValue(name, type, std::move(bytes));
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY key, LPCOLESTR valueName) {
    Target target;
    LONG status = Resolve(key, KEY_SET_VALUE, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return target.store->Write([&](RegKey& root, bool& changed) -> LONG {
        RegKey* found = root.Find(target.key.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        changed = found->DeleteValue(vr::U16View(valueName));
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteKey(HKEY key, LPCOLESTR subKey) {
    Target target;
    LONG status = Resolve(key, kDeleteRights, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyPath path = Join(target.key.path, SplitPath(subKey));
    if (path.empty()) {
        return ERROR_ACCESS_DENIED; // a hive's root stays
    }
    return RemoveKey(target, path, true);
}

LONG RegDeleteTree(HKEY key, LPCOLESTR subKey) {
    Target target;
    LONG status = Resolve(key, kDeleteRights, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    KeyPath names = SplitPath(subKey);
    if (!names.empty()) {
        return RemoveKey(target, Join(target.key.path, names), false);
    }
    // No sub-key: everything in the key goes, the key itself stays.
    return target.store->Write([&](RegKey& root, bool& changed) -> LONG {
        RegKey* found = root.Find(target.key.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        changed = found->SubKeyCount() > 0 || !found->Values().empty();
        found->Clear();
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, LPOLESTR name, DWORD* nameLength, DWORD* /*reserved*/,
                  LPOLESTR className, DWORD* classLength, FILETIME* lastWrite) {
    Target target;
    LONG status = Resolve(key, KEY_ENUMERATE_SUB_KEYS, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return target.store->Read([&](const RegKey& root, const FILETIME& fileTime) -> LONG {
        const RegKey* found = root.Find(target.key.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        if (index >= found->SubKeyCount()) {
            return ERROR_NO_MORE_ITEMS;
        }
        LONG copied = CopyName(found->SubKeyAt(index).Name(), name, nameLength);
        if (copied != ERROR_SUCCESS) {
            return copied;
        }
        // Keys have no class here: an empty one.
        if (className != nullptr && classLength != nullptr && *classLength > 0) {
            className[0] = u'\0';
        }
        if (classLength != nullptr) {
            *classLength = 0;
        }
        if (lastWrite != nullptr) {
            *lastWrite = fileTime; // times are kept per hive file, not per key
        }
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValue(HKEY key, DWORD index, LPOLESTR name, DWORD* nameLength, DWORD* /*reserved*/, DWORD* type,
                  BYTE* data, DWORD* dataSize) {
    Target target;
    LONG status = Resolve(key, KEY_QUERY_VALUE, target);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return target.store->Read([&](const RegKey& root, const FILETIME&) -> LONG {
        const RegKey* found = root.Find(target.key.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        if (index >= found->Values().size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const RegValue& value = found->Values()[index];
        LONG copied = CopyName(value.name, name, nameLength);
        return copied != ERROR_SUCCESS ? copied : CopyData(value, type, data, dataSize);
    });
}

LONG RegCloseKey(HKEY key) {
    auto opened = LookUpHandle(key);
    if (opened && opened->predefined) {
        return ERROR_SUCCESS;
    }
    return vr::registry::RemoveHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
