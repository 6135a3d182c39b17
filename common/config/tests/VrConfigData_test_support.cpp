// Test fixture of the configuration items: private registry roots, the tracer, raw registry access.
#include "common/config/tests/VrConfigData_test_support.h"

#include "tests/support/test_env.h"

#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace configtest {

constexpr const OLECHAR* kConfigKey = u"Software\\Vornic\\Config";

FileSnapshot FileSnapshot::Of(const std::string& path) {
    FileSnapshot snapshot;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return snapshot;
    }
    snapshot.exists = true;
    snapshot.inode = info.st_ino;
    snapshot.modified = info.st_mtim;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    snapshot.text = text.str();
    return snapshot;
}

bool FileSnapshot::operator==(const FileSnapshot& other) const {
    return exists == other.exists && inode == other.inode && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && text == other.text;
}

void ConfigDataTest::SetUp() {
    const char* saved = std::getenv("VORNIC_REGISTRY");
    savedRoot_ = saved != nullptr ? saved : "";
    UseRegistryRoot(vrtest::MakeFreshFolder("config-registry"));
    TracedTest::SetUp();
}

void ConfigDataTest::TearDown() {
    TracedTest::TearDown();
    setenv("VORNIC_REGISTRY", savedRoot_.c_str(), 1);
}

void ConfigDataTest::UseRegistryRoot(const std::string& root) {
    root_ = root;
    setenv("VORNIC_REGISTRY", root_.c_str(), 1);
}

std::string ConfigDataTest::HiveFile(const char* hive) const {
    return root_ + "/" + hive + ".reg";
}

std::vector<NamedValue> ConfigDataTest::ConfigValues(HKEY root) {
    std::vector<NamedValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, kConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return values;
    }
    std::u16string data(64, u'\0');
    for (DWORD index = 0;;) {
        OLECHAR name[256];
        DWORD nameLength = 256;
        auto dataSize = static_cast<DWORD>(data.size() * sizeof(OLECHAR));
        LONG status = RegEnumValue(key, index, name, &nameLength, nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (status == ERROR_MORE_DATA) {
            data.resize(dataSize / sizeof(OLECHAR) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        std::u16string text(data.data(), dataSize / sizeof(OLECHAR));
        text.resize(vr::U16Length(text.c_str()));
        values.emplace_back(vr::ToUtf8(name), vr::ToUtf8(text));
        ++index;
    }
    RegCloseKey(key);
    return values;
}

void ConfigDataTest::SetRawValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, kConfigKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    std::u16string valueName = vr::FromUtf8(name);
    EXPECT_EQ(RegSetValueEx(key, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void ConfigDataTest::SetRawText(const char* name, const std::u16string& text) {
    SetRawValue(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
}

std::string ConfigDataTest::MachineValue(const std::string& name) {
    for (const auto& [valueName, text] : ConfigValues(HKEY_LOCAL_MACHINE)) {
        if (valueName == name) {
            return text;
        }
    }
    return "<missing>";
}

std::vector<NamedValue> ExpectedDefaults() {
    std::string folder = vr::ProgramFolder() + "/";
    return {
        {"ConfigStoreFile", folder + "HwConfigStore.cfs"},
        {"AdapterBlankFile", folder + "AdapterBlank.daf"},
        {"ExcludedScriptLanguages", "XML VBScript.Encode JScript.Encode"},
        {"ScriptBlankFile", folder + "Blank.%1.ts"},
        {"PnxBlankFile", folder + "Blank.%1.pnx"},
        {"DSN", folder + "Ostrel.dsn"},
        {"Lumisk", "User"},
        {"VISAResourceManagerProgID", "VISA.GlobalRM"},
        {"PnxDefaultMode", "RunTime"},
        {"TestExecutiveBlankFile", folder + "Blank.tsq"},
        {"PnxGetScript_JScript",
         "<value> = <expression>;\\r\\n<spec> = \"<spec_value>\";\\r\\nif (typeof rt_specValidator == "
         "\"undefined\") rt_specValidator = new ActiveXObject(\"Vornic.SpecValidator\");\\r\\n<valid> = "
         "String(<spec> == \"\" || <spec>.charAt(0) == \"{\" || rt_specValidator.IsValid(<value>, <spec>));"},
        {"PnxSetScript_JScript", "<param> = \"<value>\";"},
        {"PnxDefaultGraphInitScript_JScript", "engine.graph.Clear();"},
        {"PnxDefaultGraphRefreshScript_JScript", "// engine.graph.PutPoint(x, y) adds a point to the graph"},
    };
}

} // namespace configtest
