// The literal prefix and literal tail of a pattern facet: text every match must begin or end with.
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixInternal.h"

namespace {

constexpr std::string_view kSpecial = "^.?*+|{}()[]";
constexpr std::string_view kQuantifiers = "?*+{";

bool IsSpecial(char c) {
    return kSpecial.find(c) != std::string_view::npos;
}

// An alternative at the outermost level ("abc|xyz") leaves no text that every match shares.
bool HasOuterAlternative(std::string_view pattern) {
    int depth = 0;
    bool inClass = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '\\') {
            ++i;
        } else if (inClass) {
            inClass = c != ']';
        } else if (c == '[') {
            inClass = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (c == '|' && depth == 0) {
            return true;
        }
    }
    return false;
}

// The text before the first special character or escape. A quantifier there applies to the last literal
// character, which then is not certain to be present ("abc?" only promises "ab").
std::string LiteralPrefix(std::string_view pattern) {
    size_t first = 0;
    while (first < pattern.size() && pattern[first] != '\\' && !IsSpecial(pattern[first])) {
        ++first;
    }
    if (first < pattern.size() && first > 0 && kQuantifiers.find(pattern[first]) != std::string_view::npos) {
        --first;
    }
    return std::string(pattern.substr(0, first));
}

// The text after the last special character or escape ("\r" and "\d" stand for other text than their own).
std::string LiteralTail(std::string_view pattern) {
    size_t tail = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            tail = std::min(i + 2, pattern.size());
            ++i;
        } else if (IsSpecial(pattern[i])) {
            tail = i + 1;
        }
    }
    return std::string(pattern.substr(tail));
}

} // namespace

bool CXlatrix::GetTermString(const std::vector<std::u16string>& patterns, std::string& term,
                             std::string& prefix) {
    term.clear();
    prefix.clear();
    if (patterns.size() != 1 || patterns[0].empty()) {
        return false;
    }
    std::string pattern = xlatrix::Narrow(patterns[0]);
    if (HasOuterAlternative(pattern)) {
        return true;
    }
    prefix = LiteralPrefix(pattern);
    term = LiteralTail(pattern);
    return true;
}
