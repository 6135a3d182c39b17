// GUID text form and generation.
#include "platform/com/guid.h"

#include "platform/base/text.h"

#include <cstdio>
#include <random>

namespace vr {

std::string GuidToUtf8(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::u16string GuidToString(const GUID& g) { return FromUtf8(GuidToUtf8(g)); }

bool GuidFromString(std::u16string_view text, GUID& out) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters, dashes at fixed places.
    if (text.size() != 38 || text[0] != u'{' || text[37] != u'}') {
        return false;
    }
    for (size_t i = 1; i < 37; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        char16_t c = text[i];
        bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex) {
            return false;
        }
    }
    out = MakeGuid(ToUtf8(text));
    return true;
}

GUID NewGuid() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    GUID g{};
    uint64_t a = generator();
    uint64_t b = generator();
    g.Data1 = static_cast<uint32_t>(a >> 32);
    g.Data2 = static_cast<uint16_t>(a >> 16);
    g.Data3 = static_cast<uint16_t>((a & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i) {
        g.Data4[i] = static_cast<uint8_t>(b >> (8 * i));
    }
    g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);
    return g;
}

} // namespace vr
