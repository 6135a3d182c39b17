// The road of one test with one instrument query: Preset, Test and Reset posted to the test-execution worker,
// whose script reads the power supply's voltage through a socket of the `rigmont` process over the VISA
// connection; and that one read alone, a script function of a script executive in this thread reading the
// socket's property; both against the bare query of the same command on a VISA connection of this process to
// the same kind of loopback instrument, in one run. The road's calls wait on other threads and processes, so
// the ratios are of wall time ("ratio <name> <median time / median baseline time>").
#include "Rigmont/include/rigmont.h"
#include "bench/own_environment.h"
#include "bench/ratio_reporter.h"
#include "bench/worker_requests.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "common/worker/TestExecutive.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/scripting/activscp.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace vrbench {
namespace {

constexpr const char16_t* kScript =
    u"function Preset() {}\nfunction Test() { return Supply.Volt; }\nfunction Reset() {}\n";
constexpr const char16_t* kMethods[] = {u"Preset", u"Test", u"Reset"};
// The script of the executive in the benchmark's thread: one read of the socket's property.
constexpr const char16_t* kReadScript = u"function ReadSupply() { return Supply.Volt; }\n";

CTestExecutive* g_worker = nullptr;
IVrConnection* g_connection = nullptr;
IDispatch* g_readScript = nullptr;

void BM_BareQuery(benchmark::State& state) {
    BSTR query = vr::AllocBstr(u"VOLT1?\r\n");
    BSTR term = vr::AllocBstr(u"\n"); // answers come without carriage returns
    for (auto _ : state) {
        int32_t written = 0;
        BSTR answer = nullptr;
        if (FAILED(g_connection->WriteString(query, &written)) ||
            FAILED(g_connection->ReadString(term, -1, -1, &answer))) {
            state.SkipWithError("the connection query failed");
        }
        SysFreeString(answer);
    }
    SysFreeString(query);
    SysFreeString(term);
}
BENCHMARK(BM_BareQuery)->UseRealTime();

void BM_RoadOfOneTest(benchmark::State& state) {
    for (auto _ : state) {
        for (const char16_t* method : kMethods) {
            if (!RunRequest(*g_worker, method)) {
                state.SkipWithError("a request failed");
                return;
            }
        }
    }
}
BENCHMARK(BM_RoadOfOneTest)->UseRealTime();

// One script property read of the socket in the hardware manager: the script function called by its DISPID.
void BM_ScriptSocketRead(benchmark::State& state) {
    LPOLESTR name = const_cast<LPOLESTR>(u"ReadSupply");
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(g_readScript->GetIDsOfNames(IID_NULL, &name, 1, 0, &id))) {
        state.SkipWithError("the script has no ReadSupply");
        return;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (auto _ : state) {
        VARIANT value;
        VariantInit(&value);
        HRESULT hr = g_readScript->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &value, nullptr, nullptr);
        bool read = SUCCEEDED(hr) && (value.vt == VT_R8 || value.vt == VT_I4); // a whole volt comes as VT_I4
        (void)VariantClear(&value);                                            // a number: nothing is freed
        if (!read) {
            state.SkipWithError("the script's read failed");
            return;
        }
    }
}
BENCHMARK(BM_ScriptSocketRead)->UseRealTime();

HRESULT SaveRecord(IVrRigmont* manager, std::u16string_view type, std::u16string_view name,
                   std::u16string_view server, const std::string& resource, const std::string& setup) {
    BSTR texts[] = {vr::AllocBstr(type), vr::AllocBstr(name), vr::AllocBstr(server),
                    vr::AllocBstrUtf8(resource), vr::AllocBstrUtf8(setup)};
    HRESULT hr = manager->SaveRecord(texts[0], texts[1], texts[2], texts[3], texts[4]);
    for (BSTR text : texts) {
        SysFreeString(text);
    }
    return hr;
}

// The store of this run with the socket `Supply` over the connection `RoadLink` to the road's instrument.
bool PrepareRecords(const std::string& folder, const vrvisatest::LoopbackInstrument& instrument,
                    vr::ComPtr<IVrRigmont>* manager) {
    std::string store = folder + "/RoadStore.cfs";
    std::ofstream(store) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
                            "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
                            "</connections><sockets/></ConfigStore>\n";
    CVrConfigData config;
    BSTR path = vr::AllocBstrUtf8(store);
    bool stored = config.StoreItem("ConfigStoreFile", path);
    SysFreeString(path);
    return stored &&
           SUCCEEDED(CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, IID_IVrRigmont,
                                      manager->PutVoid())) &&
           SUCCEEDED(SaveRecord(manager->Get(), u"connection", u"RoadLink", u"Vornic.CnVISA",
                                instrument.SocketResource(), "")) &&
           SUCCEEDED(SaveRecord(manager->Get(), u"socket", u"Supply", u"Vornic.Socket", "RoadLink",
                                std::string("AdapterFile=") + VR_BENCH_DATA "/plugmar_powersupply.daf"));
}

bool OpenBareConnection(const vrvisatest::LoopbackInstrument& instrument, vr::ComPtr<IVrConnection>* made) {
    CLSID connectionClass;
    if (FAILED(CLSIDFromProgID(kCnVisaIndependentProgId, &connectionClass)) ||
        FAILED(CoCreateInstance(connectionClass, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrConnection>(),
                                made->PutVoid()))) {
        return false;
    }
    BSTR resource = vr::AllocBstrUtf8(instrument.SocketResource());
    BSTR empty = vr::AllocBstr(u"");
    HRESULT hr = (*made)->Init(resource, empty, 2000, _NO_LOCK);
    SysFreeString(resource);
    SysFreeString(empty);
    return SUCCEEDED(hr);
}

bool LoadInto(CTestExecutive& worker) {
    HRESULT hr = worker.Set(vr::AllocBstr(u"JScript"), vr::AllocBstr(kScript), vr::AllocBstr(u""),
                            vr::AllocBstr(u"sn=Bench"));
    return SUCCEEDED(hr) && RunRequest(worker, u"") && RunRequest(worker, u"Test");
}

// A test engine and a script executive in this thread whose script reads the socket; its script dispatch.
bool LoadReadScript(vr::ComPtr<IVrTestEngine>* engine, vr::ComPtr<IScrivon>* executive,
                    vr::ComPtr<IDispatch>* script) {
    if (FAILED(CoCreateInstance(CLSID_TestEngine, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrTestEngine>(),
                                engine->PutVoid())) ||
        FAILED(CoCreateInstance(CLSID_TestScriptExecutive, nullptr, CLSCTX_INPROC_SERVER,
                                vr::uuidof<IScrivon>(), executive->PutVoid())) ||
        FAILED((*executive)->Init(engine->Get()))) {
        return false;
    }
    BSTR language = vr::AllocBstr(u"JScript");
    BSTR code = vr::AllocBstr(kReadScript);
    bool loaded =
        SUCCEEDED((*executive)->put_ScriptLanguage(language)) && SUCCEEDED((*executive)->AddScript(code));
    SysFreeString(language);
    SysFreeString(code);
    vr::ComPtr<IUnknown> unknown;
    vr::ComPtr<IActiveScript> scriptEngine;
    return loaded && SUCCEEDED((*executive)->get_ScriptEngine(unknown.Put())) && unknown &&
           SUCCEEDED(unknown.As(&scriptEngine)) &&
           SUCCEEDED(scriptEngine->SetScriptState(SCRIPTSTATE_CONNECTED)) &&
           SUCCEEDED(scriptEngine->GetScriptDispatch(nullptr, script->Put()));
}

int Run(int argc, char** argv, const std::string& folder) {
    vr::RegisterSystemProxies();
    vrvisatest::LoopbackInstrument roadInstrument;
    vrvisatest::LoopbackInstrument bareInstrument;
    vr::ComPtr<IVrRigmont> manager;
    vr::ComPtr<IVrConnection> connection;
    if (!roadInstrument.Start("\\r\\n") || !bareInstrument.Start("\\r\\n") ||
        !PrepareRecords(folder, roadInstrument, &manager) ||
        !OpenBareConnection(bareInstrument, &connection)) {
        std::fprintf(stderr, "road_bench: the instruments, the hardware manager or the connection failed\n");
        return 1;
    }
    auto worker = std::make_unique<CTestExecutive>();
    vr::ComPtr<IVrTestEngine> engine;
    vr::ComPtr<IScrivon> executive;
    vr::ComPtr<IDispatch> readScript;
    if (!worker->EngineProxy || !LoadInto(*worker) || !LoadReadScript(&engine, &executive, &readScript)) {
        std::fprintf(stderr, "road_bench: the worker or a script failed\n");
        return 1;
    }
    g_worker = worker.get();
    g_connection = connection.Get();
    g_readScript = readScript.Get();
    int result = RunWithRatios(argc, argv, "BM_BareQuery", RatioTime::Wall);
    g_worker = nullptr;
    g_connection = nullptr;
    g_readScript = nullptr;
    readScript = nullptr;
    (void)executive->Close(); // the benchmark's result is already printed
    worker.reset();
    return result;
}

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    std::string folder = vrbench::PrepareOwnEnvironment("road-bench", VR_BUILD_REGISTRY_DIR);
    if (folder.empty() || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    int result = vrbench::Run(argc, argv, folder);
    CoUninitialize();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
