// The log file's bytes: names, header, field contents (CDATA or HexData) in ISO-8859-1, and decoding.
#include "LogText.h"

#include "common/trace/Trace.h"
#include "jotwell.h"

namespace jotwell {

namespace {

constexpr std::u16string_view kHexPrefix = u"HexData:";
constexpr size_t kTraceDataLength = 20;

bool IsLatin1Letter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0xFF);
}

bool IsNameStart(char16_t c) {
    return IsLatin1Letter(c) || c == u'_' || c == u':';
}

bool IsNameChar(char16_t c) {
    return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == 0xB7;
}

// Names are checked to be ISO-8859-1 before they get here, so every unit fits one byte.
std::string Latin1(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(static_cast<unsigned char>(c)));
    }
    return bytes;
}

bool IsXmlBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

bool IsLatin1XmlName(std::u16string_view name) {
    if (name.empty() || !IsNameStart(name.front())) {
        return false;
    }
    for (char16_t c : name) {
        if (!IsNameChar(c)) {
            return false;
        }
    }
    return true;
}

std::string FileHeader(std::u16string_view rootElement) {
    return "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes' ?>\r\n<" + Latin1(rootElement) + ">";
}

std::string RootCloseTag(std::u16string_view rootElement) {
    return "</" + Latin1(rootElement) + ">";
}

std::string FieldContent(std::u16string_view data) {
    if (IsKeptAsLogHexData(data)) {
        return Latin1(LogHexDataText(data)); // digits and blanks only
    }
    return "<![CDATA[" + Latin1(LogFieldData(data)) + "]]>";
}

std::string RecordBytes(std::u16string_view recordId, const std::vector<Field>& fields) {
    std::string record = "\r\n<" + Latin1(recordId) + ">";
    for (const Field& field : fields) {
        std::string name = Latin1(field.id);
        record += "\r\n<" + name + ">" + FieldContent(field.data) + "</" + name + ">";
    }
    record += "</" + Latin1(recordId) + ">";
    return record;
}

std::u16string DecodeFieldText(std::u16string_view text) {
    if (text.substr(0, kHexPrefix.size()) != kHexPrefix) {
        return std::u16string(text);
    }
    std::u16string hex(text.substr(kHexPrefix.size()));
    BSTR decoded = HexTextToBstr(hex.c_str());
    std::u16string data(LogFieldData(vr::BstrView(decoded)));
    SysFreeString(decoded);
    return data;
}

std::u16string Abbreviated(std::u16string_view text) {
    if (text.size() <= kTraceDataLength) {
        return std::u16string(text);
    }
    return std::u16string(text.substr(0, kTraceDataLength)) + u"...";
}

namespace {

// Where the markup that begins at text[at] (a '<') ends: one past its last character, or npos when the text
// ends inside it. Quoted attribute values may hold '>'.
size_t MarkupEnd(std::string_view text, size_t at) {
    std::string_view rest = text.substr(at);
    for (auto [open, close] :
         {std::pair<std::string_view, std::string_view>{"<![CDATA[", "]]>"}, {"<!--", "-->"}, {"<?", "?>"}}) {
        if (rest.substr(0, open.size()) == open) {
            size_t end = text.find(close, at + open.size());
            return end == std::string_view::npos ? end : end + close.size();
        }
    }
    char quote = 0;
    for (size_t k = at + 1; k < text.size(); ++k) {
        if (quote != 0) {
            quote = text[k] == quote ? 0 : quote;
        } else if (text[k] == '"' || text[k] == '\'') {
            quote = text[k];
        } else if (text[k] == '>') {
            return k + 1;
        }
    }
    return std::string_view::npos;
}

std::string_view ElementName(std::string_view tag) {
    size_t end = tag.find_first_of(" \t\r\n/>", 1);
    return tag.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
}

} // namespace

std::u16string CompleteRecordsText(std::string_view file) {
    int depth = 0;         // elements open: 1 inside the root, 2 inside a record
    std::string_view root; // the root element's name
    size_t recordsEnd = 0; // one past the root open tag or the last complete record
    for (size_t at = file.find('<'); at != std::string_view::npos; at = file.find('<', at)) {
        size_t end = MarkupEnd(file, at);
        if (end == std::string_view::npos) {
            break; // cut inside this markup
        }
        std::string_view markup = file.substr(at, end - at);
        at = end;
        if (markup[1] == '!' || markup[1] == '?') {
            continue; // CDATA, a comment, a declaration or a processing instruction
        }
        if (markup[1] == '/') {
            if (--depth <= 0) {
                return {}; // the root element is closed: nothing was cut off
            }
        } else if (markup[markup.size() - 2] != '/') {
            if (depth++ == 0) {
                root = ElementName(markup);
            }
        }
        if (depth == 1) {
            recordsEnd = end; // the root open tag, or a record that just ended
        }
    }
    if (root.empty()) {
        return {};
    }
    std::u16string text;
    text.reserve(recordsEnd + root.size() + 3);
    for (char c : file.substr(0, recordsEnd)) {
        text += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    for (char c : "</" + std::string(root) + ">") {
        text += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    return text;
}

uint64_t AppendPosition(std::string_view tail, uint64_t tailStart, std::u16string_view rootElement) {
    size_t end = tail.size();
    while (end > 0 && IsXmlBlank(tail[end - 1])) {
        --end;
    }
    std::string closeTag = RootCloseTag(rootElement);
    if (end >= closeTag.size() && tail.substr(end - closeTag.size(), closeTag.size()) == closeTag) {
        return tailStart + (end - closeTag.size());
    }
    return tailStart + tail.size();
}

} // namespace jotwell
