// Private folders for one test run: registry root, data home and runtime folder, removed at exit.
#include "tests/support/test_env.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vrtest {
namespace {

std::string g_root;
std::atomic<int> g_counter{0};

void RemoveRoot() {
    // Only the process that made the folder removes it; children started by tests inherit the variables.
    if (!g_root.empty() && std::getenv("VR_TEST_KEEP") == nullptr) {
        std::error_code ignored;
        std::filesystem::remove_all(g_root, ignored);
    }
}

} // namespace

const std::string& TestRoot() {
    if (g_root.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vrtest.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create the test folder " + pattern);
        }
        g_root = pattern;
        std::atexit(RemoveRoot);
    }
    return g_root;
}

std::string MakeFreshFolder(const std::string& hint) {
    auto folder = std::filesystem::path(TestRoot()) / (hint + "." + std::to_string(++g_counter));
    std::filesystem::create_directories(folder);
    return folder.string();
}

void SetUpPrivateFolders() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    auto make = [](const char* name) {
        auto folder = std::filesystem::path(TestRoot()) / name;
        std::filesystem::create_directories(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        return folder.string();
    };
    std::string registry = make("registry");
    // Start from the build tree's registry, so servers registered by the build are found by CLSID and ProgID.
    if (const char* built = VR_BUILD_REGISTRY_DIR; std::filesystem::is_directory(built)) {
        std::error_code unreadable; // another user than the build's (a test's second user) starts empty
        std::filesystem::copy(built, registry,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing,
                              unreadable);
    }
    setenv("VORNIC_REGISTRY", registry.c_str(), 1);
    setenv("VORNIC_HOME", make("home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", make("run").c_str(), 1);
}

std::string BuildBinFolder() {
    return VR_BUILD_BIN_DIR;
}

pid_t StartSelfTest(const std::string& testName, const std::map<std::string, std::string>& environment,
                    const std::string& log) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string variable(*entry);
        if (!environment.contains(variable.substr(0, variable.find('=')))) { // the caller's value wins
            variables.push_back(std::move(variable));
        }
    }
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    std::string executable = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=" + testName;
    std::string alsoDisabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {executable.data(), filter.data(), alsoDisabled.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    int error = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

int WaitForChild(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::pair<int, std::string> RunShellCapturing(const std::string& commandLine) {
    FILE* pipe = ::popen((commandLine + " 2>&1 </dev/null").c_str(), "r");
    if (!pipe) {
        return {-1, "not started: " + commandLine};
    }
    std::string output;
    char buffer[4096];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, read);
    }
    int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

} // namespace vrtest
