// The user guide's example, run as the guide tells: its hardware store (pointed at the loopback instrument),
// its adapter file and its script, through the real rigmont, scrivon offscreen and scrivon-drive.
#include "TestRunTime/Scrivon/tests/programs.h"
#include "common/VrConfigData.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using scrivontest::ReadAll;
using scrivontest::Start;
using scrivontest::WaitForExit;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "the guide's file no longer holds " << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

void StoreItem(const char* name, const std::string& value) {
    CVrConfigData config;
    BSTR text = vr::AllocBstrUtf8(value);
    EXPECT_TRUE(config.StoreItem(name, text)) << name;
    SysFreeString(text);
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

} // namespace
