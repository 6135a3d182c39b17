// PropertyTable: names to DISPIDs and the commands behind them.
#include "PropertyTable.h"

#include "platform/base/format.h"
#include "platform/base/text.h"

namespace plugmar {

HRESULT PropertyTable::AddProperty(std::u16string_view name, CommandKind kind, std::u16string_view command,
                                   int flags, std::u16string* problem) {
    std::u16string key = vr::ToUpper(name);
    auto found = byName_.find(key);
    if (found == byName_.end()) {
        DispProperty entry;
        entry.name = std::u16string(name);
        entry.dispId = nextDispId_++;
        found = byName_.emplace(key, std::move(entry)).first;
        byId_.emplace(found->second.dispId, key);
    }
    DispProperty& entry = found->second;
    switch (kind) {
    case CommandKind::Get:
        entry.getCommand = command;
        break;
    case CommandKind::Put:
        entry.putCommand = command;
        break;
    case CommandKind::Method:
        entry.methodCommand = command;
        break;
    case CommandKind::None:
        break;
    }
    entry.ptPropertyTypeFlags |= flags & (kPropertyAttribute | kPropertySelector);
    if (flags & kPropertyDefaultSelector) {
        if (defaultSelector_ && defaultSelector_ != &entry) {
            *problem = vr::FormatWString(
                u"'%s' Selector Property: There must be only one Attribute with a 'DefaultSelector' class.",
                entry.name.c_str());
            return E_FAIL;
        }
        entry.ptPropertyTypeFlags |= kPropertyDefaultSelector;
        defaultSelector_ = &entry;
    }
    return S_OK;
}

const DispProperty* PropertyTable::Find(std::u16string_view name) const {
    auto found = byName_.find(vr::ToUpper(name));
    return found == byName_.end() ? nullptr : &found->second;
}

const DispProperty* PropertyTable::FindById(DISPID id) const {
    auto found = byId_.find(id);
    return found == byId_.end() ? nullptr : Find(found->second);
}

} // namespace plugmar
