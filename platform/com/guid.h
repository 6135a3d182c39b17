// GUIDs (class, interface and library identifiers): parsing, formatting, comparison and the interface-id trait.
#pragma once

#include "platform/base/types.h"

#include <cstring>
#include <functional>
#include <string>
#include <string_view>

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}
constexpr bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }
constexpr bool IsEqualIID(const IID& a, const IID& b) { return a == b; }
constexpr bool IsEqualCLSID(const CLSID& a, const CLSID& b) { return a == b; }

inline bool operator<(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
// "No particular interface": what the riid arguments of IDispatch take.
inline constexpr IID IID_NULL = GUID_NULL;

namespace vr {
namespace detail {
constexpr uint32_t HexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : throw "bad hex digit in GUID";
}
constexpr uint32_t HexField(const char* s, int digits) {
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        value = (value << 4) | HexDigit(s[i]);
    }
    return value;
}
} // namespace detail

// A GUID from "8-4-4-4-12" text with or without braces, at compile time: MakeGuid("00020400-0000-0000-C000-000000000046").
constexpr GUID MakeGuid(std::string_view text) {
    const char* s = text.data() + (text.size() > 0 && text[0] == '{' ? 1 : 0);
    GUID g{};
    g.Data1 = detail::HexField(s, 8);
    g.Data2 = static_cast<uint16_t>(detail::HexField(s + 9, 4));
    g.Data3 = static_cast<uint16_t>(detail::HexField(s + 14, 4));
    g.Data4[0] = static_cast<uint8_t>(detail::HexField(s + 19, 2));
    g.Data4[1] = static_cast<uint8_t>(detail::HexField(s + 21, 2));
    for (int i = 0; i < 6; ++i) {
        g.Data4[2 + i] = static_cast<uint8_t>(detail::HexField(s + 24 + 2 * i, 2));
    }
    return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry writes it.
std::u16string GuidToString(const GUID& g);
std::string GuidToUtf8(const GUID& g);

// Parses "{8-4-4-4-12}" (braces required, either case); false on any other text.
bool GuidFromString(std::u16string_view text, GUID& out);

// A new random GUID (version 4, from libuuid).
GUID NewGuid();

// The interface identifier of an interface type; specialised by VR_DECLARE_INTERFACE_ID next to each interface.
template <class Interface>
struct InterfaceId;

template <class Interface>
constexpr const IID& uuidof() {
    return InterfaceId<Interface>::value;
}

} // namespace vr

// Associates an interface (or coclass) type with its GUID; use at global scope after the type's declaration.
#define VR_DECLARE_INTERFACE_ID(Interface, text)                                                                   \
    template <>                                                                                                    \
    struct vr::InterfaceId<Interface> {                                                                            \
        static constexpr IID value = vr::MakeGuid(text);                                                           \
    };                                                                                                             \
    inline constexpr IID IID_##Interface = vr::MakeGuid(text);

#define __uuidof(Interface) (vr::uuidof<Interface>())

template <>
struct std::hash<GUID> {
    size_t operator()(const GUID& g) const noexcept {
        uint64_t a, b;
        std::memcpy(&a, &g, 8);
        std::memcpy(&b, reinterpret_cast<const char*>(&g) + 8, 8);
        return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
    }
};
