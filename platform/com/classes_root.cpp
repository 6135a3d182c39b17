// Reading and writing text values under HKEY_CLASSES_ROOT for activation and registration.
#include "platform/com/activation_internal.h"

#include "platform/registry/registry.h"

#include <vector>

namespace vr::detail {
namespace {

// Closes a key on scope exit.
class KeyHolder {
public:
    KeyHolder() = default;
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    ~KeyHolder() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    HKEY* Put() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::u16string Terminated(std::u16string_view text) {
    return std::u16string(text);
}

} // namespace

bool ReadClassesText(std::u16string_view subKey, std::u16string_view valueName, std::u16string& text) {
    KeyHolder key;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, Terminated(subKey).c_str(), 0, KEY_READ, key.Put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::u16string name = Terminated(valueName);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueEx(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::vector<OLECHAR> buffer(size / sizeof(OLECHAR) + 1, u'\0');
    DWORD bufferSize = static_cast<DWORD>(buffer.size() * sizeof(OLECHAR));
    if (RegQueryValueEx(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                        &bufferSize) != ERROR_SUCCESS) {
        return false;
    }
    // The stored size counts the terminator; a value written without one still ends at the buffer's end.
    text.assign(buffer.data(), bufferSize / sizeof(OLECHAR));
    while (!text.empty() && text.back() == u'\0') {
        text.pop_back();
    }
    return true;
}

LONG WriteClassesText(std::u16string_view subKey, std::u16string_view valueName, std::u16string_view text) {
    KeyHolder key;
    LONG status = RegCreateKeyEx(HKEY_CLASSES_ROOT, Terminated(subKey).c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::u16string data = Terminated(text);
    return RegSetValueEx(key.Get(), Terminated(valueName).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(OLECHAR)));
}

LONG CreateClassesKey(std::u16string_view subKey) {
    KeyHolder key;
    return RegCreateKeyEx(HKEY_CLASSES_ROOT, Terminated(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.Put(), nullptr);
}

LONG RemoveClassesValue(std::u16string_view subKey, std::u16string_view valueName) {
    KeyHolder key;
    LONG status = RegOpenKeyEx(HKEY_CLASSES_ROOT, Terminated(subKey).c_str(), 0, KEY_ALL_ACCESS, key.Put());
    if (status == ERROR_SUCCESS) {
        status = RegDeleteValue(key.Get(), Terminated(valueName).c_str());
    }
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LONG RemoveClassesKeyIfEmpty(std::u16string_view subKey) {
    std::u16string path = Terminated(subKey);
    {
        KeyHolder key;
        LONG status = RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put());
        if (status != ERROR_SUCCESS) {
            return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
        }
        OLECHAR name[256];
        DWORD length = 256;
        if (RegEnumKeyEx(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS; // someone else's keys are left in it
        }
        length = 256;
        if (RegEnumValue(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
    }
    LONG status = RegDeleteKey(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

std::u16string ClassKey(const CLSID& clsid) {
    return u"CLSID\\" + GuidToString(clsid);
}

} // namespace vr::detail
