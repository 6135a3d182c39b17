// "res://" URLs: where the module path ends, the one- and two-part forms, and what each failure reports.
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/resources/res_url.h"
#include "platform/resources/tests/resource_test_files.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using vr::ResourceId;

class ResUrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A folder named like a library on the way, and a space, so that the module path has to be found.
        std::filesystem::create_directories(folder_);
        vrtest::WriteBytes(module_, "image");
        vrtest::Stamp(module_, false,
                      {{RT_HTML, u"Attributes.xml", 0, "<attributes/>"},
                       {u"REGISTRY", 102, 0x1009, "script"},
                       {RT_RCDATA, 5, 0, "raw"}});
        vrtest::WriteBytes(plain_, "no resources");
    }

    std::u16string Url(const std::string& module, std::u16string_view rest) {
        return u"res://" + vr::FromUtf8(module) + u"/" + std::u16string(rest);
    }

    std::string folder_ = vrtest::MakeFreshFolder("url") + "/lib.so dir";
    std::string module_ = folder_ + "/libdevice.so";
    std::string plain_ = folder_ + "/libplain.so";
};

TEST_F(ResUrlTest, OnePartFormNamesAnHtmlResource) {
    vr::ResUrl parts;
    ASSERT_EQ(vr::ParseResUrl(Url(module_, u"Attributes.xml"), &parts), S_OK);
    EXPECT_EQ(parts.modulePath, module_);
    EXPECT_EQ(parts.type, ResourceId(RT_HTML));
    EXPECT_EQ(parts.name, ResourceId(u"ATTRIBUTES.XML"));
    std::string bytes;
    EXPECT_EQ(vr::LoadResUrl(u"RES://" + vr::FromUtf8(module_) + u"/attributes.XML", &bytes), S_OK);
    EXPECT_EQ(bytes, "<attributes/>");
}

TEST_F(ResUrlTest, TwoPartFormTakesTypeAndNameInTextForm) {
    std::string bytes;
    EXPECT_EQ(vr::LoadResUrl(Url(module_, u"registry/102"), &bytes), S_OK);
    EXPECT_EQ(bytes, "script");
    EXPECT_EQ(vr::LoadResUrl(Url(module_, u"#10/#5"), &bytes), S_OK);
    EXPECT_EQ(bytes, "raw");
    EXPECT_EQ(vr::LoadResUrl(Url(module_, u"23/Attributes.xml"), &bytes), S_OK);
    EXPECT_EQ(bytes, "<attributes/>");
}

TEST_F(ResUrlTest, FailuresSayWhatIsMissing) {
    std::string bytes;
    EXPECT_EQ(vr::LoadResUrl(Url(module_, u"Missing.xml"), &bytes),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(vr::LoadResUrl(Url(module_, u"TYPELIB/1"), &bytes),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(vr::LoadResUrl(Url(plain_, u"Attributes.xml"), &bytes),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(vr::LoadResUrl(Url(folder_ + "/libnone.so", u"Attributes.xml"), &bytes),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    // Three parts after the module: no prefix short enough to be the file.
    EXPECT_EQ(vr::LoadResUrl(Url(module_, u"a/b/c"), &bytes), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    // The folder alone is no module.
    EXPECT_EQ(vr::LoadResUrl(u"res://" + vr::FromUtf8(folder_), &bytes),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    for (const std::u16string& url :
         {std::u16string(u"file:///etc/hostname"), std::u16string(u"res:/"), Url(module_, u""),
          Url(module_, u"#0"), Url(module_, u"REGISTRY/99999")}) {
        EXPECT_EQ(vr::LoadResUrl(url, &bytes), E_INVALIDARG) << vr::ToUtf8(url);
    }
}

} // namespace
