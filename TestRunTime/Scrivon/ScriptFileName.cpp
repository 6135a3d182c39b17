// Language parts of script file names and the script path rules.
#include "TestRunTime/Scrivon/ScriptFileName.h"

#include <algorithm>
#include <cctype>

namespace scrivon {
namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct Span {
    size_t start;
    size_t length;
};

// Where the text between the last two dots lies, when it lies within the file name.
std::optional<Span> LanguageSpan(const std::string& path) {
    size_t last = path.rfind('.');
    if (last == std::string::npos || last == 0) {
        return std::nullopt;
    }
    size_t before = path.rfind('.', last - 1);
    size_t folderEnd = path.find_last_of("/\\");
    if (before == std::string::npos || (folderEnd != std::string::npos && before < folderEnd)) {
        return std::nullopt;
    }
    return Span{before + 1, last - before - 1};
}

} // namespace

std::optional<std::string> LanguagePart(const std::string& path, const std::vector<std::string>& languages) {
    std::optional<Span> span = LanguageSpan(path);
    if (!span) {
        return std::nullopt;
    }
    std::string part = path.substr(span->start, span->length);
    bool known = std::any_of(languages.begin(), languages.end(),
                             [&](const std::string& language) { return EqualsIgnoringCase(language, part); });
    return known ? std::optional<std::string>(part) : std::nullopt;
}

std::string WithScriptExtension(const std::string& path) {
    if (path.empty() || (path.size() >= 3 && path.compare(path.size() - 3, 3, ".ts") == 0)) {
        return path;
    }
    return path + ".ts";
}

std::string ScriptPathFor(const std::string& path, const std::string& selectedLanguage,
                          const std::vector<std::string>& languages, bool fixExtension, bool insertLanguage) {
    std::string result = fixExtension ? WithScriptExtension(path) : path;
    if (selectedLanguage.empty()) {
        return result;
    }
    if (LanguagePart(result, languages)) {
        Span span = *LanguageSpan(result);
        return result.replace(span.start, span.length, selectedLanguage);
    }
    if (insertLanguage && result.size() >= 3) {
        result.insert(result.size() - 3, "." + selectedLanguage);
    }
    return result;
}

std::string TestIdOf(const std::string& path) {
    size_t folderEnd = path.find_last_of("/\\");
    std::string name = folderEnd == std::string::npos ? path : path.substr(folderEnd + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace scrivon
