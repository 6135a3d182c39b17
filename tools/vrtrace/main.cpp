// vrtrace: the tracer program. It registers the tracer object in the running object table, where the system's
// programs and servers of this user find it, and prints every trace line they send until it is stopped.
#include "TracePrinter.h"

#include "common/trace/Trace.h"
#include "platform/base/program_conventions.h"
#include "platform/base/user_files.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/rot.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

enum ExitCode : int { kExitStopped = 0, kExitFailed = 1, kExitUsage = vr::kExitBadCommandLine };

constexpr const char* kUsage =
    "usage: vrtrace [--level N] [--output FILE]\n"
    "Receives the trace lines of this user's programs and servers (it is the tracer they look for in the\n"
    "running object table) and prints each one as \"[level] source: text\"; object life lines read\n"
    "\"[call +1] name\" or \"[call -1] name\". Runs until Ctrl+C, SIGTERM or SIGHUP.\n"
    "  --level N      print only lines of level N and above: 0 information (and object life), 2 errors,\n"
    "                 3 instrument traffic; every line when not given\n"
    "  --output FILE  write the lines to FILE (made anew) instead of standard output\n"
    "  --help         show this text\n"
    "  --version      show the build it comes from\n"
    "exit code 64: a command line vrtrace does not take\n";

struct Options {
    int lowestLevel = 0;
    std::string output; // empty: standard output
    bool help = false;
};

bool ParseLevel(const char* text, int* level) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno == ERANGE || value < -32768 || value > 32767) {
        return false; // levels travel as 16-bit numbers
    }
    *level = static_cast<int>(value);
    return true;
}

// False, after saying why on standard error, when the command line is not one vrtrace takes.
bool ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool takesValue = argument == "--level" || argument == "--output";
        if (takesValue && i + 1 >= argc) {
            std::fprintf(stderr, "vrtrace: %s needs a value\n%s", argument.c_str(), kUsage);
            return false;
        }
        if (argument == "--help" || argument == "-h") {
            options->help = true;
        } else if (argument == "--level") {
            if (!ParseLevel(argv[++i], &options->lowestLevel)) {
                std::fprintf(stderr, "vrtrace: --level takes a whole number from -32768 to 32767, not '%s'\n",
                             argv[i]);
                return false;
            }
        } else if (argument == "--output") {
            options->output = argv[++i];
        } else {
            std::fprintf(stderr, "vrtrace: unknown argument '%s'\n%s", argument.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

// The signals that end the program are taken by one thread that waits for them and signals the stop event,
// since a signal handler cannot safely do that. They must be blocked before any other thread starts.
sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// Serves the tracer calls on this thread until the stop event is signalled. The thread owns a single-threaded
// apartment, so the calls of other processes run here, one at a time.
int Serve(FILE* out, const Options& options, HANDLE stop) {
    vr::ComPtr<IUnknown> running;
    if (SUCCEEDED(GetActiveObject(CLSID_TraceSink, nullptr, running.Put()))) {
        std::fprintf(stderr, "vrtrace: another tracer is running already; the lines go to it\n");
        return kExitFailed;
    }
    vr::ComObjectPtr<vrtrace::TracePrinter> printer;
    DWORD cookie = 0;
    HRESULT hr = vrtrace::TracePrinter::Create(out, options.lowestLevel, stop, &printer);
    if (SUCCEEDED(hr)) {
        hr = RegisterActiveObject(static_cast<IDispatch*>(printer.Get()), CLSID_TraceSink,
                                  ACTIVEOBJECT_STRONG, &cookie);
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "vrtrace: the tracer could not be registered (0x%08X)\n",
                     static_cast<unsigned>(hr));
        return kExitFailed;
    }
    std::fprintf(stderr, "vrtrace: tracing to %s\n",
                 options.output.empty() ? "standard output" : options.output.c_str());
    DWORD index = 0;
    hr = CoWaitForMultipleHandles(COWAIT_DEFAULT, INFINITE, 1, &stop, &index);
    (void)RevokeActiveObject(cookie, nullptr); // the process ends; nothing is left to find
    (void)CoDisconnectObject(static_cast<IDispatch*>(printer.Get()), 0); // senders holding it fail at once
    if (FAILED(hr)) {
        std::fprintf(stderr, "vrtrace: waiting for calls failed (0x%08X)\n", static_cast<unsigned>(hr));
        return kExitFailed;
    }
    if (std::ferror(out)) {
        std::fprintf(stderr, "vrtrace: writing the lines failed\n");
        return kExitFailed;
    }
    return kExitStopped;
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "vrtrace")) {
        return 0;
    }
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitStopped;
    }
    FILE* out = stdout;
    if (!options.output.empty()) {
        std::string reason;
        if (!vr::IsTrustedUserFile(options.output, {"trace file", "written"}, &reason)) {
            std::fprintf(stderr, "vrtrace: %s\n", reason.c_str());
            return kExitFailed;
        }
        // The user's alone whatever the umask: traces show what the user's tests did.
        int fd = ::open(options.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                        vr::UserFileModeIn(vr::FolderOfPath(options.output)));
        out = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
        if (!out) {
            if (int error = errno; fd >= 0) {
                ::close(fd);
                errno = error; // the reason told below is fdopen's
            }
            std::fprintf(stderr, "vrtrace: cannot write to %s: %s\n", options.output.c_str(),
                         std::strerror(errno));
            return kExitFailed;
        }
    }
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe shows as a failed write, which ends the program
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread signalWaiter([&signals, stop] {
        int signal = 0;
        (void)sigwait(&signals, &signal); // any of them ends the program
        (void)SetEvent(stop);
    });
    int result = kExitFailed;
    if (SUCCEEDED(CoInitialize(nullptr))) {
        result = Serve(out, options, stop);
        CoUninitialize();
    } else {
        std::fprintf(stderr, "vrtrace: COM could not be initialised\n");
    }
    // Wakes the signal waiter when no signal came (it is blocked there, so a waiter that took one already
    // leaves it pending until it ends; a thread not yet joined can always be signalled).
    (void)pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    (void)CloseHandle(stop);
    if (out != stdout) {
        (void)std::fclose(out); // every line was flushed when it was written
    }
    return result;
}
