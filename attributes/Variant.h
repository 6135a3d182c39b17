// An owning VARIANT for the collection's own bookkeeping, and the value tests the collection's rules use.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/variant.h"

#include <string>
#include <string_view>
#include <utility>

namespace tabrisk {

// Owns its value (VariantClear on destruction). Copies are explicit, since VariantCopy can fail.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { Clear(); }
    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            Clear();
            value_ = std::exchange(other.value_, VARIANT{});
        }
        return *this;
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    static Variant FromText(std::u16string_view text);
    static Variant FromLong(LONG number);

    // A deep copy of source, by-reference values dereferenced; a failure leaves this value unchanged.
    [[nodiscard]] HRESULT CopyFrom(const VARIANT& source);
    // Converts in place (flags 0); a failure leaves the value unchanged.
    [[nodiscard]] HRESULT ChangeType(VARTYPE vt);

    void Clear();
    // Gives the value to the caller (its ownership too) and leaves this one empty.
    VARIANT Detach() { return std::exchange(value_, VARIANT{}); }
    // Clears, then hands out the VARIANT to be filled.
    VARIANT* Put() {
        Clear();
        return &value_;
    }

    const VARIANT& Get() const { return value_; }
    VARIANT& Get() { return value_; }
    VARTYPE Type() const { return value_.vt; }

private:
    VARIANT value_;
};

// Owns one BSTR (SysFreeString on destruction); null is the empty text.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text) : text_(vr::AllocBstr(text)) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return text_; }
    // Frees the text, then hands out the slot for an out-argument.
    BSTR* Put() {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    BSTR Detach() { return std::exchange(text_, nullptr); }
    bool IsNull() const { return text_ == nullptr; }
    std::u16string_view View() const { return vr::BstrView(text_); }

private:
    BSTR text_ = nullptr;
};

// Integer types of VARIANTs: these may carry an enumeration index.
bool IsIntegerType(VARTYPE vt);
// a == b as the cache test sees it: both VT_NULL, or VarCmp equal with no flags.
bool ValuesEqual(const VARIANT& a, const VARIANT& b);
// The value's display text (common/trace/Trace.h), and its typed form "(VT_I4)5".
std::u16string DisplayText(const VARIANT& value);
std::u16string TypedText(const VARIANT& value);

} // namespace tabrisk
