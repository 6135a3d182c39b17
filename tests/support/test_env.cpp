// Private folders for one test run: registry root, data home and runtime folder, removed at exit.
#include "tests/support/test_env.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

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
        std::filesystem::copy(built, registry, std::filesystem::copy_options::recursive |
                                                   std::filesystem::copy_options::overwrite_existing);
    }
    setenv("VORNIC_REGISTRY", registry.c_str(), 1);
    setenv("VORNIC_HOME", make("home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", make("run").c_str(), 1);
}

std::string BuildBinFolder() { return VR_BUILD_BIN_DIR; }

} // namespace vrtest
