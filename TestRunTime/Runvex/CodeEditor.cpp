// The user's editor started on a code file, detached from the program.
#include "TestRunTime/Runvex/CodeEditor.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace runvex {

std::vector<std::string> EditorCommand() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        std::vector<std::string> words;
        std::istringstream stream(value ? value : "");
        for (std::string word; stream >> word;) {
            words.push_back(word);
        }
        if (!words.empty()) {
            return words;
        }
    }
    return {"xdg-open"};
}

namespace {

// The grandchild execs the editor; an exec failure is written as its errno into the pipe, which closes
// unwritten on success (close-on-exec).
[[noreturn]] void ExecDetached(const std::vector<std::string>& command, int reportFd) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    (void)::setsid(); // the editor outlives the program and its terminal's signals; failure changes nothing
    ::execvp(argv[0], argv.data());
    int error = errno;
    (void)!::write(reportFd, &error, sizeof error); // the parent reads "not started" either way
    ::_exit(127);
}

} // namespace

std::vector<std::string> EditorCommandFor(const std::string& path) {
    std::vector<std::string> command = EditorCommand();
    // A file named "-x.js" or "+x.js" must not reach the editor as an option: editors take "--" as the end of
    // their options; xdg-open takes no "--" at all, so it gets the name as a path that starts with "./".
    bool optionLike = !path.empty() && (path.front() == '-' || path.front() == '+');
    if (command.front() != "xdg-open") {
        command.push_back("--");
        command.push_back(path);
    } else {
        command.push_back(optionLike ? "./" + path : path);
    }
    return command;
}

bool StartCodeEditor(const std::string& path, std::string* error) {
    std::vector<std::string> command = EditorCommandFor(path);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    // Two forks: the middle process ends at once, so the editor belongs to init and never waits to be reaped.
    pid_t middle = ::fork();
    int forkError = errno;
    if (middle == 0) {
        ::close(report[0]);
        if (::fork() == 0) {
            ExecDetached(command, report[1]);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int execError = 0;
    ssize_t got = 0;
    if (middle > 0) {
        int status = 0;
        (void)::waitpid(middle, &status, 0); // it ends at once; its status says nothing about the editor
        while ((got = ::read(report[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
        }
    }
    ::close(report[0]);
    if (middle < 0 || got > 0) {
        *error = "Couldn't start the editor '" + command.front() +
                 "': " + std::strerror(middle < 0 ? forkError : execError);
        return false;
    }
    return true;
}

} // namespace runvex
