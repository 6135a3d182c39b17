// Several processes and threads on one registry: every write survives, and each sees the others' writes.
#include "registry_test_util.h"

#include "platform/base/text.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <fstream>
#include <thread>

namespace regtest {
namespace {

class RegistryConcurrency : public RegistryTest {
protected:
    std::string Gate() { return root_ + "/go"; }
    void OpenGate() { WriteFile(Gate(), ""); }
};

std::u16string Wide(const std::string& text) {
    return vr::FromUtf8(text);
}

TEST_F(RegistryConcurrency, ProcessesWritingValuesOfOneKeyLoseNone) {
    constexpr int kProcesses = 6;
    constexpr int kValues = 40;
    std::vector<pid_t> workers;
    for (int p = 0; p < kProcesses; ++p) {
        workers.push_back(StartWorker({{"VR_REGISTRY_JOB", "set-values"},
                                       {"VR_REGISTRY_KEY", "Software\\Shared"},
                                       {"VR_REGISTRY_PREFIX", "p" + std::to_string(p) + "_"},
                                       {"VR_REGISTRY_COUNT", std::to_string(kValues)},
                                       {"VR_REGISTRY_GATE", Gate()}}));
    }
    OpenGate();
    for (pid_t worker : workers) {
        EXPECT_EQ(WaitWorker(worker), 0);
    }
    ReopenFromDisk();
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Software\\Shared");
    EXPECT_EQ(DumpValues(key).size(), static_cast<size_t>(kProcesses * kValues));
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kValues; ++i) {
            EXPECT_EQ(GetDword(key, Wide("p" + std::to_string(p) + "_" + std::to_string(i))),
                      static_cast<DWORD>(i));
        }
    }
    RegCloseKey(key);
}

TEST_F(RegistryConcurrency, AProcessSeesAnotherProcesssWrites) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Seen");
    ASSERT_EQ(SetString(key, u"state", u"before"), ERROR_SUCCESS);
    ASSERT_EQ(GetString(key, u"state"), u"before"); // now cached in this process

    ASSERT_EQ(RunWorker({{"VR_REGISTRY_JOB", "set-string"},
                         {"VR_REGISTRY_KEY", "Seen"},
                         {"VR_REGISTRY_NAME", "state"},
                         {"VR_REGISTRY_TEXT", "AFTER!"}}),
              0);
    EXPECT_EQ(GetString(key, u"state"), u"AFTER!");

    pid_t reader = StartWorker({{"VR_REGISTRY_JOB", "wait-string"},
                                {"VR_REGISTRY_KEY", "Seen"},
                                {"VR_REGISTRY_NAME", "state"},
                                {"VR_REGISTRY_TEXT", "third"}});
    ASSERT_EQ(SetString(key, u"state", u"third"), ERROR_SUCCESS);
    EXPECT_EQ(WaitWorker(reader), 0);
    RegCloseKey(key);
}

// Rapid same-sized rewrites by two processes: each must see every change of the other, however close in time
// and however alike in size the files are.
TEST_F(RegistryConcurrency, PingPongBetweenProcessesMissesNoChange) {
    constexpr int kRounds = 150;
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Game");
    pid_t partner = StartWorker({{"VR_REGISTRY_JOB", "pong"},
                                 {"VR_REGISTRY_KEY", "Game"},
                                 {"VR_REGISTRY_COUNT", std::to_string(kRounds)}});
    for (int i = 0; i < kRounds; ++i) {
        std::u16string round = Wide(std::to_string(i));
        ASSERT_EQ(SetString(key, u"ball", u"ping" + round), ERROR_SUCCESS);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (GetString(key, u"ball") != u"pong" + round && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_EQ(GetString(key, u"ball"), u"pong" + round);
    }
    EXPECT_EQ(WaitWorker(partner), 0);
    RegCloseKey(key);
}

TEST_F(RegistryConcurrency, ValuesPersistIntoAFreshProcess) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Persisted");
    ASSERT_EQ(SetString(key, u"quote\"back\\slash", u"caf\u00e9 \"x\" \\ \U0001F600"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"", u""), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"number", 42), ERROR_SUCCESS);
    const BYTE blob[] = {0, 1, 2, 255};
    ASSERT_EQ(RegSetValueEx(key, u"blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    std::vector<std::string> expected = DumpValues(key);
    RegCloseKey(key);

    std::string out = vrtest::MakeFreshFolder("dump") + "/values.txt";
    ASSERT_EQ(
        RunWorker(
            {{"VR_REGISTRY_JOB", "dump-values"}, {"VR_REGISTRY_KEY", "Persisted"}, {"VR_REGISTRY_OUT", out}}),
        0);
    std::vector<std::string> seen;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        seen.push_back(line);
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(RegistryConcurrency, ThreadsWritingAndReadingTogetherLoseNothing) {
    constexpr int kThreads = 8;
    constexpr int kValues = 24;
    HKEY shared = CreateKey(HKEY_CURRENT_USER, u"Threads");
    std::atomic<bool> start{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!start.load()) {
                std::this_thread::yield();
            }
            // Each thread works through a handle of its own and through the shared one.
            HKEY own = nullptr;
            if (RegOpenKeyEx(HKEY_CURRENT_USER, u"Threads", 0, KEY_ALL_ACCESS, &own) != ERROR_SUCCESS) {
                ++failures;
                return;
            }
            for (int i = 0; i < kValues; ++i) {
                std::u16string name = Wide("t" + std::to_string(t) + "_" + std::to_string(i));
                HKEY target = i % 2 == 0 ? own : shared;
                if (SetDword(target, name, static_cast<DWORD>(i)) != ERROR_SUCCESS ||
                    GetDword(target, name) != static_cast<DWORD>(i)) {
                    ++failures;
                }
                if (i % 4 == 0) {
                    HKEY child = CreateKey(own, name);
                    RegCloseKey(child);
                    if (RegDeleteKey(own, name.c_str()) != ERROR_SUCCESS) {
                        ++failures;
                    }
                }
                DumpValues(shared);
            }
            RegCloseKey(own);
        });
    }
    start = true;
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(DumpValues(shared).size(), static_cast<size_t>(kThreads * kValues));
    RegCloseKey(shared);

    ReopenFromDisk();
    HKEY reread = CreateKey(HKEY_CURRENT_USER, u"Threads");
    EXPECT_EQ(DumpValues(reread).size(), static_cast<size_t>(kThreads * kValues));
    char16_t name[256];
    DWORD length = 256;
    EXPECT_EQ(RegEnumKeyEx(reread, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(reread);
}

} // namespace
} // namespace regtest
