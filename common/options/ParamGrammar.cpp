// The grammar of option strings: gaps, quoted groups, items, unquoting on reading and quoting on writing.
#include "common/options/ParamGrammar.h"

namespace vrcommon::param {
namespace {

constexpr size_t npos = std::u16string_view::npos;

// Characters whose presence makes the writer quote a name or a value.
constexpr std::u16string_view kNeedsQuoting = u" =,;\t\n{}[]'\"";

// Position of the character that closes a group opening at pos, or npos when pos opens no group (not an
// opening character, or one without a closing character after it).
size_t GroupClose(std::u16string_view text, size_t pos) {
    char16_t close = ClosingOf(text[pos]);
    return close == 0 ? npos : text.find(close, pos + 1);
}

// Moves one character ahead, or over a whole quoted group.
size_t Advance(std::u16string_view text, size_t pos) {
    size_t close = GroupClose(text, pos);
    return close == npos ? pos + 1 : close + 1;
}

size_t ItemEnd(std::u16string_view text, size_t start) {
    size_t pos = start;
    while (pos < text.size() && !EndsItem(text[pos])) {
        pos = Advance(text, pos);
    }
    return pos;
}

// Position of the first "=" outside quoted groups, or npos.
size_t FindSplit(std::u16string_view item) {
    for (size_t pos = 0; pos < item.size(); pos = Advance(item, pos)) {
        if (item[pos] == u'=') {
            return pos;
        }
    }
    return npos;
}

struct Unquoted {
    std::u16string_view text;
    bool quoted = false;   // the text was the content of a group
    bool unclosed = false; // it began with an opening character that nothing closes
};

// One level of unquoting: the content of a leading group, whatever follows the group dropped.
Unquoted Unquote(std::u16string_view part) {
    if (part.empty() || ClosingOf(part[0]) == 0) {
        return {part};
    }
    size_t close = part.find(ClosingOf(part[0]), 1);
    if (close == npos) {
        return {part, false, true};
    }
    return {part.substr(1, close - 1), true, false};
}

void SplitItem(std::u16string_view itemText, Item& item) {
    size_t split = FindSplit(itemText);
    // A name that opens a group nobody closes keeps its raw text, so Unquote's text serves in every case.
    item.name = std::u16string(Unquote(itemText.substr(0, split)).text);
    item.value.reset();
    item.quoted = false;
    if (split == npos) {
        return;
    }
    Unquoted value = Unquote(itemText.substr(split + 1));
    if (!value.unclosed) {
        item.value = std::u16string(value.text);
        item.quoted = value.quoted;
    }
}

} // namespace

// The closing character of a group that opens with c, or 0 when c opens none.
char16_t ClosingOf(char16_t c) {
    switch (c) {
    case u'\'':
        return u'\'';
    case u'"':
        return u'"';
    case u'{':
        return u'}';
    case u'[':
        return u']';
    default:
        return 0;
    }
}

// A tab or a line break inside an item belongs to it; only these end it.
bool EndsItem(char16_t c) {
    return c == u' ' || c == u',' || c == u';';
}

bool IsGap(char16_t c) {
    return c == u' ' || c == u'\t' || c == u',' || c == u';';
}

bool Scanner::Next(Item& item) {
    while (pos_ < text_.size() && IsGap(text_[pos_])) {
        ++pos_;
    }
    if (pos_ >= text_.size()) {
        return false;
    }
    // An item starts at a character that is no gap, so it is never empty and the scan always moves on.
    item.start = pos_;
    item.end = ItemEnd(text_, pos_);
    SplitItem(text_.substr(item.start, item.end - item.start), item);
    pos_ = item.end;
    return true;
}

int CountItems(std::u16string_view text) {
    Scanner scanner(text);
    Item item;
    int count = 0;
    while (scanner.Next(item)) {
        ++count;
    }
    return count;
}

bool WriteToken(std::u16string& out, std::u16string_view text, bool forceQuote) {
    if (!forceQuote && !text.empty() && text.find_first_of(kNeedsQuoting) == npos) {
        out += text;
        return true;
    }
    static constexpr std::u16string_view kDelimiters[] = {u"''", u"\"\"", u"{}", u"[]"};
    for (std::u16string_view pair : kDelimiters) {
        if (text.find(pair[1]) == npos) {
            out += pair[0];
            out += text;
            out += pair[1];
            return true;
        }
    }
    return false;
}

bool AppendItem(std::u16string& out, bool hasItems, std::u16string_view name,
                std::optional<std::u16string_view> value, std::u16string_view separator, bool forceQuote) {
    std::u16string addition(hasItems ? separator : std::u16string_view());
    if (!WriteToken(addition, name, false)) {
        return false;
    }
    if (value) {
        addition += u'=';
        if (!WriteToken(addition, *value, forceQuote)) {
            return false;
        }
    }
    out += addition;
    return true;
}

} // namespace vrcommon::param
