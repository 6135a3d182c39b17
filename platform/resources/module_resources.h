// Reading the resources a module file carries: find, load and enumerate them by the module's path.
#pragma once

#include "platform/base/types.h"
#include "platform/com/hresult.h"
#include "platform/resources/resource_id.h"

#include <string>
#include <string_view>
#include <vector>

// Where the resources live: a module (a shared library or a program) carries them in a resource archive
// appended after its ELF image, which the loader never reads, so a library keeps loading with or without them
// and a copy of the file can be given new ones without a linker:
//
//     [ELF image][archive][trailer]
//
// archive: uint32 entry count, then per entry: type id, name id, uint16 language, uint32 data size, data.
//          An id is a uint8 kind (0 = number: uint16 value; 1 = name: uint16 length in code units, then
//          the upper-case UTF-16 code units). Entries are in order (type, name, language), each key once.
// trailer: the last 32 bytes of the file: uint64 archive offset, uint64 archive size, uint32 CRC-32 of the
//          archive, uint32 format version (1), 8 magic bytes "VRRSRC\r\n". The archive ends where the trailer
//          begins.
// All numbers are little-endian. A file without the magic at its end has no resources (an empty or short file
// too). A file whose trailer is there but whose archive does not check out (offsets, size, checksum, version,
// any record) is damaged: readers report ERROR_INVALID_DATA and never read outside what the trailer bounds.
// Tools that rewrite the ELF file itself (strip, objcopy) drop what follows the image: embed after them.

namespace vr {

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    WORD language = LANG_NEUTRAL;
    std::string data;
};

// The resources of one module file, read at once (the file may be replaced afterwards: these stay as read).
// Threads: a ModuleResources is a value; const members may be used from several threads at once.
class ModuleResources {
public:
    // Reads the resources of the file at path. S_OK also for a file that carries none. Failures: the Windows
    // error of a file that cannot be opened or read (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), ...; a path
    // that is no regular file gives ERROR_FILE_NOT_FOUND), ERROR_INVALID_DATA for a damaged archive.
    [[nodiscard]] static HRESULT Open(std::string_view path, ModuleResources* resources);

    // Whether the file carries a resource archive at all.
    bool HasArchive() const { return hasArchive_; }
    // Every resource, ordered by type, name and language.
    const std::vector<ResourceEntry>& Entries() const { return entries_; }

    std::vector<ResourceId> Types() const;
    std::vector<ResourceId> Names(const ResourceId& type) const;
    std::vector<WORD> Languages(const ResourceId& type, const ResourceId& name) const;

    // The resource (type, name) in LANG_NEUTRAL when there is one, else in its lowest language. Failures
    // (HRESULT_FROM_WIN32 of): ERROR_RESOURCE_DATA_NOT_FOUND when the file has no archive,
    // ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND; E_INVALIDARG for an invalid id or a null
    // entry. *entry points into this object.
    [[nodiscard]] HRESULT Find(const ResourceId& type, const ResourceId& name,
                               const ResourceEntry** entry) const;
    // The resource in exactly this language; ERROR_RESOURCE_LANG_NOT_FOUND when only others exist.
    [[nodiscard]] HRESULT Find(const ResourceId& type, const ResourceId& name, WORD language,
                               const ResourceEntry** entry) const;

private:
    [[nodiscard]] HRESULT FindName(const ResourceId& type, const ResourceId& name, size_t* first,
                                   size_t* end) const;

    bool hasArchive_ = false;
    std::vector<ResourceEntry> entries_;
};

// One resource's bytes from the module file at modulePath, chosen as ModuleResources::Find chooses; the
// failures of ModuleResources::Open and Find. Any thread.
[[nodiscard]] HRESULT LoadModuleResource(std::string_view modulePath, const ResourceId& type,
                                         const ResourceId& name, std::string* bytes);

} // namespace vr
