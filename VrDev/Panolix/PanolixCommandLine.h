// The control-panel program's command line: a panel file, the batch switch /b and --help.
#pragma once

#include <string>
#include <vector>

namespace panolix {

struct PanolixCommandLine {
    std::string file;   // the first argument that is no switch: the panel opened at start ("~/": at home)
    bool batch = false; // "/b" or "/B": close by itself when the auto-refresh loop ends with valid values
    bool help = false;  // --help, -h, /?: the usage, and nothing else
    std::string unknownArgument; // the first "-" switch that is none of the above

    // An argument starting with "/" is the batch switch only as "/b" or "/B"; any other is an absolute path.
    static PanolixCommandLine Parse(const std::vector<std::string>& arguments);
};

// The process exit codes: a batch run that ended with valid values, and every other end.
inline constexpr int kExitPassed = 1;
inline constexpr int kExitNotPassed = 2;

// The switches, for --help and for a bad argument.
extern const char* const kPanolixUsage;

} // namespace panolix
