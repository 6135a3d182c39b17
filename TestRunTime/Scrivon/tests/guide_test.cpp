// The user guide's example, run as the guide tells: its hardware store (pointed at the loopback instrument),
// its adapter file and its script, through the real rigmont, scrivon offscreen and scrivon-drive; and the
// guide itself, its shell commands taken from docs/user-guide.md and run as a reader runs them.
#include "TestRunTime/Scrivon/tests/config_items.h"
#include "TestRunTime/Scrivon/tests/programs.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using scrivontest::ReadAll;
using scrivontest::Start;
using scrivontest::StoreItem;
using scrivontest::WaitForExit;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "the guide's file no longer holds " << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class UserGuideTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_TRUE(instrument.Start());
        folder = vrtest::MakeFreshFolder("guide");
        const fs::path guide = VR_USER_GUIDE;
        fs::copy_file(guide / "psu.daf", fs::path(folder) / "psu.daf");
        fs::copy_file(guide / "rail.JScript.ts", fs::path(folder) / "rail.JScript.ts");
        // The guide's store, with the instrument's port and the folder the adapter file is in.
        std::string store = ReadAll((guide / "HwConfigStore.cfs").string());
        store = Replaced(store, "127.0.0.1::5025", "127.0.0.1::" + std::to_string(instrument.Port()));
        store = Replaced(store, "/home/engineer/bench", folder);
        std::ofstream(folder + "/HwConfigStore.cfs") << store;
        StoreItem("ConfigStoreFile", folder + "/HwConfigStore.cfs");
        std::ofstream(folder + "/results.dsn")
            << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << folder << "/results.db\nTimeout=10000\n";
        StoreItem("DSN", folder + "/results.dsn");
    }
    void TearDown() override {
        if (scrivon > 0) {
            kill(scrivon, SIGTERM);
            (void)WaitForExit(scrivon, 10s); // its exit code says nothing about the guide
        }
        CoUninitialize();
    }

    vrvisatest::LoopbackInstrument instrument;
    std::string folder;
    pid_t scrivon = -1;
};

TEST_F(UserGuideTest, TheGuidesScriptPassesThroughScrivonOffscreenAndScrivonDrive) {
    std::string output = folder + "/scrivon.txt";
    std::string errors = folder + "/scrivon-errors.txt";
    scrivon = Start("scrivon", {}, output, folder, errors);
    ASSERT_GT(scrivon, 0);
    pid_t drive = Start("scrivon-drive", {"rail.JScript.ts"}, folder + "/drive.txt", folder);
    ASSERT_GT(drive, 0);
    EXPECT_EQ(WaitForExit(drive, 90s), 0)
        << ReadAll(output) << ReadAll(errors) << ReadAll(folder + "/drive.txt");
    // The lines the guide shows, in its order.
    EXPECT_NE(ReadAll(output).find("output Unknown: Supply: VORNIC,LOOPBACK,0,1.0\n"
                                   "output Passed: 5 V rail: '5' is valid for '[4.95..5.05] {5 V rail}'.\n"
                                   "output Unknown: Supply off\n"),
              std::string::npos)
        << ReadAll(output);
    EXPECT_NE(ReadAll(output).find("return value: pass\nverdict: Passed\n"), std::string::npos);
}

// The guide's fenced blocks of one kind ("sh" for the commands, "" for shown text), in the guide's order.
std::vector<std::string> FencedBlocks(const std::string& guide, const std::string& kind) {
    std::vector<std::string> blocks;
    std::istringstream lines(guide);
    std::string line;
    std::string block;
    bool inside = false;
    bool wanted = false;
    while (std::getline(lines, line)) {
        if (line.starts_with("```")) {
            if (inside && wanted) {
                blocks.push_back(block);
            }
            wanted = !inside && line.substr(3) == kind;
            inside = !inside;
            block.clear();
        } else if (inside) {
            block += line + "\n";
        }
    }
    return blocks;
}

// The shown block that starts with start.
std::string ShownBlock(const std::string& guide, const std::string& start) {
    for (const std::string& block : FencedBlocks(guide, "")) {
        if (block.starts_with(start)) {
            return block;
        }
    }
    ADD_FAILURE() << "the guide shows no block that starts with " << start;
    return "\x01"; // found nowhere
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// Runs a shell script in folder with its output in files; the exit code.
int RunShell(const std::string& script, const std::string& folder) {
    std::ofstream(folder + "/guide.sh") << script;
    std::string command = "cd '" + folder + "' && timeout 300 bash guide.sh >guide.out 2>guide.err";
    return std::system(command.c_str());
}

// A reader's clone: the build's programs at build/bin, a registry of the build's classes only at
// build/registry, and the guide's files; the guide's port 5025 becomes a free one, so that runs of this test
// side by side do not meet.
class GuideAsWrittenTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = vrtest::MakeFreshFolder("reader");
        port = std::to_string(vrvisatest::UnusedPort());
        const fs::path clone = fs::path(root) / "clone";
        fs::create_directories(clone / "build" / "registry");
        fs::create_directories(clone / "docs" / "user-guide");
        fs::create_directories(fs::path(root) / "home");
        fs::create_directory_symlink(vrtest::BuildBinFolder(), clone / "build" / "bin");
        fs::copy_file(fs::path(std::getenv("VORNIC_REGISTRY")) / "HKEY_CLASSES_ROOT.reg",
                      clone / "build" / "registry" / "HKEY_CLASSES_ROOT.reg");
        for (const char* file : {"psu.daf", "rail.JScript.ts", "HwConfigStore.cfs"}) {
            std::ofstream(clone / "docs" / "user-guide" / file)
                << WithPort(ReadAll((fs::path(VR_USER_GUIDE) / file).string()));
        }
        guide = ReadAll(fs::path(VR_USER_GUIDE).parent_path() / "user-guide.md");
    }
    std::string WithPort(const std::string& text) const {
        return std::regex_replace(text, std::regex("\\b5025\\b"), port);
    }
    std::string Home(const std::string& file) const { return ReadAll(root + "/home/" + file); }

    std::string root;
    std::string port;
    std::string guide;
};

TEST_F(GuideAsWrittenTest, ItsCommandsGiveItsVerdictRecordingReplayAndRows) {
    // The reader's shell: a home and a runtime folder of their own (so the servers an earlier test left
    // running are not theirs), no registry or data home named, the clone as the folder. The build is this
    // test's own, so the guide's cmake does nothing here.
    fs::create_directories(fs::path(root) / "run");
    fs::permissions(fs::path(root) / "run", fs::perms::owner_all);
    std::string script = "unset VORNIC_REGISTRY VORNIC_HOME QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY\n"
                         "export HOME='" +
                         root + "/home' XDG_RUNTIME_DIR='" + root +
                         "/run'\n"
                         "cmake() { :; }\n"
                         "cd clone\n";
    std::vector<std::string> commands = FencedBlocks(guide, "sh");
    ASSERT_GE(commands.size(), 5u) << "the guide's commands are gone";
    for (const std::string& block : commands) {
        // The registry is set with its command, never by editing its files.
        EXPECT_EQ(block.find(".reg"), std::string::npos) << block;
        script += WithPort(block);
    }
    script += "kill $(jobs -p) 2>/dev/null\nwait\n"; // what the guide left running, as a reader would
    int status = RunShell(script, root);
    std::string log = ReadAll(root + "/guide.out") + ReadAll(root + "/guide.err");
    EXPECT_EQ(status, 0) << log;

    // Each of the three runs (live, recorded, replayed) reads as the guide shows, and passed.
    std::string shown = ShownBlock(guide, "output Unknown: ---");
    std::string runs = Home("bench/run.log");
    EXPECT_EQ(Occurrences(runs, shown), 3u) << runs << log;
    EXPECT_NE(ReadAll(root + "/guide.out").find("\n0\n"), std::string::npos) << log; // echo $?
    std::string traffic = Home("bench/psu-traffic.xml");
    EXPECT_NE(traffic.find("*IDN?"), std::string::npos) << "nothing was recorded:\n" << traffic;
    EXPECT_NE(traffic.find("VORNIC,LOOPBACK,0,1.0"), std::string::npos) << traffic;

    // The rows the guide shows, once for each run.
    std::istringstream rows(ShownBlock(guide, "PSU-0001|"));
    std::string row;
    std::string out = ReadAll(root + "/guide.out");
    while (std::getline(rows, row)) {
        EXPECT_EQ(Occurrences(out, row + "\n"), 3u) << row << "\n" << log;
    }
}

} // namespace
