// Helpers of the registry tests: a fresh registry root per test, short forms of the calls, worker processes.
#include "registry_test_util.h"

#include "platform/base/text.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace regtest {
namespace {

std::map<pid_t, std::string>& WorkerLogs() {
    static std::map<pid_t, std::string> logs;
    return logs;
}

std::string HexBytes(const BYTE* data, DWORD size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0xF];
    }
    return out;
}

} // namespace

void RegistryTest::SetUp() {
    root_ = UseFreshRoot();
}

std::string UseFreshRoot() {
    std::string root = vrtest::MakeFreshFolder("registry");
    setenv("VORNIC_REGISTRY", root.c_str(), 1);
    return root;
}

std::string ReopenFromDisk() {
    std::string from = vr::RegistryRoot();
    std::string to = vrtest::MakeFreshFolder("reopened");
    for (const auto& entry : std::filesystem::directory_iterator(from)) {
        if (entry.path().extension() == ".reg") {
            std::filesystem::copy_file(entry.path(), to / entry.path().filename());
        }
    }
    setenv("VORNIC_REGISTRY", to.c_str(), 1);
    return to;
}

std::string HiveFilePath(const std::string& hiveName) {
    return vr::RegistryRoot() + "/" + hiveName + ".reg";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

HKEY CreateKey(HKEY parent, const std::u16string& path, REGSAM access) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyEx(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                 &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << vr::ToUtf8(path);
    return key;
}

LONG SetString(HKEY key, const std::u16string& name, const std::u16string& text, DWORD type) {
    return RegSetValueEx(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LONG SetDword(HKEY key, const std::u16string& name, DWORD number) {
    return RegSetValueEx(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                         sizeof number);
}

std::optional<std::u16string> GetString(HKEY key, const std::u16string& name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueEx(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::u16string text(size / 2, u'\0');
    if (RegQueryValueEx(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(size / 2);
    if (!text.empty() && text.back() == u'\0') {
        text.pop_back();
    }
    return text;
}

std::optional<DWORD> GetDword(HKEY key, const std::u16string& name) {
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    if (RegQueryValueEx(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof number) {
        return std::nullopt;
    }
    return number;
}

std::vector<std::string> DumpValues(HKEY key) {
    std::vector<std::string> lines;
    for (DWORD index = 0;; ++index) {
        char16_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        std::vector<BYTE> data(65536);
        auto size = static_cast<DWORD>(data.size());
        LONG status = RegEnumValue(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        EXPECT_EQ(status, ERROR_SUCCESS);
        if (status != ERROR_SUCCESS) {
            break;
        }
        lines.push_back(vr::ToUtf8(std::u16string_view(name, nameLength)) + "|" + std::to_string(type) + "|" +
                        HexBytes(data.data(), size));
    }
    return lines;
}

pid_t StartWorker(const std::map<std::string, std::string>& job) {
    std::map<std::string, std::string> environment = job;
    environment["VR_REGISTRY_ROOT"] = vr::RegistryRoot();
    std::string log = vrtest::MakeFreshFolder("worker") + "/output.log";
    pid_t pid = vrtest::StartSelfTest("RegistryWorker.DISABLED_Job", environment, log);
    EXPECT_NE(pid, -1) << "cannot start the worker";
    WorkerLogs()[pid] = log;
    return pid;
}

int WaitWorker(pid_t pid) {
    int code = vrtest::WaitForChild(pid);
    if (code != 0) {
        ADD_FAILURE() << "worker " << pid << " ended with " << code << ":\n" << ReadFile(WorkerLogs()[pid]);
    }
    return code;
}

int RunWorker(const std::map<std::string, std::string>& job) {
    return WaitWorker(StartWorker(job));
}

void WaitForFile(const std::string& path) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(path) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace regtest
