// The probe server program: serves the probe class as a local server ("-Embedding") and leaves when no client
// has held anything for a while; "--client <children>" makes it a client that takes objects of the server
// and ends without giving them back, as a crashing client would.
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/rot.h"
#include "platform/rpc/local_server.h"
#include "platform/rpc/tests/probe.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace rpctest {
HRESULT CreateProbeFactory(REFIID riid, void** ppv);
}

namespace {

int Serve() {
    if (FAILED(CoInitialize(nullptr))) {
        return 2;
    }
    vr::ComPtr<IUnknown> factory;
    DWORD classCookie = 0;
    if (FAILED(rpctest::CreateProbeFactory(IID_IUnknown, factory.PutVoid())) ||
        FAILED(CoRegisterClassObject(rpctest::CLSID_RpcProbe, factory.Get(), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &classCookie))) {
        return 3;
    }
    vr::ComPtr<IDispatch> active = rpctest::MakeProbe(77);
    DWORD activeCookie = 0;
    static_cast<void>(RegisterActiveObject(active.Get(), rpctest::CLSID_RpcProbeActive, ACTIVEOBJECT_STRONG,
                                           &activeCookie));
    vr::rpc::ServeUntilIdle(std::chrono::seconds(3));
    // Unpublished first, so no client finds a server that is leaving.
    static_cast<void>(CoRevokeClassObject(classCookie));
    static_cast<void>(RevokeActiveObject(activeCookie, nullptr));
    active = nullptr;
    factory = nullptr;
    CoUninitialize();
    return 0;
}

int HoldAndVanish(int children) {
    if (FAILED(CoInitialize(nullptr))) {
        return 2;
    }
    vr::ComPtr<IDispatch> probe;
    if (HRESULT hr = CoCreateInstance(rpctest::CLSID_RpcProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                      probe.PutVoid());
        FAILED(hr)) {
        std::fprintf(stderr, "rpc_probe_server: no probe (0x%08X)\n", static_cast<unsigned>(hr));
        return 4;
    }
    for (int i = 0; i < children; ++i) {
        VARIANT tag;
        tag.vt = VT_I4;
        tag.lVal = i;
        VARIANT child;
        VariantInit(&child);
        if (FAILED(rpctest::CallProbe(probe.Get(), rpctest::kMakeChild, {tag}, &child))) {
            return 5;
        }
        static_cast<void>(child.pdispVal->AddRef()); // one more than the VARIANT gives back: never returned
        static_cast<void>(VariantClear(&child));
    }
    probe->AddRef();
    std::printf("holding\n");
    std::fflush(stdout);
    _exit(0); // no release reaches the server: it learns from the closed connection
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-Embedding") == 0) {
            return Serve();
        }
        if (std::strcmp(argv[i], "--client") == 0 && i + 1 < argc) {
            return HoldAndVanish(std::atoi(argv[i + 1]));
        }
    }
    std::fprintf(stderr, "usage: rpc_probe_server -Embedding | --client <children>\n");
    return 1;
}
