// Memory over a long shift (a check to run by hand, not a timed test): a control panel of 200 objects
// refreshed 500 times in the real panel window (offscreen), and a sequence of 2,000 tests run by the test
// executive's run on the real test-execution worker. Each prints the process's resident memory and its heap
// in use at the start, after a warm-up and at the end, and the growth per refresh or per test after the
// warm-up; the goal is none. The hardware manager stands in, registered in the process (the scripts reach
// none).
//
//     bench_memory                 both runs; scripts/bench prints the lines at the end of its table
//     bench_memory panel|sequence  one of them
#include "TestRunTime/Runvex/SequenceDocument.h"
#include "TestRunTime/Runvex/SequenceForm.h"
#include "TestRunTime/Runvex/SequenceRun.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "VrDev/Panolix/PanolixDlg.h"
#include "VrDev/Panolix/TestExecutivePanelWorker.h"
#include "bench/silent_run_view.h"
#include "common/proxies/SystemProxies.h"
#include "platform/com/activation.h"
#include "platform/ui/gui_apartment.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <string>

namespace vrbench {
namespace {

constexpr int kPanelObjects = 200;
constexpr int kRefreshes = 500;
constexpr int kRefreshWarmUp = 50;
constexpr int kTests = 2000;
constexpr int kTestWarmUp = 200;

struct Memory {
    long residentKb = 0;  // VmRSS
    size_t heapBytes = 0; // malloc's bytes in use
};

Memory Now() {
    (void)malloc_trim(0); // freed pages back, so the resident size shows what is held
    Memory memory;
    memory.heapBytes = mallinfo2().uordblks;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            memory.residentKb = std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return memory;
}

// One line per run, in a form scripts/bench picks up: "memory: <what> ... growth <n> bytes per <unit>".
void Report(const char* what, const char* unit, const Memory& start, const Memory& warm, const Memory& end,
            int steps) {
    long long growth = static_cast<long long>(end.heapBytes) - static_cast<long long>(warm.heapBytes);
    std::printf("memory: %s: resident %ld KB at the start, %ld KB after the warm-up, %ld KB at the end; heap "
                "%zu KB, %zu KB, %zu KB; growth after the warm-up %lld bytes per %s\n",
                what, start.residentKb, warm.residentKb, end.residentKb, start.heapBytes / 1024,
                warm.heapBytes / 1024, end.heapBytes / 1024, growth / steps, unit);
    std::fflush(stdout);
}

std::string Folder() {
    char folder[] = "/tmp/memory-bench-XXXXXX";
    return mkdtemp(folder) ? folder : "/tmp";
}

// 200 control objects, each with its own refresh script, a formatted value and a range to be valid in; the
// main script's Idle moves the values on every refresh.
std::string WritePanel(const std::string& folder) {
    std::string path = folder + "/shift.pnx";
    std::ofstream panel(path);
    panel
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<panel language=\"JScript\" autorefresh=\"no\" refreshperiod=\"1\"><script>var t = 0;\n"
           "function Preset() {}\nfunction Idle() { t = t + 1; }\nfunction Reset() {}\n</script><objects>\n";
    for (int n = 0; n < kPanelObjects; ++n) {
        panel << "<object type=\"control\" x=\"10\" y=\"" << 10 + 26 * (n % 30) << "\" width=\"300\" "
              << "height=\"24\" description=\"Rail " << n << "\" format=\"%6.3f V\" spec=\"[3..7] {rail " << n
              << "}\" value=\"rail" << n << "\" parameters=\"\" paramvalues=\"\"><initscript/><setscript/>"
              << "<getscript>var rail" << n << " = 5 + Math.sin(t + " << n << ") / 2;</getscript></object>\n";
    }
    panel << "</objects></panel>\n";
    return path;
}

int RunPanel(const std::string& folder) {
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    if (FAILED(vr::ui::GuiApartment::Create(&apartment))) {
        std::fprintf(stderr, "memory: no window apartment\n");
        return 1;
    }
    panolix::TestExecutivePanelWorker worker;
    // Not a console run: one of those ends once its loop has stopped, and this bench refreshes by itself.
    panolix::CPanolixDlg dialog(worker, false, false);
    panolix::PanelRunModel& model = dialog.Model();
    if (!model.Load(WritePanel(folder))) {
        std::fprintf(stderr, "memory: the panel did not load: %s\n", model.LastErrorText().c_str());
        return 1;
    }
    Memory start = Now();
    for (int refresh = 0; refresh < kRefreshWarmUp; ++refresh) {
        model.Refresh();
    }
    Memory warm = Now();
    for (int refresh = kRefreshWarmUp; refresh < kRefreshes; ++refresh) {
        model.Refresh();
    }
    Memory end = Now();
    // Every refresh ran the whole way: Idle counted each one.
    std::string refreshes;
    if (!model.RunRequest("_evaluate", "t", "", "", &refreshes) || refreshes != std::to_string(kRefreshes)) {
        std::fprintf(stderr, "memory: the panel refreshed %s times, not %d\n", refreshes.c_str(), kRefreshes);
        return 1;
    }
    Report("panel of 200 objects, 500 refreshes", "refresh", start, warm, end, kRefreshes - kRefreshWarmUp);
    return 0;
}

// A script as engineers write them: a specification, output lines, a checked value.
std::string WriteSequence(const std::string& folder, int tests) {
    std::string script = folder + "/rail.JScript.ts";
    std::ofstream(script) << "engine.spec(\"RAIL\") = \"[4.5..5.5] {5 V rail}\";\n"
                             "function Preset() { OutputLn(\"Preset\", 5); }\n"
                             "function Test() {\n"
                             "    var volts = 5 + Math.random() / 10;\n"
                             "    OutputLn(\"Rail \" + volts + \" V\");\n"
                             "    return engine.IsValid(volts, \"RAIL\", \"rail\") ? \"pass\" : \"fail\";\n"
                             "}\n"
                             "function Reset() { OutputLn(\"Reset\"); }\n";
    std::string path = folder + "/shift-" + std::to_string(tests) + ".tsq";
    std::ofstream sequence(path);
    sequence << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sequence>\n";
    for (int i = 1; i <= tests; ++i) {
        sequence << "  <test name=\"Test " << i << "\"><code file=\"" << script
                 << "\" language=\"JScript\"/></test>\n";
    }
    sequence << "</sequence>\n";
    return path;
}

// The run of the whole sequence; false when it did not load or not every test ended.
bool RunSequenceOf(runvex::TestExecutiveSequenceWorker& worker, const std::string& path, int tests) {
    SilentRunView view(worker, 5);
    runvex::SequenceDocument document;
    runvex::SequenceTree tree;
    runvex::SequenceRun run(view, worker, tree, document);
    runvex::SequenceForm form(view, document, tree, run, worker.Languages());
    if (!form.Load(path)) {
        return false;
    }
    run.Run();
    return view.Ended() == tests;
}

int RunSequence(const std::string& folder) {
    runvex::TestExecutiveSequenceWorker worker;
    Memory start = Now();
    bool ran = RunSequenceOf(worker, WriteSequence(folder, kTestWarmUp), kTestWarmUp);
    Memory warm = Now();
    ran = ran && RunSequenceOf(worker, WriteSequence(folder, kTests), kTests);
    Memory end = Now();
    if (!ran) {
        std::fprintf(stderr, "memory: the sequence did not run to its end\n");
        return 1;
    }
    Report("sequence of 2,000 tests (after 200 to warm up)", "test", start, warm, end, kTests);
    return 0;
}

} // namespace
} // namespace vrbench

int main(int argc, char** argv) {
    setenv("VORNIC_REGISTRY", VR_BUILD_REGISTRY_DIR, 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string folder = vrbench::Folder();
    // The engine opens the results database of the data home: a folder of the run's own keeps the user's.
    if (!getenv("VORNIC_HOME")) {
        setenv("VORNIC_HOME", folder.c_str(), 1);
    }
    QApplication application(argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    int result = 0;
    {
        vr::RegisterSystemProxies();
        scripvanetest::ClassRegistration hardware(CLSID_VrRigmont,
                                                  &scripvanetest::FakeRigmont::CreateInstance);
        std::string which = argc > 1 ? argv[1] : "";
        if (which.empty() || which == "panel") {
            result |= vrbench::RunPanel(folder);
        }
        if (which.empty() || which == "sequence") {
            result |= vrbench::RunSequence(folder);
        }
    }
    CoUninitialize();
    return result;
}
