// The resource archive format behind a module's image: encoding, checked decoding, finding it in a file.
#pragma once

#include "platform/base/types.h"
#include "platform/resources/module_resources.h"

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// The layout is written down in module_resources.h. Everything here is free of shared state: any thread.
namespace vr::resources_detail {

inline constexpr size_t kTrailerSize = 32;
inline constexpr uint32_t kArchiveVersion = 1;
inline constexpr char kArchiveMagic[8] = {'V', 'R', 'R', 'S', 'R', 'C', '\r', '\n'};
// Resources are schemas, scripts and type libraries: an archive claiming more is taken as damaged rather
// than read into memory.
inline constexpr uint64_t kMaxArchiveSize = uint64_t{1} << 30;

// CRC-32 (zlib's crc32: the polynomial of zip and PNG) of bytes: the checksum that resource archives and type
// library files store, so its values stay as they are.
uint32_t Crc32(std::string_view bytes);

// The archive bytes of entries: they must be valid, in order and unique (a std::map's order gives that).
std::string EncodeArchive(const std::vector<ResourceEntry>& entries);
// The trailer that closes an archive of these bytes written at archiveOffset.
std::string EncodeTrailer(std::string_view archive, uint64_t archiveOffset);

// Decodes archive bytes (without the trailer). ERROR_INVALID_DATA for anything that is not exactly a
// sequence of well-formed entries in order; *entries is left empty then.
[[nodiscard]] HRESULT DecodeArchive(std::string_view archive, std::vector<ResourceEntry>* entries);

struct Trailer {
    uint64_t archiveOffset = 0;
    uint64_t archiveSize = 0;
    uint32_t checksum = 0;
};

// Reads the trailer of the open file fd of fileSize bytes. S_OK with *trailer when the file carries an
// archive whose trailer fits the file; S_FALSE when it carries none; ERROR_INVALID_DATA when the magic is
// there but the rest does not fit; the Windows error of a failed read.
[[nodiscard]] HRESULT LocateArchive(int fd, uint64_t fileSize, Trailer* trailer);

// Reads and checks the archive that trailer locates (size, checksum, records).
[[nodiscard]] HRESULT ReadArchive(int fd, const Trailer& trailer, std::vector<ResourceEntry>* entries);

// An owned file descriptor, closed when dropped.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

// Opens path for reading when it is a regular file (never blocking on a FIFO or a device); *info receives its
// status. A path that names something else gives ERROR_FILE_NOT_FOUND.
[[nodiscard]] HRESULT OpenRegularFile(const std::string& path, UniqueFd* fd, struct stat* info);

// Reads exactly size bytes at offset; ERROR_HANDLE_EOF when the file ends first.
[[nodiscard]] HRESULT ReadExactly(int fd, uint64_t offset, size_t size, std::string* bytes);

} // namespace vr::resources_detail
