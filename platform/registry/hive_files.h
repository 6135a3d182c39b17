// File operations under the hive store: reading a file whole, the writers' lock, atomic replacement.
#pragma once

#include "platform/base/types.h"

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace vr::registry {

// An owned file descriptor, closed when replaced or destroyed.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// What identifies the content of a hive file as last read. Writers replace the file by rename, so the inode
// changes with every write; size and modification time (nanoseconds) catch an edit made in place.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileStamp Of(const struct stat& info);
    bool operator==(const FileStamp& other) const;
};

// The registry error for a failed file operation (ERROR_ACCESS_DENIED for a folder the user may not write,
// ERROR_DISK_FULL, ...; ERROR_REGISTRY_IO_FAILED for the rest).
LONG ErrorFromErrno(int err);

// Reads everything from `fd` into `text`.
[[nodiscard]] LONG ReadWholeFile(int fd, std::string& text);

// Opens an existing file for reading, and only a regular one: anything else put in its place (a FIFO that
// would block the reader for good, a device, a folder) is refused with ERROR_REGISTRY_IO_FAILED and a line
// on standard error, without blocking. ERROR_FILE_NOT_FOUND when there is nothing there.
[[nodiscard]] LONG OpenRegularFile(const std::string& path, UniqueFd& fd);

// The mode of a file the registry makes in `folder`, whatever the umask: the user's own (0600), and the
// group's too (0660) in a folder the group may write to but others may not, a registry shared by the users
// of one station.
mode_t FileModeIn(const std::string& folder);

// Creates the folders of `file`'s path when missing, each the user's own (0700).
[[nodiscard]] LONG CreateParentFolders(const std::string& file);

// An exclusive advisory lock (flock) on a lock file, held until the object is destroyed. flock locks belong
// to the open file, so threads of one process exclude each other as separate processes do. The lock file is
// made with FileModeIn its folder; one that is not a regular file is refused as OpenRegularFile does.
class FileLock {
public:
    [[nodiscard]] static LONG Acquire(const std::string& lockFile, FileLock& lock);

private:
    UniqueFd fd_;
};

// Writes `text` to a new temporary file beside `target` (FileModeIn its folder), flushes it to disk and
// renames it over `target`, so readers see either the old or the new content, never a mix. `written` keeps
// the new file open.
[[nodiscard]] LONG ReplaceFile(const std::string& target, std::string_view text, UniqueFd& written);

// Writes `text` to the first free file "<base>-1", "<base>-2", ... (FileModeIn its folder) and reports its
// path.
[[nodiscard]] LONG WriteToFreeName(const std::string& base, std::string_view text, std::string& path);

} // namespace vr::registry
