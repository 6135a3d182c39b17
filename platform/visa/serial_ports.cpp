// The serial resource map in the registry and the ports present.
#include "platform/visa/serial_ports.h"

#include "platform/base/text.h"
#include "platform/registry/registry.h"

#include <algorithm>
#include <filesystem>

namespace vr::visa {

namespace {

std::u16string ValueName(int16_t board) {
    return vr::FromUtf8("ASRL" + std::to_string(board));
}

std::string ReadString(HKEY key, const std::u16string& name) {
    char16_t buffer[1024];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegQueryValueEx(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    std::u16string_view text(buffer, size / sizeof(char16_t));
    while (!text.empty() && text.back() == u'\0') {
        text.remove_suffix(1);
    }
    return vr::ToUtf8(text);
}

} // namespace

std::string SerialDevicePath(int16_t board) {
    if (board <= 0) {
        return {};
    }
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kSerialMapKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        std::string mapped = ReadString(key, ValueName(board));
        RegCloseKey(key);
        if (!mapped.empty()) {
            return mapped;
        }
    }
    return "/dev/ttyS" + std::to_string(board - 1);
}

bool SetSerialDevicePath(int16_t board, const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kSerialMapKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                       nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::u16string value = vr::FromUtf8(path);
    LONG result =
        RegSetValueEx(key, ValueName(board).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::vector<std::string> ListSerialResources() {
    std::vector<std::string> resources;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kSerialMapKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char16_t name[256];
            DWORD length = 256;
            if (RegEnumValue(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            std::string text = vr::ToUtf8(std::u16string_view(name, length));
            std::string path = ReadString(key, std::u16string(name, length));
            std::error_code error;
            if (!path.empty() && std::filesystem::exists(path, error)) {
                resources.push_back(text + "::INSTR");
            }
        }
        RegCloseKey(key);
    }
    std::vector<std::string> adapters;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        std::string file = entry.path().filename().string();
        if (file.starts_with("ttyUSB") || file.starts_with("ttyACM")) {
            adapters.push_back("ASRL" + entry.path().string() + "::INSTR");
        }
    }
    std::sort(adapters.begin(), adapters.end());
    resources.insert(resources.end(), adapters.begin(), adapters.end());
    return resources;
}

} // namespace vr::visa
