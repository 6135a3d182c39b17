// The program scrivon as users start it: a first instance with its window (offscreen), a second start that
// hands its file to the first and ends, and registration while an instance runs, which never reaches it;
// scrivon-drive's exit codes with the lines scrivon writes offscreen, a run stopped while its script loops in
// its top-level code, and a run whose session the results database refuses.
#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "TestRunTime/Scrivon/tests/programs.h"
#include "common/config/VrConfigData.h"
#include "platform/ado/ado.h"
#include "platform/ado/tests/db_servers.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/rot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using scrivontest::ReadAll;
using scrivontest::Start;
using scrivontest::WaitForExit;
using scrivontest::WaitForText;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A passing script that names itself in its output.
std::string PassingScript(const std::string& name) {
    return "function Preset() {}\nfunction Test() { OutputLn('" + name +
           "'); return 'pass'; }\n"
           "function Reset() {}\n";
}

pid_t StartScrivon(const std::vector<std::string>& arguments, const std::string& outputFile,
                   const std::string& folder) {
    return Start("scrivon", arguments, outputFile, folder);
}

vr::ComPtr<IDispatch> WaitForRunningInstance(std::chrono::seconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        vr::ComPtr<IUnknown> active;
        vr::ComPtr<IDispatch> loader;
        if (SUCCEEDED(GetActiveObject(CLSID_VrTestLoader, nullptr, active.Put())) &&
            SUCCEEDED(active->QueryInterface(IID_IDispatch, loader.PutVoid()))) {
            return loader;
        }
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

bool RunThrough(IDispatch* loader) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    _variant_t completed;
    HRESULT hr = loader->Invoke(DISPID_TestLoaderRun, IID_NULL, 0, DISPATCH_METHOD, &none, &completed,
                                nullptr, nullptr);
    return SUCCEEDED(hr) && completed.vt == VT_BOOL && completed.boolVal;
}

class ScrivonProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        // A folder of each test's own: run as one program, the tests share the data home, and a later
        // test must not read an earlier one's lines in its output file.
        folder = fs::path(std::getenv("VORNIC_HOME")) / "scripts" /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const char* name : {"first", "second"}) {
            std::ofstream(folder / (std::string(name) + ".JScript.ts")) << PassingScript(name);
        }
        output = (folder / "first-instance.txt").string();
    }
    void TearDown() override {
        if (first > 0) {
            kill(first, SIGTERM);
            (void)WaitForExit(first, 10s);
        }
        CoUninitialize();
    }

    fs::path folder;
    std::string output;
    pid_t first = -1;
};

TEST_F(ScrivonProcessTest, ASecondStartHandsItsFileToTheFirstAndRegistrationNeverReachesIt) {
    first = StartScrivon({(folder / "first.JScript.ts").string()}, output, folder.string());
    ASSERT_GT(first, 0);
    vr::ComPtr<IDispatch> loader = WaitForRunningInstance(30s);
    ASSERT_TRUE(loader) << "the first instance never registered its automation object";

    // The second start names its file relative to its own folder: the first instance gets it made absolute.
    pid_t second =
        StartScrivon({"second.JScript.ts"}, (folder / "second-instance.txt").string(), folder.string());
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitForExit(second, 30s), 0); // forwarded and ended: no second window stays
    // It says so, naming the process that runs the script (whose environment is not the second start's).
    EXPECT_EQ(ReadAll((folder / "second-instance.txt").string()),
              "scrivon: '" + (folder / "second.JScript.ts").string() +
                  "' went to the scrivon that runs already (process " + std::to_string(first) +
                  "), which loads and shows it; this start ends.\n");
    ASSERT_TRUE(RunThrough(loader.Get()));
    const std::string secondRun = "output Unknown: second\nreturn value: pass\nverdict: Passed\n";
    EXPECT_NE(ReadAll(output).find(secondRun), std::string::npos) << ReadAll(output);

    pid_t registering = StartScrivon({"/RegServer"}, (folder / "register.txt").string(), folder.string());
    EXPECT_EQ(WaitForExit(registering, 30s), 0);
    ASSERT_TRUE(RunThrough(loader.Get())); // still the second script: no Load("") arrived
    std::string seen = ReadAll(output);
    EXPECT_NE(seen.find(secondRun, seen.find(secondRun) + 1), std::string::npos) << seen;
}

// scrivon-drive on a script of the folder; its exit code.
int Drive(const fs::path& folder, const std::string& script) {
    pid_t drive = Start("scrivon-drive", {script}, (folder / "drive.txt").string(), folder.string());
    return drive > 0 ? WaitForExit(drive, 60s) : -1;
}

TEST_F(ScrivonProcessTest, DriveTellsTheVerdictAndScrivonWritesItsLines) {
    std::ofstream(folder / "report.JScript.ts")
        << "function Test() {\n  OutputLn('measured', 1);\n  Output('two\\r\\nlines\\n', 3);\n"
           "  return 'pass';\n}\n";
    std::ofstream(folder / "low.JScript.ts") << "function Test() { return 'low\\n'; }\n";
    std::ofstream(folder / "throws.JScript.ts")
        << "function Preset() {}\nfunction Test() {\n  missing.value;\n}\n";
    std::ofstream(folder / "notes.ts") << "function Test() {}\n";
    std::string errors = (folder / "first-errors.txt").string();
    first = Start("scrivon", {}, output, folder.string(), errors);
    ASSERT_GT(first, 0);

    EXPECT_EQ(Drive(folder, "report.JScript.ts"), 0);
    EXPECT_EQ(Drive(folder, "low.JScript.ts"), 1);
    EXPECT_EQ(Drive(folder, "throws.JScript.ts"), 2);
    EXPECT_EQ(Drive(folder, "notes.ts"), 3);
    EXPECT_EQ(Drive(folder, "missing.JScript.ts"), 3);

    EXPECT_EQ(ReadAll(output), "output Passed: measured\n"
                               "output Warning: two\\nlines\n"
                               "return value: pass\n"
                               "verdict: Passed\n"
                               "return value: low\n"
                               "verdict: Failed\n"
                               "return value: Error\n"
                               "verdict: Error\n"
                               "output Error: Couldn't open source file: '" +
                                   (folder / "missing.JScript.ts").string() + "' does not exist.\n");
    std::string complaints = ReadAll(errors);
    size_t runError = complaints.find("Run-Time Error: ");
    EXPECT_NE(runError, std::string::npos) << complaints;
    EXPECT_NE(complaints.find("Line: 3", runError), std::string::npos) << complaints;
    EXPECT_NE(complaints.find("Script Language: The script language of '" + (folder / "notes.ts").string()),
              std::string::npos)
        << complaints;
}

// The station's database refuses one script's session (a trigger on the claims): that run goes no further
// than its load and stores no row (they would carry no session), and the error names the database's reason;
// the other script's rows are stored under its own session.
TEST_F(ScrivonProcessTest, ARunWhoseSessionCannotBeClaimedRunsNoFurtherAndStoresNoRow) {
    std::string dsn = (folder / "claims.dsn").string();
    std::ofstream(dsn) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << (folder / "claims.db").string()
                       << "\nTimeout=10000\n";
    ASSERT_TRUE(CVrConfigData().StoreItem("DSN", _bstr_t(dsn.c_str())));
    auto database = vr::ado::Connection::Create();
    database->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
    database->Execute(u"CREATE TABLE TestExecSessions (TestID TEXT NOT NULL, ExecSession TEXT NOT NULL, "
                      u"PRIMARY KEY (TestID, ExecSession))");
    database->Execute(u"CREATE TRIGGER refuse BEFORE INSERT ON TestExecSessions WHEN NEW.TestID = "
                      u"'refused.JScript' BEGIN SELECT RAISE(ABORT, 'no session for this station'); END");
    for (const char* name : {"kept", "refused"}) {
        std::ofstream(folder / (std::string(name) + ".JScript.ts"))
            << "function Preset() { SaveResult(1, 'preset', '', 1); }\n"
               "function Test() { OutputLn('tested'); return 'pass'; }\n";
    }
    std::string errors = (folder / "first-errors.txt").string();
    first = Start("scrivon", {}, output, folder.string(), errors);
    ASSERT_GT(first, 0);
    for (const char* name : {"kept", "refused"}) {
        pid_t drive = Start("scrivon-drive", {"--sn", "UNIT-7", std::string(name) + ".JScript.ts"},
                            (folder / "drive.txt").string(), folder.string());
        EXPECT_EQ(WaitForExit(drive, 60s), std::string(name) == "kept" ? 0 : 2) << name;
    }
    EXPECT_EQ(ReadAll(output), "output Unknown: tested\nreturn value: pass\nverdict: Passed\n"
                               "return value: Error\nverdict: Error\n");
    EXPECT_NE(
        ReadAll(errors).find("Run-Time Error: The session of 'refused.JScript' couldn't be claimed: "
                             "Couldn't claim ExecSession '000000001' of the 'TestExecSessions' table of "
                             "the DataBase with TestID = 'refused.JScript'. [SQLite]no session for this "
                             "station"),
        std::string::npos)
        << ReadAll(errors);
    auto rows =
        database->Execute(u"SELECT TestID, TestResultID, ExecSession FROM TestResults ORDER BY rowid");
    std::vector<std::string> stored;
    for (; !rows->IsEOF(); rows->MoveNext()) {
        stored.push_back(_bstr_t(rows->Fields(0).Value()).utf8() + " " +
                         _bstr_t(rows->Fields(1).Value()).utf8() + " " +
                         _bstr_t(rows->Fields(2).Value()).utf8());
    }
    EXPECT_EQ(stored, (std::vector<std::string>{"kept.JScript preset 000000001", "kept.JScript  000000001"}));
}

// The script loops in its top-level code, so the run never gets past loading: Stop, called by another client
// while scrivon-drive waits for its Run, ends it with an error.
TEST_F(ScrivonProcessTest, StopEndsARunThatLoopsWhileItLoads) {
    std::ofstream(folder / "spins.JScript.ts") << "OutputLn('spinning');\nfor (;;) {}\n";
    first = StartScrivon({}, output, folder.string());
    ASSERT_GT(first, 0);
    vr::ComPtr<IDispatch> loader = WaitForRunningInstance(30s);
    ASSERT_TRUE(loader);
    pid_t drive =
        Start("scrivon-drive", {"spins.JScript.ts"}, (folder / "drive.txt").string(), folder.string());
    ASSERT_GT(drive, 0);
    ASSERT_TRUE(WaitForText(output, "output Unknown: spinning\n", 30s)) << "the script never ran";
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(
        loader->Invoke(DISPID_TestLoaderStop, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(WaitForExit(drive, 30s), 2);
    EXPECT_NE(ReadAll(output).find("return value: Error\nverdict: Error\n"), std::string::npos)
        << ReadAll(output);
}

// A client's Stop while nothing runs stops nothing: the next run is given its own test, which its script
// reads back.
TEST_F(ScrivonProcessTest, AStopWhileIdleLeavesTheNextRunItsOwnIdentity) {
    for (const char* name : {"one", "two"}) {
        std::ofstream(folder / (std::string(name) + ".JScript.ts"))
            << "function Test() { OutputLn('test ' + TestID); return 'pass'; }\n";
    }
    first = StartScrivon({}, output, folder.string());
    ASSERT_GT(first, 0);
    vr::ComPtr<IDispatch> loader = WaitForRunningInstance(30s);
    ASSERT_TRUE(loader);
    EXPECT_EQ(Drive(folder, "one.JScript.ts"), 0);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(
        loader->Invoke(DISPID_TestLoaderStop, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(Drive(folder, "two.JScript.ts"), 0);
    EXPECT_EQ(ReadAll(output), "output Unknown: test one.JScript\nreturn value: pass\nverdict: Passed\n"
                               "output Unknown: test two.JScript\nreturn value: pass\nverdict: Passed\n");
}

// Ended by a signal while its script loops, scrivon stops the script as Stop does, runs its Reset and ends
// within its bounded wait; the client's Run returns, and the window no longer takes clients meanwhile.
TEST_F(ScrivonProcessTest, ASignalDuringALoopingScriptStopsItRunsResetAndEnds) {
    std::ofstream(folder / "loops.JScript.ts")
        << "function Test() { OutputLn('looping'); for (;;) { Delay(10); } }\n"
           "function Reset() { OutputLn('reset ran'); }\n";
    first = StartScrivon({}, output, folder.string());
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitForRunningInstance(30s));
    pid_t drive =
        Start("scrivon-drive", {"loops.JScript.ts"}, (folder / "drive.txt").string(), folder.string());
    ASSERT_GT(drive, 0);
    ASSERT_TRUE(WaitForText(output, "looping", 30s)) << "the script never ran";
    ASSERT_EQ(kill(first, SIGTERM), 0);
    EXPECT_EQ(WaitForExit(first, 20s), 0) << ReadAll(output);
    first = -1;
    EXPECT_GT(WaitForExit(drive, 20s), 0);
    EXPECT_NE(ReadAll(output).find("output Unknown: reset ran\nreturn value: Error\nverdict: Error\n"),
              std::string::npos)
        << ReadAll(output);
}

// Two clients at once, again and again: each is told its own script's verdict (the passing script's client
// never hears "failed", the failing one's never "passed"), or is refused with the reason while the other's
// script has the window; neither waits for ever, and the window runs one script at a time.
TEST_F(ScrivonProcessTest, TwoClientsAtOnceEachGetTheirOwnVerdictOrAClearRefusal) {
    constexpr int kRounds = 50;
    std::ofstream(folder / "good.JScript.ts") << "function Test() { Delay(20); return 'pass'; }\n";
    std::ofstream(folder / "bad.JScript.ts") << "function Test() { Delay(20); return 'fail'; }\n";
    first = StartScrivon({}, output, folder.string());
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitForRunningInstance(30s));
    int refusals = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::string goodErrors = (folder / ("good-" + std::to_string(round) + ".txt")).string();
        std::string badErrors = (folder / ("bad-" + std::to_string(round) + ".txt")).string();
        pid_t good = Start("scrivon-drive", {"good.JScript.ts"}, goodErrors, folder.string(), goodErrors);
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 7 * 3)); // every interleaving, in turn
        pid_t bad = Start("scrivon-drive", {"bad.JScript.ts"}, badErrors, folder.string(), badErrors);
        ASSERT_GT(good, 0);
        ASSERT_GT(bad, 0);
        int goodCode = WaitForExit(good, 60s);
        int badCode = WaitForExit(bad, 60s);
        EXPECT_TRUE(goodCode == 0 || goodCode == 3) << "round " << round << ": " << ReadAll(goodErrors);
        EXPECT_TRUE(badCode == 1 || badCode == 3) << "round " << round << ": " << ReadAll(badErrors);
        EXPECT_FALSE(goodCode == 3 && badCode == 3)
            << "round " << round << ": both were refused: " << ReadAll(goodErrors) << ReadAll(badErrors);
        for (auto [code, errors] : {std::pair{goodCode, goodErrors}, std::pair{badCode, badErrors}}) {
            if (code == 3) {
                ++refusals;
                EXPECT_NE(ReadAll(errors).find("(0x800700AA): "), std::string::npos) << ReadAll(errors);
            }
        }
    }
    // The scripts ran one at a time: no verdict line comes between a script's output and its own verdict.
    std::string seen = ReadAll(output);
    EXPECT_EQ(seen.find("verdict: Error"), std::string::npos) << seen;
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "scrivon ended";
    std::printf("%d of %d clients were refused\n", refusals, 2 * kRounds);
}

// Many clients of one station, each with the serial number of its own device, as a line drives one scrivon:
// every row stored carries the serial number of the client whose run stored it, and every client hears its
// own script's verdict (each script throws when its run sees another client's serial number). Clients that
// do not wait may be refused while another's run holds scrivon; waiting ones all run.
class ScrivonManyClientsTest : public ScrivonProcessTest {
protected:
    // Eight clients at once race in every round; a few rounds (more for the clients that may be refused) keep
    // the test short on a sanitizer build and still mix the clients' calls every time.
    static constexpr int kClients = 8;
    static constexpr int kRefusedRounds = 4;
    static constexpr int kWaitingRounds = 2;

    // One campaign on the station's database; the refused clients, counted.
    int Campaign(const std::string& dsn, bool waiting) {
        const int rounds = waiting ? kWaitingRounds : kRefusedRounds;
        EXPECT_TRUE(CVrConfigData().StoreItem("DSN", _bstr_t(dsn.c_str())));
        for (int c = 0; c < kClients; ++c) {
            std::string sn = "SE" + std::to_string(c);
            std::ofstream(folder / ("c" + std::to_string(c) + ".JScript.ts"))
                << "function Test() {\n  SaveResult(SN, 'seen', '', 1);\n"
                   "  if (SN != '"
                << sn << "') throw new Error('the run of " << sn
                << " has ' + SN);\n"
                   "  return '"
                << (c % 2 ? "fail" : "pass") << "';\n}\n";
        }
        std::string errors = (folder / "many-errors.txt").string();
        first = Start("scrivon", {}, output, folder.string(), errors);
        EXPECT_GT(first, 0);
        EXPECT_TRUE(WaitForRunningInstance(120s));
        int refused = 0;
        for (int round = 0; round < rounds; ++round) {
            pid_t clients[kClients];
            std::string logs[kClients];
            for (int c = 0; c < kClients; ++c) {
                logs[c] = (folder / ("client-" + std::to_string(c) + ".txt")).string();
                std::vector<std::string> arguments{"--sn", "SE" + std::to_string(c)};
                if (waiting) {
                    arguments.insert(arguments.end(), {"--wait", "500"});
                }
                arguments.push_back("c" + std::to_string(c) + ".JScript.ts");
                clients[c] = Start("scrivon-drive", arguments, logs[c], folder.string(), logs[c]);
            }
            for (int c = 0; c < kClients; ++c) {
                int code = WaitForExit(clients[c], 600s);
                refused += code == 3;
                // A client that failed: its own lines, and what scrivon said meanwhile.
                auto told = [&] {
                    return "client " + std::to_string(c) + " (process " + std::to_string(clients[c]) +
                           ") round " + std::to_string(round) + " ended " + std::to_string(code) + ":\n" +
                           ReadAll(logs[c]) + "scrivon's output:\n" + ReadAll(output) +
                           "scrivon's errors:\n" + ReadAll(errors);
                };
                EXPECT_TRUE(code == c % 2 || (code == 3 && !waiting)) << told();
                if (code == 3) {
                    EXPECT_NE(ReadAll(logs[c]).find("(0x800700AA): "), std::string::npos) << told();
                }
                std::remove(logs[c].c_str());
            }
        }
        kill(first, SIGTERM);
        EXPECT_EQ(WaitForExit(first, 120s), 0) << ReadAll(errors);
        first = -1;
        return refused;
    }

    // "<test id> <serial number>" of every stored row.
    static std::vector<std::string> StoredRows(const std::string& dsn) {
        auto database = vr::ado::Connection::Create();
        database->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
        auto rows = database->Execute(u"SELECT TestID, SN FROM TestResults");
        std::vector<std::string> stored;
        for (; !rows->IsEOF(); rows->MoveNext()) {
            stored.push_back(_bstr_t(rows->Fields(0).Value()).utf8() + " " +
                             _bstr_t(rows->Fields(1).Value()).utf8());
        }
        return stored;
    }

    // Each client's runs stored two rows (the script's and the verdict's), all under its serial number.
    static void ExpectEachRowUnderItsClient(const std::vector<std::string>& stored, int runs) {
        int misfiled = 0;
        for (const std::string& row : stored) {
            // "c<k>.JScript SE<k>"
            size_t dot = row.find('.');
            misfiled += row.substr(1, dot - 1) != row.substr(row.rfind(" SE") + 3);
        }
        EXPECT_EQ(misfiled, 0) << ::testing::PrintToString(stored);
        EXPECT_EQ(static_cast<int>(stored.size()), 2 * runs);
    }

    void BothCampaigns(const std::string& dsn) {
        int refused = Campaign(dsn, false);
        ExpectEachRowUnderItsClient(StoredRows(dsn), kClients * kRefusedRounds - refused);
        std::printf("%d of %d clients were refused\n", refused, kClients * kRefusedRounds);
        int refusedWaiting = Campaign(dsn, true);
        EXPECT_EQ(refusedWaiting, 0);
        ExpectEachRowUnderItsClient(StoredRows(dsn), kClients * (kRefusedRounds + kWaitingRounds) - refused);
    }
};

TEST_F(ScrivonManyClientsTest, EveryRowOnSQLiteCarriesItsOwnClientsSerialNumber) {
    std::string dsn = (folder / "many.dsn").string();
    std::ofstream(dsn) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << (folder / "many.db").string()
                       << "\nTimeout=30000\n";
    BothCampaigns(dsn);
}

TEST_F(ScrivonManyClientsTest, EveryRowOnPostgreSQLCarriesItsOwnClientsSerialNumber) {
    dbtest::UseDriverConfigIn(folder.string());
    std::string why;
    std::unique_ptr<dbtest::PostgresCluster> cluster = dbtest::PostgresCluster::Start(&why);
    ASSERT_TRUE(cluster || !dbtest::PostgresCluster::ServerInstalled()) << why;
    if (!cluster) {
        GTEST_SKIP() << "PostgreSQL is not installed: " << why;
    }
    std::string dsn = (folder / "many-postgres.dsn").string();
    std::ofstream(dsn) << "[ODBC]\n" << cluster->FileDataSourceLines();
    BothCampaigns(dsn);
}

// A start for automation whose class object cannot be registered says so and ends, instead of opening a
// window that no client can reach.
TEST_F(ScrivonProcessTest, AnAutomationStartThatCannotRegisterItsClassSaysSoAndFails) {
    fs::path root = folder / "no-runtime";
    fs::create_directories(root);
    std::ofstream(root / "vornic") << "a file where the runtime folder belongs";
    std::string saved = std::getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    std::string log = (folder / "automation.txt").string();
    pid_t automation = Start("scrivon", {"/Automation"}, log, folder.string(), log);
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    ASSERT_GT(automation, 0);
    int code = WaitForExit(automation, 30s);
    EXPECT_GT(code, 0) << ReadAll(log);
    EXPECT_NE(ReadAll(log).find("could not be registered"), std::string::npos) << ReadAll(log);
}

} // namespace
