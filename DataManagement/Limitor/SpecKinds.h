// The kinds of specification that become an XSD simple type: a pattern, and a range of numbers, kept in a
// fixed registry in the order in which they are tried.
//
// Threads: the kinds and the registry are immutable once the registry is built (on first use, thread-safely);
// what a kind reads from one specification goes into the caller's SpecMatch, so checks on several threads
// never see each other's bounds.
#pragma once

#include "platform/com/hresult.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace limitor {

// A range as parsed: each bound as written (none when the text leaves it open) and whether it is exclusive.
struct SpecBounds {
    std::optional<std::u16string> min;
    bool minExclusive = true;
    std::optional<std::u16string> max;
    bool maxExclusive = true;
};

// What a kind learned of one specification; each check has its own.
struct SpecMatch {
    SpecBounds range;
};

class SpecKind {
public:
    virtual ~SpecKind() = default;
    // Whether the specification is of this kind; a kind that recognises its specification but cannot read it
    // answers true with a message in error.
    virtual bool Matches(std::u16string_view body, std::u16string_view keyword, SpecMatch& match,
                         std::u16string& error) const;
    // The schema attribute text for the body. A failure leaves a message in error.
    [[nodiscard]] virtual HRESULT BuildSchemaAttributes(std::u16string_view body, const SpecMatch& match,
                                                        std::u16string& attributes,
                                                        std::u16string& error) const;
};

// The keyword "pattern" (without case): the body is an XSD regular expression.
class PatternSpecKind final : public SpecKind {
public:
    bool Matches(std::u16string_view body, std::u16string_view keyword, SpecMatch& match,
                 std::u16string& error) const override;
    // "type=string pattern='<body>' ", the body quoted with the first of ' " {} [] it does not contain; a
    // body that contains all four closing characters cannot be written: E_INVALIDARG.
    [[nodiscard]] HRESULT BuildSchemaAttributes(std::u16string_view body, const SpecMatch& match,
                                                std::u16string& attributes,
                                                std::u16string& error) const override;
};

// A body that parses as a range. Under the keyword "range" (without case) a parse error is reported; under
// any other keyword it means the specification is not a range.
class RangeSpecKind final : public SpecKind {
public:
    bool Matches(std::u16string_view body, std::u16string_view keyword, SpecMatch& match,
                 std::u16string& error) const override;
    // "type=double " followed by "minExclusive='<min>' " or "minInclusive='<min>' " and the same for max, for
    // the bounds that are given.
    [[nodiscard]] HRESULT BuildSchemaAttributes(std::u16string_view body, const SpecMatch& match,
                                                std::u16string& attributes,
                                                std::u16string& error) const override;
};

// Reads "[a..b]", "]a..b[", "a..", "..b", "c+-d" and the mixed brackets: "[" before and "]" after make a
// bound inclusive; "c+-d" gives the bounds c - d and c + d ("%.20e"). False with a message ("Wrong number
// '…'", "Ther is no delimiter '..'", "Unrecognized end '…'") when the body is no range.
bool ParseRange(std::u16string_view body, SpecBounds& bounds, std::u16string& error);

// The kinds in the order they are tried; at most kCapacity of them.
class SpecKindRegistry {
public:
    static constexpr size_t kCapacity = 100;
    // False when the registry is full.
    bool Add(const SpecKind* kind);
    size_t Count() const { return count_; }
    const SpecKind& At(size_t index) const { return *kinds_[index]; }

private:
    std::array<const SpecKind*, kCapacity> kinds_{};
    size_t count_ = 0;
};

// The module's registry: the pattern kind, then the range kind.
const SpecKindRegistry& SpecKinds();

} // namespace limitor
