// Rewriting [bracketed] names of statement text into double-quoted names.
#include "platform/ado/sql_text.h"

#include "platform/base/text.h"

namespace vr::ado {
namespace {

std::u16string QuotedName(std::u16string_view name, odbc::IdentifierCase unquotedCase) {
    std::u16string folded(name);
    if (unquotedCase == odbc::IdentifierCase::Upper) {
        folded = ToUpper(name);
    } else if (unquotedCase == odbc::IdentifierCase::Lower) {
        folded = ToLower(name);
    }
    std::u16string quoted = u"\"";
    for (char16_t c : folded) {
        quoted += c;
        if (c == u'"') {
            quoted += u'"';
        }
    }
    return quoted + u"\"";
}

// The position after a quoted run that starts at text[pos] (its quote doubled inside stands for itself).
size_t SkipQuoted(std::u16string_view text, size_t pos) {
    char16_t quote = text[pos++];
    while (pos < text.size()) {
        if (text[pos++] != quote) {
            continue;
        }
        if (pos < text.size() && text[pos] == quote) {
            ++pos;
            continue;
        }
        break;
    }
    return pos;
}

} // namespace

std::u16string RewriteBracketNames(std::u16string_view sql, odbc::IdentifierCase unquotedCase) {
    std::u16string result;
    result.reserve(sql.size());
    size_t pos = 0;
    while (pos < sql.size()) {
        char16_t c = sql[pos];
        if (c == u'\'' || c == u'"') {
            size_t end = SkipQuoted(sql, pos);
            result += sql.substr(pos, end - pos);
            pos = end;
            continue;
        }
        size_t close = c == u'[' ? sql.find(u']', pos + 1) : std::u16string_view::npos;
        if (close == std::u16string_view::npos) {
            result += c;
            ++pos;
            continue;
        }
        result += QuotedName(sql.substr(pos + 1, close - pos - 1), unquotedCase);
        pos = close + 1;
    }
    return result;
}

} // namespace vr::ado
