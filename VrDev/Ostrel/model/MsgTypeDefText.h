// Small helpers of the studio model: option-string items, Latin-1 texts, the blank adapter file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The value of an item of an option string; none when the item is missing (an item without value: "").
std::optional<std::u16string> ItemOf(std::u16string_view options, std::u16string_view name);
// Appends "name=value" after a blank, quoted as the option-string writer quotes (so an apostrophe or a blank
// in the value reads back as it was); false when the value cannot be written (it holds all of ' " } ]).
bool AppendItem(std::u16string& options, std::u16string_view name, std::u16string_view value);
// The same, quoted only where the value needs it ("type=long").
bool AppendPlainItem(std::u16string& options, std::u16string_view name, std::u16string_view value);
// Takes the last item of that name out of the option string: its value (an item without value: ""), none
// when there is no such item.
std::optional<std::u16string> TakeItem(std::u16string& options, std::u16string_view name);
// Appends the item unless one of that name is there already.
void AppendItemIfMissing(std::u16string& options, std::u16string_view name, std::u16string_view value);

std::u16string Wide(std::string_view latin1);
std::string Narrow(std::u16string_view text);

// The blank adapter file named by the configuration item AdapterBlankFile (a bare name lies in the program
// folder); empty when the item is.
std::u16string BlankAdapterFilePath();

} // namespace ostrel
