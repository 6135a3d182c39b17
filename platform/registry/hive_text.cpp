// Reading and writing the ".reg" text of a hive.
#include "platform/registry/hive_text.h"

#include "platform/base/text.h"
#include "platform/registry/registry.h"

#include <cstdio>
#include <optional>

namespace vr::registry {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// ---- writing ----

void AppendQuoted(std::string& out, std::u16string_view text) {
    out.push_back('"');
    for (char c : ToUtf8(text)) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendHexByte(std::string& out, unsigned byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out.push_back(kDigits[(byte >> 4) & 0xF]);
    out.push_back(kDigits[byte & 0xF]);
}

std::u16string Utf16FromBytes(const std::vector<BYTE>& data) {
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}

// The string a REG_SZ value holds when it can be written as "text" and read back to the same bytes.
std::optional<std::u16string> PlainString(const std::vector<BYTE>& data) {
    if (data.size() < 2 || data.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string text = Utf16FromBytes(data);
    if (text.back() != u'\0') {
        return std::nullopt;
    }
    text.pop_back();
    for (char16_t c : text) {
        if (c < 0x20 && c != u'\t') {
            return std::nullopt;
        }
    }
    if (FromUtf8(ToUtf8(text)) != text) {
        return std::nullopt; // unpaired surrogates would not survive UTF-8
    }
    return text;
}

void AppendData(std::string& out, const RegValue& value) {
    if (value.type == REG_SZ) {
        if (auto text = PlainString(value.data)) {
            AppendQuoted(out, *text);
            return;
        }
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        out += "dword:";
        for (int i = 3; i >= 0; --i) {
            AppendHexByte(out, value.data[i]);
        }
        return;
    }
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        char prefix[24];
        snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        out += prefix;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        AppendHexByte(out, value.data[i]);
    }
}

void AppendSection(std::string& out, const std::string& path, const RegKey& key) {
    out += "[" + path + "]\n";
    for (const auto& value : key.Values()) {
        if (value.name.empty()) {
            out.push_back('@');
        } else {
            AppendQuoted(out, value.name);
        }
        out.push_back('=');
        AppendData(out, value);
        out.push_back('\n');
    }
    out.push_back('\n');
}

void AppendSubKeys(std::string& out, const std::string& path, const RegKey& key) {
    for (size_t i = 0; i < key.SubKeyCount(); ++i) {
        const RegKey& sub = key.SubKeyAt(i);
        std::string subPath = path + "\\" + ToUtf8(sub.Name());
        AppendSection(out, subPath, sub);
        AppendSubKeys(out, subPath, sub);
    }
}

// ---- reading ----

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view line) {
    while (!line.empty() && IsSpace(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && IsSpace(line.back())) {
        line.remove_suffix(1);
    }
    return line;
}

bool IsValidUtf8(std::string_view text) {
    return ToUtf8(FromUtf8(text)) == text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Parses 1 to 8 hex digits making up all of `text`.
std::optional<DWORD> ParseHexNumber(std::string_view text) {
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    DWORD number = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        number = (number << 4) | static_cast<DWORD>(digit);
    }
    return number;
}

// Reads a quoted string at the start of `rest` (escapes \\ and \"), leaving `rest` after the closing quote.
std::optional<std::u16string> ParseQuoted(std::string_view& rest) {
    if (rest.empty() || rest.front() != '"') {
        return std::nullopt;
    }
    std::string bytes;
    for (size_t i = 1; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '"') {
            rest.remove_prefix(i + 1);
            return FromUtf8(bytes);
        }
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            return std::nullopt;
        }
        if (c == '\\') {
            if (i + 1 >= rest.size() || (rest[i + 1] != '\\' && rest[i + 1] != '"')) {
                return std::nullopt;
            }
            c = rest[++i];
        }
        bytes.push_back(c);
    }
    return std::nullopt;
}

std::optional<std::vector<BYTE>> ParseHexBytes(std::string_view text) {
    std::vector<BYTE> bytes;
    text = Trim(text);
    while (!text.empty()) {
        size_t comma = text.find(',');
        std::string_view item = Trim(text.substr(0, comma));
        auto byte = item.size() <= 2 ? ParseHexNumber(item) : std::nullopt;
        if (!byte) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<BYTE>(*byte));
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
        if (Trim(text).empty()) {
            return std::nullopt; // a trailing comma: the rest of the data is missing
        }
    }
    return bytes;
}

std::vector<BYTE> BytesOfString(std::u16string_view text) {
    std::vector<BYTE> bytes;
    bytes.reserve(2 * text.size() + 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::optional<RegValue> ParseData(std::string_view data) {
    if (data.starts_with('"')) {
        auto text = ParseQuoted(data);
        if (!text || !data.empty()) {
            return std::nullopt;
        }
        return RegValue{{}, REG_SZ, BytesOfString(*text)};
    }
    if (data.starts_with("dword:")) {
        auto number = ParseHexNumber(data.substr(6));
        if (!number) {
            return std::nullopt;
        }
        std::vector<BYTE> bytes{static_cast<BYTE>(*number), static_cast<BYTE>(*number >> 8),
                                static_cast<BYTE>(*number >> 16), static_cast<BYTE>(*number >> 24)};
        return RegValue{{}, REG_DWORD, std::move(bytes)};
    }
    DWORD type = REG_BINARY;
    if (data.starts_with("hex(")) {
        size_t close = data.find("):");
        auto number =
            close == std::string_view::npos ? std::nullopt : ParseHexNumber(data.substr(4, close - 4));
        if (!number) {
            return std::nullopt;
        }
        type = *number;
        data.remove_prefix(close + 2);
    } else if (data.starts_with("hex:")) {
        data.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    auto bytes = ParseHexBytes(data);
    if (!bytes) {
        return std::nullopt;
    }
    return RegValue{{}, type, std::move(*bytes)};
}

// "name"=data or @=data.
std::optional<RegValue> ParseValueLine(std::string_view line) {
    std::u16string name;
    if (line.starts_with("@=")) {
        line.remove_prefix(1);
    } else {
        auto quoted = ParseQuoted(line);
        if (!quoted || !IsStorableName(*quoted) || quoted->size() > kMaxValueNameLength) {
            return std::nullopt;
        }
        name = std::move(*quoted);
    }
    if (!line.starts_with('=')) {
        return std::nullopt;
    }
    auto value = ParseData(line.substr(1));
    if (value) {
        value->name = std::move(name);
    }
    return value;
}

// [HKEY_...\Key\Sub]: the path of the key it names, or nothing when the line is not a section of this hive.
// The last "]" closes the section, so key names may hold "]".
std::optional<KeyPath> ParseSection(std::string_view line, std::string_view hiveName) {
    size_t close = line.rfind(']');
    if (close == std::string_view::npos || close + 1 != line.size()) {
        return std::nullopt;
    }
    std::u16string path = FromUtf8(line.substr(1, close - 1));
    size_t start = 0;
    size_t end = path.find(u'\\');
    if (!EqualsNoCase(path.substr(0, end), FromUtf8(hiveName))) {
        return std::nullopt;
    }
    KeyPath names;
    while (end != std::u16string::npos) {
        if (names.size() == kMaxKeyDepth) {
            return std::nullopt;
        }
        start = end + 1;
        end = path.find(u'\\', start);
        std::u16string name = path.substr(start, end == std::u16string::npos ? end : end - start);
        if (name.empty() || name.size() > kMaxKeyNameLength || !IsStorableName(name)) {
            return std::nullopt;
        }
        names.push_back(std::move(name));
    }
    return names;
}

// Builds the tree as the text names its keys and values, in time that grows in step with the text (a hive
// of many thousand sibling keys in no particular order would otherwise cost a sorted insertion each). A
// section that continues the path of the one before reuses its keys; every other key and every value is
// appended as it comes, and what has the same name is merged once the whole text is read.
class TreeBuilder {
public:
    explicit TreeBuilder(RegKey& root) : root_(root) {}

    // The key at path, made with its parents where the section before did not name them.
    RegKey& Key(const KeyPath& path) {
        size_t shared = 0;
        std::vector<std::u16string> upper;
        upper.reserve(path.size());
        for (const std::u16string& name : path) {
            upper.push_back(ToUpper(name));
        }
        while (shared < upper.size() && shared < previous_.size() && upper[shared] == previous_[shared]) {
            ++shared;
        }
        chain_.resize(shared);
        RegKey* key = shared > 0 ? chain_.back() : &root_;
        for (size_t i = shared; i < path.size(); ++i) {
            key = &key->AppendSubKeyUnsorted(path[i]);
            chain_.push_back(key);
        }
        previous_ = std::move(upper);
        return *key;
    }

    void Finish() { root_.FinishReading(); }

private:
    RegKey& root_;
    std::vector<std::u16string> previous_; // the last section's path, upper-cased
    std::vector<RegKey*> chain_;           // its keys, root's sub-key first
};

class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    bool Peek(std::string_view& line) const {
        if (done_) {
            return false;
        }
        line = rest_.substr(0, rest_.find('\n'));
        return true;
    }
    bool Next(std::string_view& line) {
        if (!Peek(line)) {
            return false;
        }
        done_ = line.size() == rest_.size();
        rest_.remove_prefix(done_ ? rest_.size() : line.size() + 1);
        return true;
    }

private:
    std::string_view rest_;
    bool done_ = false;
};

// Whether a value line's data is hex, the only data that may go on over several lines.
bool HasHexData(std::string_view line) {
    if (line.starts_with("@=")) {
        return line.substr(2).starts_with("hex");
    }
    return ParseQuoted(line) && line.starts_with("=hex");
}

bool IsHexContinuation(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.find_first_not_of("0123456789abcdefABCDEF, \\") == std::string_view::npos;
}

// A line of hex data ending in "\" goes on over the following lines. Only lines that look like hex bytes are
// taken in, so a damaged line can never swallow the section header after it.
std::string JoinContinuations(std::string_view first, LineReader& lines) {
    std::string joined(first);
    if (!HasHexData(first)) {
        return joined;
    }
    std::string_view next;
    while (!joined.empty() && joined.back() == '\\' && lines.Peek(next) && IsHexContinuation(next)) {
        lines.Next(next);
        joined.pop_back();
        joined += Trim(next);
    }
    return joined;
}

} // namespace

ParsedHive ParseHive(std::string_view text, std::string_view hiveName) {
    ParsedHive hive;
    if (text.starts_with(kUtf8Bom)) {
        text.remove_prefix(kUtf8Bom.size());
    }
    LineReader lines(text);
    TreeBuilder tree(hive.root);
    std::string_view raw;
    bool headerSeen = false;
    RegKey* section = nullptr;
    while (lines.Next(raw)) {
        std::string line = JoinContinuations(Trim(raw), lines);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (!headerSeen) {
            headerSeen = true;
            if (line == kHiveHeader) {
                continue;
            }
        }
        bool valid = IsValidUtf8(line);
        if (line.front() == '[') {
            // Values after a section that can't be read belong to no key we know: they are unreadable too.
            std::optional<KeyPath> path = valid ? ParseSection(line, hiveName) : std::nullopt;
            section = path ? &tree.Key(*path) : nullptr;
            hive.unreadableLines += section == nullptr ? 1 : 0;
            continue;
        }
        auto value = valid && section != nullptr ? ParseValueLine(line) : std::nullopt;
        if (!value) {
            ++hive.unreadableLines;
            continue;
        }
        section->AppendValueUnchecked(std::move(*value));
    }
    tree.Finish();
    return hive;
}

std::string FormatHive(const RegKey& root, std::string_view hiveName) {
    std::string out(kHiveHeader);
    out += "\n\n";
    std::string path(hiveName);
    if (!root.Values().empty()) {
        AppendSection(out, path, root);
    }
    AppendSubKeys(out, path, root);
    return out;
}

} // namespace vr::registry
