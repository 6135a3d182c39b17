// What every program of the system does alike: `--version` tells the version, commit and build it comes from,
// a command line it does not take ends it with one exit code, apart from the codes of a run's outcome, and a
// peer that went away never ends it with a signal. Header-only, so that the stand-in instruments, which link
// nothing of the platform, follow it too.
#pragma once

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace vr {

// The exit code of every program for a command line it does not take (an unknown switch, a missing value):
// EX_USAGE of the BSD exit codes, so that it is never taken for a verdict (0 to 3).
inline constexpr int kExitBadCommandLine = 64;

// The running program's folder (paths.h has the platform's own, which the stand-in instruments do not link);
// empty when it cannot be told.
inline std::string RunningProgramFolder() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder = length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
    return folder.substr(0, folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
}

// The build stamp ("<yymmdd>.<hhmmss>", UTC, of the build's configuration) in build.dat beside the running
// program, which the installation carries too; "unknown" when it is not there.
inline std::string BuildStamp() {
    std::ifstream file(RunningProgramFolder() + "/build.dat");
    std::string stamp;
    std::getline(file, stamp);
    return stamp.empty() ? "unknown" : stamp;
}

// The project's version and the commit built ("1.0.0 commit 0123abcd4567"), in version.dat beside the
// running program; "unknown version" when it is not there.
inline std::string VersionAndCommit() {
    std::ifstream file(RunningProgramFolder() + "/version.dat");
    std::string line;
    std::getline(file, line);
    return line.empty() ? "unknown version" : line;
}

// Answers a command line of just `--version` with "<program> <version> commit <commit>, build <stamp>" on
// standard output; true then, and the program ends with 0.
inline bool AnswerVersion(int argc, char** argv, const char* program) {
    if (argc != 2 || std::strcmp(argv[1], "--version") != 0) {
        return false;
    }
    std::printf("%s %s, build %s\n", program, VersionAndCommit().c_str(), BuildStamp().c_str());
    return true;
}

namespace detail {
inline void IgnoreSignal(int) {}
} // namespace detail

// Makes a write to a pipe or socket whose reader went away fail with EPIPE instead of ending the program with
// SIGPIPE, for every write of the process: its own, and those of the libraries it uses (liblxi and libtirpc
// write with plain write()). A handler that does nothing rather than SIG_IGN, so that programs started from
// this one get the default back when they run. Called first in every program's main(); calling it again
// changes nothing.
inline void IgnoreBrokenPipes() {
    struct sigaction action {};
    action.sa_handler = detail::IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    (void)::sigaction(SIGPIPE, &action, nullptr); // fails only for an invalid signal number
}

} // namespace vr
