// Small text helpers that go with option strings: splitting at a pattern or a colon, joining scope and name.
#include "common/options/ParamParser.h"

#include "common/comtext/BstrText.h"
#include "platform/base/text.h"

bool SplitAt(const OLECHAR* text, BSTR* head, BSTR* tail, const OLECHAR* pattern) {
    std::u16string_view whole = vr::U16View(text);
    size_t at = whole.find(vr::U16View(pattern));
    bool found = at != std::u16string_view::npos;
    vrcommon::StoreBstr(head, found ? whole.substr(0, at) : std::u16string_view());
    vrcommon::StoreBstr(tail, found ? whole.substr(at + vr::U16Length(pattern)) : whole);
    return found;
}

BSTR SubstringBefore(const OLECHAR* text, const OLECHAR* pattern) {
    std::u16string_view whole = vr::U16View(text);
    size_t at = whole.find(vr::U16View(pattern));
    return vrcommon::NewBstr(at == std::u16string_view::npos ? std::u16string_view() : whole.substr(0, at));
}

BSTR SplitAtColon(const OLECHAR* text) {
    std::u16string_view whole = vr::U16View(text);
    size_t colon = whole.find(u':');
    return vrcommon::NewBstr(colon == std::u16string_view::npos ? whole : whole.substr(colon + 1));
}

BSTR JoinText(const OLECHAR* scope, const OLECHAR* name) {
    std::u16string_view scopeText = vr::U16View(scope);
    std::u16string joined(scopeText);
    if (!scopeText.empty()) {
        joined += u':';
    }
    joined += vr::U16View(name);
    return vrcommon::NewBstr(joined);
}
