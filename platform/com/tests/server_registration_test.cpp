// Registration of a server's classes: the keys written for libraries and programs, and their exact removal.
#include "platform/com/server.h"
#include "platform/com/tests/activation_test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr CLSID kClass = vr::MakeGuid("B7E1A6C0-3D2F-4E8A-9B1C-5D6E7F809102");
constexpr GUID kLibrary = vr::MakeGuid("B7E1A6C0-3D2F-4E8A-9B1C-5D6E7F809103");
constexpr GUID kAppId = vr::MakeGuid("B7E1A6C0-3D2F-4E8A-9B1C-5D6E7F809104");
constexpr GUID kSafeForScripting = vr::MakeGuid("7DD95801-9882-11CF-9FA9-00AA006C42C4");
constexpr GUID kCategories[] = {kSafeForScripting};

const std::u16string kClassKey = u"CLSID\\" + vr::GuidToString(kClass);

constexpr vr::server::ClassEntry kFullClass[] = {{
    .clsid = kClass,
    .progId = u"Vornic.Widget.1",
    .versionIndependentProgId = u"Vornic.Widget",
    .description = u"Widget Class",
    .threadingModel = vr::server::ThreadingModel::Both,
    .typeLib = kLibrary,
    .appId = kAppId,
    .implementedCategories = kCategories,
    .programmable = true,
}};

constexpr vr::server::ClassEntry kBareClass[] = {{.clsid = kClass}};

using vrtest::ClassesKeyExists;
using vrtest::ReadClassesText;
using RegistrationTest = vrtest::FreshRegistryTest;

TEST_F(RegistrationTest, InprocRegistrationWritesTheUsualKeys) {
    ASSERT_EQ(vr::server::RegisterInprocClasses(kFullClass, u"/opt/vornic/bin/libwidget.so"), S_OK);
    EXPECT_EQ(ReadClassesText(kClassKey), u"Widget Class");
    EXPECT_EQ(ReadClassesText(kClassKey + u"\\InprocServer32"), u"/opt/vornic/bin/libwidget.so");
    EXPECT_EQ(ReadClassesText(kClassKey + u"\\InprocServer32", u"ThreadingModel"), u"Both");
    EXPECT_EQ(ReadClassesText(kClassKey + u"\\ProgID"), u"Vornic.Widget.1");
    EXPECT_EQ(ReadClassesText(kClassKey + u"\\VersionIndependentProgID"), u"Vornic.Widget");
    EXPECT_EQ(ReadClassesText(kClassKey + u"\\TypeLib"), vr::GuidToString(kLibrary));
    EXPECT_EQ(ReadClassesText(kClassKey, u"AppID"), vr::GuidToString(kAppId));
    EXPECT_TRUE(ClassesKeyExists(kClassKey + u"\\Programmable"));
    EXPECT_TRUE(
        ClassesKeyExists(kClassKey + u"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_EQ(ReadClassesText(u"Vornic.Widget.1"), u"Widget Class");
    EXPECT_EQ(ReadClassesText(u"Vornic.Widget.1\\CLSID"), vr::GuidToString(kClass));
    EXPECT_EQ(ReadClassesText(u"Vornic.Widget\\CLSID"), vr::GuidToString(kClass));
    EXPECT_EQ(ReadClassesText(u"Vornic.Widget\\CurVer"), u"Vornic.Widget.1");
    EXPECT_FALSE(ClassesKeyExists(kClassKey + u"\\LocalServer32"));

    ASSERT_EQ(vr::server::UnregisterInprocClasses(kFullClass), S_OK);
    EXPECT_FALSE(ClassesKeyExists(kClassKey));
    EXPECT_FALSE(ClassesKeyExists(u"Vornic.Widget.1"));
    EXPECT_FALSE(ClassesKeyExists(u"Vornic.Widget"));
}

TEST_F(RegistrationTest, OptionalPartsAreLeftOutAndThreadingDefaultsToApartment) {
    ASSERT_EQ(vr::server::RegisterInprocClasses(kBareClass, u"/x/libbare.so"), S_OK);
    EXPECT_EQ(ReadClassesText(kClassKey + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_FALSE(ClassesKeyExists(kClassKey + u"\\ProgID"));
    EXPECT_FALSE(ClassesKeyExists(kClassKey + u"\\TypeLib"));
    EXPECT_FALSE(ClassesKeyExists(kClassKey + u"\\Programmable"));
    EXPECT_FALSE(ReadClassesText(kClassKey, u"AppID").has_value());
    ASSERT_EQ(vr::server::UnregisterInprocClasses(kBareClass), S_OK);
    EXPECT_FALSE(ClassesKeyExists(kClassKey));
}

TEST_F(RegistrationTest, UnregistrationLeavesWhatOthersWrote) {
    ASSERT_EQ(vr::server::RegisterInprocClasses(kFullClass, u"/x/libwidget.so"), S_OK);
    // Someone else's key under the class, and a newer server that took over the version-independent ProgID.
    vrtest::WriteClassesText(kClassKey + u"\\Control", u"", u"");
    vrtest::WriteClassesText(kClassKey + u"\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}",
                             u"", u"");
    const std::u16string newer = vr::GuidToString(vr::MakeGuid("B7E1A6C0-3D2F-4E8A-9B1C-5D6E7F809199"));
    vrtest::WriteClassesText(u"Vornic.Widget\\CLSID", u"", newer);

    ASSERT_EQ(vr::server::UnregisterInprocClasses(kFullClass), S_OK);
    EXPECT_TRUE(ClassesKeyExists(kClassKey + u"\\Control"));
    EXPECT_TRUE(
        ClassesKeyExists(kClassKey + u"\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}"));
    EXPECT_FALSE(
        ClassesKeyExists(kClassKey + u"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_FALSE(ClassesKeyExists(kClassKey + u"\\InprocServer32"));
    EXPECT_FALSE(ReadClassesText(kClassKey).has_value());
    EXPECT_FALSE(ClassesKeyExists(u"Vornic.Widget.1"));
    EXPECT_EQ(ReadClassesText(u"Vornic.Widget\\CLSID"), newer);
    EXPECT_EQ(ReadClassesText(u"Vornic.Widget\\CurVer"), u"Vornic.Widget.1");
}

TEST_F(RegistrationTest, ProgramRegistrationWritesLocalServerAndAppId) {
    ASSERT_EQ(vr::server::RegisterLocalServerClasses(kFullClass, u"/opt/vornic/bin/rigwidget"), S_OK);
    EXPECT_EQ(ReadClassesText(kClassKey + u"\\LocalServer32"), u"/opt/vornic/bin/rigwidget");
    EXPECT_FALSE(ReadClassesText(kClassKey + u"\\LocalServer32", u"ThreadingModel").has_value());
    EXPECT_FALSE(ClassesKeyExists(kClassKey + u"\\InprocServer32"));
    EXPECT_EQ(ReadClassesText(u"AppID\\" + vr::GuidToString(kAppId)), u"Widget Class");
    EXPECT_EQ(ReadClassesText(u"AppID\\rigwidget", u"AppID"), vr::GuidToString(kAppId));

    ASSERT_EQ(vr::server::UnregisterLocalServerClasses(kFullClass, u"/opt/vornic/bin/rigwidget"), S_OK);
    EXPECT_FALSE(ClassesKeyExists(kClassKey));
    EXPECT_FALSE(ClassesKeyExists(u"AppID\\" + vr::GuidToString(kAppId)));
    EXPECT_FALSE(ClassesKeyExists(u"AppID\\rigwidget"));
    EXPECT_FALSE(ClassesKeyExists(u"Vornic.Widget"));
}

int g_inThisProgram = 0;

TEST(ModulePath, NamesTheFileThatHoldsAnAddress) {
    std::string program = vr::server::ModulePathOf(&g_inThisProgram);
    EXPECT_EQ(program, std::filesystem::canonical("/proc/self/exe").string());
    std::string platform = vr::server::ModulePathOf(reinterpret_cast<const void*>(&CoCreateInstance));
    EXPECT_EQ(std::filesystem::path(platform).filename(), "libvrplatform.so");
    EXPECT_TRUE(std::filesystem::path(platform).is_absolute());
    EXPECT_EQ(vr::server::ModulePathOf(nullptr), "");
}

} // namespace
