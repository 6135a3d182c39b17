// A folder of a fuzz run's own, for the files it writes for every input: on tmpfs (/dev/shm), so that the
// writes and the flushes of a save cost no disk, and removed when the run ends normally (a crash keeps it,
// with the input that caused it). Header-only: fuzz targets link no test library.
//
// Usage: in LLVMFuzzerInitialize, vrtest::MakeFuzzFolder("panel-fuzz"); then vrtest::FuzzFolder().
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vrtest {

inline std::string& FuzzFolder() {
    static std::string folder;
    return folder;
}

// Makes the folder (the run cannot go on without it) and has it removed at exit.
inline void MakeFuzzFolder(const std::string& name) {
    std::string pattern = "/dev/shm/" + name + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "%s: no folder of its own\n", name.c_str());
        std::abort();
    }
    FuzzFolder() = pattern;
    std::atexit([] {
        std::error_code ignored; // a leftover folder in /dev/shm is only untidy
        std::filesystem::remove_all(FuzzFolder(), ignored);
    });
}

} // namespace vrtest
