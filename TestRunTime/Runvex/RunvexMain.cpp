// The test executive program runvex: a sequence file on its command line, opened in the main window.
// Offscreen (QT_QPA_PLATFORM=offscreen) nobody sees a window: the sequence is run at once, what the window
// would show goes to the standard streams (ConsoleRunView.h, plus each test's end image), no box waits for an
// answer, and the exit code says how the run ended.
#include "TestRunTime/Runvex/ConsoleRunView.h"
#include "TestRunTime/Runvex/RunvexWindow.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/paths.h"
#include "platform/base/program_conventions.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/ui/display.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/termination.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace runvex;

constexpr const char* kUsage =
    "usage: runvex [--run] [--test-time-limit <seconds>] [--sn SERIAL] [<sequence file>.tsq]\n"
    "  Opens the test sequence in the test executive's window; with --run the window runs it at once.\n"
    "  Without a display (none answers, or QT_QPA_PLATFORM=offscreen) the sequence is run at once and its\n"
    "  report written to standard output, ending with a summary line (how many tests passed, failed and\n"
    "  ended in error, and the tests left unrun); the exit code is 0 when every test passed, 1 when a test\n"
    "  failed, 2 when a test ended in an error, the sequence holds no test or the run was ended by a\n"
    "  signal, 3 when the sequence could not be opened, 64 for a bad command line. SIGTERM, SIGINT and\n"
    "  SIGHUP stop a run (its test's Reset still runs) and end it.\n"
    "  --test-time-limit <seconds>   without a display: a test still running after that many seconds is\n"
    "                  stopped and ends with verdict Error (no limit unless given: burn-in tests run long)\n"
    "  A file name starting with ~/ is taken in the home folder.\n"
    "  --sn SERIAL      the serial number of the device under test, as if typed into the SN field; without\n"
    "                   it a run without a display stores no result rows\n"
    "  --help, -h, /?   this text\n"
    "  --version        the build it comes from\n";

// Said once by a run without a display and without --sn: the engine stores no row without a serial number,
// which a test's script may still set.
constexpr const char* kNoSerialNumber =
    "runvex: no serial number was given (--sn SERIAL): no result rows are stored unless a test sets one\n";

// The exit codes of a run without a display.
enum class HeadlessExit : int {
    Passed = 0,
    Failed = 1,
    Error = 2,
    NotOpened = 3,
    BadArgument = vr::kExitBadCommandLine
};

struct CommandLine {
    std::string file;
    bool help = false;
    bool run = false;                                  // the window runs the sequence as soon as it is open
    std::optional<std::chrono::seconds> testTimeLimit; // a headless run's limit per test; none: no limit
    std::string serialNumber; // --sn: typed into the serial-number field before the run
    bool serialNumberGiven = false;
    std::string bad;       // the first argument that is no switch of ours or a second file
    std::string badReason; // why it was refused
};

// Whole seconds, at least one; none for anything else.
std::optional<std::chrono::seconds> SecondsOf(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    long long seconds = text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))
                            ? 0
                            : std::strtoll(text.c_str(), &end, 10);
    if (seconds < 1 || errno == ERANGE || !end || *end != '\0') {
        return std::nullopt;
    }
    return std::chrono::seconds(seconds);
}

// A switch starts with "-"; "/?" asks for help, any other argument starting with "/" is an absolute path.
CommandLine Parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            line.help = true;
        } else if (argument == "--run") {
            line.run = true;
        } else if (argument == "--test-time-limit" || argument.starts_with("--test-time-limit=")) {
            std::string value = argument.size() > 17       ? argument.substr(18)
                                : i + 1 < arguments.size() ? arguments[++i]
                                                           : "";
            line.testTimeLimit = SecondsOf(value);
            if (!line.testTimeLimit && line.bad.empty()) {
                line.bad = argument + (argument.size() > 17 ? "" : " " + value);
                line.badReason = "the time limit is whole seconds, at least 1";
            }
        } else if (argument == "--sn" && i + 1 < arguments.size()) {
            line.serialNumber = arguments[++i];
            line.serialNumberGiven = true;
        } else if ((argument.starts_with("-") || !line.file.empty()) && line.bad.empty()) {
            line.bad = argument;
            line.badReason = argument.starts_with("-") ? "unknown switch" : "a second sequence file";
        } else if (line.file.empty()) {
            line.file = vr::ExpandHomeFolder(argument);
        }
    }
    return line;
}

// The console's report, keeping how the run ended (the first test that does not pass ends it) and which tests
// ended how, for the run's summary line.
class HeadlessView : public ConsoleRunView {
public:
    using ConsoleRunView::ConsoleRunView;
    void TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) override {
        ConsoleRunView::TestEnded(item, testResult, verdict);
        ended_.push_back(&item);
        ++(verdict == Verdict::Passed ? passed_ : verdict == Verdict::Failed ? failed_ : errors_);
        if (verdict != Verdict::Passed && exit_ == HeadlessExit::Passed) {
            exit_ = verdict == Verdict::Failed ? HeadlessExit::Failed : HeadlessExit::Error;
        }
    }
    HeadlessExit Exit() const { return exit_; }

    // "summary: <n> passed, <n> failed, <n> error; not run: <name>, <name>" ("not run: none" when every test
    // ran).
    std::string Summary(SequenceTree& tree) const {
        std::string unrun;
        for (const SequenceItem* item : tree.PreOrder()) {
            if (item->element && std::find(ended_.begin(), ended_.end(), item) == ended_.end()) {
                unrun += (unrun.empty() ? "" : ", ") + item->label;
            }
        }
        return "summary: " + std::to_string(passed_) + " passed, " + std::to_string(failed_) + " failed, " +
               std::to_string(errors_) + " error; not run: " + (unrun.empty() ? "none" : unrun);
    }

private:
    HeadlessExit exit_ = HeadlessExit::Passed; // window thread
    std::vector<const SequenceItem*> ended_;   // window thread: the tests that ran, in run order
    int passed_ = 0, failed_ = 0, errors_ = 0; // window thread: how many ended so
};

bool HoldsATest(SequenceTree& tree) {
    std::vector<SequenceItem*> items = tree.PreOrder();
    return std::any_of(items.begin(), items.end(), [](const SequenceItem* item) { return item->element; });
}

int RunHeadless(const CommandLine& line) {
    if (line.file.empty()) {
        std::fprintf(stderr, "runvex: without a display a sequence file must be named\n%s", kUsage);
        return static_cast<int>(HeadlessExit::BadArgument);
    }
    // Ended by a signal, the run stops as a close stops it (the test's Reset runs), and the program ends.
    vr::ui::NoteTerminationSignals();
    TestExecutiveSequenceWorker worker;
    SequenceRun* running = nullptr;
    HeadlessView view(stdout, stderr, [&](int milliseconds) {
        worker.WaitForProgress(milliseconds);
        if (running && vr::ui::TerminationSignalled()) {
            (void)running->RequestClose(); // the run ends after its current test
        }
    });
    SequenceDocument document;
    SequenceTree tree;
    SequenceRun run(view, worker, tree, document);
    run.SetTestTimeLimit(line.testTimeLimit);
    SequenceForm form(view, document, tree, run, worker.Languages());
    if (!form.Load(line.file)) {
        return static_cast<int>(HeadlessExit::NotOpened); // the form wrote why
    }
    if (!HoldsATest(tree)) {
        // A run of no test is no pass.
        std::fprintf(stderr,
                     "runvex: the sequence '%s' holds no test (a test is an element named 'test', in "
                     "lower case)\n",
                     line.file.c_str());
        return static_cast<int>(HeadlessExit::Error);
    }
    if (line.serialNumberGiven) {
        (void)run.SerialNumberEditor().Type(line.serialNumber); // a failure shows when the run stores it
    } else {
        std::fputs(kNoSerialNumber, stderr);
    }
    if (!vr::ui::TerminationSignalled()) {
        running = &run;
        run.Run();
    }
    std::printf("%s\n", view.Summary(tree).c_str());
    if (vr::ui::TerminationSignalled()) {
        std::fprintf(stderr, "runvex: ended by a signal before the run was over\n");
        return static_cast<int>(HeadlessExit::Error);
    }
    return static_cast<int>(view.Exit());
}

int RunWindow(const CommandLine& line) {
    TestExecutiveSequenceWorker worker;
    HANDLE progress = worker.ProgressEvent();
    RunvexWindow window(worker, worker.Languages(), [progress](int milliseconds) mutable {
        DWORD index = 0;
        // Signalled or not, the run looks at the worker again.
        (void)vr::ui::WaitPumping(static_cast<DWORD>(milliseconds), 1, &progress, &index);
    });
    if (line.serialNumberGiven) {
        window.TypeSerialNumber(line.serialNumber);
    }
    window.SetPendingFile(line.file, line.run);
    window.show();
    // Ended by a signal, the window closes as its user closes it: a run is stopped and its Reset runs.
    vr::ui::CloseOnTerminationSignals([target = QPointer<QWidget>(&window)] {
        if (target) {
            target->close();
        }
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    vr::IgnoreBrokenPipes();
    if (vr::AnswerVersion(argc, argv, "runvex")) {
        return 0;
    }
    CommandLine line = Parse(std::vector<std::string>(argv + 1, argv + argc));
    // Answered before COM and Qt start, so that --help needs no display and no registry.
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!line.bad.empty()) {
        std::fprintf(stderr, "runvex: %s: '%s'\n%s", line.badReason.c_str(), line.bad.c_str(), kUsage);
        return static_cast<int>(HeadlessExit::BadArgument);
    }
    (void)vr::ui::UseOffscreenWithoutDisplay("runvex"); // no display: offscreen, said once
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "runvex: COM could not be initialised.\n");
        return 1;
    }
    int result = 1;
    {
        QApplication application(argc, argv);
        vr::RegisterSystemProxies(); // the worker hands the engine and the script executive across threads
        std::unique_ptr<vr::ui::GuiApartment> apartment;
        if (SUCCEEDED(vr::ui::GuiApartment::Create(&apartment))) {
            CVrConfigData configuration; // a new user's station gets the built-in configuration items here
            result = QGuiApplication::platformName() == QLatin1String("offscreen") ? RunHeadless(line)
                                                                                   : RunWindow(line);
        }
    }
    CoUninitialize();
    return result;
}
