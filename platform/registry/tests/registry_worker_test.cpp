// The worker side of the process tests: this binary run again with a job in VR_REGISTRY_* variables.
#include "registry_test_util.h"

#include "platform/base/text.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace regtest {
namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::u16string WideVariable(const char* name) {
    return vr::FromUtf8(Variable(name));
}

int Count() {
    return std::atoi(Variable("VR_REGISTRY_COUNT").c_str());
}

// Polls until the value reads `expected`; false after 30 seconds.
bool WaitForString(const std::u16string& keyPath, const std::u16string& name,
                   const std::u16string& expected) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        HKEY key = nullptr;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            auto text = GetString(key, name);
            RegCloseKey(key);
            if (text == expected) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// Sets COUNT values "<PREFIX><i>" = i in KEY, one read-modify-write each, checking each right away.
void SetValues(HKEY key) {
    std::u16string prefix = WideVariable("VR_REGISTRY_PREFIX");
    for (int i = 0; i < Count(); ++i) {
        std::u16string name = prefix + vr::FromUtf8(std::to_string(i));
        ASSERT_EQ(SetDword(key, name, static_cast<DWORD>(i)), ERROR_SUCCESS);
        ASSERT_EQ(GetDword(key, name), static_cast<DWORD>(i));
    }
}

// Answers each "ping<i>" the parent writes with "pong<i>", COUNT times.
void PlayPong(const std::u16string& keyPath) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, keyPath);
    for (int i = 0; i < Count(); ++i) {
        std::u16string round = vr::FromUtf8(std::to_string(i));
        ASSERT_TRUE(WaitForString(keyPath, u"ball", u"ping" + round)) << "round " << i;
        ASSERT_EQ(SetString(key, u"ball", u"pong" + round), ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

void WriteOutput(const std::vector<std::string>& lines) {
    std::ofstream out(Variable("VR_REGISTRY_OUT"), std::ios::binary | std::ios::trunc);
    for (const auto& line : lines) {
        out << line << "\n";
    }
}

// Run only as a worker, by StartWorker; a normal test run lists it as disabled.
TEST(RegistryWorker, DISABLED_Job) {
    std::string job = Variable("VR_REGISTRY_JOB");
    if (job.empty()) {
        GTEST_SKIP() << "not started as a worker";
    }
    // The test main gave this process a private registry; the worker works on its parent's.
    setenv("VORNIC_REGISTRY", Variable("VR_REGISTRY_ROOT").c_str(), 1);
    if (std::string gate = Variable("VR_REGISTRY_GATE"); !gate.empty()) {
        WaitForFile(gate);
    }
    std::u16string keyPath = WideVariable("VR_REGISTRY_KEY");
    if (job == "set-values" || job == "set-string") {
        HKEY key = CreateKey(HKEY_CURRENT_USER, keyPath);
        if (job == "set-values") {
            SetValues(key);
        } else {
            ASSERT_EQ(SetString(key, WideVariable("VR_REGISTRY_NAME"), WideVariable("VR_REGISTRY_TEXT")),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    } else if (job == "wait-string") {
        EXPECT_TRUE(
            WaitForString(keyPath, WideVariable("VR_REGISTRY_NAME"), WideVariable("VR_REGISTRY_TEXT")));
    } else if (job == "dump-values") {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
        WriteOutput(DumpValues(key));
        RegCloseKey(key);
    } else if (job == "pong") {
        PlayPong(keyPath);
    } else {
        FAIL() << "unknown job " << job;
    }
}

} // namespace
} // namespace regtest
