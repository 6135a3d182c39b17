// The server program's switches.
#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace rigmont {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The action one argument asks for; nothing when it is no switch of this program.
std::optional<ServerAction> SwitchOf(std::string_view argument) {
    if (argument.size() < 2 || (argument.front() != '-' && argument.front() != '/')) {
        return std::nullopt;
    }
    std::string_view word = argument.substr(1);
    if (EqualsIgnoringCase(word, "RegServer")) {
        return ServerAction::Register;
    }
    if (EqualsIgnoringCase(word, "UnregServer")) {
        return ServerAction::Unregister;
    }
    if (EqualsIgnoringCase(word, "Embedding") || EqualsIgnoringCase(word, "Automation")) {
        return ServerAction::Serve;
    }
    for (std::string_view help : {"help", "-help", "h", "?"}) {
        if (EqualsIgnoringCase(word, help)) {
            return ServerAction::Help;
        }
    }
    return std::nullopt;
}

} // namespace

const char* const kUsage =
    "usage: rigmont [switches]\n"
    "The hardware manager: serves the connections and instrument sockets of the configuration store to\n"
    "scripts and programs. Clients start it on demand (with -Embedding); it ends once no client holds it.\n"
    "  -Embedding, -Automation   started by a client: serve (also with \"/\", any letter case)\n"
    "  /RegServer                record the program in the registry and end\n"
    "  /UnregServer              remove the program from the registry and end\n"
    "  --help                    show this text\n"
    "  --version                 show the build it comes from\n"
    "exit code 64: a command line rigmont does not take\n";

ServerAction ActionOf(std::span<const std::string_view> arguments, std::string_view* offending) {
    ServerAction action = ServerAction::Serve;
    for (std::string_view argument : arguments) {
        std::optional<ServerAction> asked = SwitchOf(argument);
        if (!asked) {
            if (offending) {
                *offending = argument;
            }
            return ServerAction::BadArgument;
        }
        if (*asked == ServerAction::Help || action == ServerAction::Serve) {
            action = *asked; // the usage wins; else the first registration switch
        }
    }
    return action;
}

} // namespace rigmont
