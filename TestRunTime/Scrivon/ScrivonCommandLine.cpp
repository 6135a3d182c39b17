// Command-line switches of the script executive and the start-up decision.
#include "TestRunTime/Scrivon/ScrivonCommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace scrivon {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

ScrivonCommandLine ScrivonCommandLine::Parse(const std::vector<std::string>& arguments) {
    ScrivonCommandLine line;
    for (const std::string& argument : arguments) {
        if (argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')) {
            std::string word = Lower(argument.substr(1));
            line.automation |= word == "automation";
            line.embedding |= word == "embedding";
            line.regServer |= word == "regserver";
            line.unregServer |= word == "unregserver";
            continue; // other switches are ignored
        }
        if (line.file.empty()) {
            line.file = argument;
        }
    }
    return line;
}

StartAction StartActionOf(const ScrivonCommandLine& line) {
    if (line.unregServer) {
        return StartAction::Unregister;
    }
    if (line.regServer) {
        return StartAction::Register;
    }
    return StartAction::ForwardOrServe;
}

std::string ForwardErrorText(HRESULT hr, const std::string& meaning) {
    char code[32];
    std::snprintf(code, sizeof code, "%020lx", static_cast<unsigned long>(static_cast<unsigned int>(hr)));
    return std::string("Got an existing VrTestLoader object, but could not act on it.\n") +
           "Error Code = " + code + "\n Code meaning = " + meaning + "\n";
}

} // namespace scrivon
