// A test engineer's instrument query as the station runs it, against the same query made with pyvisa-py: a
// JScript loop of DMM.Identify() in the real scrivon (offscreen), through the socket of the real rigmont,
// against pyvisa-py's query("*IDN?") of the same loopback instrument, each timed over its own loop after 50
// warm-up queries. Both sides once on the machine as it is, and once with one busy process per core (each
// ends by itself within a minute, and is stopped when its measurement ends). Nothing is pinned: a user's
// programs are not. Reported as seconds per query, and each script side as a ratio against its pyvisa side.
// Then the wake-ups per query of each thread on the road (the voluntary context switches the kernel counts
// per thread in /proc): a loop of 2,000 queries less one of 200, so that loading, warm-up and verdict cancel
// out, as counters "scrivon_worker" (scrivon's busiest thread), "rigmont_main", "instrument", "total" (the
// three together) and "other_threads" (every other thread of scrivon and rigmont: the channels' readers, and
// idle threads' periodic waits, which grow with the loop's time rather than its queries).
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
#include <map>
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
constexpr int kShortQueries = 200; // the loop whose counts are taken from the long one's
constexpr int kWarmUp = 50;

struct Station {
    std::string folder;
    int port = 0;
    vr::ComPtr<IDispatch> loader; // scrivon's automation object
    std::string script;           // the loop's script file
    std::string shortScript;      // the same loop of kShortQueries
    pid_t scrivon = -1;
    std::string output; // scrivon's standard output
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
double RunScriptFile(benchmark::State& state, const std::string& script) {
    _variant_t file(_bstr_t(script.c_str()));
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

double RunScriptLoop(benchmark::State& state) {
    return RunScriptFile(state, g_station->script);
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

// Voluntary context switches (the thread slept and was woken) by thread id, of every thread of pid.
using Switches = std::map<pid_t, long>;
Switches ThreadSwitches(pid_t pid) {
    Switches found;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                found[std::stoi(task.path().filename().string())] = std::atol(line.c_str() + 24);
            }
        }
    }
    return found;
}

// The first child of parent whose command name starts with name; -1 when there is none.
pid_t ChildNamed(pid_t parent, const std::string& name) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        size_t open = text.find('(');
        size_t close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= text.size()) {
            continue;
        }
        // after "pid (comm) state " comes the parent's pid
        pid_t ppid = std::atoi(text.c_str() + close + 4);
        if (ppid == parent && text.compare(open + 1, name.size(), name) == 0) {
            return std::atoi(text.c_str());
        }
    }
    return -1;
}

// What each thread's count grew by between two readings (a thread that started between them from 0).
Switches Growth(const Switches& before, const Switches& after) {
    Switches grown;
    for (const auto& [thread, count] : after) {
        auto earlier = before.find(thread);
        grown[thread] = count - (earlier == before.end() ? 0 : earlier->second);
    }
    return grown;
}

// Per thread, the long loop's growth less the short loop's.
Switches PerLongerLoop(const Switches& shortLoop, const Switches& longLoop) {
    Switches extra;
    for (const auto& [thread, count] : longLoop) {
        auto other = shortLoop.find(thread);
        extra[thread] = count - (other == shortLoop.end() ? 0 : other->second);
    }
    return extra;
}

void BM_StationQueryWakeUps(benchmark::State& state) {
    pid_t scrivon = g_station->scrivon;
    pid_t rigmont = ChildNamed(scrivon, "rigmont");
    rigmont = rigmont < 0 ? ChildNamed(getpid(), "rigmont") : rigmont; // started by the bench itself
    pid_t instrument = ChildNamed(getpid(), "vrloopback");
    if (rigmont < 0 || instrument < 0) {
        state.SkipWithError("rigmont or the loopback instrument is not running");
        return;
    }
    const pid_t processes[] = {scrivon, rigmont, instrument};
    for (auto _ : state) {
        Switches counts[3][3]; // per process: before, after the short loop, after the long loop
        auto take = [&](int when) {
            for (int p = 0; p < 3; ++p) {
                counts[p][when] = ThreadSwitches(processes[p]);
            }
        };
        take(0);
        if (RunScriptFile(state, g_station->shortScript) <= 0) {
            return;
        }
        take(1);
        if (RunScriptFile(state, g_station->script) <= 0) {
            return;
        }
        take(2);
        double perQuery[3] = {}; // busiest (scrivon), main thread (rigmont), all (instrument)
        double others = 0;
        double total = 0;
        for (int p = 0; p < 3; ++p) {
            Switches extra =
                PerLongerLoop(Growth(counts[p][0], counts[p][1]), Growth(counts[p][1], counts[p][2]));
            pid_t busiest = -1;
            for (const auto& [thread, count] : extra) {
                if (busiest < 0 || count > extra.at(busiest)) {
                    busiest = thread;
                }
            }
            for (const auto& [thread, count] : extra) {
                double share = static_cast<double>(count) / (kQueries - kShortQueries);
                bool named = p == 2 || (p == 0 && thread == busiest) || (p == 1 && thread == rigmont);
                (named ? perQuery[p] : others) += share;
                total += named ? share : 0;
            }
        }
        state.counters["scrivon_worker"] = perQuery[0];
        state.counters["rigmont_main"] = perQuery[1];
        state.counters["instrument"] = perQuery[2];
        state.counters["other_threads"] = others;
        state.counters["total"] = total;
    }
}
BENCHMARK(BM_StationQueryWakeUps)->Iterations(1);

// The loop a test engineer writes: warm-up queries, then the timed ones; the time per query on scrivon's
// output.
std::string LoopScript(int queries) {
    std::ostringstream text;
    text << "function Preset() {}\n"
            "function Test() {\n"
            "    for (var i = 0; i < "
         << kWarmUp
         << "; i++) DMM.Identify();\n"
            "    var start = new Date().getTime();\n"
            "    var answer = \"\";\n"
            "    for (var i = 0; i < "
         << queries
         << "; i++) answer = DMM.Identify();\n"
            "    var elapsed = new Date().getTime() - start;\n"
            "    if (answer.indexOf(\"VORNIC,LOOPBACK\") != 0) return \"fail\";\n"
            "    OutputLn(\"seconds_per_query \" + elapsed / 1000 / "
         << queries
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
    std::ofstream(station.script) << LoopScript(kQueries);
    std::ofstream(station.shortScript) << LoopScript(kShortQueries);
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
    station.shortScript = station.folder + "/short.JScript.ts";
    station.output = station.folder + "/scrivon.out";
    pid_t& scrivon = station.scrivon;
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
