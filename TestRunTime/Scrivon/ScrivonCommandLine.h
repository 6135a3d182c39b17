// The script executive's command line: a script file and the switches /Automation, /Embedding, /RegServer and
// /UnregServer (also with "-", any letter case), --sn SERIAL and --help, and what the program does with them
// at start.
#pragma once

#include "platform/com/hresult.h"

#include <string>
#include <vector>

namespace scrivon {

struct ScrivonCommandLine {
    std::string file;
    bool automation = false;
    bool embedding = false;
    bool regServer = false;
    bool unregServer = false;
    bool help = false;        // --help, -h, /?: the usage, and nothing else
    std::string serialNumber; // --sn SERIAL: typed into the serial-number field, also of a running instance
    bool serialNumberGiven = false;
    std::string unknownArgument; // the first switch that is none of the above: the usage, as an error

    // A switch starts with "-", or with "/" and names a switch: any other argument starting with "/" is an
    // absolute path. The first file named is the one opened; a name starting with "~/" is taken in the home
    // folder.

    static ScrivonCommandLine Parse(const std::vector<std::string>& arguments);
};

// What start-up does. Registration switches are served first, so that /RegServer and /UnregServer work while
// an instance runs and never hand it an empty file name.
enum class StartAction {
    Help,           // the usage on standard output, exit 0
    BadArgument,    // the usage on standard error, exit 2
    Register,       // register and end
    Unregister,     // unregister and end
    ForwardOrServe, // hand the file to a running instance, else open the window
};
StartAction StartActionOf(const ScrivonCommandLine& line);

// The text of the box shown when a running instance was found but refused the file.
// The switches, for --help and for a bad argument.
extern const char* const kScrivonUsage;

std::string ForwardErrorText(HRESULT hr, const std::string& meaning);

} // namespace scrivon
