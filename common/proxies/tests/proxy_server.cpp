// A local server of the fake hardware manager: the far process of the typed-proxy tests ("-Embedding"),
// leaving when no client has held anything for a while.
#include "fake_objects.h"

#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/rpc/local_server.h"

#include <atomic>
#include <chrono>
#include <cstring>

namespace {

class FakeRigmontFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            AddRef();
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; } // lives as long as the program
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        return proxytest::MakeFakeRigmont()->QueryInterface(riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    std::atomic<ULONG> refs_{1};
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "-Embedding") != 0 || FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    FakeRigmontFactory factory;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(proxytest::CLSID_FakeRigmontServer, &factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie))) {
        return 2;
    }
    vr::rpc::ServeUntilIdle(std::chrono::seconds(3));
    static_cast<void>(CoRevokeClassObject(cookie));
    CoUninitialize();
    return 0;
}
