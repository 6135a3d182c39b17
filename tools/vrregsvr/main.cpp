// vrregsvr [/u] [/s] <library>... (--help): calls each library's DllRegisterServer (or DllUnregisterServer
// with /u).
#include "platform/base/program_conventions.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Exit codes: the first failure decides; later libraries are still processed.
constexpr int kExitUsage = vr::kExitBadCommandLine;
constexpr int kExitLoadFailed = 3;
constexpr int kExitNoEntryPoint = 4;
constexpr int kExitCallFailed = 5;

constexpr const char* kUsage = "usage: vrregsvr [/u] [/s] <library>...\n"
                               "Records each server library in the registry (calls its DllRegisterServer).\n"
                               "  /u      unregister (DllUnregisterServer) instead of register\n"
                               "  /s      silent: report failures only\n"
                               "  --help     show this text\n"
                               "  --version  show the build it comes from\n"
                               "exit code 64: a command line vrregsvr does not take\n";

struct Options {
    bool help = false;
    bool unregister = false;
    bool silent = false; // success messages only: failures are always reported, a build step must say why
    std::vector<std::string> libraries;
};

// "/u", "-u", "/s", "-s" in either case; any other argument is a library (absolute Linux paths begin with
// "/").
bool ParseSwitch(const std::string& argument, Options& options, bool& valid) {
    if (argument.size() != 2 || (argument[0] != '/' && argument[0] != '-')) {
        return false;
    }
    char letter = static_cast<char>(argument[1] | 0x20);
    valid = letter == 'u' || letter == 's';
    options.unregister |= letter == 'u';
    options.silent |= letter == 's';
    return true;
}

bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            options.help = true;
            continue;
        }
        if (argument.size() > 1 && argument[0] == '-' && argument.size() != 2) {
            std::fprintf(stderr, "vrregsvr: unknown switch %s\n", argument.c_str());
            return false;
        }
        bool valid = true;
        if (ParseSwitch(argument, options, valid)) {
            if (!valid) {
                std::fprintf(stderr, "vrregsvr: unknown switch %s\n", argument.c_str());
                return false;
            }
        } else {
            options.libraries.push_back(argument);
        }
    }
    return options.help || !options.libraries.empty();
}

// The library is opened by its absolute path, so the path it registers for itself is the one to load it by.
int Process(const std::string& library, const Options& options) {
    const char* entryName = options.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    std::error_code error;
    std::string path = std::filesystem::absolute(library, error).string();
    void* handle = dlopen(error ? library.c_str() : path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        std::fprintf(stderr, "vrregsvr: %s: cannot load the library: %s\n", library.c_str(), why ? why : "");
        return kExitLoadFailed;
    }
    auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entryName));
    int result = 0;
    if (!entry) {
        std::fprintf(stderr, "vrregsvr: %s: the library exports no %s\n", library.c_str(), entryName);
        result = kExitNoEntryPoint;
    } else if (HRESULT hr = entry(); FAILED(hr)) {
        std::fprintf(stderr, "vrregsvr: %s: %s failed: 0x%08X %s\n", library.c_str(), entryName,
                     static_cast<unsigned>(hr), vr::ToUtf8(vr::HResultMessage(hr)).c_str());
        result = kExitCallFailed;
    } else if (!options.silent) {
        std::printf("vrregsvr: %s: %s succeeded.\n", library.c_str(), entryName);
    }
    dlclose(handle);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "vrregsvr")) {
        return 0;
    }
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    HRESULT init = CoInitialize(nullptr);
    int exitCode = 0;
    for (const std::string& library : options.libraries) {
        int result = Process(library, options);
        if (exitCode == 0) {
            exitCode = result;
        }
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return exitCode;
}
