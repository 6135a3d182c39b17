// GUID text form and generation.
#include "platform/com/guid.h"

#include "platform/base/text.h"

#include <cstdio>
#include <cstring>
#include <uuid/uuid.h>

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
    uuid_t bytes;
    uuid_generate_random(bytes);
    // The bytes are in the text's order: the first three fields most significant byte first.
    GUID g{};
    g.Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
              static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    g.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    g.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(g.Data4, bytes + 8, sizeof g.Data4);
    return g;
}

} // namespace vr
