// A socket property read (dev.Volt as a script makes it: Invoke with the DISPID its host object looked up
// once) against the loopback instrument, versus the bare connection query of the same command (WriteString,
// then ReadString to the line feed) on the same VISA connection (CnVISA) in the same run. Reports wall time
// per read and the socket's own share of it (compose, parse, typing, dispatch and trace).
#include "instrel.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "plugmar.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

vr::ComPtr<IVrConnection> g_connection;
vr::ComPtr<ISocket> g_socket;

void BareConnectionQuery(benchmark::State& state) {
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

void SocketPropertyRead(benchmark::State& state) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Volt")};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(g_socket->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        state.SkipWithError("the socket has no Volt");
        return;
    }
    for (auto _ : state) {
        _variant_t value;
        if (FAILED(g_socket->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                                    nullptr, nullptr)) ||
            value.vt != VT_R8) {
            state.SkipWithError("the socket's property read failed");
        }
    }
}

BENCHMARK(BareConnectionQuery)->UseRealTime()->MinTime(2.0);
BENCHMARK(SocketPropertyRead)->UseRealTime()->MinTime(2.0);

// Keeps each benchmark's wall time per iteration beside the usual table.
class WallTimeReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> perIteration; // nanoseconds

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.iterations > 0 && !run.error_occurred) {
                perIteration[run.benchmark_name()] =
                    run.real_accumulated_time * 1e9 / static_cast<double>(run.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

bool SetUp(vrvisatest::LoopbackInstrument& instrument) {
    ::setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 1);
    CLSID connectionClass;
    if (!instrument.Start("\\r\\n") || FAILED(CoInitialize(nullptr)) ||
        FAILED(CLSIDFromProgID(kCnVisaIndependentProgId, &connectionClass)) ||
        FAILED(CoCreateInstance(connectionClass, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrConnection>(),
                                g_connection.PutVoid()))) {
        return false;
    }
    BSTR resource = vr::AllocBstrUtf8(instrument.SocketResource());
    BSTR empty = vr::AllocBstr(u"");
    HRESULT hr = g_connection->Init(resource, empty, 2000, _NO_LOCK);
    SysFreeString(resource);
    SysFreeString(empty);
    CLSID clsid;
    if (FAILED(hr) || FAILED(CLSIDFromProgID(kSocketIndependentProgId, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<ISocket>(),
                                g_socket.PutVoid()))) {
        return false;
    }
    BSTR options =
        vr::AllocBstrUtf8(std::string("AdapterFile=") + PLUGMAR_BENCH_DATA "/plugmar_powersupply.daf");
    hr = g_socket->Init(options, _variant_t(static_cast<IDispatch*>(g_connection.Get())));
    SysFreeString(options);
    BSTR setting = vr::AllocBstr(u"VOLT1 12.5\r\n");
    int32_t written = 0;
    HRESULT set = g_connection->WriteString(setting, &written);
    SysFreeString(setting);
    return SUCCEEDED(hr) && SUCCEEDED(set);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vrvisatest::LoopbackInstrument instrument;
    if (!SetUp(instrument)) {
        std::fprintf(stderr, "socket_bench: the loopback instrument or the socket could not be set up\n");
        return 1;
    }
    WallTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    g_socket = nullptr;
    g_connection = nullptr;
    CoUninitialize();
    const double bare = reporter.perIteration["BareConnectionQuery/min_time:2.000/real_time"];
    const double socket = reporter.perIteration["SocketPropertyRead/min_time:2.000/real_time"];
    if (bare <= 0 || socket <= 0) {
        return 1;
    }
    std::printf(
        "bare connection query: %.1f us; socket property read: %.1f us; the socket's own share: %.1f us "
        "(%.0f%% of the read)\n",
        bare / 1000, socket / 1000, (socket - bare) / 1000, 100 * (socket - bare) / socket);
    return 0;
}
