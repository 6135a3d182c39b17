// Test fixture of the configuration items: a fresh registry root per test, a recording tracer, and direct
// looks at the registry and its hive files.
#pragma once

#include "common/trace/tests/trace_sink.h"

#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace configtest {

// What shows that a file was written: writers replace hive files by rename, so the inode changes too.
struct FileSnapshot {
    bool exists = false;
    ino_t inode = 0;
    timespec modified{};
    std::string text;

    static FileSnapshot Of(const std::string& path);
    bool operator==(const FileSnapshot& other) const;
};

// One registry value as (name, text), both UTF-8.
using NamedValue = std::pair<std::string, std::string>;

class ConfigDataTest : public commontest::TracedTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Points the registry at a new empty root folder (or at `root` itself).
    void UseRegistryRoot(const std::string& root);
    const std::string& RegistryRootFolder() const { return root_; }
    std::string HiveFile(const char* hive) const;

    // The values of "Software\Vornic\Config" under a root, in enumeration order.
    static std::vector<NamedValue> ConfigValues(HKEY root);
    // Writes raw data under HKEY_LOCAL_MACHINE's configuration key (creating it), bypassing the class.
    static void SetRawValue(const char* name, DWORD type, const void* data, DWORD size);
    static void SetRawText(const char* name, const std::u16string& text);
    // An item's text under HKEY_LOCAL_MACHINE as the registry holds it, "<missing>" when absent.
    static std::string MachineValue(const std::string& name);

    std::vector<commontest::SinkCall> TraceLines() const { return sink_->Calls(); }

private:
    std::string root_;
    std::string savedRoot_;
};

// The defaults a first construction stores, in table order.
std::vector<NamedValue> ExpectedDefaults();

} // namespace configtest
