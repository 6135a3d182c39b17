// One hive file and this process's cached copy of its tree.
#include "platform/registry/hive_store.h"

#include "platform/registry/hive_text.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace vr::registry {
namespace {

// Stores of hive files no longer in use are dropped beyond this many (tests switch roots often); a dropped
// store only costs a reload.
constexpr size_t kMaxIdleStores = 16;

FILETIME FileTimeOf(const FileStamp& stamp) {
    if (!stamp.exists) {
        return FILETIME{0, 0};
    }
    // 100-nanosecond intervals since 1601-01-01.
    constexpr uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
    uint64_t ticks = (static_cast<uint64_t>(stamp.modified.tv_sec) + kSecondsFrom1601To1970) * 10000000ULL +
                     static_cast<uint64_t>(stamp.modified.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

HiveStore::HiveStore(std::string file, std::string hiveName)
    : file_(std::move(file)), hiveName_(std::move(hiveName)) {}

LONG HiveStore::Read(const ReadFunction& read) {
    std::lock_guard<std::mutex> guard(mutex_);
    LONG result = RefreshLocked();
    return result == ERROR_SUCCESS ? read(root_, FileTimeOf(stamp_)) : result;
}

LONG HiveStore::Write(const WriteFunction& write) {
    std::lock_guard<std::mutex> guard(mutex_);
    LONG result = CreateParentFolders(file_);
    FileLock lock;
    if (result == ERROR_SUCCESS) {
        result = FileLock::Acquire(file_ + ".lock", lock);
    }
    if (result == ERROR_SUCCESS) {
        result = RefreshLocked();
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    bool changed = false;
    result = write(root_, changed);
    if (result != ERROR_SUCCESS || !changed) {
        return result;
    }
    result = SaveLocked();
    if (result != ERROR_SUCCESS) {
        loaded_ = false; // the tree holds a change the file does not: read the file again next time
    }
    return result;
}

LONG HiveStore::RefreshLocked() {
    struct stat info;
    if (::stat(file_.c_str(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            return ErrorFromErrno(errno);
        }
        if (!loaded_ || stamp_.exists) {
            SetEmptyLocked();
        }
        return ERROR_SUCCESS;
    }
    if (loaded_ && S_ISREG(info.st_mode) && stamp_ == FileStamp::Of(info)) {
        return ERROR_SUCCESS;
    }
    return LoadLocked();
}

void HiveStore::SetEmptyLocked() {
    root_.Clear();
    stamp_ = FileStamp{};
    pinned_.Reset();
    unreadableText_.clear();
    unreadableLines_ = 0;
    loaded_ = true;
}

LONG HiveStore::LoadLocked() {
    UniqueFd fd;
    if (LONG opened = OpenRegularFile(file_, fd); opened != ERROR_SUCCESS) {
        if (opened == ERROR_FILE_NOT_FOUND) { // removed since the stat
            SetEmptyLocked();
            return ERROR_SUCCESS;
        }
        return opened;
    }
    // The stamp of the file actually read: a writer may have replaced the path since the stat.
    struct stat info;
    std::string text;
    if (::fstat(fd.Get(), &info) != 0) {
        return ErrorFromErrno(errno);
    }
    LONG result = ReadWholeFile(fd.Get(), text);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    ParsedHive parsed = ParseHive(text, hiveName_);
    root_ = std::move(parsed.root);
    unreadableLines_ = parsed.unreadableLines;
    unreadableText_ = unreadableLines_ > 0 ? std::move(text) : std::string();
    stamp_ = FileStamp::Of(info);
    pinned_ = std::move(fd);
    loaded_ = true;
    return ERROR_SUCCESS;
}

LONG HiveStore::SaveLocked() {
    if (unreadableLines_ > 0) {
        LONG result = SaveAsideLocked();
        if (result != ERROR_SUCCESS) {
            return result;
        }
    }
    UniqueFd written;
    LONG result = ReplaceFile(file_, FormatHive(root_, hiveName_), written);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    struct stat info;
    if (::fstat(written.Get(), &info) != 0) {
        stamp_ = FileStamp{true, 0, 0, -1, {}}; // matches no file: read it again next time
    } else {
        stamp_ = FileStamp::Of(info);
    }
    pinned_ = std::move(written);
    return ERROR_SUCCESS;
}

// Rewriting a hive drops the lines that could not be read. Before the first rewrite, the file as it was is
// copied to "<hive file>.unreadable-<n>" so that nothing in it is lost; when even that copy fails, the write
// is refused with ERROR_BADDB.
LONG HiveStore::SaveAsideLocked() {
    std::string copy;
    if (WriteToFreeName(file_ + ".unreadable", unreadableText_, copy) != ERROR_SUCCESS) {
        return ERROR_BADDB;
    }
    std::fprintf(stderr, "registry: %zu unreadable line(s) in %s; the file as it was is kept in %s\n",
                 unreadableLines_, file_.c_str(), copy.c_str());
    unreadableText_.clear();
    unreadableLines_ = 0;
    return ERROR_SUCCESS;
}

std::shared_ptr<HiveStore> StoreFor(const std::string& file, const std::string& hiveName) {
    static std::mutex mutex;
    // Never destroyed: the registry stays usable from other objects' destructors at exit.
    static auto& stores = *new std::map<std::string, std::shared_ptr<HiveStore>>();
    std::lock_guard<std::mutex> guard(mutex);
    auto found = stores.find(file);
    if (found != stores.end()) {
        return found->second;
    }
    if (stores.size() >= kMaxIdleStores) {
        std::erase_if(stores, [](const auto& entry) { return entry.second.use_count() == 1; });
    }
    auto store = std::make_shared<HiveStore>(file, hiveName);
    stores.emplace(file, store);
    return store;
}

} // namespace vr::registry
