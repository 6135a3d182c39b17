// File operations under the hive store: reading a file whole, the writers' lock, atomic replacement.
#include "platform/registry/hive_files.h"

#include "platform/base/win32errors.h"

#include <atomic>
#include <cerrno>
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

// Creates `path` exclusively (a leftover of the same name is never overwritten).
int CreateExclusive(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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

LONG CreateParentFolders(const std::string& file) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    return error ? ErrorFromErrno(error.value()) : ERROR_SUCCESS;
}

LONG FileLock::Acquire(const std::string& lockFile, FileLock& lock) {
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EACCES) {
        // Another user's lock file in a shared registry folder: reading is enough for flock.
        fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        return ErrorFromErrno(errno);
    }
    lock.fd_.Reset(fd);
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
