// The class object that shares one manager object among all clients of the server process.
#include "SingletonFactory.h"

#include "VrRigmont.h"

#include "platform/rpc/local_server.h"

#include <atomic>
#include <new>

namespace rigmont {

namespace {

// Threads: reference counts are atomic; CreateInstance only queries the one object, which may be done from
// any thread.
class SingletonFactory final : public IClassFactory {
public:
    explicit SingletonFactory(vr::ComPtr<IVrRigmont> manager) : manager_(std::move(manager)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        return manager_->QueryInterface(riid, ppv);
    }
    // A client's lock keeps the server process as a held object does.
    HRESULT LockServer(BOOL lock) override {
        if (lock) {
            CoAddRefServerProcess();
        } else {
            CoReleaseServerProcess();
        }
        return S_OK;
    }

private:
    ~SingletonFactory() = default;

    vr::ComPtr<IVrRigmont> manager_;
    std::atomic<ULONG> refs_{1};
};

} // namespace

HRESULT CreateSingletonFactory(IClassFactory** factory) {
    if (!factory) {
        return E_POINTER;
    }
    *factory = nullptr;
    vr::ComPtr<IVrRigmont> manager;
    if (HRESULT hr = vr::ComObject<CVrRigmont>::Create(&manager); FAILED(hr)) {
        return hr;
    }
    auto* made = new (std::nothrow) SingletonFactory(std::move(manager));
    if (!made) {
        return E_OUTOFMEMORY;
    }
    *factory = made;
    return S_OK;
}

} // namespace rigmont
