// Finding and reading the resource archive at the end of an open file, trusting nothing the file says.
#include "platform/resources/archive.h"

#include "platform/base/syserror.h"
#include "platform/base/win32errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vr::resources_detail {
namespace {

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

uint64_t LittleEndianAt(std::string_view bytes, size_t offset, int width) {
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
        value |= uint64_t{static_cast<uint8_t>(bytes[offset + i])} << (8 * i);
    }
    return value;
}

} // namespace

HRESULT OpenRegularFile(const std::string& path, UniqueFd* fd, struct stat* info) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    UniqueFd opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (opened.get() < 0) {
        return HResultFromErrno(errno);
    }
    if (::fstat(opened.get(), info) != 0) {
        return HResultFromErrno(errno);
    }
    if (!S_ISREG(info->st_mode)) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    *fd = std::move(opened);
    return S_OK;
}

HRESULT ReadExactly(int fd, uint64_t offset, size_t size, std::string* bytes) {
    bytes->resize(size);
    size_t done = 0;
    while (done < size) {
        ssize_t got = ::pread(fd, bytes->data() + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return HResultFromErrno(errno);
        }
        if (got == 0) {
            return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF); // the file shrank under us
        }
        done += static_cast<size_t>(got);
    }
    return S_OK;
}

HRESULT LocateArchive(int fd, uint64_t fileSize, Trailer* trailer) {
    if (fileSize < kTrailerSize) {
        return S_FALSE;
    }
    std::string raw;
    HRESULT hr = ReadExactly(fd, fileSize - kTrailerSize, kTrailerSize, &raw);
    if (FAILED(hr)) {
        return hr;
    }
    if (std::memcmp(raw.data() + 24, kArchiveMagic, sizeof(kArchiveMagic)) != 0) {
        return S_FALSE;
    }
    Trailer found;
    found.archiveOffset = LittleEndianAt(raw, 0, 8);
    found.archiveSize = LittleEndianAt(raw, 8, 8);
    found.checksum = static_cast<uint32_t>(LittleEndianAt(raw, 16, 4));
    uint32_t version = static_cast<uint32_t>(LittleEndianAt(raw, 20, 4));
    // The archive must fill the room between its offset and the trailer exactly; sizes are compared without
    // adding the file's numbers, which could wrap.
    uint64_t room = fileSize - kTrailerSize;
    if (version != kArchiveVersion || found.archiveSize > kMaxArchiveSize || found.archiveSize > room ||
        found.archiveOffset != room - found.archiveSize) {
        return kInvalidData;
    }
    *trailer = found;
    return S_OK;
}

HRESULT ReadArchive(int fd, const Trailer& trailer, std::vector<ResourceEntry>* entries) {
    entries->clear();
    std::string archive;
    HRESULT hr = ReadExactly(fd, trailer.archiveOffset, static_cast<size_t>(trailer.archiveSize), &archive);
    if (FAILED(hr)) {
        return hr;
    }
    if (Crc32(archive) != trailer.checksum) {
        return kInvalidData;
    }
    return DecodeArchive(archive, entries);
}

} // namespace vr::resources_detail
