// The script executive's verdict rule and the error-line lookup.
#include "TestRunTime/Scrivon/RunVerdict.h"

#include <algorithm>
#include <cctype>

namespace scrivon {

int32_t VerdictOf(bool completed, const std::string& returnValue) {
    if (!completed) {
        return 7;
    }
    std::string lower = returnValue;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.empty() || lower == "true" || lower == "pass" || lower == "passed" ? 1 : 2;
}

int ErrorLineOf(const std::string& errorText) {
    size_t at = errorText.find("Line: ");
    if (at == std::string::npos) {
        return 0;
    }
    size_t position = at + 6;
    while (position < errorText.size() && errorText[position] == ' ') {
        ++position;
    }
    long line = 0;
    while (position < errorText.size() && std::isdigit(static_cast<unsigned char>(errorText[position])) &&
           line < 100000000) {
        line = line * 10 + (errorText[position++] - '0');
    }
    return static_cast<int>(line);
}

} // namespace scrivon
