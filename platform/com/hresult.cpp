// Names and texts of HRESULTs, from the one table in hresults.inc.
#include "platform/com/hresult.h"

#include "platform/base/syserror.h"
#include "platform/base/text.h"

namespace vr {
namespace {

struct HResultEntry {
    HRESULT value;
    const char* name;
    const char* text;
};

#define VR_HRESULT(name, value, text) {static_cast<HRESULT>(value##u), #name, text},
constexpr HResultEntry kTable[] = {
#include "platform/com/hresults.inc"
};
#undef VR_HRESULT

const HResultEntry* Find(HRESULT hr) {
    for (const auto& entry : kTable) {
        if (entry.value == hr) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

const char* HResultName(HRESULT hr) {
    const HResultEntry* entry = Find(hr);
    return entry ? entry->name : "";
}

std::u16string HResultMessage(HRESULT hr) {
    if (const HResultEntry* entry = Find(hr)) {
        return FromUtf8(entry->text);
    }
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) {
        return Win32ErrorMessage(static_cast<DWORD>(HRESULT_CODE(hr)));
    }
    return u"";
}

} // namespace vr
