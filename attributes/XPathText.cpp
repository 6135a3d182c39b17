// XPath string literals for names and enumeration texts taken from schema documents.
#include "attributes/XPathText.h"

namespace tabrisk {

std::u16string XPathLiteral(std::u16string_view text) {
    if (text.find(u'\'') == std::u16string_view::npos) {
        return u"'" + std::u16string(text) + u"'";
    }
    if (text.find(u'"') == std::u16string_view::npos) {
        return u"\"" + std::u16string(text) + u"\"";
    }
    // Both quote characters: every apostrophe becomes a piece of its own in double quotes.
    std::u16string result = u"concat(";
    size_t start = 0;
    bool first = true;
    auto append = [&](std::u16string piece) {
        if (!first) {
            result += u", ";
        }
        result += piece;
        first = false;
    };
    while (start <= text.size()) {
        size_t quote = text.find(u'\'', start);
        size_t end = quote == std::u16string_view::npos ? text.size() : quote;
        if (end > start) {
            append(u"'" + std::u16string(text.substr(start, end - start)) + u"'");
        }
        if (quote == std::u16string_view::npos) {
            break;
        }
        append(u"\"'\"");
        start = quote + 1;
    }
    return result + u")";
}

} // namespace tabrisk
