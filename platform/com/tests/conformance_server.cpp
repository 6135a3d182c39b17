// The conformance server program: serves conformance objects as a local server ("-Embedding"), so the
// conformance suite can run its calls across processes; it leaves when no client has held anything for a
// while.
#include "conformance.h"

#include "platform/com/activation.h"
#include "platform/rpc/local_server.h"

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "-Embedding") != 0) {
        std::fprintf(stderr, "usage: conformance_server -Embedding\n");
        return 1;
    }
    if (FAILED(CoInitialize(nullptr))) {
        return 2;
    }
    // Objects of the clients arrive here too (call-backs), and are called through the same typed proxy.
    vrtest::RegisterConformanceProxy();
    vr::ComPtr<IUnknown> factory;
    DWORD cookie = 0;
    if (FAILED(vrtest::CreateConformanceFactory(IID_IUnknown, factory.PutVoid())) ||
        FAILED(CoRegisterClassObject(vrtest::CLSID_ConformanceServer, factory.Get(), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie))) {
        return 3;
    }
    vr::rpc::ServeUntilIdle(std::chrono::seconds(3));
    static_cast<void>(CoRevokeClassObject(cookie));
    factory = nullptr;
    CoUninitialize();
    return 0;
}
