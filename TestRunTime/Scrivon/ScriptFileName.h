// Script file names carry their language as a second extension (demo.JScript.ts): finding that part, and
// setting a script path with the extension fixed and the language inserted or renamed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace scrivon {

// The text between the last two dots of the path, when one of the languages equals it ignoring case.
std::optional<std::string> LanguagePart(const std::string& path, const std::vector<std::string>& languages);

// Appends ".ts" unless the path ends in exactly ".ts"; an empty path stays empty.
std::string WithScriptExtension(const std::string& path);

// The path a script gets for the selected language: with fixExtension the ".ts" is ensured; a known language
// part is replaced by the selected language (only that part of the name, never a folder holding the same
// text); without one, and with insertLanguage, ".<language>" goes in before the last three characters.
std::string ScriptPathFor(const std::string& path, const std::string& selectedLanguage,
                          const std::vector<std::string>& languages, bool fixExtension, bool insertLanguage);

// The file name without folder and last extension: the test's id.
std::string TestIdOf(const std::string& path);

} // namespace scrivon
