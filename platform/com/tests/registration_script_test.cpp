// Registration scripts: escapes and variables reach the registry as written, refused syntax writes nothing,
// and unregistering removes what registering wrote and nothing of anyone else's.
#include "platform/base/text.h"
#include "platform/com/registration_script.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vr::registration::RegisterScript;
using vr::registration::ScriptVariable;
using vr::registration::UnregisterScript;

// The text of a value, "<missing>" when the key or value is not there.
std::string ValueOf(const std::u16string& key, const std::u16string& name) {
    HKEY opened = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return "<missing>";
    }
    char16_t text[512] = {};
    DWORD size = sizeof text - sizeof(char16_t);
    LONG status = RegQueryValueEx(opened, name.empty() ? nullptr : name.c_str(), nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(text), &size);
    (void)RegCloseKey(opened); // read-only handle
    return status == ERROR_SUCCESS ? vr::ToUtf8(text) : "<missing>";
}

bool KeyExists(const std::u16string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    (void)RegCloseKey(opened); // read-only handle
    return true;
}

void WriteForeign(const std::u16string& key, const std::u16string& name) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                             nullptr),
              ERROR_SUCCESS);
    const char16_t text[] = u"theirs";
    EXPECT_EQ(
        RegSetValueEx(opened, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
        ERROR_SUCCESS);
    (void)RegCloseKey(opened); // the write is done
}

constexpr const char* kScript = R"(HKCR
{
    'Script.O''Neil Meter.1' = s 'It''s 100%% mine'
    {
        CLSID = s '{11111111-2222-3333-4444-555555555555}'
    }
    NoRemove ScriptShared
    {
        ScriptOwn
        {
            val Path = s '%MODULE%'
        }
        val Mine = s 'x'
    }
    ForceRemove ScriptForced = s 'forced'
    {
        Inner = s 'inner'
    }
})";

// A module path with an apostrophe and blanks: substituted after the quotes are read, so it stays whole.
const std::u16string kModule = u"/opt/O'Neil tools/lib dev.so";
const ScriptVariable kVariables[] = {{u"MODULE", kModule}};

TEST(RegistrationScriptTest, WritesEscapesAndVariablesAndUnregistersOnlyItsOwn) {
    WriteForeign(u"ScriptShared", u"Theirs");
    WriteForeign(u"ScriptForced\\Stale", u"Old");
    std::u16string error;
    ASSERT_EQ(RegisterScript(kScript, kVariables, &error), S_OK) << vr::ToUtf8(error);
    EXPECT_EQ(ValueOf(u"Script.O'Neil Meter.1", u""), "It's 100% mine");
    EXPECT_EQ(ValueOf(u"Script.O'Neil Meter.1\\CLSID", u""), "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(ValueOf(u"ScriptShared\\ScriptOwn", u"Path"), vr::ToUtf8(kModule));
    EXPECT_EQ(ValueOf(u"ScriptShared", u"Mine"), "x");
    EXPECT_EQ(ValueOf(u"ScriptForced\\Inner", u""), "inner");
    EXPECT_FALSE(KeyExists(u"ScriptForced\\Stale")) << "ForceRemove starts the key afresh";

    // Someone else's value in a key of the script keeps that key.
    WriteForeign(u"Script.O'Neil Meter.1", u"Theirs");
    ASSERT_EQ(UnregisterScript(kScript, kVariables, &error), S_OK) << vr::ToUtf8(error);
    EXPECT_EQ(ValueOf(u"Script.O'Neil Meter.1", u""), "<missing>");
    EXPECT_EQ(ValueOf(u"Script.O'Neil Meter.1", u"Theirs"), "theirs");
    EXPECT_FALSE(KeyExists(u"Script.O'Neil Meter.1\\CLSID"));
    EXPECT_FALSE(KeyExists(u"ScriptShared\\ScriptOwn"));
    EXPECT_EQ(ValueOf(u"ScriptShared", u"Mine"), "<missing>");
    EXPECT_EQ(ValueOf(u"ScriptShared", u"Theirs"), "theirs") << "NoRemove keys stay";
    EXPECT_FALSE(KeyExists(u"ScriptForced"));
    // Unregistering again finds nothing to remove, which is no failure.
    EXPECT_EQ(UnregisterScript(kScript, kVariables, &error), S_OK) << vr::ToUtf8(error);
}

TEST(RegistrationScriptTest, RefusesWhatItDoesNotKnowAndWritesNothing) {
    struct Case {
        const char* script;
        const char* error;
    };
    const Case cases[] = {
        {"HKCR { Refused = d '5' }", "line 1: unknown value type 'd' (only s is known)"},
        {"HKCR { Delete Refused }", "line 1: 'Delete' is not supported"},
        {"HKCR {\n Refused = s 'x'\n", "line 3: the script ends early (a '}' is missing)"},
        {"HKCR { Refused = s '%OTHER%' }", "line 1: unknown variable %OTHER%"},
        {"HKCR { Refused = s 'open }", "line 1: a quoted string is not closed"},
        {"HKCR { 'Refused\\Deeper' }", "line 1: the name 'Refused\\Deeper' holds a backslash"},
        {"HKCR { val Refused = s 'x' }", "line 1: a value must stand inside a key"},
        {"HKXX { Refused }", "line 1: 'HKXX' is no root key (HKCR, HKCU or HKLM)"},
        {"HKCR { Refused = s unquoted }", "line 1: a string value must be quoted, not 'unquoted'"},
        {"HKCR { Refused { val = s 'x' } }", "line 1: expected a name but found '='"},
        {"HKCR { Refused = s 'x'}", "line 1: a quoted string must be followed by white space"},
    };
    for (const Case& c : cases) {
        std::u16string error;
        EXPECT_EQ(RegisterScript(std::string("HKCR { RefusedFirst = s 'written?' }\n") + c.script, kVariables,
                                 &error),
                  HRESULT_FROM_WIN32(ERROR_BAD_FORMAT))
            << c.script;
        // The first line is sound: the whole script is read before anything is written.
        std::string expected = c.error;
        expected.replace(5, 1, std::to_string(std::stoi(expected.substr(5, 1)) + 1));
        EXPECT_EQ(vr::ToUtf8(error), expected) << c.script;
        EXPECT_FALSE(KeyExists(u"RefusedFirst")) << c.script;
        EXPECT_EQ(UnregisterScript(c.script, kVariables, &error), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT));
    }
}

// The registry's names and texts end at a zero: a script whose name or string holds one would write another
// key than it names (an empty name is the root itself, which unregistering cannot remove) or a cut value.
TEST(RegistrationScriptTest, RefusesNamesAndValuesThatHoldAZero) {
    using namespace std::string_literals;
    std::u16string error;
    EXPECT_EQ(RegisterScript("HKCR {\n '\0' }"s, kVariables, &error), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT));
    EXPECT_EQ(vr::ToUtf8(error), "line 2: a name may not hold a zero character");
    EXPECT_EQ(RegisterScript("HKCR { Key = s 'cut\0here' }"s, kVariables, &error),
              HRESULT_FROM_WIN32(ERROR_BAD_FORMAT));
    EXPECT_EQ(vr::ToUtf8(error), "line 1: a string value may not hold a zero character");
    EXPECT_FALSE(KeyExists(u"Key"));
}

// A script nested 30,000 keys deep is refused with its reason instead of exhausting the reader's stack; a
// nested one within the limit registers.
TEST(RegistrationScriptTest, RefusesKeysNestedDeeperThanTheRegistryHoldsThem) {
    auto nested = [](int depth) {
        std::string script = "HKCR {";
        for (int level = 0; level < depth; ++level) {
            script += " K" + std::to_string(level) + " {";
        }
        for (int level = 0; level <= depth; ++level) {
            script += " }";
        }
        return script;
    };
    std::u16string error;
    EXPECT_EQ(RegisterScript(nested(30000), kVariables, &error), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT));
    EXPECT_EQ(vr::ToUtf8(error), "line 1: the keys nest deeper than 512 levels");
    EXPECT_FALSE(KeyExists(u"K0"));
    EXPECT_EQ(RegisterScript(nested(8), kVariables, &error), S_OK) << vr::ToUtf8(error);
    EXPECT_TRUE(KeyExists(u"K0\\K1"));
    EXPECT_EQ(UnregisterScript(nested(8), kVariables, &error), S_OK);
}

} // namespace
