// BSTR: length-prefixed UTF-16 strings owned by whoever receives them; a null BSTR is the empty string.
#pragma once

#include "platform/base/types.h"

#include <string>
#include <string_view>

// Allocation throws nothing: a failed allocation returns null (callers raise E_OUTOFMEMORY as they need).
// Any thread may allocate and free BSTRs; one BSTR is owned by one thread at a time.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length); // text may be null: length units of zero
BSTR SysAllocStringByteLen(const char* bytes, UINT length);
void SysFreeString(BSTR text);
BOOL SysReAllocString(BSTR* text, const OLECHAR* value);
BOOL SysReAllocStringLen(BSTR* text, const OLECHAR* value, UINT length);
UINT SysStringLen(BSTR text);     // in UTF-16 code units
UINT SysStringByteLen(BSTR text); // in bytes

namespace vr {

BSTR AllocBstr(std::u16string_view text);
BSTR AllocBstrUtf8(std::string_view text);
// One unit per byte (ISO-8859-1), widened straight into the new BSTR: a long text is written once.
BSTR AllocBstrLatin1(std::string_view bytes);
inline std::u16string_view BstrView(BSTR text) {
    return std::u16string_view(text, SysStringLen(text));
}
std::string BstrToUtf8(BSTR text);

} // namespace vr
