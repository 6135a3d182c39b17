// The development studio's logic without widgets: its command line, the build stamp of the About box, the
// self-tests it runs at start and the other programs of the suite it starts.
// Threads: any thread. Failures: as each function says; nothing waits for a started program.
#pragma once

#include <string>
#include <vector>

namespace ostrel {

inline constexpr const char* kOstrelUsage =
    "usage: ostrel [FILE]\n"
    "The development studio: a small window from which the connection, device and device adapter file\n"
    "windows open, the script executive, the control panel and the test executive start, and the tracer's\n"
    "window shows the trace lines.\n"
    "  FILE    a device adapter file (.daf) to open at once; a name starting with \"~/\" is taken in the\n"
    "          home folder\n"
    "  --help     show this text\n"
    "  --version  show the build it comes from\n"
    "The studio needs a display: without one that answers (DISPLAY, WAYLAND_DISPLAY) it says so and ends.\n"
    "exit code 69: no display; 64: a command line ostrel does not take\n";

struct StudioCommandLine {
    std::string file;            // empty: none
    bool help = false;           // --help or -h
    std::string unknownArgument; // the first switch the studio does not take, or a second file
};
StudioCommandLine ParseStudioCommandLine(const std::vector<std::string>& arguments);

// The build stamp in the file: its whole content as text; "<unknown>" when it cannot be read whole.
std::u16string ReadBuildStamp(const std::string& path);
// The About box's build line: "Build: <stamp>" with the stamp of build.dat in the program folder.
std::u16string BuildLine();

// The self-tests run when the main frame is made (option strings, XML files, schema factory, message types);
// each reports through tracing only. Returns how many failed.
int RunStartupSelfTests();

// The programs the studio starts, by the names they have in the program folder.
enum class StudioProgram { kScriptExecutive, kControlPanel, kTestExecutive, kTracer };
const char* ProgramName(StudioProgram program);

// Starts the program from the program folder with no arguments, in the studio's environment and folder,
// without waiting for it (it is nobody's child to reap: it outlives the studio). True with its process id
// in *pid (may be null); false with the reason in *error.
bool StartProgram(StudioProgram program, long long* pid, std::u16string* error);
// The same for a program file given by its path.
bool StartProgramFile(const std::string& path, long long* pid, std::u16string* error);

} // namespace ostrel
