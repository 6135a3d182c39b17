// The tracer program as a user runs it: started on its own, it receives the trace lines that a server in
// another process sends, keeps those of the level asked for, writes them to its output file and ends on
// SIGTERM; a second tracer and bad command lines are refused. A program that runs all along sees a tracer
// started, killed or stopped meanwhile at its very next line.
#include "Utils/include/utils.h"
#include "common/trace/Trace.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/rot.h"
#include "tests/support/com_holders.h"
#include "tests/support/test_env.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string Vrtrace() {
    return vrtest::BuildBinFolder() + "/vrtrace";
}

// Starts vrtrace with arguments, its standard output and error going to the files named.
pid_t StartVrtrace(std::vector<std::string> arguments, const std::string& out, const std::string& err) {
    arguments.insert(arguments.begin(), Vrtrace());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether a tracer is registered; a tracer just started takes a moment to get there.
bool TracerFoundWithin(std::chrono::seconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    do {
        vr::ComPtr<IUnknown> tracer;
        if (SUCCEEDED(GetActiveObject(CLSID_TraceSink, nullptr, tracer.Put()))) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

// Whether the tracer says within 30 seconds that it is registered (it says so once it is).
bool SaysItIsTracing(const std::string& err) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (FileText(err).find("vrtrace: tracing to") == std::string::npos) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class VrtraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        folder_ = vrtest::MakeFreshFolder("vrtrace");
    }
    void TearDown() override {
        if (tracer_ > 0) {
            ::kill(tracer_, SIGKILL);
            (void)vrtest::WaitForChild(tracer_);
        }
        CoUninitialize();
    }

    std::string folder_;
    pid_t tracer_ = -1;
};

TEST_F(VrtraceTest, PrintsTheErrorLinesOfAServerInAnotherProcessToItsOutputFile) {
    const std::string lines = folder_ + "/lines.txt";
    mode_t umask = ::umask(0); // the output file is the user's alone all the same
    tracer_ = StartVrtrace({"--level", "2", "--output", lines}, folder_ + "/out", folder_ + "/err");
    ::umask(umask);
    ASSERT_GT(tracer_, 0);
    ASSERT_TRUE(TracerFoundWithin(std::chrono::seconds(30))) << FileText(folder_ + "/err");

    // The CSV file server traces its construction (object life), its options (information) and the bad
    // option (an error); only the error is of level 2 or above.
    {
        vr::ComPtr<IVrCsvFile> csv;
        ASSERT_EQ(CoCreateInstance(CLSID_CsvFile, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrCsvFile>(),
                                   csv.PutVoid()),
                  S_OK);
        vrtest::Bstr options(u"ArrayPlacement=Diagonal");
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_BSTR;
        argument.bstrVal = options.get();
        EXPECT_EQ(csv->Init(argument), E_INVALIDARG);
    }

    // A second tracer would never be found, so it is refused.
    pid_t second = StartVrtrace({}, folder_ + "/out2", folder_ + "/err2");
    ASSERT_GT(second, 0);
    EXPECT_EQ(vrtest::WaitForChild(second), 1);
    EXPECT_NE(FileText(folder_ + "/err2").find("another tracer is running already"), std::string::npos);

    ASSERT_EQ(::kill(tracer_, SIGTERM), 0);
    EXPECT_EQ(vrtest::WaitForChild(std::exchange(tracer_, -1)), 0) << FileText(folder_ + "/err");
    const std::string printed = FileText(lines);
    const std::string site = "[error] CCsvFile::Init(): CsvFileInit.cpp (";
    const std::string message = "): CsvFile: Wrong value of 'ArrayPlacement' parameter within initialization "
                                "string \"ArrayPlacement=Diagonal\".\n";
    EXPECT_EQ(printed.rfind(site, 0), 0u) << printed;
    ASSERT_GT(printed.size(), message.size());
    EXPECT_EQ(printed.substr(printed.size() - message.size()), message) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1)
        << "one line of level 2 or above: " << printed;
    EXPECT_EQ(FileText(folder_ + "/out"), "") << "the lines go to the output file only";
    struct stat info {};
    ASSERT_EQ(::stat(lines.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    // Once it has ended, no tracer is left registered.
    vr::ComPtr<IUnknown> gone;
    EXPECT_EQ(GetActiveObject(CLSID_TraceSink, nullptr, gone.Put()), MK_E_UNAVAILABLE);
}

// This process traces all along; tracers come and go. Each line is sent by a synchronous call that returns
// after the tracer has written it, so what a file holds once a line was traced is final.
TEST_F(VrtraceTest, ATracerStartedKilledOrStoppedMeanwhileIsSeenByTheNextLine) {
    const std::string ownRuntime = std::getenv("XDG_RUNTIME_DIR");
    // Twice: in the usual runtime folder, and in one whose generation counter file cannot be had (a folder in
    // its place), where every line reads the runtime folder.
    for (bool counterUsable : {true, false}) {
        SCOPED_TRACE(counterUsable ? "with the generation counter" : "without the generation counter");
        const std::string run = folder_ + (counterUsable ? "/usual" : "/no-counter");
        ASSERT_EQ(mkdir(run.c_str(), 0700), 0);
        ASSERT_EQ(mkdir((run + "/vornic").c_str(), 0700), 0);
        if (!counterUsable) {
            ASSERT_EQ(mkdir((run + "/vornic/rot-generation").c_str(), 0700), 0);
        }
        ASSERT_EQ(setenv("XDG_RUNTIME_DIR", run.c_str(), 1), 0);

        TraceInfo(u"unheard: %s", u"nobody traces yet");
        TraceInfo(u"unheard: %s", u"nobody traces yet");
        const std::string first = run + "/first.txt";
        tracer_ = StartVrtrace({"--output", first}, run + "/out", run + "/err");
        ASSERT_GT(tracer_, 0);
        ASSERT_TRUE(SaysItIsTracing(run + "/err")) << FileText(run + "/err");
        TraceInfo(u"heard by the %s tracer", u"first");
        if (counterUsable) {
            struct stat counter {};
            ASSERT_EQ(lstat((run + "/vornic/rot-generation").c_str(), &counter), 0);
            EXPECT_TRUE(S_ISREG(counter.st_mode) && counter.st_size == 8);
        }

        // Killed outright, it leaves its registration behind: the next line finds it dead and goes nowhere.
        ASSERT_EQ(::kill(tracer_, SIGKILL), 0);
        (void)vrtest::WaitForChild(std::exchange(tracer_, -1)); // killed: no exit code to look at
        TraceInfo(u"unheard: %s", u"the tracer was killed");
        TraceInfo(u"unheard: %s", u"the tracer was killed");
        vr::ComPtr<IUnknown> gone;
        EXPECT_EQ(GetActiveObject(CLSID_TraceSink, nullptr, gone.Put()), MK_E_UNAVAILABLE);

        const std::string second = run + "/second.txt";
        tracer_ = StartVrtrace({"--output", second}, run + "/out2", run + "/err2");
        ASSERT_GT(tracer_, 0);
        ASSERT_TRUE(SaysItIsTracing(run + "/err2")) << FileText(run + "/err2");
        TraceInfo(u"heard by the %s tracer", u"second");
        ASSERT_EQ(::kill(tracer_, SIGTERM), 0); // it revokes its registration and ends
        EXPECT_EQ(vrtest::WaitForChild(std::exchange(tracer_, -1)), 0) << FileText(run + "/err2");
        TraceInfo(u"unheard: %s", u"the tracer was stopped");

        const std::string firstLines = FileText(first);
        const std::string secondLines = FileText(second);
        EXPECT_NE(firstLines.find("heard by the first tracer\n"), std::string::npos) << firstLines;
        EXPECT_NE(secondLines.find("heard by the second tracer\n"), std::string::npos) << secondLines;
        EXPECT_EQ(std::count(firstLines.begin(), firstLines.end(), '\n'), 1) << firstLines;
        EXPECT_EQ(std::count(secondLines.begin(), secondLines.end(), '\n'), 1) << secondLines;
    }
    ASSERT_EQ(setenv("XDG_RUNTIME_DIR", ownRuntime.c_str(), 1), 0);
}

TEST_F(VrtraceTest, HelpAndBadCommandLines) {
    pid_t help = StartVrtrace({"--help"}, folder_ + "/help", folder_ + "/help-err");
    EXPECT_EQ(vrtest::WaitForChild(help), 0);
    const std::string usage = FileText(folder_ + "/help");
    EXPECT_EQ(usage.rfind("usage: vrtrace [--level N] [--output FILE]\n", 0), 0u) << usage;
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
             {"--level", "high"}, {"--level"}, {"--level", "99999"}, {"--verbose"}}) {
        pid_t bad = StartVrtrace(arguments, folder_ + "/bad", folder_ + "/bad-err");
        EXPECT_EQ(vrtest::WaitForChild(bad), 64) << arguments[0]; // every program's bad command line
        EXPECT_NE(FileText(folder_ + "/bad-err").find("vrtrace: "), std::string::npos) << arguments[0];
    }
    pid_t unwritable =
        StartVrtrace({"--output", folder_ + "/no/such/folder/lines"}, folder_ + "/u", folder_ + "/u-err");
    EXPECT_EQ(vrtest::WaitForChild(unwritable), 1);
    EXPECT_NE(FileText(folder_ + "/u-err").find("cannot write to"), std::string::npos);
    // A trace file others may change is not written (it would tell them, or show the user, what they wish).
    const std::string shared = folder_ + "/shared-lines";
    std::ofstream(shared) << "planted\n";
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    pid_t refused = StartVrtrace({"--output", shared}, folder_ + "/s", folder_ + "/s-err");
    EXPECT_EQ(vrtest::WaitForChild(refused), 1);
    EXPECT_NE(FileText(folder_ + "/s-err")
                  .find("vrtrace: The trace file '" + shared +
                        "' may be changed by others (mode 0666); it is not written."),
              std::string::npos)
        << FileText(folder_ + "/s-err");
}

} // namespace
