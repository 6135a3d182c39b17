// A small tmpfs in a private mount namespace, and file permissions that bind the superuser's thread.
#include "tests/support/file_faults.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vrtest {
namespace {

constexpr unsigned kFileCapabilities[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

bool ChangeEffective(bool raise) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    for (unsigned capability : kFileCapabilities) {
        uint32_t bit = 1u << (capability % 32);
        raise ? data[capability / 32].effective |= bit : data[capability / 32].effective &= ~bit;
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

SmallDisk::SmallDisk(const std::string& folder, size_t bytes) : folder_(folder) {
    if (::geteuid() != 0) {
        whyNot_ = "a disk that fills up needs a tmpfs of the test's own, which only the superuser may mount";
        return;
    }
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    // The namespace is the thread's own copy; private, so the mount reaches no other namespace.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        whyNot_ = std::string("no mount namespace of the test's own: ") + std::strerror(errno);
        return;
    }
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        whyNot_ = std::string("the tmpfs cannot be mounted: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

SmallDisk::~SmallDisk() {
    if (mounted_) {
        (void)::umount2(folder_.c_str(), MNT_DETACH); // the namespace ends with the process in any case
    }
}

PermissionsBind::PermissionsBind() {
    dropped_ = ::geteuid() == 0 && ChangeEffective(false);
}

PermissionsBind::~PermissionsBind() {
    if (dropped_) {
        (void)ChangeEffective(true); // still permitted: raising them again cannot be refused
    }
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void PutFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& item : std::filesystem::directory_iterator(folder, ignored)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vrtest
