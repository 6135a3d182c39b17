// One hive file and this process's cached copy of its tree: reads reload it when another writer changed it,
// writes are read-modify-write under the writers' lock.
#pragma once

#include "platform/registry/hive_files.h"
#include "platform/registry/hive_tree.h"
#include "platform/registry/registry.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vr::registry {

// Thread contract: every member may be called from any thread. Calls on one store run one at a time (its
// mutex), and the function passed in runs under that mutex, so it must not call the registry itself.
// Across processes, writers take an exclusive flock on "<hive file>.lock" and replace the file atomically;
// readers take no lock and see either the old or the new file.
class HiveStore {
public:
    HiveStore(std::string file, std::string hiveName);

    using ReadFunction = std::function<LONG(const RegKey& root, const FILETIME& lastWrite)>;
    // Changes the tree and sets `changed` when the file must be rewritten. A function that fails must leave
    // the tree as it was.
    using WriteFunction = std::function<LONG(RegKey& root, bool& changed)>;

    // Runs `read` on the current content of the hive (a missing file is an empty hive).
    [[nodiscard]] LONG Read(const ReadFunction& read);
    // Creates the folder when missing, locks the hive against other writers, brings the tree up to date with
    // the file, runs `write` and writes the file when something changed.
    [[nodiscard]] LONG Write(const WriteFunction& write);

private:
    std::mutex mutex_;
    const std::string file_;
    const std::string hiveName_;
    RegKey root_;
    bool loaded_ = false;
    FileStamp stamp_;
    // The file the tree was read from (or last written), kept open: while it is open its inode number cannot
    // be given to a newer file, so an equal stamp really means the same file.
    UniqueFd pinned_;
    // The text of a file with unreadable lines, kept until it has been saved aside (see SaveAsideLocked).
    std::string unreadableText_;
    size_t unreadableLines_ = 0;

    LONG RefreshLocked();
    LONG LoadLocked();
    void SetEmptyLocked();
    LONG SaveLocked();
    LONG SaveAsideLocked();
};

// The store of a hive file; all callers in this process share it while they use it.
std::shared_ptr<HiveStore> StoreFor(const std::string& file, const std::string& hiveName);

} // namespace vr::registry
