// Real file-system faults for tests of saving: a disk that fills up, and folder permissions that bind the
// superuser too.
//
// Usage:
//     vrtest::SmallDisk disk(folder, 64 * 1024);
//     if (!disk.Mounted()) GTEST_SKIP() << disk.WhyNot();
//     vrtest::PermissionsBind binding; // until the end of the scope, this thread's file accesses are checked
//
// Threads: both act on the calling thread only (mount namespace, capabilities), which is the test's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vrtest {

// A tmpfs of the given size mounted on folder (made when missing) in a mount namespace of the calling
// thread's own, so nothing outside the test sees it and it goes away with the process; unmounted at the end
// of the scope. Needs the superuser; elsewhere Mounted() is false and WhyNot() says so.
class SmallDisk {
public:
    SmallDisk(const std::string& folder, size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& WhyNot() const { return whyNot_; }

private:
    std::string folder_;
    bool mounted_ = false;
    std::string whyNot_;
};

// For the superuser, drops the capabilities that pass over file permissions (DAC override, read-search and
// owner) from the calling thread's effective set and gives them back at the end of the scope, so that a
// folder's mode binds as it binds any user. For other users it does nothing: their permissions bind anyway.
class PermissionsBind {
public:
    PermissionsBind();
    ~PermissionsBind();
    PermissionsBind(const PermissionsBind&) = delete;
    PermissionsBind& operator=(const PermissionsBind&) = delete;

private:
    bool dropped_ = false;
};

// The whole content of a file; empty when it cannot be read.
std::string FileBytes(const std::string& path);
// Writes the file with plain streams (the test's own setup, not the code under test).
void PutFileBytes(const std::string& path, const std::string& bytes);
// The names in a folder, sorted (a failed save must leave no temporary file behind).
std::vector<std::string> FolderNames(const std::string& folder);

} // namespace vrtest
