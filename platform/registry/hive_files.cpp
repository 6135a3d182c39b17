// File operations under the hive store: reading a file whole, the writers' lock, atomic replacement.
#include "platform/registry/hive_files.h"

#include "platform/base/file_read.h"
#include "platform/base/win32errors.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace vr::registry {
namespace {

// Free names are searched this far; beyond that the folder is full of leftovers and the write is refused.
constexpr int kMaxNameAttempts = 1000;

LONG WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrorFromErrno(errno);
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return ::fdatasync(fd) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
}

std::string FolderOf(const std::string& file) {
    std::string folder = std::filesystem::path(file).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// Creates `path` exclusively (a leftover of the same name is never overwritten) with FileModeIn its folder.
int CreateExclusive(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 && ::fchmod(fd, FileModeIn(FolderOf(path))) != 0) { // exactly that, whatever the umask
        int err = errno;
        ::close(fd);
        ::unlink(path.c_str());
        errno = err;
        return -1;
    }
    return fd;
}

// Refuses what is not a regular file, with a line that says what is in the way.
LONG CheckRegular(int fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return ErrorFromErrno(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "registry: %s is %s, not a file of the registry; it is not used\n", path.c_str(),
                     KindOfFile(info.st_mode));
        return ERROR_REGISTRY_IO_FAILED;
    }
    return ERROR_SUCCESS;
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

int UniqueFd::Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

FileStamp FileStamp::Of(const struct stat& info) {
    return FileStamp{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

bool FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

LONG ErrorFromErrno(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

LONG ReadWholeFile(int fd, std::string& text) {
    text.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) {
            return ERROR_SUCCESS;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrorFromErrno(errno);
        }
        text.append(buffer, static_cast<size_t>(n));
    }
}

LONG OpenRegularFile(const std::string& path, UniqueFd& fd) {
    fd.Reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno);
    }
    LONG result = CheckRegular(fd.Get(), path);
    if (result != ERROR_SUCCESS) {
        fd.Reset();
    }
    return result;
}

mode_t FileModeIn(const std::string& folder) {
    struct stat info {};
    // A folder anyone may write to (/tmp) is no group's: its files stay the user's own.
    bool shared =
        ::stat(folder.c_str(), &info) == 0 && (info.st_mode & S_IWGRP) != 0 && (info.st_mode & S_IWOTH) == 0;
    return shared ? 0660 : 0600;
}

LONG CreateParentFolders(const std::string& file) {
    std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::filesystem::path made;
    for (const auto& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) == 0) {
            // Exactly the user's own, whatever the umask.
            if (::chmod(made.c_str(), 0700) != 0) {
                return ErrorFromErrno(errno);
            }
        } else if (errno != EEXIST) {
            return ErrorFromErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

LONG FileLock::Acquire(const std::string& lockFile, FileLock& lock) {
    mode_t mode = FileModeIn(FolderOf(lockFile));
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0 && errno == EACCES) {
        // Another user's lock file in a shared registry folder: reading is enough for flock.
        fd = ::open(lockFile.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0) {
        return ErrorFromErrno(errno);
    }
    lock.fd_.Reset(fd);
    if (LONG result = CheckRegular(fd, lockFile); result != ERROR_SUCCESS) {
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 07777) != mode) {
        // Made under a loose umask (or by an older version): narrowed to what a new one gets.
        (void)::fchmod(fd, mode); // a lock file that stays looser still locks
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return ErrorFromErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

LONG ReplaceFile(const std::string& target, std::string_view text, UniqueFd& written) {
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    UniqueFd fd;
    for (int attempt = 0; attempt < kMaxNameAttempts && !fd.Valid(); ++attempt) {
        temporary = target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(++counter);
        fd.Reset(CreateExclusive(temporary));
        if (!fd.Valid() && errno != EEXIST) {
            return ErrorFromErrno(errno);
        }
    }
    if (!fd.Valid()) {
        return ERROR_CANTWRITE;
    }
    LONG result = WriteAll(fd.Get(), text);
    if (result == ERROR_SUCCESS && ::rename(temporary.c_str(), target.c_str()) != 0) {
        result = ErrorFromErrno(errno);
    }
    if (result != ERROR_SUCCESS) {
        ::unlink(temporary.c_str());
        return result;
    }
    written = std::move(fd);
    return ERROR_SUCCESS;
}

LONG WriteToFreeName(const std::string& base, std::string_view text, std::string& path) {
    for (int n = 1; n <= kMaxNameAttempts; ++n) {
        path = base + "-" + std::to_string(n);
        UniqueFd fd(CreateExclusive(path));
        if (!fd.Valid()) {
            if (errno == EEXIST) {
                continue;
            }
            return ErrorFromErrno(errno);
        }
        LONG result = WriteAll(fd.Get(), text);
        if (result != ERROR_SUCCESS) {
            ::unlink(path.c_str());
        }
        return result;
    }
    return ERROR_CANTWRITE;
}

} // namespace vr::registry
