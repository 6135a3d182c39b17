// The switches of the server program's command line.
#pragma once

#include <span>
#include <string_view>

namespace rigmont {

enum class ServerAction { Serve, Register, Unregister, Help, BadArgument };

// What the arguments ask for: a switch is a word after "-" or "/" in any case. "RegServer" and "UnregServer"
// register or unregister, the first of them wins; "Embedding" and "Automation" (how clients start the
// program) serve; "help", "-help", "h" and "?" ask for the usage. Any other argument (the program takes no
// file) is a BadArgument, named in *offending when given; it wins over everything else.
ServerAction ActionOf(std::span<const std::string_view> arguments, std::string_view* offending = nullptr);

// The switches, for --help and for a bad argument.
extern const char* const kUsage;

} // namespace rigmont
