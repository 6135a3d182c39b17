// A test engineer's bench seen from outside: a multimeter and a power supply (two loopback instruments)
// described in the hardware manager's store, and six scripts written the way engineers write them. Each
// script is run as an operator station runs it: the script executive program scrivon (offscreen) driven by
// scrivon-drive, the hardware manager rigmont started on demand. A script runs live while its traffic is
// recorded, then again from the recording with the instruments gone, and on its own against instruments that
// answer garbage or nothing. scrivon's report lines, scrivon-drive's exit code and the run-time error are
// compared with what the engineer expects (data/expected/<script>.<mode>.txt), and no program may stay
// behind. A seventh script draws into the station's graph window, which the graph host opens for it; an
// eighth goes on drawing while that window is closed.
#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Runvex/RunvexWindow.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "VrDev/Panolix/PanelObjectControl.h"
#include "VrDev/Panolix/PanolixDlg.h"
#include "VrDev/Panolix/TestExecutivePanelWorker.h"
#include "VrDev/PlotvaneCtrl/include/plotvane.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "peers.h"
#include "platform/ado/ado.h"
#include "platform/ado/tests/db_servers.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/rot.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/station_data_source.h"
#include "tests/support/test_env.h"

#include <QAction>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using runvex::RunvexWindow;
using runvex::SequenceItem;
using runvex::TestExecutiveSequenceWorker;

enum class Mode { RecordedAndReplayed, Garbage, Mute };
const char* const kModeNames[] = {"RecordedAndReplayed", "Garbage", "Mute"};

void PrintTo(Mode mode, std::ostream* out) {
    *out << kModeNames[static_cast<int>(mode)];
}

// A run of scrivon-drive ends well within this, also when each query waits for the instrument's time-out.
constexpr auto kRunLimit = 60s;
// The programs of a run end within this after it (the hardware manager ends after a short idle time).
constexpr auto kEndLimit = 30s;

const std::set<std::string> kRunPrograms = {"scrivon", "scrivon-drive", "rigmont"};

// What the meter's four inputs and its reading buffer hold on the bench.
const std::map<std::string, std::string> kMeterInputs = {{"MEAS:VOLT1", "5.0021"},
                                                         {"MEAS:VOLT2", "3.2987"},
                                                         {"MEAS:VOLT3", "12.011"},
                                                         {"MEAS:VOLT4", "0.4812"},
                                                         {"FETC", "5.0021,3.2987,12.011,0.4812"}};

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Starts a program in folder with its output in <stem>.out and <stem>.err there, with home as its home
// folder when given; it dies with this process.
pid_t Start(const std::vector<std::string>& arguments, const std::string& folder, const std::string& stem,
            const std::string& home = "") {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::string out = folder + "/" + stem + ".out";
    std::string err = folder + "/" + stem + ".err";
    pid_t pid = ::fork();
    if (pid == 0) {
        (void)::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a test process that crashed; best effort
        int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFd < 0 || errFd < 0 || ::chdir(folder.c_str()) != 0 ||
            (!home.empty() && ::setenv("HOME", home.c_str(), 1) != 0)) {
            ::_exit(127);
        }
        // A failure leaves the program writing to the test's own streams: its report is then missing, which
        // the comparison shows.
        (void)::dup2(outFd, STDOUT_FILENO);
        (void)::dup2(errFd, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// The exit code, 128 plus the signal when one ended it, or -1 when it did not end in time (it is then
// killed).
int WaitForExit(pid_t pid, std::chrono::milliseconds patience) {
    if (pid <= 0) {
        return -1; // never started: waiting on it would wait for any child
    }
    auto deadline = std::chrono::steady_clock::now() + patience;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            (void)::kill(pid, SIGKILL);       // a child of ours: it is there to be killed
            (void)::waitpid(pid, &status, 0); // reaps it; the verdict is already "did not end"
            return -1;
        }
        std::this_thread::sleep_for(20ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The processes of this test's station (they inherited its private registry) other than this one, by
// process id and name; only those named in `names` unless it is empty.
std::map<pid_t, std::string> StationProcesses(const std::set<std::string>& names) {
    const std::string marker = std::string("VORNIC_REGISTRY=") + std::getenv("VORNIC_REGISTRY");
    std::map<pid_t, std::string> found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        std::string id = entry.path().filename().string();
        if (id.find_first_not_of("0123456789") != std::string::npos || std::stoi(id) == ::getpid()) {
            continue;
        }
        std::string name = ReadFile(entry.path() / "comm");
        name = name.substr(0, name.find('\n'));
        std::string environment = ReadFile(entry.path() / "environ"); // empty once a process is gone
        bool ours = false;
        for (size_t start = 0, end; !ours && start < environment.size(); start = end + 1) {
            end = environment.find('\0', start);
            end = end == std::string::npos ? environment.size() : end;
            ours = environment.compare(start, end - start, marker) == 0;
        }
        if (ours && (names.empty() || names.contains(name))) {
            found[std::stoi(id)] = name;
        }
    }
    return found;
}

// Waits until the named processes of the station have ended; those still there after patience are killed
// and named in the result.
std::string LeftBehind(const std::set<std::string>& names, std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    std::map<pid_t, std::string> left = StationProcesses(names);
    while (!left.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
        left = StationProcesses(names);
    }
    std::string text;
    for (const auto& [pid, name] : left) {
        (void)::kill(pid, SIGKILL); // it may have ended meanwhile; it is named as left behind either way
        text += name + " (" + std::to_string(pid) + ") ";
    }
    return text;
}

// The rows of the results database the data source file names, "<TestID> <TestResultID> <TestStatus> <SN>"
// each, in the order the SQL text's tail (" ORDER BY ...", or "") asks for; through a connection of the
// test's own.
std::vector<std::string> ResultRows(const std::string& dsn, const std::u16string& order) {
    auto connection = vr::ado::Connection::Create();
    connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
    auto rows = connection->Execute(u"SELECT TestID,TestResultID,TestStatus,SN FROM TestResults" + order);
    std::vector<std::string> result;
    for (; !rows->IsEOF(); rows->MoveNext()) {
        std::string row;
        for (LONG i = 0; i < rows->FieldCount(); ++i) {
            _variant_t value = rows->Fields(i).Value();
            row += (i ? " " : "") + (value.vt == VT_NULL ? std::string("<NULL>") : _bstr_t(value).utf8());
        }
        result.push_back(row);
    }
    return result;
}

void StoreItem(const char* name, const std::string& value) {
    CVrConfigData config;
    BSTR text = vr::AllocBstrUtf8(value);
    EXPECT_TRUE(config.StoreItem(name, text)) << name;
    SysFreeString(text);
}

// What one script run left: scrivon-drive's exit code, scrivon's report lines ("output <status>: <text>",
// "return value: <text>", "verdict: <status>") and everything scrivon wrote, for the run-time error.
struct RunResult {
    int exitCode = -1;
    std::vector<std::string> report;
    std::string everything;
};

class UserSide : public ::testing::TestWithParam<std::tuple<std::string, Mode>> {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        folder = vrtest::MakeFreshFolder(Script());
        StoreItem("ConfigStoreFile", folder + "/HwConfigStore.cfs");
        // A runtime folder of its own: a server an earlier test's programs left running there holds that
        // test's store, not this one's.
        std::string runtime = vrtest::MakeFreshFolder("run");
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        sharedRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        stationDataSource.emplace();
    }
    void TearDown() override {
        meter.Stop();
        supply.Stop();
        EXPECT_EQ(LeftBehind({}, kEndLimit), "") << "processes of the test were left behind";
        if (!sharedRuntime.empty()) {
            setenv("XDG_RUNTIME_DIR", sharedRuntime.c_str(), 1);
        }
        stationDataSource.reset();
    }
    std::string sharedRuntime; // the program's runtime folder, given back after the test
    std::optional<vrtest::StationDataSourceScope> stationDataSource; // given back after the test

    std::string Script() const { return std::get<0>(GetParam()); }
    std::string ScriptFile() const { return VR_USERSIDE_DATA "/" + Script() + ".JScript.ts"; }

    // The meter answers LF-terminated with the readings of its four inputs, the supply CR LF-terminated;
    // behaviour is "", "--garbage" or "--mute".
    void StartInstruments(const std::string& behaviour) {
        std::vector<std::string> meterArguments = {VR_LOOPBACK_INSTRUMENT, "--answer-end", "\\n"};
        for (const auto& [header, reading] : kMeterInputs) {
            meterArguments.insert(meterArguments.end(), {"--set", header, reading});
        }
        std::vector<std::string> supplyArguments = {VR_LOOPBACK_INSTRUMENT, "--answer-end", "\\r\\n"};
        if (!behaviour.empty()) {
            meterArguments.push_back(behaviour);
            supplyArguments.push_back(behaviour);
        }
        meterPort = StartInstrument(meter, meterArguments);
        supplyPort = StartInstrument(supply, supplyArguments);
    }
    static int StartInstrument(vrvisatest::ChildProcess& process, const std::vector<std::string>& arguments) {
        std::string line;
        EXPECT_TRUE(process.Start(arguments, &line) && line.starts_with("PORT ")) << line;
        return line.starts_with("PORT ") ? std::stoi(line.substr(5)) : 0;
    }

    // The connection setup that records to or replays from <link>-traffic.xml in the test's folder.
    std::string Simulation(const std::string& mode, const std::string& link) const {
        return "Simulation=" + mode + " SimulationFile='" + folder + "/" + link + "-traffic.xml'";
    }

    // The bench's store, from the engineer's file with this run's resources and setups filled in.
    void WriteStore(const std::string& meterSetup, const std::string& supplySetup) {
        std::string store = ReadFile(VR_USERSIDE_DATA "/HwConfigStore.cfs");
        const std::map<std::string, std::string> fields = {
            {"@DMM_RESOURCE@", "TCPIP0::127.0.0.1::" + std::to_string(meterPort) + "::SOCKET"},
            {"@PSU_RESOURCE@", "TCPIP0::127.0.0.1::" + std::to_string(supplyPort) + "::SOCKET"},
            {"@DMM_SETUP@", meterSetup},
            {"@PSU_SETUP@", supplySetup},
            {"@DATA@", VR_USERSIDE_DATA}};
        for (const auto& [field, value] : fields) {
            for (size_t at; (at = store.find(field)) != std::string::npos;) {
                store.replace(at, field.size(), value);
            }
        }
        std::ofstream(folder + "/HwConfigStore.cfs") << store;
    }

    // Runs the script through a scrivon of its own, then ends scrivon and checks that the run's programs end.
    RunResult Run(const std::string& round) {
        pid_t scrivon = Start({VR_SCRIVON}, folder, "scrivon-" + round);
        pid_t drive = Start({VR_SCRIVON_DRIVE, ScriptFile()}, folder, "drive-" + round);
        RunResult result;
        result.exitCode = WaitForExit(drive, kRunLimit);
        EXPECT_NE(result.exitCode, -1) << "scrivon-drive did not end within its limit";
        if (scrivon > 0) {
            (void)::kill(scrivon, SIGTERM); // headless, nobody closes the window; it may have ended already
        }
        EXPECT_NE(WaitForExit(scrivon, 10s), -1) << "scrivon did not end when told to";
        EXPECT_EQ(LeftBehind(kRunPrograms, kEndLimit), "") << "programs of the run were left behind";
        std::string output = ReadFile(folder + "/scrivon-" + round + ".out");
        for (const std::string& line : Lines(output)) {
            if (line.starts_with("output ") || line.starts_with("return value: ") ||
                line.starts_with("verdict: ")) {
                result.report.push_back(line);
            }
        }
        result.everything = output + ReadFile(folder + "/scrivon-" + round + ".err");
        return result;
    }

    // The number of the script's line that holds marker, as the script engine counts lines.
    int MarkedLine(const std::string& marker) const {
        std::vector<std::string> lines = Lines(ReadFile(ScriptFile()));
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find(marker) != std::string::npos) {
                return static_cast<int>(i) + 1;
            }
        }
        ADD_FAILURE() << "no line of " << Script() << " holds '" << marker << "'";
        return 0;
    }

    // Compares a run with data/expected/<script>.<expectation>.txt; an error verdict must come with a
    // run-time error that names the marked line and holds the failure's text.
    void Expect(const RunResult& run, const std::string& expectation, const std::string& marker,
                const std::string& failure) {
        std::vector<std::string> expected =
            Lines(ReadFile(VR_USERSIDE_DATA "/expected/" + Script() + "." + expectation + ".txt"));
        ASSERT_FALSE(expected.empty()) << "no expected report for " << Script() << "." << expectation;
        EXPECT_EQ(run.report, expected) << "scrivon wrote:\n" << run.everything;
        const std::map<std::string, int> exitCodes = {
            {"verdict: Passed", 0}, {"verdict: Failed", 1}, {"verdict: Error", 2}};
        EXPECT_EQ(run.exitCode, exitCodes.at(expected.back())) << "scrivon-drive's exit code";
        if (expected.back() == "verdict: Error") {
            std::string line = "Line: " + std::to_string(MarkedLine(marker)) + ",";
            for (const std::string& part : {std::string("Run-Time Error"), line, failure}) {
                EXPECT_NE(run.everything.find(part), std::string::npos)
                    << "the run-time error lacks '" << part << "'; scrivon wrote:\n"
                    << run.everything;
            }
        }
    }

    std::string folder;
    vrvisatest::ChildProcess meter;
    vrvisatest::ChildProcess supply;
    int meterPort = 0;
    int supplyPort = 0;
};

constexpr const char* kParseFailure = "Schema din't match the Response";
constexpr const char* kTimeout = "within the specified Timeout";

TEST_P(UserSide, RunsAsTheEngineerExpects) {
    switch (std::get<1>(GetParam())) {
    case Mode::RecordedAndReplayed:
        StartInstruments("");
        WriteStore(Simulation("Overwrite", "dmm"), Simulation("Overwrite", "psu"));
        Expect(Run("recording"), "live", "answer does not parse", kParseFailure);
        meter.Stop();
        supply.Stop();
        ASSERT_TRUE(fs::exists(folder + "/dmm-traffic.xml")) << "the meter's traffic was not recorded";
        WriteStore(Simulation("RandomRead", "dmm"), Simulation("RandomRead", "psu"));
        Expect(Run("replay"), "live", "answer does not parse", kParseFailure);
        break;
    case Mode::Garbage:
        StartInstruments("--garbage");
        WriteStore("", "");
        Expect(Run("garbage"), "garbage", "first query", kParseFailure);
        break;
    case Mode::Mute:
        StartInstruments("--mute");
        WriteStore("", "");
        Expect(Run("mute"), "mute", "first query", kTimeout);
        break;
    }
}

// The bench's scripts as a test sequence run by the test executive runvex (offscreen): nested tests, one of
// them inside a grouping element, run in tree order until the limits check fails, so the last test never
// runs. Recorded live, then replayed with the instruments gone; each time every test's header, output,
// return value, verdict and image, and the exit code that says the sequence failed.
class SequenceBench : public UserSide {
protected:
    static constexpr const char* kSequence = R"(<?xml version="1.0" encoding="UTF-8"?>
<sequence>
  <test name="Identify" description="meter model">
    <code file="@DATA@/identify.JScript.ts" language="JScript"/>
    <rails title="supply">
      <test name="Rails"><code file="@DATA@/rails.JScript.ts" language="JScript"/></test>
    </rails>
    <test name="Buffer"><code file="@DATA@/buffer.JScript.ts" language="JScript"/></test>
  </test>
  <test name="Limits"><code file="@DATA@/limits.JScript.ts" language="JScript"/></test>
  <test name="Channels"><code file="@DATA@/channels.JScript.ts" language="JScript"/></test>
</sequence>
)";

    std::string WriteSequence() const {
        std::string sequence = kSequence;
        for (size_t at; (at = sequence.find("@DATA@")) != std::string::npos;) {
            sequence.replace(at, 6, VR_USERSIDE_DATA);
        }
        std::string path = folder + "/bench sequence.tsq"; // a blank in the name, as users name files
        std::ofstream(path) << sequence;
        return path;
    }

    // What runvex reports for the tests that run: each test's header, then what the script executive shows
    // for the script alone (without its own run's BEGIN and END lines), then the image its verdict gives.
    static std::vector<std::string> ExpectedReport() {
        std::vector<std::string> report;
        for (const auto& [name, script, image] : {std::tuple{"Identify", "identify", "6 (passed)"},
                                                  {"Rails", "rails", "6 (passed)"},
                                                  {"Buffer", "buffer", "6 (passed)"},
                                                  {"Limits", "limits", "3 (failed)"}}) {
            report.push_back("output Unknown: " + std::string(39, '-') + " " + name + " " +
                             std::string(38, '-'));
            for (const std::string& line :
                 Lines(ReadFile(VR_USERSIDE_DATA "/expected/" + std::string(script) + ".live.txt"))) {
                if (line.find(" BEGIN ") == std::string::npos && line.find(" END ") == std::string::npos) {
                    report.push_back(line);
                }
            }
            report.push_back(std::string("image: ") + image);
        }
        return report;
    }

    // runvex on the sequence (with the test's folder as its home): its exit code and its report lines.
    RunResult RunSequence(const std::string& round, const std::string& sequence) {
        pid_t runvex = Start({VR_RUNVEX, sequence}, folder, "runvex-" + round, folder);
        RunResult result;
        result.exitCode = WaitForExit(runvex, kRunLimit);
        EXPECT_EQ(LeftBehind({"runvex", "rigmont"}, kEndLimit), "") << "programs of the run were left behind";
        std::string output = ReadFile(folder + "/runvex-" + round + ".out");
        for (const std::string& line : Lines(output)) {
            if (line.starts_with("output ") || line.starts_with("return value: ") ||
                line.starts_with("verdict: ") || line.starts_with("image: ")) {
                result.report.push_back(line);
            }
        }
        result.everything = output + ReadFile(folder + "/runvex-" + round + ".err");
        return result;
    }
};

TEST_P(SequenceBench, RunsInTreeOrderUntilATestFailsLiveAndReplayed) {
    std::string sequence = WriteSequence();
    StartInstruments("");
    WriteStore(Simulation("Overwrite", "dmm"), Simulation("Overwrite", "psu"));
    RunResult live = RunSequence("recording", sequence);
    EXPECT_EQ(live.report, ExpectedReport()) << "runvex wrote:\n" << live.everything;
    EXPECT_EQ(live.exitCode, 1) << "a failed test fails the sequence";

    meter.Stop();
    supply.Stop();
    WriteStore(Simulation("RandomRead", "dmm"), Simulation("RandomRead", "psu"));
    // Named from the home folder, as a shell leaves a quoted name: runvex finds it there.
    RunResult replayed = RunSequence("replay", "~/" + fs::path(sequence).filename().string());
    EXPECT_EQ(replayed.report, ExpectedReport()) << "runvex wrote:\n" << replayed.everything;
    EXPECT_EQ(replayed.exitCode, 1);
}

// The operator's side of the same bench: the test executive's own window (offscreen, in this process) on the
// real test-execution worker, with the hardware manager started on demand. The operator types a serial
// number and presses Run: the tree shows each test's end and the stop after the limits check; then the
// channel check, which never ran, is executed alone from the tree. The verdicts and the scripts' checks are
// the rows of the results database. Live while recorded, then replayed with the instruments gone.
class OperatorWindow : public SequenceBench {
protected:
    static constexpr const char* kSerialNumber = "BENCH-0042";
    // An error box nobody expects would wait for an answer: these answer it, and the test names it.
    static constexpr size_t kUnexpectedBoxes = 4;

    struct WindowRun {
        std::vector<std::string> images; // "<label> <image>" after Run, in tree order
        std::string status;              // the status bar after Run
        int singleImage = 0;             // the channel check's image after it ran alone
        std::string singleOutput;        // what the output pane gained meanwhile
        std::vector<std::string> rows;   // "<TestID> <TestResultID> <TestStatus> <SN>" in stored order
    };

    static SequenceItem* ItemLabelled(RunvexWindow& window, const std::string& label) {
        for (SequenceItem* item : window.Items().PreOrder()) {
            if (item->label == label) {
                return item;
            }
        }
        return nullptr;
    }
    static int ImageOf(RunvexWindow& window, const std::string& label) {
        SequenceItem* item = ItemLabelled(window, label);
        QTreeWidgetItem* shown = item ? window.WidgetItemOf(*item) : nullptr;
        return shown ? shown->data(0, RunvexWindow::kImageRole).toInt() : -1;
    }

    // The rows the runs stored, through a connection of the test's own.
    static std::vector<std::string> StoredRows(const std::string& dsn) {
        return ResultRows(dsn, u" ORDER BY rowid");
    }

    // Opens the sequence in a window of its own as the command line does, runs it, then the channel check
    // alone; the worker, and with it the hardware manager, ends with the round.
    WindowRun RunInWindow(const std::string& round, const std::string& sequence) {
        const std::string dsn = folder + "/results-" + round + ".dsn";
        std::ofstream(dsn) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << folder << "/results-" << round
                           << ".db\nTimeout=10000\n";
        StoreItem("DSN", dsn);
        WindowRun result;
        vr::ui::MessageBoxSeen unexpected;
        for (size_t box = 0; box < kUnexpectedBoxes; ++box) {
            vr::ui::AnswerNextMessageBox(IDOK, &unexpected);
        }
        {
            TestExecutiveSequenceWorker worker;
            HANDLE progress = worker.ProgressEvent();
            RunvexWindow window(worker, worker.Languages(), [progress](int milliseconds) mutable {
                DWORD index = 0;
                // Signalled or not, the run looks at the worker again.
                (void)vr::ui::WaitPumping(static_cast<DWORD>(milliseconds), 1, &progress, &index);
            });
            window.show();
            window.SetPendingFile(sequence);
            for (int look = 0; look < 1000 && !window.Form().IsLoaded(); ++look) {
                QTest::qWait(10);
            }
            EXPECT_TRUE(window.Form().IsLoaded()) << window.statusBar()->currentMessage().toStdString();
            QLineEdit* serialNumber = window.findChild<AttrValueEditor*>()->Combo()->lineEdit();
            serialNumber->clear();
            QTest::keyClicks(serialNumber, kSerialNumber);

            window.Command("Run")->trigger(); // returns when the run has ended
            for (SequenceItem* item : window.Items().PreOrder()) {
                result.images.push_back(item->label + " " + std::to_string(ImageOf(window, item->label)));
            }
            result.status = window.statusBar()->currentMessage().toStdString();

            if (SequenceItem* channels = ItemLabelled(window, "Channels")) {
                window.Tree()->setCurrentItem(window.WidgetItemOf(*channels));
                const QString before = window.Output()->toPlainText();
                window.Command("Execute Test")->trigger();
                result.singleImage = ImageOf(window, "Channels");
                result.singleOutput = window.Output()->toPlainText().mid(before.size()).toStdString();
            }
        }
        EXPECT_EQ(vr::ui::PendingModalAnswers(), kUnexpectedBoxes)
            << "a box appeared: " << vr::ToUtf8(unexpected.caption) << ": " << vr::ToUtf8(unexpected.text);
        vr::ui::DropModalAnswers();
        EXPECT_EQ(LeftBehind({"rigmont"}, kEndLimit), "") << "the hardware manager outlived its worker";
        result.rows = StoredRows(dsn);
        return result;
    }

    void ExpectRound(const WindowRun& run) {
        EXPECT_EQ(run.images, (std::vector<std::string>{"Main Sequence 1", "Identify 6", "Rails 6",
                                                        "Buffer 6", "Limits 3", "Channels 1"}));
        EXPECT_EQ(run.status, "Ready");
        EXPECT_EQ(run.singleImage, 6);
        std::string expected = std::string(39, '-') + " Channels " + std::string(38, '-') + "\n";
        for (const std::string& line : Lines(ReadFile(VR_USERSIDE_DATA "/expected/channels.live.txt"))) {
            if (line.starts_with("output ")) {
                expected += line.substr(line.find(": ") + 2) + "\n";
            }
        }
        expected += "Test 'Channels': Passed (returned 'passed')\n"; // the verdict the pane keeps
        EXPECT_EQ(run.singleOutput, expected);
        const std::string sn = std::string(" ") + kSerialNumber;
        EXPECT_EQ(run.rows, (std::vector<std::string>{
                                "Identify IDN Passed" + sn, "Identify  Passed" + sn,
                                "Rails VDC_CH1 Passed" + sn, "Rails VDC_CH2 Passed" + sn,
                                "Rails  Passed" + sn, "Buffer SCAN_MEAN Passed" + sn, "Buffer  Passed" + sn,
                                "Limits CH1 Passed" + sn, "Limits CH2 Passed" + sn, "Limits CH3 Passed" + sn,
                                "Limits CH4 Failed" + sn, "Limits  Failed" + sn, "Channels  Passed" + sn}));
    }
};

TEST_P(OperatorWindow, RunsTheSequenceThenOneTestAloneAndStoresTheVerdictsLiveAndReplayed) {
    vrtest::TestApplication();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_TRUE(SUCCEEDED(vr::ui::GuiApartment::Create(&apartment)));
    vr::RegisterSystemProxies(); // the worker hands the engine and the script executive across threads
    std::string sequence = WriteSequence();
    StartInstruments("");
    WriteStore(Simulation("Overwrite", "dmm"), Simulation("Overwrite", "psu"));
    ExpectRound(RunInWindow("recording", sequence));

    meter.Stop();
    supply.Stop();
    WriteStore(Simulation("RandomRead", "dmm"), Simulation("RandomRead", "psu"));
    ExpectRound(RunInWindow("replay", sequence));
    apartment.reset();
    CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(Bench, OperatorWindow,
                         ::testing::Values(std::tuple{std::string("window"), Mode::RecordedAndReplayed}));

INSTANTIATE_TEST_SUITE_P(Bench, SequenceBench,
                         ::testing::Values(std::tuple{std::string("sequence"), Mode::RecordedAndReplayed}));

// Two more of the engineer's scripts, live while recorded and then replayed, each run by scrivon (through
// scrivon-drive) and by runvex as a sequence of that one test. "flags" prints the engine's output option,
// which the script reads as a boolean, checks a reading that never came against the rail's limits (it
// fails), then meets the meter's answer that does not parse: the error names the socket as its source.
// "typo" reads a member the supply does not have: the run ends in error on that line instead of passing.
class ScriptFaultsBench : public SequenceBench {
protected:
    struct Fault {
        std::string marker;  // on the script's line that fails
        std::string failure; // in the error's text
        std::string source;  // the error's source
    };
    Fault ExpectedFault() const {
        if (Script() == "flags") {
            return {"answer does not parse", kParseFailure, "Source: 'Vornic.Socket.1'"};
        }
        return {"misspelled member", "Object doesn't support this property or method",
                "Source: 'JScript runtime error'"};
    }

    std::string WriteOneTestSequence() const {
        std::string path = folder + "/" + Script() + ".tsq";
        std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sequence>\n  <test name=\""
                            << Script() << "\"><code file=\"" << ScriptFile()
                            << "\" language=\"JScript\"/></test>\n</sequence>\n";
        return path;
    }

    // What runvex reports for the test: its header, the script's lines without the script executive's own
    // BEGIN and END, and the error's image.
    std::vector<std::string> ExpectedSequenceReport() const {
        std::vector<std::string> report = {"output Unknown: " + std::string(39, '-') + " " + Script() + " " +
                                           std::string(38, '-')};
        for (const std::string& line :
             Lines(ReadFile(VR_USERSIDE_DATA "/expected/" + Script() + ".live.txt"))) {
            if (line.find(" BEGIN ") == std::string::npos && line.find(" END ") == std::string::npos) {
                report.push_back(line);
            }
        }
        report.push_back("image: 5 (error)");
        return report;
    }

    void ExpectRound(const std::string& round, const std::string& sequence) {
        const Fault fault = ExpectedFault();
        RunResult scrivon = Run(round);
        Expect(scrivon, "live", fault.marker, fault.failure);
        EXPECT_NE(scrivon.everything.find(fault.source), std::string::npos) << scrivon.everything;

        RunResult runvex = RunSequence(round, sequence);
        EXPECT_EQ(runvex.report, ExpectedSequenceReport()) << "runvex wrote:\n" << runvex.everything;
        EXPECT_EQ(runvex.exitCode, 2) << "an error ends the sequence";
        const std::string line = "Line: " + std::to_string(MarkedLine(fault.marker)) + ",";
        for (const std::string& part : {line, fault.failure, fault.source}) {
            EXPECT_NE(runvex.everything.find(part), std::string::npos)
                << "runvex's error lacks '" << part << "'; it wrote:\n"
                << runvex.everything;
        }
    }
};

TEST_P(ScriptFaultsBench, ShowsFlagsAsBooleansAndFaultsWithTheirLineAndSourceLiveAndReplayed) {
    const std::string sequence = WriteOneTestSequence();
    StartInstruments("");
    WriteStore(Simulation("Overwrite", "dmm"), Simulation("Overwrite", "psu"));
    ExpectRound("recording", sequence);
    meter.Stop();
    supply.Stop();
    WriteStore(Simulation("RandomRead", "dmm"), Simulation("RandomRead", "psu"));
    ExpectRound("replay", sequence);
}

INSTANTIATE_TEST_SUITE_P(Bench, ScriptFaultsBench,
                         ::testing::Values(std::tuple{std::string("flags"), Mode::RecordedAndReplayed},
                                           std::tuple{std::string("typo"), Mode::RecordedAndReplayed}));

// An unattended station: runvex and scrivon without a display, the operator's serial number given on their
// command lines (--sn; scrivon-drive passes it on to scrivon), store every result row of their runs under it,
// in a SQLite file and in a PostgreSQL database alike. Without it, each program says once why it stores
// nothing.
class HeadlessStation : public SequenceBench {
protected:
    static constexpr const char* kSerialNumber = "LINE-7-0815";

    // The rows the runs stored, "<TestID> <TestResultID> <TestStatus> <SN>", sorted (the databases keep no
    // common order of insertion).
    static std::vector<std::string> SortedRows(const std::string& dsn) {
        return Sorted(ResultRows(dsn, u""));
    }
    static std::vector<std::string> Sorted(std::vector<std::string> rows) {
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    static size_t Count(const std::string& text, const std::string& part) {
        size_t count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++count;
        }
        return count;
    }

    // runvex runs the bench's sequence, then scrivon the rails script (twice without a serial number, to see
    // that it says so once); the rows stored meanwhile.
    std::vector<std::string> RunStation(const std::string& round, const std::string& dsn, bool withSerial) {
        StoreItem("DSN", dsn);
        std::vector<std::string> serial =
            withSerial ? std::vector<std::string>{"--sn", kSerialNumber} : std::vector<std::string>{};
        std::vector<std::string> runvex = {VR_RUNVEX};
        runvex.insert(runvex.end(), serial.begin(), serial.end());
        runvex.push_back(WriteSequence());
        pid_t sequence = Start(runvex, folder, "runvex-" + round);
        EXPECT_EQ(WaitForExit(sequence, kRunLimit), 1) << "the limits check fails the sequence";

        pid_t scrivon = Start({VR_SCRIVON}, folder, "scrivon-" + round);
        std::vector<std::string> drive = {VR_SCRIVON_DRIVE};
        drive.insert(drive.end(), serial.begin(), serial.end());
        drive.push_back(VR_USERSIDE_DATA "/rails.JScript.ts");
        for (int run = 0; run < (withSerial ? 1 : 2); ++run) {
            EXPECT_EQ(WaitForExit(Start(drive, folder, "drive-" + round), kRunLimit), 0);
        }
        if (scrivon > 0) {
            (void)::kill(scrivon, SIGTERM); // headless, nobody closes the window
        }
        EXPECT_NE(WaitForExit(scrivon, 10s), -1) << "scrivon did not end when told to";
        EXPECT_EQ(LeftBehind(kRunPrograms, kEndLimit), "") << "programs of the run were left behind";

        const std::string said =
            "no serial number was given (--sn SERIAL): no result rows are stored unless a "
            "test sets one";
        EXPECT_EQ(Count(ReadFile(folder + "/runvex-" + round + ".err"), said), withSerial ? 0u : 1u);
        EXPECT_EQ(Count(ReadFile(folder + "/scrivon-" + round + ".err"), said), withSerial ? 0u : 1u);
        return SortedRows(dsn);
    }

    void ExpectEveryRowUnderTheSerialNumber(const std::string& round, const std::string& dsn) {
        const std::string sn = std::string(" ") + kSerialNumber;
        EXPECT_EQ(RunStation(round, dsn, true),
                  Sorted({"Identify IDN Passed" + sn, "Identify  Passed" + sn, "Rails VDC_CH1 Passed" + sn,
                          "Rails VDC_CH2 Passed" + sn, "Rails  Passed" + sn, "Buffer SCAN_MEAN Passed" + sn,
                          "Buffer  Passed" + sn, "Limits CH1 Passed" + sn, "Limits CH2 Passed" + sn,
                          "Limits CH3 Passed" + sn, "Limits CH4 Failed" + sn, "Limits  Failed" + sn,
                          "rails.JScript VDC_CH1 Passed" + sn, "rails.JScript VDC_CH2 Passed" + sn,
                          "rails.JScript  Passed" + sn}))
            << "runvex wrote:\n"
            << ReadFile(folder + "/runvex-" + round + ".err") << "scrivon wrote:\n"
            << ReadFile(folder + "/scrivon-" + round + ".err");
    }
};

TEST_P(HeadlessStation, StoresEveryRowUnderTheCommandLinesSerialNumberInSqliteAndPostgresql) {
    dbtest::UseDriverConfigIn(folder);
    StartInstruments("");
    WriteStore("", "");

    const std::string sqlite = folder + "/results.dsn";
    std::ofstream(sqlite) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << folder << "/results.db\nTimeout=10000\n";
    EXPECT_EQ(RunStation("unnamed", sqlite, false), std::vector<std::string>{})
        << "no serial number, no rows";
    ExpectEveryRowUnderTheSerialNumber("sqlite", sqlite);

    std::string why;
    // A server of the test's own, stopped before the test looks for processes left behind.
    std::unique_ptr<dbtest::PostgresCluster> cluster = dbtest::PostgresCluster::Start(&why);
    ASSERT_TRUE(cluster || !dbtest::PostgresCluster::ServerInstalled()) << why;
    if (!cluster) {
        GTEST_SKIP() << "PostgreSQL is not installed: " << why;
    }
    const std::string postgres = folder + "/postgres.dsn";
    std::ofstream(postgres) << "[ODBC]\n" << cluster->FileDataSourceLines();
    ExpectEveryRowUnderTheSerialNumber("postgres", postgres);
}

INSTANTIATE_TEST_SUITE_P(Bench, HeadlessStation,
                         ::testing::Values(std::tuple{std::string("station"), Mode::RecordedAndReplayed}));

std::string CaseName(const ::testing::TestParamInfo<UserSide::ParamType>& info) {
    return std::get<0>(info.param) + "_" + kModeNames[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Bench, UserSide,
    ::testing::Combine(::testing::Values<std::string>("identify", "rails", "channels", "buffer", "limits",
                                                      "function_error"),
                       ::testing::Values(Mode::RecordedAndReplayed, Mode::Garbage, Mode::Mute)),
    CaseName);

// The graph script run by scrivon gets the graph window through engine.graph: the engine creates the graph
// host, whose control it finds in the running object table, and the ramp's points land in the window. The
// test holds the control as soon as it appears, so that the host outlives the run until the picture is
// taken; once nobody holds it, the host ends by itself.
TEST(UserSideGraph, ScriptDrawsIntoTheGraphHostWindow) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    const std::string folder = vrtest::MakeFreshFolder("graph");
    pid_t scrivon = Start({VR_SCRIVON}, folder, "scrivon");
    pid_t drive = Start({VR_SCRIVON_DRIVE, VR_USERSIDE_DATA "/graph.JScript.ts"}, folder, "drive");
    vr::ComPtr<IUnknown> control;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    while (!control && ::waitpid(drive, &status, WNOHANG) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        if (FAILED(GetActiveObject(CLSID_PlotvaneCtrl, nullptr, control.Put()))) {
            std::this_thread::sleep_for(20ms);
        }
    }
    if (!control) {
        // The run can end between two looks; the host keeps its control registered for a while after that.
        (void)GetActiveObject(CLSID_PlotvaneCtrl, nullptr, control.Put()); // failure is fine: asserted next
    }
    ASSERT_TRUE(control) << "no graph control appeared; scrivon wrote:\n"
                         << ReadFile(folder + "/scrivon.out") << ReadFile(folder + "/scrivon.err");
    EXPECT_EQ(WaitForExit(drive, kRunLimit), 0) << ReadFile(folder + "/scrivon.out");
    (void)::kill(scrivon, SIGTERM); // headless, nobody closes its window
    EXPECT_NE(WaitForExit(scrivon, 10s), -1) << "scrivon did not end when told to";
    EXPECT_NE(ReadFile(folder + "/scrivon.out").find("Ramp drawn: 50 points"), std::string::npos);

    vr::ComPtr<IDispatch> host;
    ASSERT_EQ(CoCreateInstance(CLSID_GraphHost, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, host.PutVoid()),
              S_OK);
    const std::string pictureFile = folder + "/graph.png";
    _variant_t file(vr::FromUtf8(pictureFile).c_str());
    DISPPARAMS params{&file, nullptr, 1, 0};
    ASSERT_EQ(host->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    const QImage picture(QString::fromStdString(pictureFile));
    ASSERT_FALSE(picture.isNull());
    int curvePixels = 0; // the first curve's colour
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            curvePixels += picture.pixelColor(x, y) == QColor(0, 255, 0) ? 1 : 0;
        }
    }
    EXPECT_GE(curvePixels, 50) << "the ramp's points are not in the window";

    host = nullptr;
    control = nullptr;
    EXPECT_EQ(LeftBehind({"graphhost"}, kEndLimit), "") << "the graph host did not end once nobody held it";
    CoUninitialize();
}

// The operator closes the graph window while a script draws into it (graphhost turns SIGTERM into a close
// event on its real window, offscreen): the host ends cleanly, leaving neither its control's registration
// nor its socket in the runtime folder, and the script, which holds engine.graph, fails on its next point
// instead of waiting.
TEST(UserSideGraph, ClosingTheWindowEndsTheHostAndFailsTheScriptsDrawing) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string folder = vrtest::MakeFreshFolder("graph_closed");
    pid_t scrivon = Start({VR_SCRIVON}, folder, "scrivon");
    pid_t drive = Start({VR_SCRIVON_DRIVE, VR_USERSIDE_DATA "/graph_closed.JScript.ts"}, folder, "drive");
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    while (ReadFile(folder + "/scrivon.out").find("Graph open") == std::string::npos &&
           ::waitpid(drive, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    const std::map<pid_t, std::string> hosts = StationProcesses({"graphhost"});
    ASSERT_EQ(hosts.size(), 1u) << "scrivon wrote:\n"
                                << ReadFile(folder + "/scrivon.out") << ReadFile(folder + "/scrivon.err");
    const pid_t host = hosts.begin()->first;
    ASSERT_EQ(::kill(host, SIGTERM), 0);

    const int driveCode = WaitForExit(drive, kRunLimit);
    const std::string everything = ReadFile(folder + "/scrivon.out") + ReadFile(folder + "/scrivon.err");
    EXPECT_NE(driveCode, -1) << "the script did not end";
    EXPECT_EQ(driveCode, 2) << "an error ends the run\n" << everything;
    EXPECT_NE(everything.find("verdict: Error"), std::string::npos) << everything;
    EXPECT_EQ(everything.find("stayed open"), std::string::npos) << everything;
    EXPECT_EQ(LeftBehind({"graphhost"}, kEndLimit), "") << "the graph host did not end with its window";
    (void)::kill(scrivon, SIGTERM); // headless, nobody closes its window
    EXPECT_NE(WaitForExit(scrivon, 10s), -1) << "scrivon did not end when told to";

    const std::string pid = std::to_string(host);
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(vr::RuntimeFolder(), error)) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name, "srv-" + pid + ".sock") << "the graph host left its socket";
        EXPECT_FALSE(name.starts_with("active-") && name.find("-" + pid + "-") != std::string::npos)
            << "the graph host left its control's registration: " << name;
    }
    EXPECT_FALSE(error) << error.message();
    EXPECT_EQ(everything.find("Sanitizer"), std::string::npos) << everything;
}

// The bench's control panel (data/bench.pnx: the supply powers the rails, control objects read them with the
// meter) as a test of the language "ControlPanel" in a sequence of the test executive runvex, which starts
// the control panel panolix in batch mode and takes its exit code as the verdict: the panel passes, and a
// copy whose 5 V limits the rail misses fails, and panolix writes what each refresh showed. Recorded live,
// then replayed with the instruments gone; then the replayed panel in the main window in this process, with
// its values shown as read and coloured by their limits (VR_PANOLIX_SCREENSHOT=<file> keeps a picture of the
// window, as docs/panolix.png).
class PanelBench : public SequenceBench {
protected:
    std::string WritePanelSequence() const {
        std::string panel = ReadFile(VR_USERSIDE_DATA "/bench.pnx");
        std::string limits = "[4.95..5.05]";
        panel.replace(panel.find(limits), limits.size(), "[5.10..5.20]");
        std::ofstream(folder + "/out of limits.pnx") << panel;
        std::string path = folder + "/panel sequence.tsq";
        std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sequence>\n"
                            << "  <test name=\"Rails\"><code file=\"" VR_USERSIDE_DATA
                               "/bench.pnx\" language=\"ControlPanel\"/></test>\n"
                            << "  <test name=\"Limits\"><code file=\"" << folder
                            << "/out of limits.pnx\" language=\"ControlPanel\"/></test>\n</sequence>\n";
        return path;
    }
    // The value lines panolix writes offscreen (into runvex's output, which it shares): three refreshes of
    // the panel's four objects, then the one refresh of the copy whose 5 V rail is out of its limits.
    static void ExpectShownValues(const std::string& output) {
        std::vector<std::string> values;
        for (const std::string& line : Lines(output)) {
            if (line.starts_with("value ")) {
                values.push_back(line);
            }
        }
        const std::string meter =
            "value Meter: 'VORNIC,LOOPBACK,0,1.0' unchecked, shown as 'VORNIC,LOOPBACK,0,1.0'";
        const std::string rail33 = "value 3.3 V rail: '3.2987' valid, shown as ' 3.299 V'";
        const std::string supply = "value Supply output 2: 'ON' unchecked, shown as 'ON'";
        std::vector<std::string> expected;
        for (int refresh = 0; refresh < 3; ++refresh) {
            expected.insert(expected.end(),
                            {meter, "value 5 V rail: '5.0021' valid, shown as ' 5.002 V'", rail33, supply});
        }
        expected.insert(expected.end(),
                        {meter, "value 5 V rail: '5.0021' NOT valid, shown as ' 5.002 V'", rail33, supply});
        EXPECT_EQ(values, expected) << output;
    }
    static std::vector<std::string> ExpectedReport() {
        return {"output Unknown: " + std::string(39, '-') + " Rails " + std::string(38, '-'),
                "return value: true",
                "verdict: Passed",
                "image: 6 (passed)",
                "output Unknown: " + std::string(39, '-') + " Limits " + std::string(38, '-'),
                "return value: false",
                "verdict: Failed",
                "image: 3 (failed)"};
    }
};

// What the panel's control objects showed, read as the window closed.
struct ShownValue {
    std::string text;
    QColor color;
};

std::vector<ShownValue> RunPanelWindow(const std::string& panel) {
    vrtest::TestApplication();
    std::vector<ShownValue> shown;
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    vr::RegisterSystemProxies();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    EXPECT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    {
        panolix::TestExecutivePanelWorker worker;
        panolix::CPanolixDlg dialog(worker, true, true);
        bool overdue = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            overdue = true;
            dialog.done(QDialog::Rejected);
        });
        // The batch run closes the window when the loop has stopped; the values are read before that close
        // resets the panel.
        class BeforeClose : public QObject {
        public:
            BeforeClose(panolix::CPanolixDlg& dialog, std::vector<ShownValue>& shown)
                : dialog_(dialog), shown_(shown) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Close && shown_.empty()) {
                    for (size_t i = 0; i < dialog_.Objects().Count(); ++i) {
                        auto* control = dynamic_cast<CPObjectControl*>(dialog_.Objects().At(i));
                        if (control) {
                            shown_.push_back({vr::ToUtf8(control->ValueText()), control->ValueColor()});
                        }
                    }
                    if (const char* picture = std::getenv("VR_PANOLIX_SCREENSHOT")) {
                        EXPECT_TRUE(dialog_.grab().save(QString::fromUtf8(picture)));
                    }
                }
                return false;
            }

        private:
            panolix::CPanolixDlg& dialog_;
            std::vector<ShownValue>& shown_;
        } beforeClose(dialog, shown);
        dialog.installEventFilter(&beforeClose);
        watchdog.start(std::chrono::milliseconds(kRunLimit).count());
        dialog.SetPendingFile(panel);
        dialog.show();
        dialog.exec();
        EXPECT_FALSE(overdue) << "the panel's window never closed";
        EXPECT_EQ(dialog.Result(), panolix::kExitPassed);
    }
    apartment.reset();
    CoUninitialize();
    return shown;
}

TEST_P(PanelBench, PassesAndFailsByItsLimitsInTheTestExecutiveLiveAndReplayedAndShowsItsValues) {
    std::string sequence = WritePanelSequence();
    StartInstruments("");
    WriteStore(Simulation("Overwrite", "dmm"), Simulation("Overwrite", "psu"));
    RunResult live = RunSequence("recording", sequence);
    EXPECT_EQ(live.report, ExpectedReport()) << "runvex wrote:\n" << live.everything;
    EXPECT_EQ(live.exitCode, 1) << "a failed test fails the sequence";
    ExpectShownValues(live.everything);

    meter.Stop();
    supply.Stop();
    WriteStore(Simulation("RandomRead", "dmm"), Simulation("RandomRead", "psu"));
    RunResult replayed = RunSequence("replay", sequence);
    EXPECT_EQ(replayed.report, ExpectedReport()) << "runvex wrote:\n" << replayed.everything;
    EXPECT_EQ(replayed.exitCode, 1);
    ExpectShownValues(replayed.everything);

    std::vector<ShownValue> shown = RunPanelWindow(VR_USERSIDE_DATA "/bench.pnx");
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text.rfind("VORNIC,LOOPBACK,", 0), 0u) << shown[0].text;
    EXPECT_EQ(shown[1].text, " 5.002 V");
    EXPECT_EQ(shown[1].color, QColor(0, 100, 0)) << "within its limits";
    EXPECT_EQ(shown[2].text, " 3.299 V");
    EXPECT_EQ(shown[3].text, "ON");
    EXPECT_EQ(shown[3].color, QColor(Qt::black)) << "no limits";
    EXPECT_EQ(LeftBehind({"rigmont"}, kEndLimit), "");
}

INSTANTIATE_TEST_SUITE_P(Bench, PanelBench,
                         ::testing::Values(std::tuple{std::string("panel"), Mode::RecordedAndReplayed}));

} // namespace
