// Saving a file whole: links resolved, an exclusive temporary file beside the target, flushed and renamed.
#include "platform/base/file_write.h"

#include "platform/base/file_read.h"
#include "platform/base/syserror.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vr {
namespace {

constexpr int kMaxLinkHops = 40;            // the kernel's own limit
constexpr int kMaxNameAttempts = 100;       // names taken that often in a row: the folder is not usable
constexpr size_t kMaxBaseInTemporary = 200; // the temporary name stays within NAME_MAX (255)

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A failure: "Couldn't save 'path': why" ("create" for a new file that finds its place taken).
FileWriteResult Failed(int err, const std::string& path, std::string why, std::string writtenPath = {}) {
    const char* verb = err == EEXIST ? "Couldn't create '" : "Couldn't save '";
    FileWriteResult result{err, verb + path + "': " + why, std::move(why), std::move(writtenPath)};
    errno = err;
    return result;
}

// What a failed save left behind, for the end of its reason.
std::string Aftermath(bool existed) {
    return existed ? "; the file is left as it was." : "; nothing was written.";
}

std::string RandomSuffix() {
    unsigned char bytes[8] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy yet (early boot): the process, a counter and the clock still give a fresh name, and
        // O_EXCL refuses a name someone took first.
        static std::atomic<unsigned> counter{0};
        auto clock =
            static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        unsigned long long mixed = clock ^ (static_cast<unsigned long long>(::getpid()) << 32) ^ ++counter;
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(mixed);
            mixed >>= 8;
        }
    }
    char text[sizeof bytes * 2 + 1] = {};
    for (size_t i = 0; i < sizeof bytes; ++i) {
        std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    }
    return text;
}

// Whether the kernel would follow the link (fs.protected_symlinks): any link in a folder that is not both
// sticky and writable by everyone; there, only the user's own links and those of the folder's owner.
bool MayFollow(const std::string& link, const struct stat& linkInfo) {
    struct stat folder {};
    if (::stat(FolderOf(link).c_str(), &folder) != 0) {
        return false;
    }
    bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || linkInfo.st_uid == ::geteuid() || linkInfo.st_uid == folder.st_uid;
}

int ReadLink(const std::string& link, off_t sizeHint, std::string* text) {
    std::vector<char> buffer(static_cast<size_t>(sizeHint > 0 ? sizeHint : 255) + 1);
    for (;;) {
        ssize_t got = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (got < 0) {
            return errno;
        }
        if (static_cast<size_t>(got) < buffer.size()) {
            text->assign(buffer.data(), static_cast<size_t>(got));
            return 0;
        }
        buffer.resize(buffer.size() * 2); // changed since the lstat: read again
    }
}

// The file a save replaces: the path itself, or the final target of the links it leads through (which may
// not exist yet).
int ResolveTarget(const std::string& path, std::string* target, std::string* why) {
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT) {
                *target = current; // a new file; a missing folder shows when the temporary file is made
                return 0;
            }
            int err = errno;
            *why = "'" + current + "' cannot be looked at (" + ErrnoText(err) + "); nothing was written.";
            return err;
        }
        if (!S_ISLNK(info.st_mode)) {
            *target = current;
            return 0;
        }
        if (!MayFollow(current, info)) {
            *why = "'" + current +
                   "' is a link that another user put into a folder everyone may write; it is not followed.";
            return EACCES;
        }
        std::string linked;
        if (int err = ReadLink(current, info.st_size, &linked); err != 0) {
            *why = "the link '" + current + "' cannot be read (" + ErrnoText(err) + ").";
            return err;
        }
        current = !linked.empty() && linked.front() == '/' ? linked : FolderOf(current) + "/" + linked;
    }
    *why = "it leads through too many links.";
    return ELOOP;
}

// A new file of an unguessable name beside target, made exclusively and never through a link.
int OpenTemporary(const std::string& target, mode_t mode, std::string* temporary) {
    std::string prefix = FolderOf(target) + "/." + BaseOf(target).substr(0, kMaxBaseInTemporary) + ".";
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        *temporary = prefix + RandomSuffix() + ".tmp";
        int fd = ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// The temporary file's metadata: the exact mode asked for, else the replaced file's owner, group and mode.
int TakeOverMetadata(int fd, bool existed, const struct stat& existing, const FileWriteOptions& options) {
    if (existed && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        // A user who may not keep them (another's file in a shared folder) saves it as his own.
        (void)!::fchown(fd, existing.st_uid, existing.st_gid);
    }
    if (options.exactMode || existed) {
        mode_t mode = options.exactMode ? *options.exactMode : existing.st_mode & 07777;
        if (::fchmod(fd, mode) != 0) {
            return errno;
        }
    }
    return 0;
}

// Renames the filled temporary file to target; a new file only where nothing is in its place.
int PutInPlace(const std::string& temporary, const std::string& target, FileWriteMode mode) {
    if (mode == FileWriteMode::Replace) {
        return ::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without the flag: a hard link is made only where nothing is, never through a link.
    if (::link(temporary.c_str(), target.c_str()) != 0) {
        return errno;
    }
    (void)::unlink(temporary.c_str()); // the target holds the content; a leftover name is only untidy
    return 0;
}

// Why the file at target is not to be replaced (or made); none when it may be.
std::optional<FileWriteResult> RefusedTarget(const std::string& path, const std::string& target, bool existed,
                                             const struct stat& existing, const FileWriteOptions& options) {
    if (!existed) {
        return std::nullopt;
    }
    if (options.mode == FileWriteMode::CreateNew) {
        return Failed(EEXIST, path, "it exists already; it is not overwritten.", target);
    }
    if (!S_ISREG(existing.st_mode)) {
        return Failed(S_ISDIR(existing.st_mode) ? EISDIR : EINVAL, path,
                      "'" + target + "' is " + KindOfFile(existing.st_mode) + "; it is not replaced.",
                      target);
    }
    // A file the user may not write stays as it is, though its folder would let a rename replace it.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        int err = errno;
        return Failed(err, path,
                      "'" + target + "' may not be written (" + ErrnoText(err) + "); it is not replaced.",
                      target);
    }
    return std::nullopt;
}

// Fills the open temporary file, gives it its metadata, flushes it to disk and closes it; 0 or an errno
// value.
int FillTemporary(int fd, const FileFiller& fill, bool existed, const struct stat& existing,
                  const FileWriteOptions& options) {
    int err = fill(fd);
    if (err == 0) {
        err = TakeOverMetadata(fd, existed, existing, options);
    }
    if (err == 0 && ::fsync(fd) != 0) {
        err = errno;
    }
    if (::close(fd) != 0 && err == 0) {
        err = errno;
    }
    return err;
}

// Flushes the folder's entry of the renamed file to disk.
void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // The file is in place already; a file system that cannot flush a folder (EINVAL) has it there too.
        (void)::fsync(fd);
        ::close(fd);
    }
}

} // namespace

int WriteAllTo(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

FileWriteResult WriteFileWhole(const std::string& path, std::string_view bytes,
                               const FileWriteOptions& options) {
    return WriteFileWholeBy(
        path, [bytes](int fd) { return WriteAllTo(fd, bytes); }, options);
}

FileWriteResult WriteFileWholeBy(const std::string& path, const FileFiller& fill,
                                 const FileWriteOptions& options) {
    if (path.empty()) {
        return Failed(ENOENT, path, "a file needs a name.");
    }
    std::string target = path;
    std::string why;
    // A new file takes its place only where nothing is, not even a link: no link is followed for it.
    if (options.mode == FileWriteMode::Replace) {
        if (int err = ResolveTarget(path, &target, &why); err != 0) {
            return Failed(err, path, why);
        }
    }
    struct stat existing {};
    bool existed = ::lstat(target.c_str(), &existing) == 0;
    if (std::optional<FileWriteResult> refused = RefusedTarget(path, target, existed, existing, options)) {
        return *refused;
    }
    std::string temporary;
    int fd = OpenTemporary(target, options.exactMode.value_or(0666), &temporary);
    if (fd < 0) {
        int err = errno;
        return Failed(err, path,
                      "no temporary file can be made in '" + FolderOf(target) + "' (" + ErrnoText(err) + ")" +
                          Aftermath(existed),
                      target);
    }
    int err = FillTemporary(fd, fill, existed, existing, options);
    if (err == 0) {
        err = PutInPlace(temporary, target, options.mode);
    }
    if (err != 0) {
        // A temporary file that cannot be removed stays hidden beside the target, which is untouched.
        (void)::unlink(temporary.c_str());
        std::string what = err == EEXIST && options.mode == FileWriteMode::CreateNew
                               ? "it exists already; it is not overwritten."
                               : ErrnoText(err) + Aftermath(existed);
        FileWriteResult failed = Failed(err, path, what, target);
        failed.opened = true;
        errno = err;
        return failed;
    }
    SyncFolder(FolderOf(target));
    return FileWriteResult{0, {}, {}, target, true};
}

} // namespace vr
