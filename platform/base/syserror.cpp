// Windows error codes from errno, and their texts (table: win32errors.inc).
#include "platform/base/syserror.h"

#include "platform/base/text.h"
#include "platform/base/win32errors.h"

namespace vr {
namespace {

struct ErrorEntry {
    DWORD code;
    const char* text;
};

#define VR_WIN32_ERROR(name, code, text) {code, text},
constexpr ErrorEntry kErrors[] = {
#include "platform/base/win32errors.inc"
};
#undef VR_WIN32_ERROR

} // namespace

std::u16string Win32ErrorMessage(DWORD code) {
    code &= 0xFFFF;
    for (const auto& entry : kErrors) {
        if (entry.code == code) {
            return FromUtf8(entry.text) + u"\r\n";
        }
    }
    return u"";
}

} // namespace vr
