// The registry calls behave as their Windows counterparts: sizes, enumeration, deletion, access and handles.
#include "registry_test_util.h"

#include "platform/base/text.h"

#include <cstring>

namespace regtest {
namespace {

class RegistryApi : public RegistryTest {};

TEST_F(RegistryApi, CreateKeyMakesIntermediateKeysAndReportsWhetherItCreated) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Vornic\\Config\\", 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    HKEY middle = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Vornic", 0, KEY_READ, &middle), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(middle), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"SOFTWARE\\vornic\\config", 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // The hives are separate files.
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Vornic", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryApi, OpeningARootWithoutSubKeyGivesTheRootBack) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CLASSES_ROOT);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CLASSES_ROOT);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, QueryTellsMissingFromTooLongAndReportsTheSizeNeeded) {
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Vornic\\Config");
    ASSERT_EQ(SetString(key, u"DSN", u"hello"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(key, u"DSN", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 12u); // five characters and the terminator

    char16_t buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    type = 0;
    size = 10;
    EXPECT_EQ(RegQueryValueEx(key, u"DSN", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(type, REG_SZ);

    size = 12;
    EXPECT_EQ(RegQueryValueEx(key, u"DSN", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(buffer), u"hello");
    EXPECT_EQ(size, 12u);

    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(key, u"NoSuchItem", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueEx(key, u"DSN", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
              ERROR_INVALID_PARAMETER);
    // A key without a default value: the default value is missing too.
    EXPECT_EQ(RegQueryValueEx(key, nullptr, nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryApi, ValuesKeepTheirTypeAndExactBytes) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Types");
    ASSERT_EQ(SetDword(key, u"Count", 0x1F), ERROR_SUCCESS);
    const BYTE blob[] = {0x00, 0xFF, 0x10, 0x00};
    ASSERT_EQ(RegSetValueEx(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Path", u"%HOME%\\bin", REG_EXPAND_SZ), ERROR_SUCCESS);
    // A string stored without its terminator comes back without it, as stored.
    const char16_t bare[] = {u'a', u'b'};
    ASSERT_EQ(RegSetValueEx(key, u"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare), sizeof bare),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"", u"default"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, u"Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

    EXPECT_EQ(GetDword(key, u"count"), 0x1Fu);
    BYTE read[8] = {};
    DWORD type = 0;
    DWORD size = sizeof read;
    ASSERT_EQ(RegQueryValueEx(key, u"Blob", nullptr, &type, read, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(read, blob, sizeof blob), 0);
    size = sizeof read;
    ASSERT_EQ(RegQueryValueEx(key, u"Empty", nullptr, &type, read, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    ASSERT_EQ(RegQueryValueEx(key, u"Path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(GetString(key, u"Path"), u"%HOME%\\bin"); // kept as written, never expanded
    size = sizeof read;
    ASSERT_EQ(RegQueryValueEx(key, u"Bare", nullptr, &type, read, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof bare);
    // The default value answers to a null name and to an empty one.
    EXPECT_EQ(GetString(key, u""), u"default");
    ASSERT_EQ(RegQueryValueEx(key, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 16u);
    RegCloseKey(key);
}

TEST_F(RegistryApi, NamesAreCaseInsensitiveAndKeepTheCaseTheyWereCreatedWith) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Software\\MixedCase");
    ASSERT_EQ(SetString(key, u"ValueName", u"one"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"VALUENAME", u"two"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Caf\u00e9", u"latin"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u"valuename"), u"two");
    EXPECT_EQ(GetString(key, u"CAF\u00c9"), u"latin");
    EXPECT_EQ(DumpValues(key).size(), 2u);

    char16_t name[32];
    DWORD length = 32;
    ASSERT_EQ(RegEnumValue(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"ValueName");
    RegCloseKey(key);

    HKEY again = CreateKey(HKEY_CURRENT_USER, u"SOFTWARE\\mixedcase\\Child");
    RegCloseKey(again);
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"software", 0, KEY_READ, &software), ERROR_SUCCESS);
    length = 32;
    ASSERT_EQ(RegEnumKeyEx(software, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"MixedCase");
    EXPECT_EQ(RegEnumKeyEx(software, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(software);
}

TEST_F(RegistryApi, EnumerateKeysInSortedOrderWithWindowsBufferRules) {
    HKEY parent = CreateKey(HKEY_CLASSES_ROOT, u"CLSID");
    for (const char16_t* name : {u"zeta", u"Alpha", u"_under", u"beta"}) {
        RegCloseKey(CreateKey(parent, name));
    }
    std::vector<std::u16string> names;
    FILETIME written{};
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        char16_t className[8] = {u'x'};
        DWORD classLength = 8;
        LONG status = RegEnumKeyEx(parent, index, name, &length, nullptr, className, &classLength, &written);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(length, std::u16string(name).size());
        EXPECT_EQ(classLength, 0u);
        EXPECT_EQ(className[0], u'\0');
        names.emplace_back(name, length);
    }
    // Sorted on upper-cased names, so "_" (0x5F) comes after the letters.
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"zeta", u"_under"}));
    EXPECT_NE(written.dwHighDateTime, 0u);

    char16_t name[8];
    DWORD length = 5; // "Alpha" needs 6 with its terminator
    EXPECT_EQ(RegEnumKeyEx(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(length, 5u);
    length = 6;
    EXPECT_EQ(RegEnumKeyEx(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(RegEnumKeyEx(parent, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(parent);
}

TEST_F(RegistryApi, EnumerateValuesInTheOrderTheyWereSet) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Values");
    ASSERT_EQ(SetString(key, u"second", u"2"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"first", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"", u"default"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"SECOND", u"22"), ERROR_SUCCESS); // replaced in place

    char16_t name[16];
    DWORD length = 16;
    DWORD type = 0;
    BYTE data[64];
    DWORD size = sizeof data;
    ASSERT_EQ(RegEnumValue(key, 0, name, &length, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"second");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    length = 16;
    size = sizeof data;
    ASSERT_EQ(RegEnumValue(key, 2, name, &length, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(length, 0u); // the default value has the empty name
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(data)), u"default");

    // Name too short, then data too short: both report what they need.
    length = 5;
    EXPECT_EQ(RegEnumValue(key, 1, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(length, 5u);
    length = 16;
    size = 2;
    EXPECT_EQ(RegEnumValue(key, 1, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(std::u16string(name, length), u"first");
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    length = 16;
    EXPECT_EQ(RegEnumValue(key, 3, name, &length, nullptr, &type, data, &size), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(RegistryApi, DeleteKeyRefusesAKeyWithSubKeysAndDeleteTreeTakesEverything) {
    HKEY leaf = CreateKey(HKEY_CURRENT_USER, u"Tree\\Branch\\Leaf");
    ASSERT_EQ(SetString(leaf, u"v", u"x"), ERROR_SUCCESS);
    RegCloseKey(leaf);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Tree\\Branch"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"tree\\branch\\leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Tree\\Branch"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED); // the hive's root stays

    RegCloseKey(CreateKey(HKEY_CURRENT_USER, u"Tree\\A\\B\\C"));
    RegCloseKey(CreateKey(HKEY_CURRENT_USER, u"Tree\\D"));
    EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, u"Tree\\A"), ERROR_SUCCESS);
    HKEY tree = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Tree", 0, KEY_ALL_ACCESS, &tree), ERROR_SUCCESS);
    char16_t name[16];
    DWORD length = 16;
    ASSERT_EQ(RegEnumKeyEx(tree, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"D");
    EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, u"Tree\\A"), ERROR_FILE_NOT_FOUND);

    // Without a sub-key, the key's content goes and the key stays.
    ASSERT_EQ(SetString(tree, u"v", u"x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(tree, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(DumpValues(tree).empty());
    length = 16;
    EXPECT_EQ(RegEnumKeyEx(tree, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(SetString(tree, u"still", u"there"), ERROR_SUCCESS);
    RegCloseKey(tree);
}

TEST_F(RegistryApi, HandlesToADeletedKeyReportKeyDeleted) {
    HKEY doomed = CreateKey(HKEY_CURRENT_USER, u"Doomed\\Inner");
    HKEY parent = CreateKey(HKEY_CURRENT_USER, u"Doomed");
    ASSERT_EQ(RegDeleteTree(HKEY_CURRENT_USER, u"Doomed"), ERROR_SUCCESS);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(doomed, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(SetString(doomed, u"v", u"x"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValue(doomed, u"v"), ERROR_KEY_DELETED);
    char16_t name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyEx(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumValue(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyEx(parent, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyEx(parent, u"Inner", 0, KEY_READ, &child), ERROR_KEY_DELETED);
    // Writing through the dead handle must not bring the key back.
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Doomed", 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}

TEST_F(RegistryApi, AKeyOpenedForReadingRefusesEveryWrite) {
    RegCloseKey(CreateKey(HKEY_CURRENT_USER, u"Locked\\Existing"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Locked", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, u"v", u"x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(key, u"v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(key, u"Existing"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTree(key, u"Existing"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyEx(key, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, &disposition),
              ERROR_ACCESS_DENIED);
    // Opening an existing key through RegCreateKeyEx writes nothing and is allowed.
    ASSERT_EQ(RegCreateKeyEx(key, u"Existing", 0, nullptr, 0, KEY_READ, nullptr, &child, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(child);
    RegCloseKey(key);

    // A handle with write rights but no read rights cannot read.
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Locked", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, u"v", u"x"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    // The hive file stays untouched by refused writes.
    HKEY check = CreateKey(HKEY_CURRENT_USER, u"Locked");
    EXPECT_EQ(DumpValues(check).size(), 1u);
    RegCloseKey(check);
}

TEST_F(RegistryApi, ClosedAndForeignHandlesAreRejected) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, u"Handles");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(key, u"v", u"x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    int notAKey = 0;
    EXPECT_EQ(RegDeleteValue(reinterpret_cast<HKEY>(&notAKey), u"v"), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApi, NamesTheFileCannotHoldAreRefused) {
    HKEY key = nullptr;
    std::u16string longest(255, u'k');
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, longest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    std::u16string tooLong(256, u'k');
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"Line\nBreak", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_INVALID_PARAMETER);
    std::u16string tooDeep;
    for (int level = 0; level < 513; ++level) {
        tooDeep += u"d\\";
    }
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, tooDeep.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, u"Line\nBreak", u"x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, std::u16string(1, u'\xD800'), u"x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, std::u16string(16384, u'v'), u"x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, std::u16string(16383, u'v'), u"x"), ERROR_SUCCESS);
}

} // namespace
} // namespace regtest
