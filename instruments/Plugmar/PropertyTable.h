// The socket's property table: every name a script may use on a socket, with its DISPID, its flags and the
// adapter commands that serve it.
#pragma once

#include "platform/com/dispatch.h"

#include <map>
#include <string>

namespace plugmar {

// Flag bits of a property.
inline constexpr int kPropertyAttribute = 1;       // reads and writes go to the device attribute collection
inline constexpr int kPropertySelector = 2;        // the attribute is an inner or outer selector
inline constexpr int kPropertyDefaultSelector = 4; // the device's default selector

// The DISPID answered for a selector name; it never stands in the table.
inline constexpr DISPID RESERVED_SELECTOR_DISPID = 1000;

// How a command serves a property.
enum class CommandKind { None = 0, Get = 1, Put = 2, Method = 3 };

struct DispProperty {
    std::u16string name; // as first added
    DISPID dispId = DISPID_UNKNOWN;
    int ptPropertyTypeFlags = 0;
    std::u16string getCommand;
    std::u16string putCommand;
    std::u16string methodCommand;
};

// Threads: owned by one socket, used on its apartment thread only.
class PropertyTable {
public:
    // Adds the name (DISPIDs from 1001, in the order names first arrive), sets the command of the kind and
    // adds the flags. E_FAIL with *problem set when a second default selector arrives.
    [[nodiscard]] HRESULT AddProperty(std::u16string_view name, CommandKind kind, std::u16string_view command,
                                      int flags, std::u16string* problem);
    // The entry of a name in any letter case, or null.
    const DispProperty* Find(std::u16string_view name) const;
    const DispProperty* FindById(DISPID id) const;
    const DispProperty* DefaultSelector() const { return defaultSelector_; }
    // Entries in name order.
    const std::map<std::u16string, DispProperty>& Entries() const { return byName_; }

private:
    std::map<std::u16string, DispProperty> byName_; // key: the name upper-cased
    std::map<DISPID, std::u16string> byId_;
    DISPID nextDispId_ = 1001;
    const DispProperty* defaultSelector_ = nullptr;
};

} // namespace plugmar
