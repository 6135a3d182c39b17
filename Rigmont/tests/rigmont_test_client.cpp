// A client program of the hardware manager for the cross-process tests: it reaches the `rigmont` server the
// way every program does (by CLSID, as a local server) and works on one connection record.
//
//   rigmont_test_client exchange <record> <tag> <count>   <count> queries "ECHO <tag>-<i>", each answer
//                                                        checked; prints "DONE <count>" or "MISMATCH ..."
//   rigmont_test_client hold <record>                    keeps a connection (and nothing else of the
//                                                        server), prints "HOLDING" and waits to be killed
#include "Rigmont/include/rigmont.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "tests/support/com_holders.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using vrtest::Bstr;
using vrtest::Missing;

int Fail(const char* what, HRESULT hr) {
    std::printf("FAILED %s 0x%08X\n", what, static_cast<unsigned>(hr));
    return 1;
}

HRESULT Connect(const char* record, vr::ComPtr<IVrConnection>* connection) {
    vr::ComPtr<IVrRigmont> manager;
    HRESULT hr =
        CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, IID_IVrRigmont, manager.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = manager->CreateConnection(Bstr(vr::FromUtf8(record)), Missing(), connection->Put());
    }
    return hr;
}

int Exchange(const char* record, const std::string& tag, int count) {
    vr::ComPtr<IVrConnection> connection;
    if (HRESULT hr = Connect(record, &connection); FAILED(hr)) {
        return Fail("connect", hr);
    }
    for (int i = 0; i < count; ++i) {
        std::string expected = tag + "-" + std::to_string(i);
        int32_t written = 0;
        if (HRESULT hr = connection->WriteString(Bstr(vr::FromUtf8("ECHO " + expected)), &written);
            FAILED(hr)) {
            return Fail("write", hr);
        }
        BSTR answer = nullptr;
        HRESULT hr = connection->ReadString(Bstr(u"\n"), -1, -1, &answer);
        std::string text = vr::BstrToUtf8(answer);
        SysFreeString(answer);
        if (FAILED(hr)) {
            return Fail("read", hr);
        }
        if (text != expected + "\n") {
            std::printf("MISMATCH %d '%s'\n", i, text.c_str());
            return 2;
        }
    }
    std::printf("DONE %d\n", count);
    return 0;
}

int Hold(const char* record) {
    vr::ComPtr<IVrConnection> connection;
    if (HRESULT hr = Connect(record, &connection); FAILED(hr)) {
        return Fail("connect", hr);
    }
    std::printf("HOLDING\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(2));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (FAILED(CoInitialize(nullptr))) {
        return Fail("CoInitialize", E_FAIL);
    }
    vr::RegisterSystemProxies();
    int result = 3;
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "exchange" && argc == 5) {
        result = Exchange(argv[2], argv[3], std::atoi(argv[4]));
    } else if (command == "hold" && argc == 3) {
        result = Hold(argv[2]);
    } else {
        std::printf("usage: rigmont_test_client exchange <record> <tag> <count> | hold <record>\n");
    }
    std::fflush(stdout);
    CoUninitialize();
    return result;
}
