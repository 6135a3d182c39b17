// Helpers of the registry tests: a fresh registry root per test, short forms of the calls, worker processes.
#pragma once

#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace regtest {

// Gives every test an empty registry root of its own (VORNIC_REGISTRY).
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::string root_;
};

// Points VORNIC_REGISTRY at a new empty folder and returns it.
std::string UseFreshRoot();
// Copies the current root's hive files to a new root and switches to it: the next calls parse the files
// from disk, as a process that starts afresh would.
std::string ReopenFromDisk();

std::string HiveFilePath(const std::string& hiveName);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// Creates (or opens) a key with full access; fails the test on error.
HKEY CreateKey(HKEY parent, const std::u16string& path, REGSAM access = KEY_ALL_ACCESS);
LONG SetString(HKEY key, const std::u16string& name, const std::u16string& text, DWORD type = REG_SZ);
LONG SetDword(HKEY key, const std::u16string& name, DWORD number);
std::optional<std::u16string> GetString(HKEY key, const std::u16string& name);
std::optional<DWORD> GetDword(HKEY key, const std::u16string& name);

// Every value of a key as "name|type|hex bytes" lines, in enumeration order.
std::vector<std::string> DumpValues(HKEY key);

// A worker: this test binary run again with one job (see registry_worker_test.cpp) given in environment
// variables; it works on the current registry root. Its output goes to a log file shown on failure.
pid_t StartWorker(const std::map<std::string, std::string>& job);
// Waits for the worker and returns its exit status (0 when its job passed).
int WaitWorker(pid_t pid);
int RunWorker(const std::map<std::string, std::string>& job);

// Blocks until `path` exists (the start gate that lets workers begin at the same moment).
void WaitForFile(const std::string& path);

} // namespace regtest
