// The server program's switches.
#include "CommandLine.h"

#include <algorithm>
#include <cctype>

namespace rigmont {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

ServerAction ActionOf(std::span<const std::string_view> arguments) {
    for (std::string_view argument : arguments) {
        if (argument.empty() || (argument.front() != '-' && argument.front() != '/')) {
            continue;
        }
        std::string_view word = argument.substr(1);
        if (EqualsIgnoringCase(word, "RegServer")) {
            return ServerAction::Register;
        }
        if (EqualsIgnoringCase(word, "UnregServer")) {
            return ServerAction::Unregister;
        }
    }
    return ServerAction::Serve;
}

} // namespace rigmont
