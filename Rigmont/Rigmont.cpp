// The program `rigmont`: the hardware manager's local server, and its registration switches.
#include "CommandLine.h"
#include "Registration.h"
#include "ServerMain.h"

#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/rpc/local_server.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

namespace {

// The running program's file: the path registered as LocalServer32.
std::u16string ProgramPath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::u16string() : vr::FromUtf8(path.string());
}

int Report(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        std::fprintf(stderr, "rigmont: %s failed (HRESULT 0x%08X)\n", what, static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}

// Every object a client holds (the manager, and each connection and socket handed out) is one lock.
unsigned long ServerLocks() {
    return vr::rpc::ServerProcessLocks();
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "rigmont")) {
        return 0;
    }
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    std::string_view offending;
    switch (rigmont::ActionOf(arguments, &offending)) {
    case rigmont::ServerAction::Help:
        std::fputs(rigmont::kUsage, stdout);
        return 0;
    case rigmont::ServerAction::BadArgument:
        std::fprintf(stderr, "rigmont: unknown argument '%.*s'\n%s", static_cast<int>(offending.size()),
                     offending.data(), rigmont::kUsage);
        return vr::kExitBadCommandLine;
    case rigmont::ServerAction::Register:
        return Report(rigmont::RegisterProgram(ProgramPath()), "registration");
    case rigmont::ServerAction::Unregister:
        return Report(rigmont::UnregisterProgram(ProgramPath()), "unregistration");
    case rigmont::ServerAction::Serve:
        break;
    }
    rigmont::ServeOptions options;
    options.lockCount = &ServerLocks;
    return rigmont::Serve(options);
}
