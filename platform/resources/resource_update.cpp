// Resource updates: the new set is collected in memory and written with the file's image in one rename.
#include "platform/resources/resource_update.h"

#include "platform/base/file_write.h"
#include "platform/base/syserror.h"
#include "platform/base/win32errors.h"
#include "platform/resources/archive.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <tuple>

namespace vr {

using ResourceKey = std::tuple<ResourceId, ResourceId, WORD>;

struct ResourceUpdate {
    std::string path; // the file itself, links resolved
    std::map<ResourceKey, std::string> resources;
};

namespace {

using resources_detail::Trailer;
using resources_detail::UniqueFd;

constexpr size_t kMaxNameLength = 0xFFFF; // what the archive's uint16 length holds

bool IdFits(const ResourceId& id) {
    return id.IsValid() && id.Name().size() <= kMaxNameLength;
}

HRESULT WriteAll(int fd, std::string_view bytes) {
    int err = WriteAllTo(fd, bytes);
    return err == 0 ? S_OK : HResultFromErrno(err);
}

HRESULT CopyPrefix(int from, uint64_t size, int to) {
    constexpr size_t kChunk = 64 * 1024;
    std::string chunk;
    for (uint64_t done = 0; done < size;) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(kChunk, size - done));
        HRESULT hr = resources_detail::ReadExactly(from, done, piece, &chunk);
        if (SUCCEEDED(hr)) {
            hr = WriteAll(to, chunk);
        }
        if (FAILED(hr)) {
            return hr;
        }
        done += piece;
    }
    return S_OK;
}

// Where the file's image ends: at its archive, or at its end when it carries none.
HRESULT ImageSize(int fd, uint64_t fileSize, uint64_t* imageSize) {
    Trailer trailer;
    HRESULT hr = resources_detail::LocateArchive(fd, fileSize, &trailer);
    if (FAILED(hr)) {
        return hr;
    }
    *imageSize = hr == S_OK ? trailer.archiveOffset : fileSize;
    return S_OK;
}

std::string EncodeSet(const std::map<ResourceKey, std::string>& resources) {
    std::vector<ResourceEntry> entries;
    entries.reserve(resources.size());
    for (const auto& [key, data] : resources) {
        entries.push_back(ResourceEntry{std::get<0>(key), std::get<1>(key), std::get<2>(key), data});
    }
    return resources_detail::EncodeArchive(entries);
}

// Writes image + archive + trailer into the open temporary file.
HRESULT FillTemporary(int source, uint64_t imageSize, const std::string& archive, int temporary) {
    HRESULT hr = CopyPrefix(source, imageSize, temporary);
    if (SUCCEEDED(hr) && !archive.empty()) {
        hr = WriteAll(temporary, archive);
        if (SUCCEEDED(hr)) {
            hr = WriteAll(temporary, resources_detail::EncodeTrailer(archive, imageSize));
        }
    }
    return hr;
}

HRESULT WriteModule(const ResourceUpdate& update) {
    UniqueFd source;
    struct stat info {};
    HRESULT hr = resources_detail::OpenRegularFile(update.path, &source, &info);
    uint64_t imageSize = 0;
    if (SUCCEEDED(hr)) {
        hr = ImageSize(source.get(), static_cast<uint64_t>(info.st_size), &imageSize);
    }
    if (FAILED(hr)) {
        return hr;
    }
    // An empty set writes no archive at all, so the file goes back to being its plain image.
    std::string archive = update.resources.empty() ? std::string() : EncodeSet(update.resources);
    if (archive.size() > resources_detail::kMaxArchiveSize) {
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    // The file is replaced whole (platform/base/file_write.h), keeping its mode.
    HRESULT filled = S_OK;
    FileWriteResult written = WriteFileWholeBy(update.path, [&](int temporary) {
        filled = FillTemporary(source.get(), imageSize, archive, temporary);
        return SUCCEEDED(filled) ? 0 : EIO;
    });
    if (FAILED(filled)) {
        return filled;
    }
    return written ? S_OK : HResultFromErrno(written.error);
}

HRESULT ReadStartingSet(int fd, uint64_t fileSize, bool deleteExisting, ResourceUpdate* update) {
    Trailer trailer;
    HRESULT hr = resources_detail::LocateArchive(fd, fileSize, &trailer);
    if (FAILED(hr) || hr == S_FALSE || deleteExisting) {
        return FAILED(hr) ? hr : S_OK;
    }
    std::vector<ResourceEntry> entries;
    hr = resources_detail::ReadArchive(fd, trailer, &entries);
    if (FAILED(hr)) {
        return hr;
    }
    for (ResourceEntry& entry : entries) {
        update->resources[ResourceKey{entry.type, entry.name, entry.language}] = std::move(entry.data);
    }
    return S_OK;
}

} // namespace

HRESULT BeginUpdateResource(std::string_view path, bool deleteExisting, ResourceUpdateHandle* handle) {
    if (!handle) {
        return E_INVALIDARG;
    }
    *handle = nullptr;
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(std::filesystem::path(path), error);
    if (error) {
        return HResultFromErrno(error.value());
    }
    auto update = std::unique_ptr<ResourceUpdate>(new (std::nothrow) ResourceUpdate{resolved.string(), {}});
    if (!update) {
        return E_OUTOFMEMORY;
    }
    UniqueFd fd;
    struct stat info {};
    HRESULT hr = resources_detail::OpenRegularFile(update->path, &fd, &info);
    if (SUCCEEDED(hr) && ::access(update->path.c_str(), W_OK) != 0) {
        hr = HResultFromErrno(errno);
    }
    if (SUCCEEDED(hr)) {
        hr = ReadStartingSet(fd.get(), static_cast<uint64_t>(info.st_size), deleteExisting, update.get());
    }
    if (FAILED(hr)) {
        return hr;
    }
    *handle = update.release();
    return S_OK;
}

HRESULT UpdateResource(ResourceUpdateHandle handle, const ResourceId& type, const ResourceId& name,
                       WORD language, const void* data, DWORD size) {
    if (!handle || !IdFits(type) || !IdFits(name) || (!data && size != 0)) {
        return E_INVALIDARG;
    }
    ResourceKey key{type, name, language};
    if (!data) {
        handle->resources.erase(key);
        return S_OK;
    }
    handle->resources[key].assign(static_cast<const char*>(data), size);
    return S_OK;
}

HRESULT EndUpdateResource(ResourceUpdateHandle handle, bool discard) {
    if (!handle) {
        return E_INVALIDARG;
    }
    std::unique_ptr<ResourceUpdate> update(handle);
    return discard ? S_OK : WriteModule(*update);
}

} // namespace vr
