// Matching resource names with VISA's search expressions.
#include "platform/visa/resource_search.h"

#include <regex>

namespace vr::visa {

namespace {

bool IsSpecial(char c) {
    return c == '.' || c == '^' || c == '$' || c == '{' || c == '}' || c == '\\' || c == '/';
}

// The ECMAScript form of a VISA expression; false when the expression cannot be translated.
bool Translate(std::string_view expression, std::string* pattern) {
    bool inSet = false;
    for (size_t i = 0; i < expression.size(); ++i) {
        char c = expression[i];
        if (c == '\\') {
            if (++i == expression.size()) {
                return false;
            }
            *pattern += '\\';
            *pattern += expression[i];
            continue;
        }
        if (inSet) {
            inSet = c != ']';
            *pattern += c;
            continue;
        }
        if (c == '{' || c == '}') {
            return false; // attribute expressions
        }
        if (c == '[') {
            inSet = true;
            *pattern += c;
        } else if (c == '?') {
            *pattern += '.';
        } else if (c == '*' || c == '+' || c == '(' || c == ')' || c == '|') {
            *pattern += c;
        } else if (IsSpecial(c)) {
            *pattern += '\\';
            *pattern += c;
        } else {
            *pattern += c;
        }
    }
    return !inSet;
}

HRESULT Invalid(Failure* failure, std::string_view expression) {
    failure->status = kErrorInvalidExpression;
    failure->message = StatusText(kErrorInvalidExpression) + " ('" + std::string(expression) + "')";
    return kErrorInvalidExpression;
}

} // namespace

HRESULT FindResources(std::string_view expression, const std::vector<std::string>& candidates,
                      std::vector<std::string>* matches, Failure* failure) {
    matches->clear();
    std::string pattern;
    if (expression.empty() || !Translate(expression, &pattern)) {
        return Invalid(failure, expression);
    }
    std::regex matcher;
    try {
        matcher = std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error&) {
        return Invalid(failure, expression);
    }
    for (const std::string& candidate : candidates) {
        if (std::regex_match(candidate, matcher)) {
            matches->push_back(candidate);
        }
    }
    if (matches->empty()) {
        failure->status = kErrorResourceNotFound;
        failure->message =
            StatusText(kErrorResourceNotFound) + " (nothing matches '" + std::string(expression) + "')";
        return kErrorResourceNotFound;
    }
    return S_OK;
}

} // namespace vr::visa
