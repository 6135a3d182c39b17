// The identifier of a resource type or resource name: a 16-bit number or a case-insensitive name.
#pragma once

#include "platform/base/types.h"

#include <compare>
#include <string>
#include <string_view>

// The resource types the system's modules carry by number; "TYPELIB" and "REGISTRY" are named types.
inline constexpr WORD RT_RCDATA = 10;
inline constexpr WORD RT_HTML = 23;

// The language of a resource that is meant for every language.
inline constexpr WORD LANG_NEUTRAL = 0;

namespace vr {

// A resource is addressed by (type, name, language); type and name are each a ResourceId.
//
// A numeric id is 1..65535. A name is kept in upper case (names compare case-insensitively, and an
// enumeration lists them the way they are stored); "#<decimal digits>" given as a name stands for that
// number, as the system's resource calls read it. An id is invalid when it is 0, an empty name, or a "#" text
// that is not a number in range; invalid ids are refused by every call that takes one.
//
// Order (enumerations, archives): names before numbers, names by their upper-case code units, numbers
// ascending. Values only: any thread may use its own copies.
class ResourceId {
public:
    ResourceId() = default; // invalid
    ResourceId(WORD number) : number_(number) {}
    ResourceId(std::u16string_view name);
    ResourceId(const char16_t* name) : ResourceId(std::u16string_view(name ? name : u"")) {}
    ResourceId(const std::u16string& name) : ResourceId(std::u16string_view(name)) {}

    // The text form of a build step or a res:// URL: "#<digits>" and plain decimal digits are the number
    // (invalid when out of range), anything else is a name.
    static ResourceId FromText(std::u16string_view text);

    bool IsValid() const { return number_ != 0 || !name_.empty(); }
    bool IsNumber() const { return number_ != 0; }
    WORD Number() const { return number_; }
    const std::u16string& Name() const { return name_; }
    // "#23" for a number, the upper-case name otherwise; FromText gives the same id back.
    std::u16string ToString() const;

    bool operator==(const ResourceId& other) const = default;
    std::strong_ordering operator<=>(const ResourceId& other) const;

private:
    WORD number_ = 0;
    std::u16string name_;
};

} // namespace vr
