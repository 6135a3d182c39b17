// Configuration items against the real hive files of a private registry root: defaults, edits, the read
// limit, too-long values, the traces, and a registry that cannot be reached.
#include "common/config/VrConfigData.h"
#include "common/config/tests/VrConfigData_test_support.h"

#include "common/trace/Trace.h"
#include "platform/base/paths.h"
#include "tests/support/com_holders.h"
#include "tests/support/test_env.h"

#include <cstring>
#include <fstream>

namespace {

using configtest::ConfigDataTest;
using configtest::FileSnapshot;
using vrtest::Bstr;
using vrtest::U8;

// The item's text through FindItem, in a heap buffer of exactly the documented size (so the address
// sanitizer sees any write past it); "<false>" when FindItem fails.
std::string Find(const CVrConfigData& config, const char* name, bool quiet = true) {
    auto buffer = std::make_unique<char[]>(CVrConfigData::ITEM_BUFFER_SIZE);
    std::memset(buffer.get(), '#', CVrConfigData::ITEM_BUFFER_SIZE);
    if (!config.FindItem(name, buffer.get(), quiet)) {
        EXPECT_EQ(buffer[0], '\0') << "a failed read leaves an empty buffer";
        return "<false>";
    }
    return buffer.get();
}

TEST_F(ConfigDataTest, FirstConstructionStoresDefaultsInTableOrderUnderBothRoots) {
    { CVrConfigData config; }
    EXPECT_EQ(ConfigValues(HKEY_LOCAL_MACHINE), configtest::ExpectedDefaults());
    EXPECT_TRUE(ConfigValues(HKEY_CURRENT_USER).empty()) << "no item lives under the current user";

    HKEY userKey = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Vornic\\Config", 0, KEY_READ, &userKey),
              ERROR_SUCCESS);
    RegCloseKey(userKey);
    EXPECT_NE(FileSnapshot::Of(HiveFile("HKEY_CURRENT_USER"))
                  .text.find("[HKEY_CURRENT_USER\\Software\\Vornic\\Config]"),
              std::string::npos);

    // The hive file itself keeps the table order.
    std::string hive = FileSnapshot::Of(HiveFile("HKEY_LOCAL_MACHINE")).text;
    size_t section = hive.find("[HKEY_LOCAL_MACHINE\\Software\\Vornic\\Config]");
    ASSERT_NE(section, std::string::npos) << hive;
    size_t previous = section;
    for (const auto& [name, value] : configtest::ExpectedDefaults()) {
        std::string stored; // as the hive file writes it: backslash and quote escaped
        for (char c : value) {
            stored += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
        }
        size_t at = hive.find("\"" + name + "\"=\"" + stored + "\"", section);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, previous) << name << " out of table order";
        previous = at;
    }
    EXPECT_TRUE(TraceLines().empty()) << "filling in defaults is quiet";
}

TEST_F(ConfigDataTest, LaterConstructionsWriteNothingAndKeepEdits) {
    { CVrConfigData config; }
    {
        CVrConfigData config;
        Bstr edited(u"VISA.OtherRM");
        EXPECT_TRUE(config.StoreItem("VISAResourceManagerProgID", edited.get()));
    }
    FileSnapshot machine = FileSnapshot::Of(HiveFile("HKEY_LOCAL_MACHINE"));
    FileSnapshot user = FileSnapshot::Of(HiveFile("HKEY_CURRENT_USER"));
    CVrConfigData config;
    EXPECT_TRUE(FileSnapshot::Of(HiveFile("HKEY_LOCAL_MACHINE")) == machine);
    EXPECT_TRUE(FileSnapshot::Of(HiveFile("HKEY_CURRENT_USER")) == user);
    EXPECT_EQ(Find(config, "VISAResourceManagerProgID"), "VISA.OtherRM");

    // A single deleted item comes back with its default; the edit stays.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Vornic\\Config", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValue(key, u"DSN"), ERROR_SUCCESS);
    RegCloseKey(key);
    CVrConfigData again;
    EXPECT_EQ(Find(again, "DSN"), vr::ProgramFolder() + "/Ostrel.dsn");
    EXPECT_EQ(Find(again, "VISAResourceManagerProgID"), "VISA.OtherRM");
}

TEST_F(ConfigDataTest, UnknownItemIsTracedUnlessQuiet) {
    CVrConfigData config;
    Bstr value(u"kept");
    EXPECT_FALSE(config.GetItem("NoSuchItem", value.ptr(), true));
    EXPECT_TRUE(TraceLines().empty());

    EXPECT_FALSE(config.GetItem("NoSuchItem", value.ptr(), false));
    EXPECT_EQ(value.utf8(), "kept") << "a failed read leaves the value alone";
    const std::string message = "Couldn't find ConfigData Item 'NoSuchItem' in the Registry.";
    EXPECT_EQ(U8(LastErrorText()), message);
    auto lines = TraceLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, TRACE_LEVEL_ERROR);
    EXPECT_EQ(U8(lines[0].text), message);
    EXPECT_NE(U8(lines[0].first).find(": VrConfigData.cpp ("), std::string::npos) << U8(lines[0].first);

    EXPECT_EQ(Find(config, "NoSuchItem", false), "<false>");
    EXPECT_EQ(TraceLines().size(), 2u);
    EXPECT_EQ(Find(config, "", false), "<false>") << "the key's unnamed value is no item";
    EXPECT_FALSE(config.FindItem("DSN", nullptr, true));
    EXPECT_FALSE(config.GetItem("DSN", nullptr, true));
}

TEST_F(ConfigDataTest, FindItemReadsAtMost998BytesOfUtf8) {
    CVrConfigData config;
    Bstr fits(std::u16string(998, u'x'));
    Bstr over(std::u16string(999, u'x'));
    ASSERT_TRUE(config.StoreItem("Fits", fits.get()));
    ASSERT_TRUE(config.StoreItem("Over", over.get()));
    EXPECT_EQ(Find(config, "Fits"), std::string(998, 'x'));
    EXPECT_EQ(Find(config, "Over"), "<false>") << "never cut";

    // The limit counts UTF-8 bytes, not characters: 332 three-byte characters and two letters fill 998.
    std::u16string euros(332, u'\u20AC');
    Bstr wideFits(euros + u"ab");
    Bstr wideOver(euros + u"abc");
    ASSERT_TRUE(config.StoreItem("WideFits", wideFits.get()));
    ASSERT_TRUE(config.StoreItem("WideOver", wideOver.get()));
    EXPECT_EQ(Find(config, "WideFits"), vr::ToUtf8(euros) + "ab");
    EXPECT_EQ(Find(config, "WideOver"), "<false>");

    // GetItem hands out a too-long value whole.
    Bstr whole;
    EXPECT_TRUE(config.GetItem("WideOver", whole.ptr(), false));
    EXPECT_EQ(whole.str(), euros + u"abc");
}

TEST_F(ConfigDataTest, TooLongValuesAreNeverReplacedByDefaults) {
    const std::u16string longPath(999, u'p');
    const std::u16string veryLong(5000, u'q'); // beyond the first read's buffer
    SetRawText("ConfigStoreFile", longPath);
    SetRawText("DSN", veryLong);
    CVrConfigData config;
    EXPECT_EQ(MachineValue("ConfigStoreFile"), vr::ToUtf8(longPath));
    EXPECT_EQ(MachineValue("DSN"), vr::ToUtf8(veryLong));
    EXPECT_EQ(Find(config, "DSN"), "<false>");
    Bstr dsn;
    EXPECT_TRUE(config.GetItem("DSN", dsn.ptr(), true));
    EXPECT_EQ(dsn.str(), veryLong);
    EXPECT_EQ(ConfigValues(HKEY_LOCAL_MACHINE).size(), configtest::ExpectedDefaults().size())
        << "the other items got their defaults";
    EXPECT_EQ(Find(config, "Lumisk"), "User");
}

TEST_F(ConfigDataTest, StoredTextShapes) {
    CVrConfigData config;
    // StoreItem borrows its value: it is still the caller's to read and free.
    Bstr greek(u"\u03A9mega");
    ASSERT_TRUE(config.StoreItem("Greek", greek.get()));
    EXPECT_EQ(greek.str(), u"\u03A9mega");
    EXPECT_EQ(Find(config, "Greek"), "\xCE\xA9mega");
    EXPECT_EQ(MachineValue("Greek"), "\xCE\xA9mega");

    ASSERT_TRUE(config.StoreItem("Null", nullptr));
    EXPECT_EQ(Find(config, "Null"), "");
    Bstr embedded(std::u16string(u"ab\0cd", 5));
    ASSERT_TRUE(config.StoreItem("Embedded", embedded.get()));
    EXPECT_EQ(Find(config, "Embedded"), "ab");

    // GetItem replaces (and frees) what the caller's BSTR held.
    Bstr value(u"earlier");
    EXPECT_TRUE(config.GetItem("Greek", value.ptr(), false));
    EXPECT_EQ(value.str(), u"\u03A9mega");

    // The registry type is not checked and a missing terminator is supplied; an odd last byte is dropped.
    const char16_t unterminated[] = {u'r', u'a', u'w'};
    SetRawValue("Binary", REG_BINARY, unterminated, sizeof unterminated);
    EXPECT_EQ(Find(config, "Binary"), "raw");
    SetRawValue("Odd", REG_SZ, "a\0b", 3);
    EXPECT_EQ(Find(config, "Odd"), "a");
}

TEST_F(ConfigDataTest, UnreachableRegistryIsTracedNotThrown) {
    // A registry root below a plain file can be neither read nor created.
    std::string blocker = vrtest::MakeFreshFolder("config-blocked") + "/file";
    std::ofstream(blocker) << "not a folder";
    UseRegistryRoot(blocker + "/registry");

    CVrConfigData config;
    auto lines = TraceLines();
    ASSERT_EQ(lines.size(), configtest::ExpectedDefaults().size() + 2); // the two keys, then each item
    for (int root = 0; root < 2; ++root) {
        EXPECT_EQ(U8(lines[root].text).rfind("Vornic Error: A", 0), 0u) << U8(lines[root].text);
        EXPECT_NE(U8(lines[root].text).find(" (VrConfigData.cpp)"), std::string::npos);
    }
    auto defaults = configtest::ExpectedDefaults();
    for (size_t i = 0; i < defaults.size(); ++i) {
        EXPECT_EQ(U8(lines[i + 2].text),
                  "Couldn't store ConfigData Item '" + defaults[i].first + "' into the Registry.");
    }
    EXPECT_EQ(Find(config, "DSN", false), "<false>");
    EXPECT_EQ(U8(LastErrorText()), "Couldn't find ConfigData Item 'DSN' in the Registry.");
    Bstr value(u"x");
    EXPECT_FALSE(config.StoreItem("DSN", value.get()));
    EXPECT_EQ(U8(LastErrorText()), "Couldn't store ConfigData Item 'DSN' into the Registry.");
}

} // namespace
