// Saving a file whole: the new content replaces the old one in one step, or the old file stays byte for byte.
//
// Usage:
//     vr::FileWriteResult saved = vr::WriteFileWhole(path, bytes);
//     if (!saved) { show saved.reason; }
//
// How a save goes: a temporary file of an unguessable name is made exclusively beside the file (O_EXCL, never
// through a link someone put there), filled, flushed to disk, given the old file's permissions and renamed
// over the file; then the folder is flushed, so a power cut leaves the old file or the new one, never an
// empty one. A path that is a symbolic link is resolved first: the link's final target is replaced, with the
// temporary file beside the target, and the link stays a link. A link that another user put into a folder
// everyone may write (a sticky shared folder, as /tmp) is not followed, as the kernel does not follow it
// either. Where no temporary file can be made (a folder the user may not write, a full disk), the save is
// refused with the reason: the file is never truncated and written in place. A file the user may not write
// (read-only) is not replaced either, though its folder would allow the rename.
//
// A replaced file keeps its mode, and its owner and group where the user may keep them; a new file gets 0666
// less the umask, or the exact mode asked for.
//
// Threads: any; nothing is shared between calls. Failures: the result's error (an errno value, also left in
// errno), its reason (one sentence naming the file and what stood in the way) and the why alone.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace vr {

enum class FileWriteMode {
    Replace,   // the file is made or replaced
    CreateNew, // the file is made; one that is there already (or a link in its place) fails with EEXIST
};

struct FileWriteOptions {
    FileWriteMode mode = FileWriteMode::Replace;
    std::optional<mode_t> exactMode; // the new file's mode whatever the umask and the old file's mode
};

struct FileWriteResult {
    int error = 0;           // 0 when saved, else an errno value
    std::string reason;      // empty when saved: "Couldn't save 'path': " and the why
    std::string why;         // what stood in the way ("No space left on device; the file is left as it was.")
    std::string writtenPath; // the file replaced: the path itself, or the target of the link it named
    bool opened = false;     // the temporary file was made: the failure came while writing or replacing
    explicit operator bool() const { return error == 0; }
};

// Writes the whole content into the open temporary file; returns 0 or an errno value.
using FileFiller = std::function<int(int fd)>;

[[nodiscard]] FileWriteResult WriteFileWhole(const std::string& path, std::string_view bytes,
                                             const FileWriteOptions& options = {});
// The same, the content written by fill (for content copied from another file).
[[nodiscard]] FileWriteResult WriteFileWholeBy(const std::string& path, const FileFiller& fill,
                                               const FileWriteOptions& options = {});

// Writes all of bytes to fd, going on after partial writes and interrupted calls; 0 or an errno value.
[[nodiscard]] int WriteAllTo(int fd, std::string_view bytes);

} // namespace vr
