// The registry key of one attribute collection: one REG_SZ value per persistent attribute.
#pragma once

#include "platform/com/variant.h"
#include "platform/registry/registry.h"

#include <string_view>

namespace tabrisk {

// Values are read into a buffer of this many bytes of 8-bit text (the terminator included in the data), so a
// value whose UTF-8 text is longer than kRegistryValueBytes - 2 bytes cannot be read.
inline constexpr size_t kRegistryValueBytes = 10000;

// Owned by one collection, used on its thread.
class AttributeRegistryKey {
public:
    AttributeRegistryKey() = default;
    ~AttributeRegistryKey() { Close(); }
    AttributeRegistryKey(const AttributeRegistryKey&) = delete;
    AttributeRegistryKey& operator=(const AttributeRegistryKey&) = delete;

    // Closes the key held so far, then creates or opens HKEY_CURRENT_USER\<subKey>. True when a key is held
    // afterwards. The first success marks the key opened for good: after a failed reopening, reads and writes
    // fail one by one.
    bool Open(std::u16string_view subKey);
    bool IsOpen() const { return opened_; }

    // Reads the value as text; when *target has a type, converts the text to it. On success *target receives
    // the result; false (and *target unchanged) when no key is held, the value is missing or too long, or the
    // conversion fails.
    bool Read(std::u16string_view name, VARIANT* target) const;
    // Writes the value's text (standard conversion, no flags) as REG_SZ.
    bool Write(std::u16string_view name, const VARIANT& value) const;

private:
    void Close();

    HKEY key_ = nullptr;
    bool opened_ = false;
};

} // namespace tabrisk
