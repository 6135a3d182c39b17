// Reading one of the programs' input files whole (code files, sequences, panels and their pictures, XML
// documents): only a regular file, and only up to a size limit.
//
// Usage:
//     std::string bytes;
//     if (vr::FileReadResult read = vr::ReadInputFile(path, &bytes); !read) { show read.reason; }
//
// A FIFO would block the reader until someone writes into it, a device such as /dev/zero would be read until
// memory runs out, and a folder holds no text: each is refused at once (the file is opened without blocking
// and looked at before anything is read), and so is a file larger than the limit, also one that grows past
// it while it is read.
//
// Threads: any. Failures: the result's error (an errno value, also left in errno: EISDIR for a folder, EINVAL
// for another kind of file, EFBIG for one too large), its reason (one sentence naming the file) and refused,
// which tells those three from a file that cannot be opened or read at all.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace vr {

// The limit of ReadInputFile unless the caller gives another one.
inline constexpr uint64_t kMaxInputFileBytes = 64ull * 1024 * 1024;

struct FileReadResult {
    int error = 0;        // 0 when read, else an errno value
    std::string reason;   // empty when read
    bool refused = false; // the file is there but is not taken: no regular file, or too large
    explicit operator bool() const { return error == 0; }
};

// What stands at a place that is no regular file, for messages: "a folder", "a FIFO", "a socket", "a device",
// else "no regular file".
const char* KindOfFile(mode_t mode);

// Replaces *bytes with the file's content; on failure *bytes is left empty.
[[nodiscard]] FileReadResult ReadInputFile(const std::string& path, std::string* bytes,
                                           uint64_t limit = kMaxInputFileBytes);

} // namespace vr
