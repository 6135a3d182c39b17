// Reading and writing attribute values under HKEY_CURRENT_USER\<REGISTRYROOTKEY>.
#include "attributes/AttributeRegistryKey.h"

#include "attributes/Variant.h"
#include "platform/base/text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tabrisk {
namespace {

// The value's data as UTF-16 text up to its first zero unit; false when it is missing or unreadable.
bool QueryText(HKEY key, const std::u16string& name, std::u16string* text) {
    DWORD size = 0;
    if (RegQueryValueEx(key, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<BYTE> data(size + sizeof(OLECHAR));
    DWORD read = size;
    if (RegQueryValueEx(key, name.c_str(), nullptr, nullptr, data.data(), &read) != ERROR_SUCCESS) {
        return false; // changed between the two calls: as unreadable
    }
    std::u16string units(read / sizeof(OLECHAR), u'\0');
    std::copy_n(data.data(), units.size() * sizeof(OLECHAR), reinterpret_cast<BYTE*>(units.data()));
    units.resize(vr::U16Length(units.c_str()));
    *text = std::move(units);
    return true;
}

} // namespace

bool AttributeRegistryKey::Open(std::u16string_view subKey) {
    Close();
    std::u16string path(subKey);
    HKEY key = nullptr;
    LONG status = RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    key_ = key;
    opened_ = true;
    return true;
}

void AttributeRegistryKey::Close() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

bool AttributeRegistryKey::Read(std::u16string_view name, VARIANT* target) const {
    std::u16string text;
    if (key_ == nullptr || !QueryText(key_, std::u16string(name), &text)) {
        return false;
    }
    // The 8-bit text and its terminator must fit the read buffer, less the byte kept for the terminator.
    if (vr::ToUtf8(text).size() + 1 > kRegistryValueBytes - 1) {
        return false;
    }
    Variant read = Variant::FromText(text);
    if (VARTYPE vt = target->vt & VT_TYPEMASK; vt != VT_EMPTY && FAILED(read.ChangeType(vt))) {
        return false;
    }
    if (FAILED(VariantClear(target))) {
        return false;
    }
    *target = read.Detach();
    return true;
}

bool AttributeRegistryKey::Write(std::u16string_view name, const VARIANT& value) const {
    Variant text;
    if (key_ == nullptr || FAILED(text.CopyFrom(value)) || FAILED(text.ChangeType(VT_BSTR))) {
        return false;
    }
    // Stored as the 8-bit reader would see it, so that what is read back is what was written.
    std::u16string data = vr::FromUtf8(vr::ToUtf8(vr::BstrView(text.Get().bstrVal)));
    std::u16string valueName(name);
    DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(OLECHAR));
    return RegSetValueEx(key_, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         bytes) == ERROR_SUCCESS;
}

} // namespace tabrisk
