// Recent values of an editor field: kept as an option string and stored under HKEY_CURRENT_USER.
#include "common/attrvalues/RecentValues.h"

#include "common/options/ParamParser.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/registry/registry.h"

namespace {

std::u16string TakeBstr(BSTR text) {
    std::u16string result = text ? std::u16string(text, SysStringLen(text)) : std::u16string();
    SysFreeString(text);
    return result;
}

// Runs an in-place edit of the option-string helpers on a std::u16string.
template <class Edit>
void EditText(std::u16string& text, Edit edit) {
    BSTR buffer = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    edit(&buffer);
    text = TakeBstr(buffer);
}

} // namespace

void RecentValues::Load(const std::string& rootKey, const std::string& varName) {
    if (max_ <= 0) {
        return;
    }
    rootKey_ = vr::FromUtf8(rootKey);
    varName_ = vr::FromUtf8(varName);
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, rootKey_.c_str(), 0, nullptr, 0, KEY_READ | KEY_SET_VALUE, nullptr,
                       &key, nullptr) != ERROR_SUCCESS) {
        return; // the field works without recent values
    }
    loaded_ = true;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueEx(key, varName_.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ && size >= sizeof(char16_t)) {
        std::u16string data(size / sizeof(char16_t), u'\0');
        if (RegQueryValueEx(key, varName_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                            &size) == ERROR_SUCCESS) {
            data.resize(size / sizeof(char16_t));
            while (!data.empty() && data.back() == u'\0') {
                data.pop_back();
            }
            text_ = data;
        }
    }
    RegCloseKey(key);
}

void RecentValues::Save() const {
    if (max_ <= 0 || !loaded_) {
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, rootKey_.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    DWORD bytes = static_cast<DWORD>((text_.size() + 1) * sizeof(char16_t));
    (void)RegSetValueEx(key, varName_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text_.c_str()),
                        bytes);
    RegCloseKey(key);
}

void RecentValues::Add(const std::string& text) {
    if (max_ <= 0) {
        return;
    }
    std::u16string name = vr::FromUtf8(text);
    EditText(text_, [&](BSTR* buffer) {
        TruncateParams(buffer, max_ - 1);
        BSTR removedName = nullptr;
        FindParamValue(&removedName, nullptr, buffer, name.c_str());
        SysFreeString(removedName);
        AppendParam(buffer, name.c_str(), nullptr, u" ", false);
    });
}

std::vector<std::string> RecentValues::Items() const {
    std::vector<std::string> items;
    for (int index = 0;; ++index) {
        BSTR name = nullptr;
        if (!GetParamAt(&name, nullptr, text_.c_str(), index)) {
            break;
        }
        items.push_back(vr::ToUtf8(TakeBstr(name)));
    }
    return items;
}
