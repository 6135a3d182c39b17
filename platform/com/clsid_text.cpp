// Class identifiers as text: ProgIDs, the braced GUID form, and the task memory that carries them.
#include "platform/com/activation.h"

#include "platform/base/text.h"
#include "platform/com/activation_internal.h"

#include <cstdlib>
#include <cstring>

namespace {

// Version-independent ProgIDs point at their current version through CurVer; a chain longer than this is a
// loop in the registry, not a version history.
constexpr int kMaxCurVerSteps = 8;

// A ProgID is one key name under HKCR: a backslash would reach into other keys.
bool IsProgIdText(std::u16string_view progId) {
    return !progId.empty() && progId.find(u'\\') == std::u16string_view::npos;
}

bool ResolveProgId(std::u16string_view progId, int stepsLeft, CLSID& clsid) {
    if (!IsProgIdText(progId) || stepsLeft < 0) {
        return false;
    }
    std::u16string key(progId);
    std::u16string current;
    if (vr::detail::ReadClassesText(key + u"\\CurVer", u"", current) && current != key &&
        ResolveProgId(current, stepsLeft - 1, clsid)) {
        return true;
    }
    std::u16string text;
    return vr::detail::ReadClassesText(key + u"\\CLSID", u"", text) && vr::GuidFromString(text, clsid);
}

LPOLESTR CoTaskMemString(std::u16string_view text) {
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (copy) {
        std::memcpy(copy, text.data(), text.size() * sizeof(OLECHAR));
        copy[text.size()] = u'\0';
    }
    return copy;
}

} // namespace

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) {
        return E_INVALIDARG;
    }
    CLSID found{};
    if (!ResolveProgId(vr::U16View(progId), kMaxCurVerSteps, found)) {
        *clsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    *clsid = found;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!clsid) {
        return E_INVALIDARG;
    }
    if (!text) {
        *clsid = GUID_NULL;
        return S_OK;
    }
    std::u16string_view view = vr::U16View(text);
    if (!view.empty() && view.front() == u'{') {
        if (vr::GuidFromString(view, *clsid)) {
            return S_OK;
        }
        *clsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    return CLSIDFromProgID(text, clsid);
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
    if (!progId) {
        return E_INVALIDARG;
    }
    *progId = nullptr;
    std::u16string text;
    if (!vr::detail::ReadClassesText(vr::detail::ClassKey(clsid) + u"\\ProgID", u"", text) || text.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    *progId = CoTaskMemString(text);
    return *progId ? S_OK : E_OUTOFMEMORY;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (!text) {
        return E_INVALIDARG;
    }
    *text = CoTaskMemString(vr::GuidToString(clsid));
    return *text ? S_OK : E_OUTOFMEMORY;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity) {
    std::u16string text = vr::GuidToString(guid);
    int needed = static_cast<int>(text.size()) + 1;
    if (!buffer || capacity < needed) {
        return 0;
    }
    std::memcpy(buffer, text.c_str(), needed * sizeof(OLECHAR));
    return needed;
}

void* CoTaskMemAlloc(size_t size) {
    // Size 0 still gives a distinct block, as callers free what they get without checking the size.
    return std::malloc(size == 0 ? 1 : size);
}

void CoTaskMemFree(void* memory) {
    std::free(memory);
}
