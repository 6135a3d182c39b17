// The probe server: one hand-written class behind the generated entry points, counting its library's locks.
#include "platform/com/server.h"
#include "platform/com/tests/activation_probe.h"

namespace {

class CActivationProbe final : public IActivationProbe {
public:
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* probe = new (std::nothrow) CActivationProbe;
        if (!probe) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = probe->QueryInterface(riid, ppv);
        probe->Release();
        return hr;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IActivationProbe) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IActivationProbe*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT Ping(LONG* value) override {
        *value = 42;
        return S_OK;
    }
    HRESULT ModuleLocks(LONG* count) override {
        *count = vr::module::LockCount().load();
        return S_OK;
    }

private:
    CActivationProbe() { vr::module::Lock(); }
    ~CActivationProbe() { vr::module::Unlock(); }

    std::atomic<ULONG> refs_{1};
};

constexpr GUID kCategories[] = {vrtest::CATID_ActivationProbe};

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = vrtest::CLSID_ActivationProbe,
     .createInstance = &CActivationProbe::CreateInstance,
     .progId = vrtest::kProbeProgId,
     .versionIndependentProgId = vrtest::kProbeIndependentProgId,
     .description = u"ActivationProbe Class",
     .threadingModel = vr::server::ThreadingModel::Both,
     .typeLib = vrtest::LIBID_ActivationProbe,
     .implementedCategories = kCategories,
     .programmable = true},
    {.clsid = vrtest::CLSID_ActivationProbeUnserved, .description = u"Unserved Class"},
};

} // namespace

VR_SERVER_EXPORTS(kClasses)
