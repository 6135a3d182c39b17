// The folder of the hive files, taken from the environment at every call.
#include "platform/registry/registry.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace vr {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeFolder() {
    if (std::string home = Environment("HOME"); !home.empty()) {
        return home;
    }
    // A service started without HOME: the account's home from the user database.
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

} // namespace

std::string RegistryRoot() {
    if (std::string root = Environment("VORNIC_REGISTRY"); !root.empty()) {
        return root;
    }
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') { // a relative XDG_CONFIG_HOME is to be ignored
        config = HomeFolder() + "/.config";
    }
    return config + "/vornic/registry";
}

} // namespace vr
