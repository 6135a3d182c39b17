// Option strings as lists of items: read, written back, compared.
#include "VrDev/Ostrel/editors/OptionItems.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/options/ParamParser.h"
#include "platform/com/bstr.h"

namespace ostrel {

std::vector<OptionItem> ItemsOf(std::u16string_view options) {
    BSTR text = vr::AllocBstr(options);
    std::vector<OptionItem> items;
    const int count = ParamCount(text);
    for (int i = 0; i < count; ++i) {
        BSTR name = nullptr;
        BSTR value = nullptr;
        if (GetParamAt(&name, &value, text, i)) {
            items.push_back(
                {std::u16string(vr::BstrView(name)), std::u16string(vr::BstrView(value)), value != nullptr});
        }
        SysFreeString(name);
        SysFreeString(value);
    }
    SysFreeString(text);
    return items;
}

std::u16string WriteItems(const std::vector<OptionItem>& items) {
    BSTR text = SysAllocString(u"");
    for (const OptionItem& item : items) {
        // An item that cannot be written (a text holding all four quote characters) is left out.
        (void)AppendParam(&text, item.name.c_str(), item.hasValue ? item.value.c_str() : nullptr, u" ",
                          false);
    }
    std::u16string written(vr::BstrView(text));
    SysFreeString(text);
    return written;
}

bool SameOptions(std::u16string_view a, std::u16string_view b) {
    const std::vector<OptionItem> first = ItemsOf(a);
    if (first.size() != ItemsOf(b).size()) {
        return false;
    }
    for (const OptionItem& item : first) {
        if (ItemOf(b, item.name) != item.value) {
            return false;
        }
    }
    return true;
}

} // namespace ostrel
