// The cache of loaded in-process server libraries: loading, entry points, and unloading unused ones.
#include "platform/com/activation.h"

#include "platform/base/library_folder.h"
#include "platform/base/program_conventions.h"
#include "platform/com/activation_internal.h"

#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vr::detail {
namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT (*)();

struct InprocLibrary {
    void* handle = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr; // optional: a library without it is never unloaded
    // Guarded by the cache's mutex:
    int callsRunning = 0;
    // Since when the library has been found idle; no object of it can have been made since, as every object
    // comes from a class object asked for through the cache, which clears this.
    std::optional<std::chrono::steady_clock::time_point> idleSince;
};

thread_local std::string t_lastLoadError;

std::string LoaderError(const std::string& path, const char* what) {
    const char* text = dlerror();
    return path + ": " + (text ? text : what);
}

// The build this process started as, read as the platform library loads (before an installation can
// replace the stamp on disk); "unknown" when its program has no stamp beside it.
const std::string g_processBuild = vr::BuildStamp();

// A library whose folder carries another build's stamp than the one this process started as is not loaded:
// the two builds' libraries do not fit (an undefined symbol at best). Unknown stamps are taken. The refusal
// names the library, both builds and what to do.
bool IsOfThisBuild(const std::string& path, std::string* reason) {
    std::string stamp;
    std::getline(std::ifstream(path.substr(0, path.rfind('/')) + "/build.dat"), stamp);
    if (stamp.empty() || g_processBuild == "unknown" || stamp == g_processBuild) {
        return true;
    }
    std::string pid = std::to_string(getpid());
    *reason = path + " is of build " + stamp + ", this process (" + pid + ") of build " + g_processBuild +
              " (it started before an installation): it is not loaded; end this program (kill " + pid +
              ") and start it again.";
    return false;
}

// Opens the library and finds its entry points; the handle is closed again on any failure.
HRESULT Load(const std::string& path, InprocLibrary& library) {
    bool named = path.find('/') != std::string::npos;
    if (named && access(path.c_str(), F_OK) != 0) {
        SetLastLibraryLoadError(path + ": the library file does not exist");
        return CO_E_DLLNOTFOUND;
    }
    // A generated device library runs as whoever creates the device: only from a folder nobody else controls.
    if (std::string reason; named && !MayLoadLibrary(path, &reason)) {
        std::fprintf(stderr, "activation: %s\n", reason.c_str());
        SetLastLibraryLoadError(reason);
        return E_ACCESSDENIED;
    }
    if (std::string reason; named && !IsOfThisBuild(path, &reason)) {
        std::fprintf(stderr, "activation: %s\n", reason.c_str());
        SetLastLibraryLoadError(reason);
        return CO_E_ERRORINDLL;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastLibraryLoadError(LoaderError(path, "cannot be loaded"));
        // A bare name is searched for by the loader: not finding it is a missing library.
        return named ? CO_E_ERRORINDLL : CO_E_DLLNOTFOUND;
    }
    dlerror();
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!getClassObject) {
        SetLastLibraryLoadError(LoaderError(path, "exports no DllGetClassObject"));
        dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    library.handle = handle;
    library.getClassObject = getClassObject;
    library.canUnloadNow = reinterpret_cast<CanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    return S_OK;
}

// Libraries by registered path. The lock is never held while a library's code runs, except for the short
// DllCanUnloadNow answer, so a server may create objects from inside its own calls.
class LibraryCache {
public:
    static LibraryCache& Instance() {
        // Never destroyed: static destructors of other parts may still call in at exit.
        static auto* cache = new LibraryCache;
        return *cache;
    }

    // The library at path, loaded when not cached yet, with one running call counted (Unpin ends it).
    HRESULT Pin(const std::string& path, InprocLibrary*& pinned) {
        {
            std::lock_guard lock(mutex_);
            if (auto found = libraries_.find(path); found != libraries_.end()) {
                ++found->second->callsRunning;
                found->second->idleSince.reset();
                pinned = found->second.get();
                return S_OK;
            }
        }
        // Loading runs the library's constructors, which may activate other classes: outside the lock.
        auto loaded = std::make_unique<InprocLibrary>();
        HRESULT hr = Load(path, *loaded);
        if (FAILED(hr)) {
            return hr;
        }
        void* duplicate = nullptr;
        {
            std::lock_guard lock(mutex_);
            auto [entry, inserted] = libraries_.try_emplace(path, std::move(loaded));
            // Another thread may have loaded it meanwhile (try_emplace then leaves loaded alone); the loader
            // counted both opens, so ours is closed again.
            if (!inserted) {
                duplicate = loaded->handle;
            }
            ++entry->second->callsRunning;
            pinned = entry->second.get();
        }
        if (duplicate) {
            dlclose(duplicate);
        }
        return S_OK;
    }

    void Unpin(InprocLibrary* library) {
        std::lock_guard lock(mutex_);
        --library->callsRunning;
    }

    void FreeUnused(std::chrono::milliseconds delay) {
        std::vector<void*> unload;
        {
            std::lock_guard lock(mutex_);
            auto now = std::chrono::steady_clock::now();
            for (auto it = libraries_.begin(); it != libraries_.end();) {
                if (IdleLongEnough(*it->second, now, delay)) {
                    unload.push_back(it->second->handle);
                    it = libraries_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        // Closing runs the library's destructors: outside the lock.
        for (void* handle : unload) {
            dlclose(handle);
        }
    }

private:
    // Called with the lock held; DllCanUnloadNow only reads the library's count.
    static bool IdleLongEnough(InprocLibrary& library, std::chrono::steady_clock::time_point now,
                               std::chrono::milliseconds delay) {
        if (library.callsRunning > 0 || !library.canUnloadNow || library.canUnloadNow() != S_OK) {
            library.idleSince.reset();
            return false;
        }
        if (!library.idleSince) {
            library.idleSince = now;
        }
        return now - *library.idleSince >= delay;
    }

    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<InprocLibrary>> libraries_;
};

} // namespace

HRESULT GetClassObjectFromLibrary(const std::string& path, const CLSID& clsid, const IID& riid, void** ppv) {
    InprocLibrary* library = nullptr;
    HRESULT hr = LibraryCache::Instance().Pin(path, library);
    if (FAILED(hr)) {
        return hr;
    }
    hr = library->getClassObject(clsid, riid, ppv);
    LibraryCache::Instance().Unpin(library);
    return hr;
}

void FreeUnusedLibraries(std::chrono::milliseconds delay) {
    LibraryCache::Instance().FreeUnused(delay);
}

void SetLastLibraryLoadError(std::string text) {
    t_lastLoadError = std::move(text);
}

} // namespace vr::detail

namespace vr {

std::string LastLibraryLoadError() {
    return detail::t_lastLoadError;
}

} // namespace vr
