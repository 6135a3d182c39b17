// Option strings as lists of items, for the editors that rearrange them (folding enumerations, comparing).
// Threads: plain functions without state; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

struct OptionItem {
    std::u16string name;
    std::u16string value;
    bool hasValue = false; // "name" alone has none; "name=''" has an empty one
};

std::vector<OptionItem> ItemsOf(std::u16string_view options);
// Writes items back, each value quoted only where it needs it; an item no quoting can hold is dropped.
std::u16string WriteItems(const std::vector<OptionItem>& items);
// The same items with the same values, in any order.
bool SameOptions(std::u16string_view a, std::u16string_view b);

} // namespace ostrel
