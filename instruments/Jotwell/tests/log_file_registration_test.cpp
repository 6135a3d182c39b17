// The log-file class as the build registered it: ProgIDs, threading model, type library and the component
// categories that let scripts create and initialise it.
#include "jotwell.h"
#include "platform/base/text.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// The REG_SZ value of a key under HKEY_CLASSES_ROOT; "<missing>" when the key or value is not there.
std::u16string ClassesText(const std::u16string& subKey, const char16_t* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return u"<missing>";
    }
    OLECHAR data[512] = {};
    DWORD size = sizeof data - sizeof(OLECHAR);
    DWORD type = 0;
    LONG status = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::u16string(data) : u"<missing>";
}

bool ClassesKeyExists(const std::u16string& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

TEST(LogFileRegistrationTest, TheClassIsRegisteredForScripts) {
    std::u16string clsidKey = u"CLSID\\" + vr::GuidToString(CLSID_LogFile);
    EXPECT_EQ(ClassesText(clsidKey), u"LogFile Class");
    EXPECT_EQ(ClassesText(clsidKey + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(ClassesText(clsidKey + u"\\ProgID"), u"Vornic.LogFile.1");
    EXPECT_EQ(ClassesText(clsidKey + u"\\VersionIndependentProgID"), u"Vornic.LogFile");
    EXPECT_EQ(ClassesText(u"Vornic.LogFile\\CurVer"), u"Vornic.LogFile.1");
    EXPECT_EQ(ClassesText(clsidKey + u"\\TypeLib"), vr::GuidToString(LIBID_JOTWELLLib));
    EXPECT_TRUE(
        ClassesKeyExists(clsidKey + u"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_TRUE(
        ClassesKeyExists(clsidKey + u"\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_EQ(ClassesText(u"TypeLib\\" + vr::GuidToString(LIBID_JOTWELLLib) + u"\\1.0"),
              u"Jotwell 1.0 Type Library");
}

} // namespace
