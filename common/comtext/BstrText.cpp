// BSTR helpers of the common library: allocation that raises on exhaustion, and in/out argument updates.
#include "common/comtext/BstrText.h"

#include "platform/com/comutil.h"

namespace vrcommon {

BSTR NewBstr(std::u16string_view text) {
    BSTR result = SysAllocStringLen(text.empty() ? u"" : text.data(), static_cast<UINT>(text.size()));
    if (result == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return result;
}

void ReplaceBstr(BSTR* target, std::u16string_view text) {
    // Allocate first: the text may point into the string being replaced.
    BSTR fresh = NewBstr(text);
    SysFreeString(*target);
    *target = fresh;
}

void StoreBstr(BSTR* out, std::optional<std::u16string_view> text) {
    if (out == nullptr) {
        return;
    }
    BSTR fresh = text ? NewBstr(*text) : nullptr;
    SysFreeString(*out);
    *out = fresh;
}

} // namespace vrcommon
