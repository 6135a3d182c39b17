// The grammar of option strings: gaps, quoted groups, items, unquoting on reading and quoting on writing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vrcommon::param {

// One item of an option string as the scanner reads it.
struct Item {
    size_t start = 0; // position of the item's first character
    size_t end = 0;   // position after its last character: its terminator, or the end of the text
    std::u16string name;
    std::optional<std::u16string> value; // none when the item has no "="
    bool quoted = false;                 // the value was written in a quoted group
};

// Reads the items of a text in order. The text must outlive the scanner.
class Scanner {
public:
    explicit Scanner(std::u16string_view text) : text_(text) {}
    // The next item, or false at the end of the text.
    bool Next(Item& item);

private:
    std::u16string_view text_;
    size_t pos_ = 0;
};

bool IsGap(char16_t c);
// The closing character of a group that opens with c, or 0 when c opens none.
char16_t ClosingOf(char16_t c);
// A blank, comma or semicolon ends an item (a tab or a line break inside one belongs to it).
bool EndsItem(char16_t c);

// The number of items of a text.
int CountItems(std::u16string_view text);

// Writes one name or value: as it stands when it needs no quoting and quoting is not forced, else enclosed in
// the first pair of delimiters whose closing character the text lacks. False (out unchanged) when the text
// holds every closing character.
bool WriteToken(std::u16string& out, std::u16string_view text, bool forceQuote);

// Appends "name" or "name=value" (value quoting forced on request), preceded by the separator when the text
// already has items. False, with out unchanged, when the name or the value cannot be written.
bool AppendItem(std::u16string& out, bool hasItems, std::u16string_view name,
                std::optional<std::u16string_view> value, std::u16string_view separator, bool forceQuote);

} // namespace vrcommon::param
