// The generation counter of the runtime folder's active-object registrations and the lookups remembered with
// it.
#include "platform/rpc/registrations.h"

#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

extern char** environ; // the process's environment table (POSIX)

namespace vr::rpc::detail {

namespace {

constexpr const char* kCounterFile = "rot-generation";

static_assert(std::atomic<uint64_t>::is_always_lock_free, "the counter is shared between processes");

// The environment variables that choose the runtime folder (vr::RuntimeFolder), the first one alone when set.
constexpr std::array<const char*, 4> kFolderVariables{"XDG_RUNTIME_DIR", "HOME", "TMPDIR", "XDG_CACHE_HOME"};

// What the environment said about the runtime folder when it was last chosen: compared on every lookup, so
// that a change of the environment takes effect at once. getenv's pointer changes with every setenv of
// another value; the text is compared too for a string changed in place after putenv. Every trace line makes
// this comparison, so where XDG_RUNTIME_DIR chose the folder its entry's place in the environment table is
// kept: while the table and that entry stand, getenv would find the same entry, and only its text is
// compared (setenv, putenv and unsetenv each change the table or the entry's place).
class FolderEnvironment {
public:
    static FolderEnvironment Now() {
        FolderEnvironment seen;
        for (size_t i = 0; i < kFolderVariables.size(); ++i) {
            seen.pointers_[i] = std::getenv(kFolderVariables[i]);
            seen.values_[i] = seen.pointers_[i] ? seen.pointers_[i] : "";
        }
        seen.table_ = environ;
        for (size_t i = 0; seen.pointers_[0] && *seen.pointers_[0] && environ && environ[i]; ++i) {
            if (environ[i] + std::strlen(kFolderVariables[0]) + 1 == seen.pointers_[0]) {
                seen.entry_ = static_cast<long>(i);
                break;
            }
        }
        return seen;
    }

    bool StillTheSame() const {
        if (entry_ >= 0 && environ == table_ && environ[entry_] != nullptr &&
            environ[entry_] + std::strlen(kFolderVariables[0]) + 1 == pointers_[0]) {
            return std::strcmp(pointers_[0], values_[0].c_str()) == 0;
        }
        for (size_t i = 0; i < kFolderVariables.size(); ++i) {
            const char* now = std::getenv(kFolderVariables[i]);
            if (now != pointers_[i] || (now && std::strcmp(now, values_[i].c_str()) != 0)) {
                return false;
            }
            if (i == 0 && now && *now) {
                return true; // XDG_RUNTIME_DIR alone chooses the folder
            }
        }
        return true;
    }

private:
    std::array<const char*, kFolderVariables.size()> pointers_{};
    std::array<std::string, kFolderVariables.size()> values_;
    char** table_ = nullptr; // the environment table when the variables were read
    long entry_ = -1;        // XDG_RUNTIME_DIR's place in it, when set and not empty
};

int64_t CoarseNowNanoseconds() {
    timespec now{};
    (void)clock_gettime(CLOCK_MONOTONIC_COARSE, &now); // a valid clock: cannot fail
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The counter file of one runtime folder, mapped shared; the mapping outlives the descriptor.
class CounterFile {
public:
    CounterFile() = default;
    CounterFile(const CounterFile&) = delete;
    CounterFile& operator=(const CounterFile&) = delete;
    ~CounterFile() { Unmap(); }

    // Maps the folder's counter file, making it when missing; false (nothing mapped) when it cannot be had: a
    // link, a directory, another user's file, no room. Opened without following links, and checked to be a
    // regular file of this user's, as the folder is.
    bool Map(const std::string& folder) {
        Unmap();
        std::string path = folder + "/" + kCounterFile;
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            return false;
        }
        struct stat info {};
        bool usable =
            fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == getuid() &&
            (info.st_size >= static_cast<off_t>(sizeof(uint64_t)) ||
             ftruncate(fd, sizeof(uint64_t)) == 0); // only ever grown: a second maker changes nothing
        void* mapped =
            usable ? mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
        (void)close(fd); // the mapping keeps the file; a failed close of a file only read loses nothing
        if (mapped == MAP_FAILED) {
            return false;
        }
        counter_ = static_cast<std::atomic<uint64_t>*>(mapped);
        device_ = info.st_dev;
        inode_ = info.st_ino;
        return true;
    }

    void Unmap() {
        if (counter_) {
            (void)munmap(counter_, sizeof(uint64_t)); // a mapping of ours: cannot fail
            counter_ = nullptr;
        }
    }

    bool Mapped() const { return counter_ != nullptr; }

    // Whether the folder's counter file is still the one mapped (not removed and made anew).
    bool IsTheFileOf(const std::string& folder) const {
        struct stat info {};
        return counter_ && lstat((folder + "/" + kCounterFile).c_str(), &info) == 0 &&
               info.st_dev == device_ && info.st_ino == inode_;
    }

    uint64_t Read() const { return counter_->load(std::memory_order_acquire); }
    void Bump() { counter_->fetch_add(1, std::memory_order_acq_rel); }

private:
    std::atomic<uint64_t>* counter_ = nullptr; // in the shared mapping
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// The file names of clsid's active objects published by processes other than this one, oldest first
// (a cookie's file is written once, and names sort by process and cookie).
std::vector<std::string> ReadPublishedNames(const std::string& folder, const CLSID& clsid) {
    std::string prefix = ActiveObjectFilePrefix(clsid);
    std::string own = std::to_string(getpid()) + "-";
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.starts_with(prefix) && name.find(".tmp") == std::string_view::npos &&
            !name.substr(prefix.size()).starts_with(own)) {
            names.emplace_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// What a lookup of one class found, and at which generation.
struct Remembered {
    CLSID clsid;
    uint64_t generation;
    std::vector<std::string> names;
};

class Registrations {
public:
    static Registrations& Instance() {
        static auto* instance = new Registrations; // used until the process ends, also by exit handlers
        return *instance;
    }

    bool KnownAbsent(const CLSID& clsid) {
        std::lock_guard lock(mutex_);
        const Remembered* found = CurrentLocked(clsid);
        return found && found->names.empty();
    }

    PublishedElsewhere Find(const CLSID& clsid) {
        PublishedElsewhere result;
        uint64_t generation = 0;
        bool counted = false;
        uint64_t mapping = 0;
        {
            std::lock_guard lock(mutex_);
            if (const Remembered* found = CurrentLocked(clsid)) {
                return {folder_, found->names};
            }
            result.folder = folder_;
            counted = counter_.Mapped();
            generation = counted ? counter_.Read() : 0; // read before the folder: see the header
            mapping = mappingNumber_;
        }
        if (result.folder.empty()) {
            return result;
        }
        result.names = ReadPublishedNames(result.folder, clsid);
        if (counted) {
            std::lock_guard lock(mutex_);
            if (mapping == mappingNumber_) { // the folder was not changed meanwhile (nor the process forked)
                RememberLocked({clsid, generation, result.names});
            }
        }
        return result;
    }

    void Bump(const std::string& folder) {
        std::lock_guard lock(mutex_);
        if (folder != folder_ || !StillValidLocked()) {
            RevalidateLocked();
        }
        if (folder == folder_ && counter_.Mapped()) {
            counter_.Bump();
            return;
        }
        CounterFile other; // a folder this process does not look in (the environment changed meanwhile)
        if (other.Map(folder)) {
            other.Bump();
        }
    }

    // Fork: the lock is taken around it, so that the child gets it free and a consistent state.
    void BeforeFork() { mutex_.lock(); }
    void AfterForkInParent() { mutex_.unlock(); }
    void AfterForkInChild() {
        remembered_.clear(); // the parent's own registrations are another process's now
        ++mappingNumber_;
        mutex_.unlock();
    }

private:
    Registrations() {
        (void)pthread_atfork([] { Instance().BeforeFork(); }, [] { Instance().AfterForkInParent(); },
                             [] { Instance().AfterForkInChild(); }); // ENOMEM only: the handlers are tiny
    }

    // What is remembered of clsid when it still holds; null when unknown or out of date.
    const Remembered* CurrentLocked(const CLSID& clsid) {
        if (!StillValidLocked()) {
            RevalidateLocked();
        }
        if (!counter_.Mapped()) {
            return nullptr;
        }
        uint64_t now = counter_.Read();
        for (const Remembered& entry : remembered_) {
            if (entry.clsid == clsid) {
                return entry.generation == now ? &entry : nullptr;
            }
        }
        return nullptr;
    }

    bool StillValidLocked() const {
        return environment_.StillTheSame() && CoarseNowNanoseconds() < validUntil_;
    }

    // Chooses the runtime folder afresh (with its checks of ownership and mode) and maps its counter file
    // when the folder or the file is not the one mapped.
    void RevalidateLocked() {
        environment_ = FolderEnvironment::Now();
        validUntil_ = CoarseNowNanoseconds() +
                      std::chrono::duration_cast<std::chrono::nanoseconds>(kRevalidation).count();
        std::string folder = RuntimeFolder();
        if (folder == folder_ && counter_.IsTheFileOf(folder)) {
            return;
        }
        remembered_.clear();
        ++mappingNumber_;
        folder_ = folder;
        if (folder_.empty() || !counter_.Map(folder_)) {
            counter_.Unmap();
        }
    }

    void RememberLocked(Remembered entry) {
        for (Remembered& existing : remembered_) {
            if (existing.clsid == entry.clsid) {
                existing = std::move(entry);
                return;
            }
        }
        remembered_.push_back(std::move(entry));
    }

    std::mutex mutex_;
    FolderEnvironment environment_;      // mutex_: what chose folder_
    int64_t validUntil_ = 0;             // mutex_: when folder_ and counter_ are looked at again
    std::string folder_;                 // mutex_: the runtime folder (empty: none usable)
    CounterFile counter_;                // mutex_: folder_'s counter, when it could be mapped
    uint64_t mappingNumber_ = 0;         // mutex_: changes with folder_, counter_ and at fork
    std::vector<Remembered> remembered_; // mutex_: lookups of counter_'s generations
};

} // namespace

std::string ActiveObjectFilePrefix(const CLSID& clsid) {
    return "active-" + ToUtf8(GuidToString(clsid)) + "-";
}

bool KnownAbsentElsewhere(const CLSID& clsid) {
    return Registrations::Instance().KnownAbsent(clsid);
}

PublishedElsewhere FindPublishedElsewhere(const CLSID& clsid) {
    return Registrations::Instance().Find(clsid);
}

void BumpRegistrationGeneration(const std::string& folder) {
    Registrations::Instance().Bump(folder);
}

} // namespace vr::rpc::detail
