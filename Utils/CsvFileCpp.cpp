// CsvGrid: growing the grid to reach a cell, and storing it in and reading it from a real file.
#include "CsvFileCpp.h"

#include "common/trace/Trace.h"
#include "platform/base/file_write.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace utils {

namespace {

// A file descriptor closed on scope exit unless handed back by Release.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now; false when the close reports a failure (a delayed write error, for instance).
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

std::string LocalPath(std::u16string_view path) {
    return vr::ToUtf8(vr::MapWindowsPath(path));
}

// Reads the whole file; false on a read error.
bool ReadAll(int fd, std::string& bytes) {
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

// Only regular files are read: a device or a pipe could block or never end.
bool IsRegularFile(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace

size_t CsvGrid::Columns() const {
    size_t columns = 0;
    for (const auto& row : rows_) {
        columns = std::max(columns, row.size());
    }
    return columns;
}

std::u16string& CsvGrid::Cell(size_t column, size_t row) {
    const size_t rowsBefore = rows_.size();
    if (row >= rowsBefore) {
        rows_.resize(row + 1);
    }
    std::vector<std::u16string>& cells = rows_[row];
    if (column >= cells.size()) {
        try {
            cells.resize(column + 1);
        } catch (...) {
            rows_.resize(rowsBefore); // the grid keeps the size it had
            throw;
        }
    }
    return cells[column];
}

bool CsvGrid::WriteFile(std::u16string_view path) {
    const std::u16string shown(path);
    // Replaced whole (platform/base/file_write.h): a failed write leaves the earlier file as it was.
    vr::FileWriteResult saved = vr::WriteFileWhole(LocalPath(path), vr::ToUtf8(ToText()));
    if (!saved) {
        SetTraceSite();
        TraceError(saved.opened ? u"Could not write to file '%s'." : u"Could not create/open file '%s'.",
                   shown.c_str());
        TraceInfo(u"%hs", saved.reason.c_str()); // why, on a line of its own
        return false;
    }
    return true;
}

bool CsvGrid::ReadFile(std::u16string_view path) {
    const std::u16string shown(path);
    FileDescriptor file(::open(LocalPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid() || !IsRegularFile(file.Get())) {
        SetTraceSite();
        TraceError(u"Could not open file '%s'.", shown.c_str());
        return false;
    }
    std::string bytes;
    if (!ReadAll(file.Get(), bytes)) {
        SetTraceSite();
        TraceError(u"Could not read file '%s'.", shown.c_str());
        return false;
    }
    // The whole file is decoded at once, so that no UTF-8 sequence is cut between two reads.
    *this = FromText(vr::FromUtf8(bytes));
    return true;
}

} // namespace utils
