// The program runvex as an unattended station runs it (offscreen), with the real hardware manager and a
// real results database: a verdict row or a session the database refuses, or a server that stops, is
// reported with the database's reason and fails the run.
#include "TestRunTime/Scrivon/tests/programs.h"
#include "common/config/VrConfigData.h"
#include "platform/ado/ado.h"
#include "platform/ado/tests/db_servers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "tests/support/station_data_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
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
        stationDataSource_.emplace();
    }
    void TearDown() override {
        stationDataSource_.reset();
        CoUninitialize();
    }

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
    // A trigger of the database that refuses the rows of the table for the test 'Doomed', with the reason.
    static void RefuseDoomed(const std::string& dsn, const std::u16string& table,
                             const std::u16string& reason) {
        auto connection = vr::ado::Connection::Create();
        connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
        connection->Execute(u"CREATE TRIGGER refuse BEFORE INSERT ON " + table +
                            u" WHEN NEW.TestID = 'Doomed' BEGIN SELECT RAISE(ABORT, '" + reason + u"'); END");
    }
    // The stored rows in order, each its columns joined by blanks.
    static std::vector<std::string> StoredRows(const std::string& dsn, const std::u16string& columns) {
        auto connection = vr::ado::Connection::Create();
        connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
        auto rows = connection->Execute(u"SELECT " + columns + u" FROM TestResults ORDER BY rowid");
        std::vector<std::string> stored;
        for (; !rows->IsEOF(); rows->MoveNext()) {
            std::string row;
            for (LONG i = 0; i < rows->FieldCount(); ++i) {
                row += (i ? " " : "") + _bstr_t(rows->Fields(i).Value()).utf8();
            }
            stored.push_back(row);
        }
        return stored;
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
    std::optional<vrtest::StationDataSourceScope> stationDataSource_; // given back before COM ends
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
    RefuseDoomed(dsn, u"TestResults", u"no room for this row");
    Ended ended = Runvex({sequence});
    EXPECT_EQ(ended.code, 2) << ended.out << ended.err;
    EXPECT_NE(ended.out.find("verdict: Passed\nimage: 6 (passed)\n"), std::string::npos) << ended.out;
    EXPECT_NE(ended.out.find("verdict: Error\nimage: 4 (ended by an exception)\n"), std::string::npos)
        << ended.out;
    EXPECT_EQ(ended.out.find("- Never -"), std::string::npos) << ended.out; // not run: the summary names it
    EXPECT_NE(ended.out.find("summary: 1 passed, 0 failed, 1 error; not run: Never\n"), std::string::npos)
        << ended.out;
    EXPECT_NE(ended.err.find("Error: 'Doomed':\nThe verdict couldn't be stored: "), std::string::npos)
        << ended.err;
    // The engine's text, then the database's own reason.
    EXPECT_NE(ended.err.find("Couldn't save TestResult TestID='Doomed': ' = pass' into the DataBase. "
                             "[SQLite]no room for this row"),
              std::string::npos)
        << ended.err;
    EXPECT_EQ(StoredRows(dsn, u"TestID"), (std::vector<std::string>{"Setup", "Kept"}));
}

// The station's database refuses the second test's session (a trigger on the claims): that test runs none of
// its requests and stores no row (they would carry no session), the operator reads the database's reason, and
// the run stops there and fails.
TEST_F(RunvexProgramTest, ATestWhoseSessionCannotBeClaimedRunsNoFurtherAndStoresNoRow) {
    std::string dsn = UseDatabase();
    ASSERT_EQ(Runvex({"--sn", "UNIT-7", Sequence("first", "function Test() {}\n", {"Setup"})}).code, 0);
    RefuseDoomed(dsn, u"TestExecSessions", u"no session for this station");
    std::string sequence = Sequence("claims",
                                    "function Preset() { SaveResult(1, 'preset', '', 1); }\n"
                                    "function Test() { OutputLn('tested'); return 'pass'; }\n",
                                    {"Kept", "Doomed", "Never"});
    Ended ended = Runvex({"--sn", "UNIT-7", sequence});
    EXPECT_EQ(ended.code, 2) << ended.out << ended.err;
    EXPECT_NE(ended.out.find("verdict: Error\nimage: 4 (ended by an exception)\n"), std::string::npos)
        << ended.out;
    EXPECT_EQ(ended.out.find("tested", ended.out.find("Doomed")), std::string::npos) << ended.out;
    EXPECT_NE(ended.err.find("Error: 'Doomed':\nThe session couldn't be claimed: Couldn't claim ExecSession "
                             "'000000001' of the 'TestExecSessions' table of the DataBase with TestID = "
                             "'Doomed'. [SQLite]no session for this station"),
              std::string::npos)
        << ended.err;
    EXPECT_EQ(StoredRows(dsn, u"TestID, ExecSession"),
              (std::vector<std::string>{"Setup 000000001", "Kept 000000001", "Kept 000000001"}));
}

// The results server stops while a test loads: the test's claim fails with the server's reason and the test
// runs no further.
TEST_F(RunvexProgramTest, AServerStoppedBeforeTheClaimFailsTheTestWithItsReason) {
    dbtest::UseDriverConfigIn(folder.string());
    std::string why;
    std::unique_ptr<dbtest::PostgresCluster> cluster = dbtest::PostgresCluster::Start(&why);
    ASSERT_TRUE(cluster || !dbtest::PostgresCluster::ServerInstalled()) << why;
    if (!cluster) {
        GTEST_SKIP() << "PostgreSQL is not installed: " << why;
    }
    std::string dsn = Write("postgres.dsn", "[ODBC]\n" + cluster->FileDataSourceLines());
    ASSERT_TRUE(CVrConfigData().StoreItem("DSN", _bstr_t(dsn.c_str())));
    // The script's top-level code waits for the file go.csv, so the test decides when the load ends.
    std::string go = (folder / "go.csv").string();
    std::string sequence = Sequence("lost",
                                    "OutputLn('loaded');\nvar go = new ActiveXObject('Vornic.CsvFile');\n"
                                    "for (;;) { try { go.ReadFile('" +
                                        go +
                                        "'); break; } catch (e) { Delay(20); } }\n"
                                        "function Test() { OutputLn('tested'); return 'pass'; }\n",
                                    {"Lost"});
    std::string out = (folder / "lost.out").string(), err = (folder / "lost.err").string();
    pid_t runvex = scrivontest::Start("runvex", {"--sn", "UNIT-7", sequence}, out, folder.string(), err);
    ASSERT_GT(runvex, 0);
    ASSERT_TRUE(scrivontest::WaitForText(out, "loaded", 30s)) << scrivontest::ReadAll(err);
    cluster.reset(); // stopped at once, as a server that fails
    std::ofstream(go) << "go\n";
    EXPECT_EQ(scrivontest::WaitForExit(runvex, 60s), 2);
    std::string report = scrivontest::ReadAll(out), errors = scrivontest::ReadAll(err);
    EXPECT_EQ(report.find("tested"), std::string::npos) << report;
    EXPECT_NE(report.find("image: 4 (ended by an exception)"), std::string::npos) << report;
    size_t claim = errors.find("Error: 'Lost':\nThe session couldn't be claimed: Error while searching for "
                               "records of 'TestResults' table of the DataBase with TestID = 'Lost'. ");
    ASSERT_NE(claim, std::string::npos) << errors;
    EXPECT_NE(errors.find("connection", claim), std::string::npos) << errors; // the server's own words
}

// A program of the build tree started without the build's registry knows no class: runvex says that the
// registry is the cause, as scrivon does, and fails the test that could not run.
TEST_F(RunvexProgramTest, AnEmptyRegistryIsNamedAsTheCause) {
    std::string sequence = Sequence("any", "function Test() {}\n", {"One"});
    fs::create_directories(folder / "registry");
    std::string registry = std::getenv("VORNIC_REGISTRY");
    setenv("VORNIC_REGISTRY", (folder / "registry").c_str(), 1);
    Ended ended = Runvex({sequence});
    setenv("VORNIC_REGISTRY", registry.c_str(), 1);
    EXPECT_EQ(ended.code, 2) << ended.out << ended.err;
    EXPECT_NE(ended.err.find("Error: 'One':\nNo script language is known: the registry " +
                             (folder / "registry").string() + " records no script engine"),
              std::string::npos)
        << ended.err;
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
        EXPECT_EQ(report.find("- Never -"), std::string::npos) << report; // not run: the summary names it
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
