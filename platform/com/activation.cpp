// Object creation: class objects registered by code, in-process servers found through the registry.
#include "platform/com/activation.h"

#include "platform/base/text.h"
#include "platform/com/activation_internal.h"
#include "platform/com/comptr.h"
#include "platform/rpc/local_server.h"

#include <mutex>
#include <thread>
#include <vector>

namespace {

struct ClassObjectRegistration {
    DWORD cookie;
    CLSID clsid;
    IUnknown* classObject; // one reference held by the table
    DWORD clsctx;
    DWORD flags;
    std::thread::id owner;
};

bool Serves(const ClassObjectRegistration& registration, DWORD clsctx) {
    if ((clsctx & CLSCTX_INPROC_SERVER) &&
        ((registration.clsctx & CLSCTX_INPROC_SERVER) ||
         ((registration.clsctx & CLSCTX_LOCAL_SERVER) && (registration.flags & REGCLS_MULTIPLEUSE)))) {
        return true;
    }
    return (clsctx & CLSCTX_LOCAL_SERVER) && (registration.clsctx & CLSCTX_LOCAL_SERVER);
}

// Class objects registered by code. References are released outside the lock: a class object's last
// Release may run code that registers or revokes again.
class ClassObjectTable {
public:
    static ClassObjectTable& Instance() {
        static auto* table = new ClassObjectTable; // never destroyed: revocations may run during exit
        return *table;
    }

    DWORD Add(const CLSID& clsid, IUnknown* classObject, DWORD clsctx, DWORD flags) {
        classObject->AddRef();
        std::lock_guard lock(mutex_);
        DWORD cookie = nextCookie_++;
        registrations_.push_back({cookie, clsid, classObject, clsctx, flags, std::this_thread::get_id()});
        return cookie;
    }

    bool Remove(DWORD cookie) {
        return RemoveWhere([cookie](const ClassObjectRegistration& r) { return r.cookie == cookie; }) > 0;
    }

    void RemoveOwnedBy(std::thread::id owner) {
        RemoveWhere([owner](const ClassObjectRegistration& r) { return r.owner == owner; });
    }

    vr::ComPtr<IUnknown> Find(const CLSID& clsid, DWORD clsctx) {
        std::lock_guard lock(mutex_);
        for (const auto& registration : registrations_) {
            if (registration.clsid == clsid && Serves(registration, clsctx)) {
                return vr::ComPtr<IUnknown>(registration.classObject);
            }
        }
        return nullptr;
    }

private:
    template <class Predicate>
    size_t RemoveWhere(Predicate matches) {
        std::vector<IUnknown*> released;
        {
            std::lock_guard lock(mutex_);
            std::erase_if(registrations_, [&](const ClassObjectRegistration& r) {
                if (!matches(r)) {
                    return false;
                }
                released.push_back(r.classObject);
                return true;
            });
        }
        for (IUnknown* classObject : released) {
            classObject->Release();
        }
        return released.size();
    }

    std::mutex mutex_;
    std::vector<ClassObjectRegistration> registrations_;
    DWORD nextCookie_ = 1;
};

HRESULT GetFromInprocServer(REFCLSID clsid, REFIID riid, void** ppv) {
    std::u16string path;
    if (!vr::detail::ReadClassesText(vr::detail::ClassKey(clsid) + u"\\InprocServer32", u"", path) ||
        path.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    return vr::detail::GetClassObjectFromLibrary(vr::ToUtf8(path), clsid, riid, ppv);
}

// Local servers: the running program of the class, or the LocalServer32 program started on demand.
HRESULT GetFromLocalServer(REFCLSID clsid, REFIID riid, void** ppv) {
    return vr::rpc::detail::GetLocalServerClassObject(clsid, riid, ppv);
}

} // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* /*serverInfo*/, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (vr::CurrentApartment() == vr::ApartmentKind::None) {
        return CO_E_NOTINITIALIZED;
    }
    if (auto registered = ClassObjectTable::Instance().Find(clsid, clsctx)) {
        return registered->QueryInterface(riid, ppv);
    }
    HRESULT hr = REGDB_E_CLASSNOTREG;
    if (clsctx & CLSCTX_INPROC_SERVER) {
        hr = GetFromInprocServer(clsid, riid, ppv);
    }
    if (hr == REGDB_E_CLASSNOTREG && (clsctx & CLSCTX_LOCAL_SERVER)) {
        hr = GetFromLocalServer(clsid, riid, ppv);
    }
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    vr::ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, clsctx, nullptr, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(outer, riid, ppv);
    if (FAILED(hr)) {
        *ppv = nullptr; // a failing factory may have left anything there
    }
    return hr;
}

void CoFreeUnusedLibrariesEx(DWORD unloadDelay, DWORD /*reserved*/) {
    // Long enough for a thread preempted just after its last release to leave the library's code.
    constexpr std::chrono::milliseconds kDefaultUnloadDelay{1000};
    vr::detail::FreeUnusedLibraries(unloadDelay == INFINITE ? kDefaultUnloadDelay
                                                            : std::chrono::milliseconds(unloadDelay));
}

void CoFreeUnusedLibraries() {
    CoFreeUnusedLibrariesEx(INFINITE, 0);
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD clsctx, DWORD flags,
                              DWORD* cookie) {
    if (!classObject || !cookie) {
        return E_INVALIDARG;
    }
    *cookie = 0;
    if (vr::CurrentApartment() == vr::ApartmentKind::None) {
        return CO_E_NOTINITIALIZED;
    }
    *cookie = ClassObjectTable::Instance().Add(clsid, classObject, clsctx, flags);
    if (clsctx & CLSCTX_LOCAL_SERVER) {
        // Other processes find it through the runtime folder.
        if (HRESULT hr = vr::rpc::detail::PublishClassObject(clsid, classObject, *cookie); FAILED(hr)) {
            ClassObjectTable::Instance().Remove(std::exchange(*cookie, 0));
            return hr;
        }
    }
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    vr::rpc::detail::UnpublishClassObject(cookie);
    return ClassObjectTable::Instance().Remove(cookie) ? S_OK : CO_E_OBJNOTREG;
}

namespace vr::detail {

void RevokeClassObjectsOfThisThread() {
    vr::rpc::detail::UnpublishClassObjectsOfThisThread();
    ClassObjectTable::Instance().RemoveOwnedBy(std::this_thread::get_id());
}

} // namespace vr::detail
