// The test executive program runvex: a sequence file on its command line, opened in the main window.
// Offscreen (QT_QPA_PLATFORM=offscreen) nobody sees a window: the sequence is run at once, what the window
// would show goes to the standard streams (ConsoleRunView.h, plus each test's end image), no box waits for an
// answer, and the exit code says how the run ended.
#include "TestRunTime/Runvex/ConsoleRunView.h"
#include "TestRunTime/Runvex/RunvexWindow.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "common/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "platform/base/paths.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/ui/gui_apartment.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace runvex;

constexpr const char* kUsage =
    "usage: runvex [--run] [--sn SERIAL] [<sequence file>.tsq]\n"
    "  Opens the test sequence in the test executive's window; with --run the window runs it at once.\n"
    "  Without a display (QT_QPA_PLATFORM=offscreen) the sequence is run at once and its report written to\n"
    "  standard output; the exit code is 0 when every test passed, 1 when a test failed, 2 when a test\n"
    "  ended in an error, 3 when the sequence could not be opened, 4 for a bad command line.\n"
    "  A file name starting with ~/ is taken in the home folder.\n"
    "  --sn SERIAL      the serial number of the device under test, as if typed into the SN field; without\n"
    "                   it a run without a display stores no result rows\n"
    "  --help, -h, /?   this text\n";

// Said once by a run without a display and without --sn: the engine stores no row without a serial number.
constexpr const char* kNoSerialNumber =
    "runvex: no serial number was given (--sn SERIAL): no result rows are stored\n";

// The exit codes of a run without a display.
enum class HeadlessExit : int { Passed = 0, Failed = 1, Error = 2, NotOpened = 3, BadArgument = 4 };

struct CommandLine {
    std::string file;
    bool help = false;
    bool run = false;         // the window runs the sequence as soon as it is open
    std::string serialNumber; // --sn: typed into the serial-number field before the run
    bool serialNumberGiven = false;
    std::string bad; // the first argument that is no switch of ours or a second file
};

// A switch starts with "-"; "/?" asks for help, any other argument starting with "/" is an absolute path.
CommandLine Parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            line.help = true;
        } else if (argument == "--run") {
            line.run = true;
        } else if (argument == "--sn" && i + 1 < arguments.size()) {
            line.serialNumber = arguments[++i];
            line.serialNumberGiven = true;
        } else if ((argument.starts_with("-") || !line.file.empty()) && line.bad.empty()) {
            line.bad = argument;
        } else if (line.file.empty()) {
            line.file = vr::ExpandHomeFolder(argument);
        }
    }
    return line;
}

// The console's report, keeping how the run ended: the first test that does not pass ends it.
class HeadlessView : public ConsoleRunView {
public:
    using ConsoleRunView::ConsoleRunView;
    void TestEnded(const SequenceItem& item, const std::string& testResult, Verdict verdict) override {
        ConsoleRunView::TestEnded(item, testResult, verdict);
        if (verdict != Verdict::Passed && exit_ == HeadlessExit::Passed) {
            exit_ = verdict == Verdict::Failed ? HeadlessExit::Failed : HeadlessExit::Error;
        }
    }
    HeadlessExit Exit() const { return exit_; }

private:
    HeadlessExit exit_ = HeadlessExit::Passed; // window thread
};

int RunHeadless(const CommandLine& line) {
    if (line.file.empty()) {
        std::fprintf(stderr, "runvex: without a display a sequence file must be named\n%s", kUsage);
        return static_cast<int>(HeadlessExit::BadArgument);
    }
    TestExecutiveSequenceWorker worker;
    HeadlessView view(stdout, stderr, [&](int milliseconds) { worker.WaitForProgress(milliseconds); });
    SequenceDocument document;
    SequenceTree tree;
    SequenceRun run(view, worker, tree, document);
    SequenceForm form(view, document, tree, run, worker.Languages());
    if (!form.Load(line.file)) {
        return static_cast<int>(HeadlessExit::NotOpened); // the form wrote why
    }
    if (line.serialNumberGiven) {
        (void)run.SerialNumberEditor().Type(line.serialNumber); // a failure shows when the run stores it
    } else {
        std::fputs(kNoSerialNumber, stderr);
    }
    run.Run();
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
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    CommandLine line = Parse(std::vector<std::string>(argv + 1, argv + argc));
    // Answered before COM and Qt start, so that --help needs no display and no registry.
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!line.bad.empty()) {
        std::fprintf(stderr, "runvex: unknown switch '%s'\n%s", line.bad.c_str(), kUsage);
        return static_cast<int>(HeadlessExit::BadArgument);
    }
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
