// The mistakes a new engineer makes in the hardware store and on a first try, run through the real rigmont,
// scrivon offscreen and scrivon-drive: the run's own error names the cause and the script line that used the
// name; a missing script and a scrivon killed during a run are named, with their documented exit codes.
#include "TestRunTime/Scrivon/tests/config_items.h"
#include "TestRunTime/Scrivon/tests/programs.h"
#include "peers.h"
#include "platform/com/bstr.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
