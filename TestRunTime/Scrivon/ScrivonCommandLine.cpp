// Command-line switches of the script executive and the start-up decision.
#include "TestRunTime/Scrivon/ScrivonCommandLine.h"

#include "platform/base/paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

namespace scrivon {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Marks the switch named by word; false when word names none.
bool TakeSwitch(const std::string& word, ScrivonCommandLine* line) {
    bool* flags[] = {&line->automation, &line->embedding, &line->regServer, &line->unregServer, &line->help};
    const char* names[] = {"automation", "embedding", "regserver", "unregserver", "help"};
    for (size_t i = 0; i < std::size(names); ++i) {
        if (word == names[i]) {
            *flags[i] = true;
            return true;
        }
    }
    if (word == "-help" || word == "h" || word == "?") {
        line->help = true;
        return true;
    }
    return false;
}

} // namespace

const char* const kScrivonUsage =
    "usage: scrivon [switches] [<script file>]\n"
    "The script executive: opens its window with the script (name.JScript.ts) loaded; when scrivon already\n"
    "runs, the file is handed to that instance. With QT_QPA_PLATFORM=offscreen it shows no window and "
    "writes\n"
    "the output and verdict of each run to standard output. A file name starting with ~/ is taken in the\n"
    "home folder.\n"
    "  /Automation, /Embedding   started by an automation client: serve its objects (also with \"-\")\n"
    "  /RegServer                record the program in the registry and end\n"
    "  /UnregServer              remove the program from the registry and end\n"
    "  --sn SERIAL               the serial number of the device under test, as if typed into the SN field\n"
    "                            (of the running instance too); without it a run without a window stores no\n"
    "                            result rows\n"
    "  --help                    show this text\n"
    "  --version                 show the build it comes from\n"
    "exit code 64: a command line scrivon does not take\n";

ScrivonCommandLine ScrivonCommandLine::Parse(const std::vector<std::string>& arguments) {
    ScrivonCommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--sn" && i + 1 < arguments.size()) {
            line.serialNumber = arguments[++i];
            line.serialNumberGiven = true;
            continue;
        }
        bool marked = argument.size() > 1 && (argument[0] == '/' || argument[0] == '-');
        if (marked && TakeSwitch(Lower(argument.substr(1)), &line)) {
            continue;
        }
        if (argument.size() > 1 && argument[0] == '-') {
            if (line.unknownArgument.empty()) {
                line.unknownArgument = argument;
            }
            continue;
        }
        if (line.file.empty()) {
            line.file = vr::ExpandHomeFolder(argument);
        }
    }
    return line;
}

StartAction StartActionOf(const ScrivonCommandLine& line) {
    if (!line.unknownArgument.empty()) {
        return StartAction::BadArgument;
    }
    if (line.help) {
        return StartAction::Help;
    }
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
