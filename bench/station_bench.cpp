// A test engineer's instrument query as the station runs it, against the same query made with pyvisa-py: a
// JScript loop of DMM.Identify() in the real scrivon (offscreen), through the socket of the real rigmont,
// against pyvisa-py's query("*IDN?") of the same loopback instrument, each timed over its own loop after 50
// warm-up queries. Both sides once on the machine as it is, and once with one busy process per core (each
// ends by itself within a minute, and is stopped when its measurement ends). Nothing is pinned: a user's
// programs are not. Reported as seconds per query, and each script side as a ratio against its pyvisa side.
#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "bench/own_environment.h"
#include "bench/pyvisa_timing.h"
#include "bench/ratio_reporter.h"
#include "common/config/VrConfigData.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/rot.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vrbench {
namespace {

constexpr int kQueries = 2000;
constexpr int kWarmUp = 50;

struct Station {
    std::string folder;
    int port = 0;
    vr::ComPtr<IDispatch> loader; // scrivon's automation object
    std::string script;           // the loop's script file
    std::string output;           // scrivon's standard output
};
Station* g_station = nullptr;

// One busy process per core while it lives, each ending by itself after a minute at the latest.
class BusyLoad {
public:
    BusyLoad() {
        long cores = sysconf(_SC_NPROCESSORS_ONLN);
        for (long i = 0; i < cores; ++i) {
            pid_t pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                ::alarm(60);
                volatile unsigned long spin = 0;
                for (;;) {
                    spin = spin + 1; // busy until SIGKILL or the alarm
                }
            }
            if (pid > 0) {
                children_.push_back(pid);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // every one running
    }
    ~BusyLoad() {
        for (pid_t pid : children_) {
            ::kill(pid, SIGKILL);
        }
        for (pid_t pid : children_) {
            ::waitpid(pid, nullptr, 0);
        }
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

private:
    std::vector<pid_t> children_;
};

HRESULT CallLoader(DISPID member, VARIANT* argument, VARIANT* result, WORD kind = DISPATCH_METHOD) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    return g_station->loader->Invoke(member, IID_NULL, 0, kind, &params, result, nullptr, nullptr);
}

// The seconds per query the last run of the loop wrote; 0 when it wrote none.
double LastLoopTime() {
    std::ifstream output(g_station->output);
    std::string line;
    double seconds = 0;
    while (std::getline(output, line)) {
        if (auto at = line.find("seconds_per_query "); at != std::string::npos) {
            seconds = std::atof(line.c_str() + at + 18);
        }
    }
    return seconds;
}

// Has scrivon load and run the loop's script and reads its verdict, as scrivon-drive does (the verdict's
// read ends this client's turn, so the next Load is taken); the script's seconds per query.
double RunScriptLoop(benchmark::State& state) {
    _variant_t file(_bstr_t(g_station->script.c_str()));
    _variant_t loaded;
    _variant_t completed;
    _variant_t verdict;
    if (FAILED(CallLoader(DISPID_TestLoaderLoad, &file, &loaded)) || loaded.vt != VT_BOOL ||
        !loaded.boolVal || FAILED(CallLoader(DISPID_TestLoaderRun, nullptr, &completed)) ||
        FAILED(CallLoader(DISPID_TestLoaderVerdict, nullptr, &verdict, DISPATCH_PROPERTYGET))) {
        state.SkipWithError("scrivon did not load or run the loop's script");
        return 0;
    }
    if (verdict.vt != VT_I4 || verdict.lVal != 1) {
        state.SkipWithError("the loop's script did not pass; see scrivon's output in the bench's folder");
        return 0;
    }
    double seconds = LastLoopTime();
    if (seconds <= 0) {
        state.SkipWithError("the loop's script wrote no time; see scrivon's output in the bench's folder");
    }
    return seconds;
}

double RunPyVisaLoop(benchmark::State& state) {
    PyVisaTiming timing = TimePyVisaQueries(VR_PYVISA_SCRIPT, g_station->port, kQueries);
    if (timing.outcome == PyVisaOutcome::NotInstalled) {
        state.SkipWithError("skipped: pyvisa-py is not installed (Debian package python3-pyvisa-py), so the "
                            "station's query is not compared with it");
        return 0;
    }
    if (timing.outcome == PyVisaOutcome::Failed) {
        state.SkipWithError("the pyvisa query failed");
    }
    return timing.secondsPerQuery;
}

template <double (*Loop)(benchmark::State&), bool Loaded>
void Measure(benchmark::State& state) {
    for (auto _ : state) {
        double seconds = 0;
        if (Loaded) {
            BusyLoad load;
            seconds = Loop(state);
        } else {
            seconds = Loop(state);
        }
        if (seconds <= 0) {
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_StationScriptQuery(benchmark::State& state) {
    Measure<RunScriptLoop, false>(state);
}
void BM_PyVisaQuery(benchmark::State& state) {
    Measure<RunPyVisaLoop, false>(state);
}
void BM_StationScriptQueryBusy(benchmark::State& state) {
    Measure<RunScriptLoop, true>(state);
}
void BM_PyVisaQueryBusy(benchmark::State& state) {
    Measure<RunPyVisaLoop, true>(state);
}
BENCHMARK(BM_StationScriptQuery)->UseManualTime()->Iterations(1);
BENCHMARK(BM_PyVisaQuery)->UseManualTime()->Iterations(1);
BENCHMARK(BM_StationScriptQueryBusy)->UseManualTime()->Iterations(1);
BENCHMARK(BM_PyVisaQueryBusy)->UseManualTime()->Iterations(1);

// The loop a test engineer writes: warm-up queries, then the timed ones; the time per query on scrivon's
// output.
std::string LoopScript() {
    std::ostringstream text;
    text << "function Preset() {}\n"
            "function Test() {\n"
            "    for (var i = 0; i < "
         << kWarmUp
         << "; i++) DMM.Identify();\n"
            "    var start = new Date().getTime();\n"
            "    var answer = \"\";\n"
            "    for (var i = 0; i < "
         << kQueries
         << "; i++) answer = DMM.Identify();\n"
            "    var elapsed = new Date().getTime() - start;\n"
            "    if (answer.indexOf(\"VORNIC,LOOPBACK\") != 0) return \"fail\";\n"
            "    OutputLn(\"seconds_per_query \" + elapsed / 1000 / "
         << kQueries
         << ");\n"
            "    return \"pass\";\n"
            "}\n"
            "function Reset() {}\n";
    return text.str();
}

// The station's store: the meter's connection to the instrument and its socket with the bench's adapter.
bool WriteStore(const Station& station) {
    std::string store = station.folder + "/HwConfigStore.cfs";
    std::ofstream(store)
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
           "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
           "<connection name=\"DmmLink\"><Resource>TCPIP0::127.0.0.1::"
        << station.port
        << "::SOCKET</Resource></connection></connections><sockets>"
           "<socket name=\"_default\"><Server>Vornic.Socket</Server></socket>"
           "<socket name=\"DMM\"><Resource>DmmLink</Resource><SetupString>AdapterFile='" VR_BENCH_DATA
           "/bench_multimeter.daf'</SetupString></socket></sockets></ConfigStore>\n";
    std::ofstream(station.script) << LoopScript();
    CVrConfigData config;
    BSTR path = vr::AllocBstrUtf8(store);
    bool stored = config.StoreItem("ConfigStoreFile", path);
    SysFreeString(path);
    return stored;
}

// scrivon, offscreen, its standard output in the bench's folder; its pid.
pid_t StartScrivon(const Station& station) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        int output = ::open(station.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int errors = ::open((station.folder + "/scrivon.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(errors, STDERR_FILENO);
        ::execl(VR_SCRIVON, VR_SCRIVON, nullptr);
        ::_exit(127);
    }
    return pid;
}

// The running scrivon's automation object, looked for while it starts.
vr::ComPtr<IDispatch> FindLoader() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        vr::ComPtr<IUnknown> active;
        vr::ComPtr<IDispatch> loader;
        if (SUCCEEDED(GetActiveObject(CLSID_VrTestLoader, nullptr, active.Put())) &&
            SUCCEEDED(active->QueryInterface(IID_IDispatch, loader.PutVoid()))) {
            return loader;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

int Run(int argc, char** argv, Station& station) {
    vrvisatest::LoopbackInstrument instrument;
    if (!instrument.Start("\\n")) {
        std::fprintf(stderr, "station_bench: the loopback instrument did not start\n");
        return 1;
    }
    station.port = instrument.Port();
    station.script = station.folder + "/loop.JScript.ts";
    station.output = station.folder + "/scrivon.out";
    pid_t scrivon = -1;
    if (!WriteStore(station) || (scrivon = StartScrivon(station)) < 0 || !(station.loader = FindLoader())) {
        std::fprintf(stderr, "station_bench: the store or scrivon failed (see %s)\n", station.folder.c_str());
        return 1;
    }
    g_station = &station;
    int result = RunWithRatioPairs(
        argc, argv,
        {{"BM_StationScriptQuery", "BM_PyVisaQuery"}, {"BM_StationScriptQueryBusy", "BM_PyVisaQueryBusy"}},
        RatioTime::Wall);
    g_station = nullptr;
    station.loader = nullptr;
    ::kill(scrivon, SIGTERM); // headless, nobody closes its window
    ::waitpid(scrivon, nullptr, 0);
    return result;
}

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    vrbench::Station station;
    station.folder = vrbench::PrepareOwnEnvironment("station-bench", VR_BUILD_REGISTRY_DIR);
    if (station.folder.empty() || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    int result = vrbench::Run(argc, argv, station);
    CoUninitialize();
    std::error_code ignored;
    std::filesystem::remove_all(station.folder, ignored);
    return result;
}
