// Resource identifiers: numbers, upper-case names and their text forms.
#include "platform/resources/resource_id.h"

#include "platform/base/text.h"

#include <optional>

namespace vr {
namespace {

// The number written as decimal digits, when it is one in 1..65535.
std::optional<WORD> DecimalId(std::u16string_view digits) {
    // Leading zeros are allowed ("#0023"), but never so many that the value could wrap.
    while (digits.size() > 1 && digits.front() == u'0') {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint32_t>(c - u'0');
    }
    if (value == 0 || value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<WORD>(value);
}

} // namespace

ResourceId::ResourceId(std::u16string_view name) {
    if (!name.empty() && name.front() == u'#') {
        // A "#" text that is no number leaves the id invalid rather than making "#X" a name nobody can ask
        // for.
        number_ = DecimalId(name.substr(1)).value_or(0);
        return;
    }
    name_ = ToUpper(name);
}

ResourceId ResourceId::FromText(std::u16string_view text) {
    bool allDigits = !text.empty() && text.find_first_not_of(u"0123456789") == std::u16string_view::npos;
    if (allDigits) {
        // Digits out of range are a mistaken number, not a name.
        return ResourceId(DecimalId(text).value_or(0));
    }
    return ResourceId(text);
}

std::u16string ResourceId::ToString() const {
    if (!IsNumber()) {
        return name_;
    }
    std::u16string digits;
    for (uint32_t rest = number_; rest != 0; rest /= 10) {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + rest % 10));
    }
    return u"#" + digits;
}

std::strong_ordering ResourceId::operator<=>(const ResourceId& other) const {
    if (IsNumber() != other.IsNumber()) {
        return IsNumber() ? std::strong_ordering::greater : std::strong_ordering::less;
    }
    if (IsNumber()) {
        return number_ <=> other.number_;
    }
    return name_ <=> other.name_;
}

} // namespace vr
