// Rewriting the resources of a module file (a copied library being stamped, a build step embedding them).
#pragma once

#include "platform/base/types.h"
#include "platform/com/hresult.h"
#include "platform/resources/resource_id.h"

#include <string_view>

namespace vr {

// An update in progress: the resource set the file will carry, collected in memory until the update ends.
struct ResourceUpdate;
using ResourceUpdateHandle = ResourceUpdate*;

// Starts an update of the module file at path (symbolic links are followed: the file they name is updated).
// With deleteExisting the file's current resources are dropped, else they are the starting set. The file
// must be a regular file this process may write. Failures: the Windows error of opening the file,
// ERROR_ACCESS_DENIED when it may not be written, ERROR_INVALID_DATA when its archive is damaged (with
// deleteExisting a damaged archive is replaced, as long as its trailer still says where it starts),
// E_INVALIDARG for a null handle pointer. Nothing is written before EndUpdateResource.
[[nodiscard]] HRESULT BeginUpdateResource(std::string_view path, bool deleteExisting,
                                          ResourceUpdateHandle* handle);

// Adds or replaces the resource (type, name, language) with size bytes at data; with data null (and size 0)
// removes it, which is no error when it is absent. E_INVALIDARG for a null handle, an invalid id, a name
// longer than 65535 code units, or a null data with a non-zero size.
[[nodiscard]] HRESULT UpdateResource(ResourceUpdateHandle handle, const ResourceId& type,
                                     const ResourceId& name, WORD language, const void* data, DWORD size);

// Ends the update and frees the handle, whatever the result. With discard nothing is written. Otherwise the
// file is rewritten in one step: its image (everything before its current archive, read again now) and the
// new archive go to a temporary file in the same folder, which gets the file's permission bits and then
// replaces the file by rename. Readers (and programs that have the file loaded) see the old or the new file,
// never a mixture; on failure the file is unchanged and the temporary file removed. A file left without
// resources is written back to exactly its image. ERROR_FILE_TOO_LARGE when the resources exceed 1 GiB.
[[nodiscard]] HRESULT EndUpdateResource(ResourceUpdateHandle handle, bool discard);

// Threads: a handle is used by one thread at a time; updates of different files may run on any threads. Two
// updates of the same file at once do not merge: the one that ends last wins.

} // namespace vr
