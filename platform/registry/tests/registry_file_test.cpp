// The hive files: the .reg text written, round trips through the file, damaged files, and where they live.
#include "registry_test_util.h"

#include "platform/base/text.h"
#include "platform/registry/hive_text.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace regtest {
namespace {

class RegistryFile : public RegistryTest {};

TEST_F(RegistryFile, WritesTheRegExportFormat) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Software\\Vornic");
    ASSERT_EQ(SetString(key, u"Name", u"say \"hi\" C:\\x"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"Count", 0x1F), ERROR_SUCCESS);
    const BYTE blob[] = {0x01, 0x02, 0xAB};
    ASSERT_EQ(RegSetValueEx(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"", u"d"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Exp", u"%A%", REG_EXPAND_SZ), ERROR_SUCCESS);
    RegCloseKey(key);

    EXPECT_EQ(ReadFile(HiveFilePath("HKEY_CURRENT_USER")), "Windows Registry Editor Version 5.00\n"
                                                           "\n"
                                                           "[HKEY_CURRENT_USER\\Software]\n"
                                                           "\n"
                                                           "[HKEY_CURRENT_USER\\Software\\Vornic]\n"
                                                           "\"Name\"=\"say \\\"hi\\\" C:\\\\x\"\n"
                                                           "\"Count\"=dword:0000001f\n"
                                                           "\"Blob\"=hex:01,02,ab\n"
                                                           "@=\"d\"\n"
                                                           "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\n"
                                                           "\n");
    // Files appear with the first write only, one per hive written.
    EXPECT_FALSE(std::filesystem::exists(HiveFilePath("HKEY_LOCAL_MACHINE")));
}

TEST_F(RegistryFile, TrickyNamesAndStringsSurviveTheFile) {
    const std::vector<std::u16string> keyNames = {u"with]bracket", u"[both]", u"ends] ",       u" spaced ",
                                                  u"quote\"d",     u"eq=als", u"\u65e5\u672c", u"@"};
    const std::vector<std::u16string> texts = {u"",
                                               u"plain",
                                               u"\"quoted\"",
                                               u"back\\slash\\",
                                               u"\\\"",
                                               u"caf\u00e9 \u20ac \U0001F600",
                                               u"tab\there",
                                               u"two\r\nlines",
                                               std::u16string(u"lone\xD800surrogate"),
                                               u"]\n[HKEY_CURRENT_USER\\Injected]"};
    for (const auto& keyName : keyNames) {
        HKEY key = CreateKey(HKEY_CURRENT_USER, u"Tricky\\" + keyName);
        for (size_t i = 0; i < texts.size(); ++i) {
            ASSERT_EQ(SetString(key, u"v" + std::u16string(1, u'0' + static_cast<char16_t>(i)) + u"\"\\@=",
                                texts[i]),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }
    std::map<std::u16string, std::vector<std::string>> before;
    for (const auto& keyName : keyNames) {
        HKEY key = CreateKey(HKEY_CURRENT_USER, u"Tricky\\" + keyName);
        before[keyName] = DumpValues(key);
        RegCloseKey(key);
    }

    ReopenFromDisk();
    HKEY tricky = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Tricky", 0, KEY_READ, &tricky), ERROR_SUCCESS);
    DWORD count = 0;
    char16_t name[256];
    for (DWORD length = 256;
         RegEnumKeyEx(tricky, count, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         length = 256) {
        ++count;
    }
    EXPECT_EQ(count, keyNames.size()); // nothing injected, nothing lost
    RegCloseKey(tricky);
    for (const auto& keyName : keyNames) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, (u"Tricky\\" + keyName).c_str(), 0, KEY_READ, &key),
                  ERROR_SUCCESS)
            << vr::ToUtf8(keyName);
        EXPECT_EQ(DumpValues(key), before[keyName]) << vr::ToUtf8(keyName);
        RegCloseKey(key);
    }
}

TEST_F(RegistryFile, OddDataKeepsItsExactBytes) {
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, u"Odd");
    const BYTE odd[] = {0x41, 0x00, 0x42}; // a REG_SZ of odd length
    ASSERT_EQ(RegSetValueEx(key, u"OddString", 0, REG_SZ, odd, sizeof odd), ERROR_SUCCESS);
    const char16_t embedded[] = {u'a', u'\0', u'b', u'\0'};
    ASSERT_EQ(
        RegSetValueEx(key, u"Embedded", 0, REG_SZ, reinterpret_cast<const BYTE*>(embedded), sizeof embedded),
        ERROR_SUCCESS);
    const BYTE shortDword[] = {0x01, 0x02};
    ASSERT_EQ(RegSetValueEx(key, u"ShortDword", 0, REG_DWORD, shortDword, sizeof shortDword), ERROR_SUCCESS);
    const BYTE multi[] = {'a', 0, 0, 0, 0, 0};
    ASSERT_EQ(RegSetValueEx(key, u"Multi", 0, 7, multi, sizeof multi), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, u"None", 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"Max", 0xFFFFFFFFu), ERROR_SUCCESS);
    std::vector<std::string> before = DumpValues(key);
    RegCloseKey(key);
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"AtTheRoot", 7), ERROR_SUCCESS);

    ReopenFromDisk();
    EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, u"AtTheRoot"), 7u);
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Odd", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(DumpValues(key), before);
    EXPECT_EQ(GetDword(key, u"Max"), 0xFFFFFFFFu);
    RegCloseKey(key);
}

TEST_F(RegistryFile, ReadsHandEditedFiles) {
    // A BOM, CRLF line ends, comments, spacing and hex data continued over lines, as other tools write them.
    WriteFile(HiveFilePath("HKEY_LOCAL_MACHINE"), "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                                                  "\r\n"
                                                  "; edited by hand\r\n"
                                                  "[hkey_local_machine\\Software\\Vornic\\Config]\r\n"
                                                  "\"VISAResourceManagerProgID\"=\"VISA.OtherRM\"\r\n"
                                                  "\"Long\"=hex:01,02,\\\r\n"
                                                  "  03,04\r\n"
                                                  "\"Small\"=dword:1f\r\n"
                                                  "\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Vornic\\Config", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u"VISAResourceManagerProgID"), u"VISA.OtherRM");
    EXPECT_EQ(GetDword(key, u"Small"), 0x1Fu);
    BYTE data[8];
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueEx(key, u"Long", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[3], 0x04);
    RegCloseKey(key);
}

// A hand-made file may name a key again further on, in another case, and set a value twice: the key is one,
// with the name and place it came with first, and the value's last data counts.
TEST_F(RegistryFile, KeysAndValuesNamedAgainAreOne) {
    WriteFile(HiveFilePath("HKEY_CURRENT_USER"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Zed]\n\"v\"=\"1\"\n\"w\"=\"2\"\n\n"
              "[HKEY_CURRENT_USER\\Alpha\\Inner]\n\n"
              "[HKEY_CURRENT_USER\\ZED]\n\"V\"=\"3\"\n\"x\"=\"4\"\n\n"
              "[HKEY_CURRENT_USER\\zed\\Child]\n\"v\"=\"5\"\n\"V\"=\"6\"\n");
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"", 0, KEY_READ, &root), ERROR_SUCCESS);
    char16_t name[64];
    std::vector<std::u16string> names;
    for (DWORD length = 64; RegEnumKeyEx(root, static_cast<DWORD>(names.size()), name, &length, nullptr,
                                         nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         length = 64) {
        names.emplace_back(name, length);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"Zed"}));
    HKEY zed = CreateKey(HKEY_CURRENT_USER, u"zEd");
    EXPECT_EQ(DumpValues(zed), (std::vector<std::string>{"v|1|33000000", "w|1|32000000", "x|1|34000000"}));
    HKEY child = CreateKey(zed, u"Child");
    EXPECT_EQ(DumpValues(child), (std::vector<std::string>{"v|1|36000000"}));
    RegCloseKey(child);
    RegCloseKey(zed);
    RegCloseKey(root);
}

TEST_F(RegistryFile, DamagedLinesAreSkippedAndKeptAsideBeforeTheNextWrite) {
    const std::string damaged = "Windows Registry Editor Version 5.00\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\Good]\n"
                                "\"a\"=\"1\"\n"
                                "\"broken=\"2\"\n"
                                "\"b\"=dword:xyz\n"
                                "\"c\"=hex:01,0g\n"
                                "\"d\"=hex:01,\\\n"
                                "[HKEY_CURRENT_USER\\AfterContinuation]\n"
                                "\"e\"=\"5\"\n"
                                "[HKEY_LOCAL_MACHINE\\WrongHive]\n"
                                "\"f\"=\"6\"\n"
                                "garbage \x01\x02\xFF\n"
                                "[HKEY_CURRENT_USER\\Bad\xC3\x28Utf8]\n"
                                "[HKEY_CURRENT_USER\\Good]\n"
                                "\"g\"=\"7\"\n"
                                "\"h\"=\"cut off";
    WriteFile(HiveFilePath("HKEY_CURRENT_USER"), damaged);

    HKEY good = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Good", 0, KEY_ALL_ACCESS, &good), ERROR_SUCCESS);
    EXPECT_EQ(DumpValues(good).size(), 2u);
    EXPECT_EQ(GetString(good, u"a"), u"1");
    EXPECT_EQ(GetString(good, u"g"), u"7");
    HKEY after = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"AfterContinuation", 0, KEY_READ, &after), ERROR_SUCCESS);
    EXPECT_EQ(GetString(after, u"e"), u"5");
    RegCloseKey(after);

    // The first write keeps the file as it was beside the hive, then writes what could be read plus the
    // change.
    ASSERT_EQ(SetString(good, u"new", u"8"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(HiveFilePath("HKEY_CURRENT_USER") + ".unreadable-1"), damaged);
    ASSERT_EQ(SetString(good, u"newer", u"9"), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(HiveFilePath("HKEY_CURRENT_USER") + ".unreadable-2"));
    RegCloseKey(good);

    ReopenFromDisk();
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Good", 0, KEY_READ, &good), ERROR_SUCCESS);
    EXPECT_EQ(DumpValues(good).size(), 4u);
    EXPECT_EQ(GetString(good, u"newer"), u"9");
    RegCloseKey(good);
}

// Whatever the bytes of a hive file, reading never fails hard, and what was read writes back as text that
// reads again completely and identically.
TEST(RegistryText, AnyBytesParseAndTheirFormatIsAFixedPoint) {
    const std::string sample = "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\A\\B]\n\"s\"=\"x\\\\y\\\"z\"\n\"d\"=dword:00000010\n"
                               "@=hex(2):41,00,00,00\n\"h\"=hex:01,\\\n  02\n[HKEY_CURRENT_USER\\A]]\n";
    std::mt19937 random(20240601);
    for (int round = 0; round < 3000; ++round) {
        std::string text = sample;
        int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
            case 0:
                text.insert(at, 1, static_cast<char>(random() % 256));
                break;
            case 1:
                if (at < text.size()) {
                    text.erase(at, 1);
                }
                break;
            default:
                if (at < text.size()) {
                    text[at] = "[]\\\"=@,:\n"[random() % 9];
                }
            }
        }
        auto parsed = vr::registry::ParseHive(text, "HKEY_CURRENT_USER");
        std::string formatted = vr::registry::FormatHive(parsed.root, "HKEY_CURRENT_USER");
        auto reparsed = vr::registry::ParseHive(formatted, "HKEY_CURRENT_USER");
        ASSERT_EQ(reparsed.unreadableLines, 0u) << formatted;
        ASSERT_EQ(vr::registry::FormatHive(reparsed.root, "HKEY_CURRENT_USER"), formatted);
    }
}

TEST_F(RegistryFile, SeesAnEditMadeInPlace) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Edited");
    ASSERT_EQ(SetString(key, u"v", u"old"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u"v"), u"old");
    // Rewritten through the same inode, as an editor saving in place does.
    std::string path = HiveFilePath("HKEY_CURRENT_USER");
    std::string text = ReadFile(path);
    text.replace(text.find("\"old\""), 5, "\"newer\"");
    WriteFile(path, text);
    EXPECT_EQ(GetString(key, u"v"), u"newer");
    // A hive file removed from under the process reads as empty.
    std::filesystem::remove(path);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(key);
}

// Another writer's file can get the inode number of the file this process read, with the same size and, on a
// coarse file-system clock, the same modification time. The reader must still notice the change.
TEST_F(RegistryFile, SeesAReplacementThatLooksLikeTheFileItRead) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Lookalike");
    ASSERT_EQ(SetString(key, u"v", u"aaaa"), ERROR_SUCCESS);
    ASSERT_EQ(GetString(key, u"v"), u"aaaa");
    std::string path = HiveFilePath("HKEY_CURRENT_USER");
    struct stat old {};
    ASSERT_EQ(::stat(path.c_str(), &old), 0);
    std::string text = ReadFile(path);
    text.replace(text.find("aaaa"), 4, "bbbb");

    // Free the old inode, then try for a new file that reuses its number (the file system's choice).
    std::string moved = path + ".moved";
    WriteFile(moved, "x");
    ASSERT_EQ(::rename(moved.c_str(), path.c_str()), 0);
    std::string lookalike = path + ".new";
    for (int attempt = 0;; ++attempt) {
        WriteFile(lookalike, text);
        struct stat fresh {};
        ASSERT_EQ(::stat(lookalike.c_str(), &fresh), 0);
        if (fresh.st_ino == old.st_ino || attempt == 100) {
            break;
        }
        std::filesystem::rename(lookalike,
                                lookalike + std::to_string(attempt)); // keep it, try another number
    }
    timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, lookalike.c_str(), times, 0), 0);
    ASSERT_EQ(::rename(lookalike.c_str(), path.c_str()), 0);
    EXPECT_EQ(GetString(key, u"v"), u"bbbb");
    RegCloseKey(key);
}

TEST_F(RegistryFile, AnUnreadableHiveIsAnErrorNotACrash) {
    std::filesystem::create_directories(
        HiveFilePath("HKEY_CURRENT_USER")); // a folder where the file should be
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyEx(HKEY_CURRENT_USER, u"Any", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_NE(
        RegCreateKeyEx(HKEY_CURRENT_USER, u"Any", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(key, nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(HiveFilePath("HKEY_CURRENT_USER")));
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Other users of the machine: whatever the umask, the files and folders the registry makes are the user's
// own, and the group's too only where the registry folder is a group's shared one.
TEST_F(RegistryFile, FilesAndFoldersAreTheUsersOwnWhateverTheUmask) {
    std::string root = root_ + "/made/registry";
    setenv("VORNIC_REGISTRY", root.c_str(), 1);
    mode_t saved = umask(0);
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Software");
    EXPECT_EQ(SetString(key, u"v", u"1"), ERROR_SUCCESS);
    RegCloseKey(key);

    std::string shared = root_ + "/shared";
    std::filesystem::create_directories(shared);
    ASSERT_EQ(chmod(shared.c_str(), 02770), 0);
    setenv("VORNIC_REGISTRY", shared.c_str(), 1);
    key = CreateKey(HKEY_CURRENT_USER, u"Software");
    RegCloseKey(key);
    umask(saved);

    std::string file = root + "/HKEY_CURRENT_USER.reg";
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(ModeOf(file + ".lock"), 0600u);
    EXPECT_EQ(ModeOf(root), 0700u);
    EXPECT_EQ(ModeOf(root_ + "/made"), 0700u);
    EXPECT_EQ(ModeOf(shared + "/HKEY_CURRENT_USER.reg"), 0660u);
    EXPECT_EQ(ModeOf(shared + "/HKEY_CURRENT_USER.reg.lock"), 0660u);
}

// A FIFO put where a hive file belongs would block a reader for good: it is refused at once, for reading and
// for writing, and left where it is.
TEST_F(RegistryFile, AFifoInPlaceOfAHiveIsRefusedWithoutBlocking) {
    std::string fifo = HiveFilePath("HKEY_CURRENT_USER");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto answer = std::make_shared<std::promise<LONG>>();
    std::future<LONG> answered = answer->get_future();
    std::thread([answer] {
        HKEY key = nullptr;
        LONG result = RegOpenKeyEx(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key);
        if (key != nullptr) {
            RegCloseKey(key);
        }
        answer->set_value(result);
    }).detach();
    if (answered.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); // lets the blocked reader go on
        close(writer);
        FAIL() << "reading a hive that is a FIFO blocked";
    }
    EXPECT_EQ(answered.get(), ERROR_REGISTRY_IO_FAILED);
    HKEY key = nullptr;
    EXPECT_EQ(
        RegCreateKeyEx(HKEY_CURRENT_USER, u"Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_REGISTRY_IO_FAILED);
    struct stat info {};
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// Restores one environment variable when the test ends.
class SavedVariable {
public:
    explicit SavedVariable(const char* name) : name_(name) {
        const char* value = std::getenv(name);
        if (value != nullptr) {
            value_ = value;
        }
    }
    ~SavedVariable() {
        if (value_) {
            setenv(name_, value_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> value_;
};

TEST(RegistryRoot, FollowsTheEnvironmentAtEveryCall) {
    SavedVariable registry("VORNIC_REGISTRY");
    SavedVariable config("XDG_CONFIG_HOME");
    SavedVariable home("HOME");
    std::string base = UseFreshRoot();

    setenv("VORNIC_REGISTRY", (base + "/explicit").c_str(), 1);
    EXPECT_EQ(vr::RegistryRoot(), base + "/explicit");
    unsetenv("VORNIC_REGISTRY");
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    EXPECT_EQ(vr::RegistryRoot(), base + "/config/vornic/registry");
    setenv("HOME", (base + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(vr::RegistryRoot(), base + "/home/.config/vornic/registry");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(vr::RegistryRoot(), base + "/home/.config/vornic/registry");

    // Reading creates nothing; the first write creates the folders and the file.
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(base + "/home/.config"));
    key = CreateKey(HKEY_CURRENT_USER, u"Software");
    RegCloseKey(key);
    EXPECT_TRUE(std::filesystem::exists(base + "/home/.config/vornic/registry/HKEY_CURRENT_USER.reg"));
}

} // namespace
} // namespace regtest
