// Command-line switches of the control-panel program.
#include "VrDev/Panolix/PanolixCommandLine.h"

#include "platform/base/paths.h"

namespace panolix {

const char* const kPanolixUsage =
    "usage: panolix [/b] [<panel file>]\n"
    "The control panel: opens the panel (name.pnx), runs its main script's Preset and refreshes its "
    "objects.\n"
    "A file name starting with ~/ is taken in the home folder.\n"
    "  /b, /B    batch run: the program ends by itself when the auto-refresh loop stops with valid values,\n"
    "            with exit code 1; any other end gives 2. With QT_QPA_PLATFORM=offscreen it shows no "
    "window,\n"
    "            writes its messages to standard error and also ends when nothing more can happen\n"
    "  --help    show this text\n"
    "  --version show the build it comes from\n"
    "exit code 64: a command line panolix does not take\n";

PanolixCommandLine PanolixCommandLine::Parse(const std::vector<std::string>& arguments) {
    PanolixCommandLine line;
    for (const std::string& argument : arguments) {
        if (argument == "/b" || argument == "/B") {
            line.batch = true;
        } else if (argument == "--help" || argument == "-h" || argument == "/?") {
            line.help = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            if (line.unknownArgument.empty()) {
                line.unknownArgument = argument;
            }
        } else if (line.file.empty()) {
            line.file = vr::ExpandHomeFolder(argument);
        }
    }
    return line;
}

} // namespace panolix
