// Reading an input file whole: opened without blocking, refused unless regular and within the limit.
#include "platform/base/file_read.h"

#include "platform/base/syserror.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vr {
namespace {

FileReadResult Failed(int err, std::string reason, bool refused) {
    FileReadResult result{err, std::move(reason), refused};
    errno = err;
    return result;
}

std::string Megabytes(uint64_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_); // read only: a failed close loses nothing
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

const char* KindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return S_ISCHR(mode) || S_ISBLK(mode) ? "a device" : "no regular file";
}

FileReadResult ReadInputFile(const std::string& path, std::string* bytes, uint64_t limit) {
    bytes->clear();
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        int err = errno;
        return Failed(err, "Couldn't open '" + path + "': " + ErrnoText(err) + ".", false);
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        int err = errno;
        return Failed(err, "Couldn't look at '" + path + "': " + ErrnoText(err) + ".", false);
    }
    if (!S_ISREG(info.st_mode)) {
        return Failed(S_ISDIR(info.st_mode) ? EISDIR : EINVAL,
                      "'" + path + "' is " + KindOfFile(info.st_mode) + ", not a file that can be read.",
                      true);
    }
    std::string tooLarge =
        "'" + path + "' is larger than the " + Megabytes(limit) + " an input file may hold.";
    if (static_cast<uint64_t>(info.st_size) > limit) {
        return Failed(EFBIG, tooLarge, true);
    }
    bytes->reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            int err = errno;
            bytes->clear();
            return Failed(err, "Couldn't read '" + path + "': " + ErrnoText(err) + ".", false);
        }
        if (got == 0) {
            return {};
        }
        if (bytes->size() + static_cast<size_t>(got) > limit) {
            bytes->clear(); // it grows while it is read
            return Failed(EFBIG, tooLarge, true);
        }
        bytes->append(buffer, static_cast<size_t>(got));
    }
}

} // namespace vr
