// The program runvex as an unattended station runs it (offscreen), with the real hardware manager and a
// real results database: a verdict row the database refuses is reported and fails the run.
#include "TestRunTime/Scrivon/tests/programs.h"
#include "common/config/VrConfigData.h"
#include "platform/ado/ado.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Ended {
    int code = -1;
    std::string out, err;
};

class RunvexProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        folder = fs::path(std::getenv("VORNIC_HOME")) / ("program-" + std::to_string(++round_));
        fs::create_directories(folder);
    }
    void TearDown() override { CoUninitialize(); }

    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
        return (folder / name).string();
    }
    // A sequence of tests that each run the script.
    std::string Sequence(const std::string& name, const std::string& script,
                         const std::vector<std::string>& tests) {
        std::string code = Write(name + ".JScript.ts", script);
        std::string text = "<sequence>\n";
        for (const std::string& test : tests) {
            text += "<test name=\"" + test + "\"><code file=\"" + code + "\" language=\"JScript\"/></test>\n";
        }
        return Write(name + ".tsq", text + "</sequence>\n");
    }
    // Points the results at a database of the folder; its data source file.
    std::string UseDatabase() {
        std::string dsn =
            Write("results.dsn", "[ODBC]\nDRIVER=SQLite3\nDatabase=" + (folder / "results.db").string() +
                                     "\nTimeout=10000\n");
        EXPECT_TRUE(CVrConfigData().StoreItem("DSN", _bstr_t(dsn.c_str())));
        return dsn;
    }
    Ended Runvex(const std::vector<std::string>& arguments, std::chrono::seconds patience = 60s) {
        std::string out = (folder / ("runvex-" + std::to_string(++runs_) + ".out")).string();
        std::string err = (folder / ("runvex-" + std::to_string(runs_) + ".err")).string();
        pid_t pid = scrivontest::Start("runvex", arguments, out, folder.string(), err);
        Ended ended;
        ended.code = pid > 0 ? scrivontest::WaitForExit(pid, patience) : -1;
        ended.out = scrivontest::ReadAll(out);
        ended.err = scrivontest::ReadAll(err);
        return ended;
    }

    static inline int round_ = 0;
    int runs_ = 0;
    fs::path folder;
};

// The database refuses the second test's verdict (a trigger of the station's database): the test ends as an
// exception ends it, the operator reads why, the run stops there and fails; the first test's row is kept.
TEST_F(RunvexProgramTest, AVerdictRowTheDatabaseRefusesIsReportedAndFailsTheRun) {
    std::string dsn = UseDatabase();
    // The scripts name the unit under test themselves, so that the rows are stored.
    std::string sequence =
        Sequence("rows", "SN = 'UNIT-7';\nfunction Test() { return 'pass'; }\n", {"Kept", "Doomed", "Never"});
    // A first run makes the table; the trigger then refuses the verdict rows of one test.
    ASSERT_EQ(Runvex({Sequence("first", "SN = 'UNIT-7';\nfunction Test() {}\n", {"Setup"})}).code, 0);
    {
        auto connection = vr::ado::Connection::Create();
        connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
        connection->Execute(u"CREATE TRIGGER refuse BEFORE INSERT ON TestResults WHEN NEW.TestID = 'Doomed' "
                            u"BEGIN SELECT RAISE(ABORT, 'no room for this row'); END");
    }
    Ended ended = Runvex({sequence});
    EXPECT_EQ(ended.code, 2) << ended.out << ended.err;
    EXPECT_NE(ended.out.find("verdict: Passed\nimage: 6 (passed)\n"), std::string::npos) << ended.out;
    EXPECT_NE(ended.out.find("verdict: Error\nimage: 4 (ended by an exception)\n"), std::string::npos)
        << ended.out;
    EXPECT_EQ(ended.out.find("Never"), std::string::npos) << ended.out;
    EXPECT_NE(ended.err.find("Error: 'Doomed':\nThe verdict couldn't be stored: "), std::string::npos)
        << ended.err;
    EXPECT_NE(ended.err.find("Couldn't save TestResult TestID='Doomed'"), std::string::npos) << ended.err;

    auto connection = vr::ado::Connection::Create();
    connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
    auto rows = connection->Execute(u"SELECT TestID FROM TestResults ORDER BY rowid");
    std::vector<std::string> tests;
    for (; !rows->IsEOF(); rows->MoveNext()) {
        tests.push_back(_bstr_t(rows->Fields(0).Value()).utf8());
    }
    EXPECT_EQ(tests, (std::vector<std::string>{"Setup", "Kept"}));
}

// A sequence with nothing to run, or whose tests are spelled <Test> (elements named "test" are tests), is no
// pass: runvex says which file held no test and fails.
TEST_F(RunvexProgramTest, ASequenceWithoutATestFailsAndNamesItsFile) {
    std::string code = Write("any.JScript.ts", "function Test() {}\n");
    for (const std::string& body : {std::string(), "<Test name=\"Capital\"><code file=\"" + code +
                                                       "\" language=\"JScript\"/></Test>"}) {
        std::string sequence = Write("none.tsq", "<sequence>" + body + "</sequence>\n");
        Ended ended = Runvex({sequence});
        EXPECT_EQ(ended.code, 2) << ended.out << ended.err;
        EXPECT_NE(ended.err.find("the sequence '" + sequence + "' holds no test"), std::string::npos)
            << ended.err;
        EXPECT_EQ(ended.out.find("verdict"), std::string::npos) << ended.out;
    }
}

// SIGTERM or SIGINT while a test's script loops (a CI time-out, Ctrl+C): runvex stops the script as Stop
// does, runs the test's Reset and ends within its bounded wait, saying so and with the exit code of an error.
TEST_F(RunvexProgramTest, ASignalDuringALoopingScriptStopsItRunsResetAndEnds) {
    std::string sequence = Sequence("loops",
                                    "function Test() { OutputLn('looping'); for (;;) { Delay(10); } }\n"
                                    "function Reset() { OutputLn('reset ran'); }\n",
                                    {"Loops", "Never"});
    for (int signal : {SIGTERM, SIGINT}) {
        std::string out = (folder / ("signal-" + std::to_string(signal) + ".out")).string();
        std::string err = (folder / ("signal-" + std::to_string(signal) + ".err")).string();
        pid_t runvex = scrivontest::Start("runvex", {sequence}, out, folder.string(), err);
        ASSERT_GT(runvex, 0);
        ASSERT_TRUE(scrivontest::WaitForText(out, "looping", 30s)) << "the script never ran";
        ASSERT_EQ(kill(runvex, signal), 0);
        EXPECT_EQ(scrivontest::WaitForExit(runvex, 20s), 2) << scrivontest::ReadAll(err);
        std::string report = scrivontest::ReadAll(out);
        EXPECT_NE(report.find("output Unknown: reset ran\nreturn value: Error\nverdict: Error\n"),
                  std::string::npos)
            << report;
        EXPECT_EQ(report.find("Never"), std::string::npos) << report;
        EXPECT_NE(scrivontest::ReadAll(err).find("ended by a signal"), std::string::npos);
    }
}

// The processes whose parent is pid and whose program is named name.
std::vector<pid_t> ChildrenNamed(pid_t pid, const std::string& name) {
    std::vector<pid_t> children;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::string stat = scrivontest::ReadAll((entry.path() / "stat").string());
        size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) {
            continue;
        }
        int parent = 0;
        char state = 0;
        if (stat.substr(open + 1, close - open - 1) == name &&
            std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == pid) {
            children.push_back(std::stoi(entry.path().filename().string()));
        }
    }
    return children;
}

// A process that is gone, or no more than a zombie waiting for whoever reaps it.
bool Ended(pid_t pid) {
    std::string stat = scrivontest::ReadAll("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return close == std::string::npos || stat.compare(close, 4, ") Z ") == 0;
}

// A control panel that refreshes for ever, so its test never ends by itself.
class NeverEndingPanel : public RunvexProgramTest {
protected:
    std::string PanelSequence() {
        std::string panel =
            Write("forever.pnx", "<panel language='JScript' autorefresh='yes' refreshperiod='1'>"
                                 "<script><![CDATA[function Preset() {} function Reset() {}\n"
                                 "function Idle() {}]]></script><objects/></panel>");
        return Write("panel.tsq", "<sequence><test name=\"Forever\"><code file=\"" + panel +
                                      "\" language=\"ControlPanel\"/></test></sequence>\n");
    }
    // Starts runvex on the sequence and waits for its control panel; both process ids.
    std::pair<pid_t, pid_t> StartWithPanel(const std::vector<std::string>& arguments,
                                           const std::string& stem) {
        pid_t runvex = scrivontest::Start("runvex", arguments, (folder / (stem + ".out")).string(),
                                          folder.string(), (folder / (stem + ".err")).string());
        auto deadline = std::chrono::steady_clock::now() + 30s;
        std::vector<pid_t> panels;
        while (runvex > 0 && (panels = ChildrenNamed(runvex, "panolix")).empty() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        return {runvex, panels.empty() ? -1 : panels.front()};
    }
    static void ExpectEnds(pid_t panel) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!Ended(panel) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_TRUE(Ended(panel)) << "the control panel " << panel << " outlived its test";
    }
};

// Nobody is there to press Stop: the test ends at its time limit with verdict Error, and its program goes.
TEST_F(NeverEndingPanel, AHeadlessRunEndsItAtTheTimeLimitAsAnError) {
    auto [runvex, panel] = StartWithPanel({"--test-time-limit", "2", PanelSequence()}, "limit");
    ASSERT_GT(panel, 0) << "runvex started no control panel";
    EXPECT_EQ(scrivontest::WaitForExit(runvex, 30s), 2);
    ExpectEnds(panel);
    EXPECT_NE(scrivontest::ReadAll((folder / "limit.out").string()).find("verdict: Error\n"),
              std::string::npos);
    EXPECT_NE(scrivontest::ReadAll((folder / "limit.err").string())
                  .find("Test 'Forever' didn't end within its time limit of 2 s."),
              std::string::npos)
        << scrivontest::ReadAll((folder / "limit.err").string());
}

// However runvex is ended during the test (a CI time-out's SIGTERM, Ctrl+C's SIGINT, or SIGKILL), its control
// panel does not run on without it.
TEST_F(NeverEndingPanel, EndingRunvexHoweverEndsItsControlPanel) {
    std::string sequence = PanelSequence();
    for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
        auto [runvex, panel] = StartWithPanel({sequence}, "signal");
        ASSERT_GT(panel, 0) << "runvex started no control panel";
        ASSERT_EQ(kill(runvex, signal), 0);
        int code = scrivontest::WaitForExit(runvex, 30s);
        EXPECT_EQ(code, signal == SIGKILL ? -1 : 2) << "signal " << signal;
        ExpectEnds(panel);
    }
}

} // namespace
