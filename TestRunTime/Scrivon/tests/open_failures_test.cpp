// The mistakes a new engineer makes in the hardware store and on a first try, run through the real rigmont,
// scrivon offscreen and scrivon-drive: the run's own error names the cause and the script line that used the
// name; a missing script and a scrivon killed during a run are named, with their documented exit codes. And
// instruments that go away in the middle of a session: the next script's error names the connection, and
// scrivon and runvex go on.
#include "TestRunTime/Scrivon/tests/config_items.h"
#include "TestRunTime/Scrivon/tests/programs.h"
#include "peers.h"
#include "platform/com/bstr.h"
#include "tests/support/test_env.h"
#include "vxi11_peers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/wait.h>
#include <utility>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using scrivontest::ReadAll;
using scrivontest::Start;
using scrivontest::StoreItem;
using scrivontest::WaitForExit;

class OpenFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_TRUE(instrument.Start());
        folder = vrtest::MakeFreshFolder("open-failures");
        fs::copy_file(fs::path(VR_USER_GUIDE) / "psu.daf", folder + "/psu.daf");
        const std::string closed = std::to_string(vrvisatest::UnusedPort());
        std::ofstream(folder + "/HwConfigStore.cfs")
            << "<ConfigStore><connections>\n"
            << "<connection name='ClosedPort'><Resource>TCPIP::127.0.0.1::" << closed
            << "::SOCKET</Resource></connection>\n"
            << "<connection name='NoSocketWord'><Resource>TCPIP::127.0.0.1::" << closed
            << "</Resource></connection>\n"
            << "<connection name='Live'><Resource>" << instrument.SocketResource()
            << "</Resource></connection>\n"
            << "<connection name='Bus'><Resource>GPIB0::5::INSTR</Resource></connection>\n"
            << "</connections><sockets>\n"
            << "<socket name='WrongPort'><Resource>ClosedPort</Resource>"
            << "<SetupString>AdapterFile='" << folder << "/psu.daf'</SetupString></socket>\n"
            << "<socket name='NoAdapter'><Resource>Live</Resource>"
            << "<SetupString>AdapterFile='" << folder << "/missing.daf'</SetupString></socket>\n"
            << "</sockets></ConfigStore>\n";
        StoreItem("ConfigStoreFile", folder + "/HwConfigStore.cfs");
        errors = folder + "/scrivon-errors.txt";
        scrivon = Start("scrivon", {}, folder + "/scrivon.txt", folder, errors);
        ASSERT_GT(scrivon, 0);
    }
    void TearDown() override {
        if (scrivon > 0) {
            kill(scrivon, SIGTERM);
            (void)WaitForExit(scrivon, 10s); // its exit code says nothing about the runs
        }
    }

    // Runs a script whose third line uses the name; the error box's text scrivon wrote for that run.
    std::string ErrorOfRunUsing(const std::string& name) {
        std::string script = name + ".JScript.ts";
        std::ofstream(folder + "/" + script)
            << "// uses " << name << "\nfunction Test() {\n    return " << name << ".Identity;\n}\n";
        size_t before = ReadAll(errors).size();
        pid_t drive = Start("scrivon-drive", {script}, folder + "/drive.txt", folder);
        EXPECT_EQ(WaitForExit(drive, 90s), 2) << ReadAll(errors); // the run ended in an error
        std::string text = ReadAll(errors).substr(before);
        EXPECT_NE(text.find("Run-Time Error: Couldn't open '" + name + "' "), std::string::npos) << text;
        EXPECT_NE(text.find("Line: 3, "), std::string::npos) << text;
        EXPECT_NE(text.find("Script: '    return " + name + ".Identity;'"), std::string::npos) << text;
        return text;
    }

    vrvisatest::LoopbackInstrument instrument;
    std::string folder;
    std::string errors;
    pid_t scrivon = -1;
};

TEST_F(OpenFailureTest, EachMistakeInTheStoreIsNamedByTheRunsOwnError) {
    // The cause comes before a layer's text that says nothing true of it.
    std::string wrongPort = ErrorOfRunUsing("WrongPort");
    EXPECT_LT(wrongPort.find("Connection refused"), wrongPort.find("Insufficient location information"))
        << wrongPort;
    std::string noAdapter = ErrorOfRunUsing("NoAdapter");
    EXPECT_NE(noAdapter.find(folder + "/missing.daf"), std::string::npos) << noAdapter;
    EXPECT_NE(noAdapter.find("cannot find the file"), std::string::npos) << noAdapter;
    const size_t unknownCode = noAdapter.find("Unknown error code");
    EXPECT_TRUE(unknownCode == std::string::npos || unknownCode > noAdapter.find("cannot find the file"))
        << noAdapter;
    EXPECT_NE(ErrorOfRunUsing("NoSocketWord").find("a raw TCP port needs '::SOCKET'"), std::string::npos);
    EXPECT_NE(ErrorOfRunUsing("Bus").find("No GPIB support on this system"), std::string::npos);
}

// A TCP instrument and a VXI-11 instrument that leave in the middle of a session (each told to exit by the
// first script): the next script in the same scrivon, and the next test of the same runvex sequence, fail
// with the connection's name, and neither program ends on a signal.
class PeerGoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        vxi11Lock = std::make_unique<vrvisatest::Vxi11TestLock>();
        std::string why;
        if (!portMapper.Ensure(&why)) {
            GTEST_SKIP() << "VXI-11 needs a port mapper: " << why;
        }
        folder = vrtest::MakeFreshFolder("peer-gone");
        // A runtime folder of its own: the servers an earlier test's programs left running there hold that
        // test's store, not this one's.
        std::string runtime = vrtest::MakeFreshFolder("peer-gone-run");
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        sharedRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        std::ofstream(folder + "/use.JScript.ts")
            << "function Test() {\n    Tcp.WriteString('ECHO a'); Vxi.WriteString('ECHO b');\n"
               "    var answers = Tcp.ReadString('\\n', 5000, -1) + Vxi.ReadString('\\n', 5000, -1);\n"
               "    Tcp.WriteString('EXIT');\n"
               "    try { Vxi.WriteString('EXIT'); } catch (e) {} // it leaves before it answers the write\n"
               "    return answers == 'a\\nb\\n' ? 'pass' : 'fail';\n}\n";
        std::ofstream(folder + "/gone.JScript.ts")
            << "function Failure(link) {\n    for (var i = 0; i < 20; i++) {\n"
               "        try { link.WriteString('ECHO c'); link.ReadString('\\n', 1000, -1); }\n"
               "        catch (e) { return e.description; }\n    }\n    return 'no failure';\n}\n"
               "function Test() {\n    OutputLn('Vxi: ' + Failure(Vxi));\n    OutputLn('Tcp: ' + "
               "Failure(Tcp));\n"
               "    return 'pass';\n}\n";
        // With the store changed, Vxi's old connection is closed first: its link says goodbye to a peer gone.
        std::ofstream(folder + "/after.JScript.ts")
            << "function Test() {\n    try { Vxi.WriteString('ECHO d'); } catch (e) {}\n"
               "    OutputLn('after');\n    return 'pass';\n}\n";
    }
    void TearDown() override {
        vxi11.Stop();
        portMapper.Stop();
        vxi11Lock.reset();
        if (!sharedRuntime.empty()) {
            setenv("XDG_RUNTIME_DIR", sharedRuntime.c_str(), 1);
        }
    }

    // Fresh instruments and a store whose connections Tcp and Vxi reach them.
    void StartInstruments() {
        std::string why;
        ASSERT_TRUE(tcp.Start());
        ASSERT_TRUE(vxi11.Start(&why)) << why;
        WriteStore(kVxi11);
    }
    void WriteStore(const std::string& vxi11Resource) {
        std::ofstream(folder + "/HwConfigStore.cfs")
            << "<ConfigStore><connections>\n<connection name='Tcp'><Resource>" << tcp.SocketResource()
            << "</Resource></connection>\n<connection name='Vxi'><Resource>" << vxi11Resource
            << "</Resource></connection>\n</connections><sockets/></ConfigStore>\n";
        StoreItem("ConfigStoreFile", folder + "/HwConfigStore.cfs");
    }
    // Each link's failure names its connection in what the program wrote.
    void ExpectFailuresNamingTheConnections(const std::string& output) {
        EXPECT_NE(output.find("Vxi: "), std::string::npos) << output;
        EXPECT_NE(output.find("'" + std::string(kVxi11) + "' Connection"), std::string::npos) << output;
        EXPECT_NE(output.find("'" + tcp.SocketResource() + "' Connection"), std::string::npos) << output;
        EXPECT_EQ(output.find("no failure"), std::string::npos) << output;
    }

    static constexpr const char* kVxi11 = "TCPIP0::127.0.0.1::inst0::INSTR";
    std::unique_ptr<vrvisatest::Vxi11TestLock> vxi11Lock;
    vrvisatest::PortMapper portMapper;
    vrvisatest::Vxi11Instrument vxi11;
    vrvisatest::LoopbackInstrument tcp;
    std::string folder;
    std::string sharedRuntime; // the program's runtime folder, given back after the test
};

TEST_F(PeerGoneTest, TheNextScriptAndTheNextTestNameTheConnectionAndTheProgramsGoOn) {
    StartInstruments();
    pid_t scrivon = Start("scrivon", {}, folder + "/scrivon.txt", folder, folder + "/scrivon-errors.txt");
    ASSERT_GT(scrivon, 0);
    for (const std::string script : {"use.JScript.ts", "gone.JScript.ts", "after.JScript.ts"}) {
        if (script == "gone.JScript.ts") {
            tcp.Stop();
            vxi11.Stop();
        }
        if (script == "after.JScript.ts") {
            WriteStore("TCPIP0::127.0.0.1::inst1::INSTR");
        }
        pid_t drive = Start("scrivon-drive", {script}, folder + "/drive.txt", folder);
        EXPECT_EQ(WaitForExit(drive, 90s), 0) << script << ": " << ReadAll(folder + "/scrivon.txt");
    }
    int status = 0;
    EXPECT_EQ(waitpid(scrivon, &status, WNOHANG), 0) << "scrivon ended, status " << status;
    kill(scrivon, SIGTERM);
    (void)WaitForExit(scrivon, 10s); // its exit code after the signal says nothing here
    ExpectFailuresNamingTheConnections(ReadAll(folder + "/scrivon.txt"));
    EXPECT_NE(ReadAll(folder + "/scrivon.txt").find("after"), std::string::npos);

    tcp.Stop();
    StartInstruments();
    std::ofstream(folder + "/session.tsq") << "<?xml version=\"1.0\"?>\n<sequence>\n"
                                           << "  <test name=\"Use\"><code file=\"" << folder
                                           << "/use.JScript.ts\" language=\"JScript\"/></test>\n"
                                           << "  <test name=\"Gone\"><code file=\"" << folder
                                           << "/gone.JScript.ts\" language=\"JScript\"/></test>\n"
                                           << "  <test name=\"After\"><code file=\"" << folder
                                           << "/after.JScript.ts\" language=\"JScript\"/></test>\n"
                                           << "</sequence>\n";
    pid_t runvex = Start("runvex", {folder + "/session.tsq"}, folder + "/runvex.txt", folder,
                         folder + "/runvex-errors.txt");
    EXPECT_EQ(WaitForExit(runvex, 120s), 0)
        << ReadAll(folder + "/runvex.txt") << ReadAll(folder + "/runvex-errors.txt");
    ExpectFailuresNamingTheConnections(ReadAll(folder + "/runvex.txt"));
}

// A newcomer's first tries beside the store's mistakes: a script name typed wrong, and a scrivon that ends
// (killed) while it runs a script. The first is not run and both sides say which file is missing; the second
// is an error, not a run that never started, and names the process that ended.
TEST_F(OpenFailureTest, AMissingScriptIsNamedAndALostRunIsAnError) {
    pid_t drive = Start("scrivon-drive", {"nosuch.JScript.ts"}, folder + "/drive.txt", folder,
                        folder + "/drive-errors.txt");
    EXPECT_EQ(WaitForExit(drive, 90s), 3); // not run
    std::string said = ReadAll(folder + "/drive-errors.txt");
    EXPECT_NE(said.find("did not load " + folder + "/nosuch.JScript.ts: No such file or directory"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("the run goes to scrivon process " + std::to_string(scrivon) + " ("),
              std::string::npos)
        << said;
    EXPECT_TRUE(scrivontest::WaitForText(folder + "/scrivon.txt", "nosuch.JScript.ts' does not exist", 30s))
        << ReadAll(folder + "/scrivon.txt");

    std::ofstream(folder + "/loop.JScript.ts") << "function Test() {\n    OutputLn('looping');\n"
                                                  "    while (true) {}\n}\n";
    drive = Start("scrivon-drive", {"loop.JScript.ts"}, folder + "/drive.txt", folder,
                  folder + "/drive-errors.txt");
    ASSERT_TRUE(scrivontest::WaitForText(folder + "/scrivon.txt", "looping", 60s))
        << ReadAll(folder + "/scrivon.txt");
    kill(scrivon, SIGKILL);
    (void)WaitForExit(scrivon, 10s); // killed: its code says nothing
    const pid_t killed = std::exchange(scrivon, -1);
    EXPECT_EQ(WaitForExit(drive, 60s), 2); // error
    said = ReadAll(folder + "/drive-errors.txt");
    EXPECT_NE(said.find("the run was lost: scrivon process " + std::to_string(killed)), std::string::npos)
        << said;
    EXPECT_NE(said.find("ended during the run"), std::string::npos) << said;
}

// A program of the build tree started without the build's registry knows no class: scrivon says that the
// registry is the cause, not the script's file name.
TEST(EmptyRegistryTest, ScrivonNamesTheRegistryThatKnowsNoScriptLanguage) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string folder = vrtest::MakeFreshFolder("empty-registry");
    fs::create_directories(folder + "/registry");
    fs::create_directories(folder + "/run");
    fs::permissions(folder + "/run", fs::perms::owner_all);
    std::ofstream(folder + "/pass.JScript.ts") << "function Test() { return 'pass'; }\n";
    std::string registry = std::getenv("VORNIC_REGISTRY");
    std::string runtime = std::getenv("XDG_RUNTIME_DIR");
    setenv("VORNIC_REGISTRY", (folder + "/registry").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1); // no other scrivon is found there
    pid_t scrivon = Start("scrivon", {}, folder + "/scrivon.txt", folder, folder + "/errors.txt");
    pid_t drive = Start("scrivon-drive", {"pass.JScript.ts"}, folder + "/drive.txt", folder);
    setenv("VORNIC_REGISTRY", registry.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(WaitForExit(drive, 90s), 3); // not run
    kill(scrivon, SIGTERM);
    (void)WaitForExit(scrivon, 10s); // its exit code says nothing here
    EXPECT_NE(ReadAll(folder + "/errors.txt")
                  .find("Script Language: No script language is known: the registry " + folder +
                        "/registry records no script engine"),
              std::string::npos)
        << ReadAll(folder + "/errors.txt");
}

} // namespace
