// A registry, data home and runtime folder of a benchmark run's own, so that what the run stores never
// reaches the build tree's registry or the user's data home.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace vrbench {

// Makes /tmp/<prefix>-XXXXXX with a copy of registryFolder, an empty data home and a private runtime folder,
// and names the three in the environment (VORNIC_REGISTRY, VORNIC_HOME, XDG_RUNTIME_DIR). Returns the
// folder, or "" when none could be made. Throws what std::filesystem throws when the copy fails.
inline std::string PrepareOwnEnvironment(const std::string& prefix, const char* registryFolder) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        return "";
    }
    const std::string& folder = pattern;
    std::filesystem::copy(registryFolder, folder + "/registry", std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(folder + "/home");
    std::filesystem::create_directories(folder + "/runtime");
    ::chmod((folder + "/runtime").c_str(), 0700);
    ::setenv("VORNIC_REGISTRY", (folder + "/registry").c_str(), 1);
    ::setenv("VORNIC_HOME", (folder + "/home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (folder + "/runtime").c_str(), 1);
    return folder;
}

} // namespace vrbench
