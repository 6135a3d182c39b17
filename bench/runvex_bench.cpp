// The test executive's own time per test: a sequence of 2,000 tests with empty scripts run by the test
// executive's run on the real test-execution worker (its header line, the session, the verdict row, the
// output drained, the tree's images), against the bare worker's requests for one such test (Set, load, the
// session's claim, Preset, Test, Reset) made in the same run. Each reports the CPU time of the whole process
// per test (counter "process_cpu_us_per_test"), whose difference is the executive's own time per test: the
// wall times, beside them, hold the machine's other work and the waits for the committed claim, which swamp
// the difference from run to run. The hardware manager stands in, registered in the process (empty scripts
// reach none). Both also in alternating blocks of 20 tests, whose paired differences a loaded machine
// disturbs least.
#include "TestRunTime/Runvex/SequenceDocument.h"
#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "bench/ratio_reporter.h"
#include "bench/silent_run_view.h"
#include "bench/worker_requests.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace vrbench {
namespace {

constexpr int kTests = 2000;
constexpr int kBlock = 20; // tests per block of the paired measure

std::string g_script;   // the empty script every test runs
std::string g_sequence; // the sequence of kTests tests
std::string g_block;    // the sequence of kBlock tests

// The CPU time of every thread of the process so far, in seconds: under load the wall time is mostly the
// machine's, the CPU time still the program's own.
double ProcessCpuSeconds() {
    rusage usage{};
    (void)getrusage(RUSAGE_SELF, &usage); // cannot fail for RUSAGE_SELF
    auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The process's CPU time per test, in microseconds, as a counter beside the wall time.
void ReportCpuPerTest(benchmark::State& state, double cpuSeconds, double tests) {
    state.counters["process_cpu_us_per_test"] = benchmark::Counter(cpuSeconds * 1e6 / tests);
}

// The test executive's window logic without a window, as runvex runs a sequence: one run at a time.
struct SequenceStation {
    runvex::TestExecutiveSequenceWorker worker;
    SilentRunView view{worker, static_cast<int>(kPumpStepMs)};
    runvex::SequenceDocument document;
    runvex::SequenceTree tree;
    runvex::SequenceRun run{view, worker, tree, document};
    runvex::SequenceForm form{view, document, tree, run, worker.Languages()};
};

// One iteration is one run of the whole sequence; its time is reported per test.
void BM_SequenceRunPerTest(benchmark::State& state) {
    SequenceStation station;
    auto& [worker, view, document, tree, run, form] = station;
    if (!form.Load(g_sequence)) {
        state.SkipWithError("the sequence did not load");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        double cpuStart = ProcessCpuSeconds();
        auto start = std::chrono::steady_clock::now();
        run.Run();
        cpu += ProcessCpuSeconds() - cpuStart;
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count() / kTests);
        if (view.Failed()) {
            state.SkipWithError("a test did not pass");
            return;
        }
    }
    ReportCpuPerTest(state, cpu, static_cast<double>(state.iterations()) * kTests);
}
BENCHMARK(BM_SequenceRunPerTest)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(3);

// The requests the executive makes of the worker for one test, made bare, with the options the run gives
// (its serial number as the editor shows it when none was typed), and the session's claim the run makes as
// the load ends: the database's committed insert is the same on both sides, not the executive's own time.
bool BareTest(CTestExecutive& worker) {
    std::u16string options =
        u"name='Test 1' description='' file='" + vr::FromUtf8(g_script) + u"' sn=<Undefined>";
    bool done = SUCCEEDED(worker.Set(vr::AllocBstr(u"JScript"), vr::AllocBstr(u""), vr::AllocBstr(u""),
                                     vr::AllocBstr(options))) &&
                worker.GetState() == CTestExecutive::kDone;
    done = done && RunRequest(worker, u"") &&
           SUCCEEDED(worker.CallOnEngine([](IVrTestEngine* engine) { return ClaimTestSession(engine); }));
    for (const char16_t* method : {u"Preset", u"Test", u"Reset"}) {
        done = done && RunRequest(worker, method);
    }
    return done;
}

void BM_BareWorkerTest(benchmark::State& state) {
    CTestExecutive worker;
    double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        if (!BareTest(worker)) {
            state.SkipWithError("a request failed");
            return;
        }
    }
    ReportCpuPerTest(state, ProcessCpuSeconds() - cpuStart, static_cast<double>(state.iterations()));
}
BENCHMARK(BM_BareWorkerTest)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same two in turn, in blocks of kBlock tests each (which goes first alternates), so that what else the
// machine does falls on both sides of each block alike: counter "own_cpu_us_per_test" is the median of the
// blocks' differences of the process's CPU time per test.
void BM_ExecutiveOwnCpuPaired(benchmark::State& state) {
    SequenceStation station;
    auto& [worker, view, document, tree, run, form] = station;
    CTestExecutive bare;
    if (!form.Load(g_block)) {
        state.SkipWithError("the sequence did not load");
        return;
    }
    auto sequence = [&] {
        run.Run();
        return !view.Failed();
    };
    auto bareTests = [&] {
        for (int i = 0; i < kBlock; ++i) {
            if (!BareTest(bare)) {
                return false;
            }
        }
        return true;
    };
    std::vector<double> differences;
    for (auto _ : state) {
        bool sequenceFirst = differences.size() % 2 == 0;
        double start = ProcessCpuSeconds();
        bool ok = sequenceFirst ? sequence() : bareTests();
        double middle = ProcessCpuSeconds();
        ok = ok && (sequenceFirst ? bareTests() : sequence());
        double end = ProcessCpuSeconds();
        if (!ok) {
            state.SkipWithError("a test did not pass");
            return;
        }
        double first = middle - start;
        double second = end - middle;
        differences.push_back(((sequenceFirst ? first - second : second - first) * 1e6) / kBlock);
    }
    std::sort(differences.begin(), differences.end());
    state.counters["own_cpu_us_per_test"] = differences[differences.size() / 2];
}
BENCHMARK(BM_ExecutiveOwnCpuPaired)->Unit(benchmark::kMicrosecond)->Iterations(100);

bool WriteSequence(const std::string& path, int tests) {
    std::ofstream sequence(path);
    sequence << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sequence>\n";
    for (int i = 1; i <= tests; ++i) {
        sequence << "  <test name=\"Test " << i << "\"><code file=\"" << g_script
                 << "\" language=\"JScript\"/></test>\n";
    }
    sequence << "</sequence>\n";
    return static_cast<bool>(sequence.flush());
}

// The sequence's files in a folder of the run's own.
bool WriteFiles() {
    char folder[] = "/tmp/runvex-bench-files-XXXXXX";
    if (!mkdtemp(folder)) {
        return false;
    }
    g_script = std::string(folder) + "/empty.JScript.ts";
    g_sequence = std::string(folder) + "/many.tsq";
    g_block = std::string(folder) + "/block.tsq";
    std::ofstream(g_script).flush();
    return WriteSequence(g_sequence, kTests) && WriteSequence(g_block, kBlock);
}

int Run(int argc, char** argv) {
    vr::RegisterSystemProxies();
    scripvanetest::ClassRegistration hardware(CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
    if (!WriteFiles()) {
        std::fprintf(stderr, "The benchmark's sequence could not be written.\n");
        return 1;
    }
    return RunWithRatios(argc, argv, "BM_BareWorkerTest", RatioTime::Wall);
}

} // namespace

// The data home's folder of this run, in memory where the machine has such a folder: each test's session
// claim commits, and the disk's wait for that would swamp the executive's microseconds on both sides.
std::string MakeDataHome() {
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string folder = std::string(base) + "/runvex-bench-XXXXXX";
        if (mkdtemp(folder.data())) {
            return folder;
        }
    }
    return "";
}

} // namespace vrbench

int main(int argc, char** argv) {
    setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 0);
    // The engine opens the results database of the data home: a folder of the run's own keeps the user's.
    std::string home;
    if (!getenv("VORNIC_HOME") && !(home = vrbench::MakeDataHome()).empty()) {
        setenv("VORNIC_HOME", home.c_str(), 1);
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    int result = vrbench::Run(argc, argv);
    CoUninitialize();
    if (!home.empty()) {
        std::error_code ignored; // a folder left behind costs nothing but its place
        std::filesystem::remove_all(home, ignored);
    }
    return result;
}
