// The switches of the server program's command line.
#pragma once

#include <span>
#include <string_view>

namespace rigmont {

enum class ServerAction { Serve, Register, Unregister };

// What the arguments ask for: a switch is a word after "-" or "/"; "RegServer" and "UnregServer" (in any
// case) register or unregister, the first of them wins; every other switch and argument is ignored.
ServerAction ActionOf(std::span<const std::string_view> arguments);

} // namespace rigmont
