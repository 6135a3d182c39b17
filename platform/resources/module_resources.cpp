// Reading a module file's resources and choosing one by type, name and language.
#include "platform/resources/module_resources.h"

#include "platform/base/win32errors.h"
#include "platform/resources/archive.h"

#include <algorithm>

namespace vr {

using resources_detail::Trailer;
using resources_detail::UniqueFd;

HRESULT ModuleResources::Open(std::string_view path, ModuleResources* resources) {
    if (!resources) {
        return E_POINTER;
    }
    *resources = ModuleResources();
    UniqueFd fd;
    struct stat info {};
    HRESULT hr = resources_detail::OpenRegularFile(std::string(path), &fd, &info);
    if (FAILED(hr)) {
        return hr;
    }
    Trailer trailer;
    hr = resources_detail::LocateArchive(fd.get(), static_cast<uint64_t>(info.st_size), &trailer);
    if (FAILED(hr)) {
        return hr;
    }
    ModuleResources read;
    if (hr == S_OK) {
        hr = resources_detail::ReadArchive(fd.get(), trailer, &read.entries_);
        if (FAILED(hr)) {
            return hr;
        }
        read.hasArchive_ = true;
    }
    *resources = std::move(read);
    return S_OK;
}

std::vector<ResourceId> ModuleResources::Types() const {
    std::vector<ResourceId> types;
    for (const ResourceEntry& entry : entries_) {
        if (types.empty() || types.back() != entry.type) {
            types.push_back(entry.type);
        }
    }
    return types;
}

std::vector<ResourceId> ModuleResources::Names(const ResourceId& type) const {
    std::vector<ResourceId> names;
    for (const ResourceEntry& entry : entries_) {
        if (entry.type == type && (names.empty() || names.back() != entry.name)) {
            names.push_back(entry.name);
        }
    }
    return names;
}

std::vector<WORD> ModuleResources::Languages(const ResourceId& type, const ResourceId& name) const {
    std::vector<WORD> languages;
    for (const ResourceEntry& entry : entries_) {
        if (entry.type == type && entry.name == name) {
            languages.push_back(entry.language);
        }
    }
    return languages;
}

HRESULT ModuleResources::FindName(const ResourceId& type, const ResourceId& name, size_t* first,
                                  size_t* end) const {
    if (!type.IsValid() || !name.IsValid()) {
        return E_INVALIDARG;
    }
    if (!hasArchive_) {
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    auto sameType = [&](const ResourceEntry& entry) { return entry.type == type; };
    if (std::none_of(entries_.begin(), entries_.end(), sameType)) {
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);
    }
    // Entries are ordered by type, then name: the languages of one name are neighbours.
    auto begin = std::find_if(entries_.begin(), entries_.end(), [&](const ResourceEntry& entry) {
        return entry.type == type && entry.name == name;
    });
    if (begin == entries_.end()) {
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    auto stop = std::find_if(begin, entries_.end(), [&](const ResourceEntry& entry) {
        return entry.type != type || entry.name != name;
    });
    *first = static_cast<size_t>(begin - entries_.begin());
    *end = static_cast<size_t>(stop - entries_.begin());
    return S_OK;
}

HRESULT ModuleResources::Find(const ResourceId& type, const ResourceId& name,
                              const ResourceEntry** entry) const {
    if (!entry) {
        return E_INVALIDARG;
    }
    *entry = nullptr;
    size_t first = 0;
    size_t end = 0;
    HRESULT hr = FindName(type, name, &first, &end);
    if (FAILED(hr)) {
        return hr;
    }
    // Languages are in ascending order, so the neutral one, when present, comes first anyway.
    *entry = &entries_[first];
    return S_OK;
}

HRESULT ModuleResources::Find(const ResourceId& type, const ResourceId& name, WORD language,
                              const ResourceEntry** entry) const {
    if (!entry) {
        return E_INVALIDARG;
    }
    *entry = nullptr;
    size_t first = 0;
    size_t end = 0;
    HRESULT hr = FindName(type, name, &first, &end);
    if (FAILED(hr)) {
        return hr;
    }
    for (size_t i = first; i < end; ++i) {
        if (entries_[i].language == language) {
            *entry = &entries_[i];
            return S_OK;
        }
    }
    return HRESULT_FROM_WIN32(ERROR_RESOURCE_LANG_NOT_FOUND);
}

HRESULT LoadModuleResource(std::string_view modulePath, const ResourceId& type, const ResourceId& name,
                           std::string* bytes) {
    if (!bytes) {
        return E_INVALIDARG;
    }
    ModuleResources resources;
    HRESULT hr = ModuleResources::Open(modulePath, &resources);
    const ResourceEntry* entry = nullptr;
    if (SUCCEEDED(hr)) {
        hr = resources.Find(type, name, &entry);
    }
    if (FAILED(hr)) {
        return hr;
    }
    *bytes = entry->data;
    return S_OK;
}

} // namespace vr
