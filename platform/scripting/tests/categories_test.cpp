// The component-categories manager on the registry: the script engine found among the script parsers.
#include "platform/com/activation.h"
#include "platform/registry/registry.h"
#include "platform/scripting/activscp.h"
#include "platform/scripting/comcat.h"
#include "script_test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace scripttest {
namespace {

constexpr GUID kOtherCategory = vr::MakeGuid("5C1E7A2B-0D3F-4B6A-8E21-7F9C3D4B5A60");
constexpr CLSID kNeedyClass = vr::MakeGuid("9A8B7C6D-5E4F-4A3B-9C2D-1E0F2A3B4C5D");

class CategoriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr,
                                   CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                   vr::uuidof<ICatInformation>(), categories.PutVoid()),
                  S_OK);
    }
    void TearDown() override {
        categories = nullptr;
        CoUninitialize();
    }

    // A class in this run's registry that implements the parser category and requires another one.
    static void RegisterNeedyClass() {
        std::u16string base = u"CLSID\\" + vr::GuidToString(kNeedyClass);
        for (std::u16string key :
             {base + u"\\Implemented Categories\\" + vr::GuidToString(CATID_ActiveScriptParse),
              base + u"\\Required Categories\\" + vr::GuidToString(kOtherCategory)}) {
            HKEY created = nullptr;
            ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &created, nullptr),
                      ERROR_SUCCESS);
            RegCloseKey(created);
        }
    }

    std::vector<CLSID> ClassesOf(ULONG requiredCount, const CATID* required) {
        ComPtr<IEnumCLSID> classes;
        EXPECT_EQ(categories->EnumClassesOfCategories(1, &CATID_ActiveScriptParse, requiredCount, required,
                                                      classes.Put()),
                  S_OK);
        std::vector<CLSID> found;
        CLSID batch[20];
        ULONG fetched = 0;
        while (classes && SUCCEEDED(classes->Next(20, batch, &fetched)) && fetched > 0) {
            found.insert(found.end(), batch, batch + fetched);
            if (fetched < 20) {
                break;
            }
        }
        return found;
    }

    ComPtr<ICatInformation> categories;
};

bool Has(const std::vector<CLSID>& list, const CLSID& clsid) {
    return std::find(list.begin(), list.end(), clsid) != list.end();
}

TEST_F(CategoriesTest, ScriptEngineIsAParserUnderItsProgId) {
    std::vector<CLSID> parsers = ClassesOf(0, nullptr);
    ASSERT_TRUE(Has(parsers, CLSID_JScript));
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_JScript, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"JScript");
    CoTaskMemFree(progId);
    EXPECT_EQ(categories->IsClassOfCategories(CLSID_JScript, 1, &CATID_ActiveScriptParse, 0, nullptr), S_OK);
    EXPECT_EQ(categories->IsClassOfCategories(CLSID_JScript, 1, &kOtherCategory, 0, nullptr), S_FALSE);
    EXPECT_FALSE(Has(parsers, CLSID_StdComponentCategoriesMgr));
}

TEST_F(CategoriesTest, ClassRequiringAnUnlistedCategoryIsLeftOut) {
    RegisterNeedyClass();
    EXPECT_FALSE(Has(ClassesOf(0, nullptr), kNeedyClass));
    EXPECT_TRUE(Has(ClassesOf(1, &kOtherCategory), kNeedyClass));
    EXPECT_TRUE(Has(ClassesOf(static_cast<ULONG>(-1), nullptr), kNeedyClass)); // requirements not looked at
}

TEST_F(CategoriesTest, EnumerationSkipsResetsAndClones) {
    RegisterNeedyClass();
    ComPtr<IEnumCLSID> classes;
    ASSERT_EQ(categories->EnumClassesOfCategories(1, &CATID_ActiveScriptParse, static_cast<ULONG>(-1),
                                                  nullptr, classes.Put()),
              S_OK);
    CLSID all[8];
    ULONG count = 0;
    EXPECT_EQ(classes->Next(8, all, &count), S_FALSE); // fewer than asked for
    ASSERT_EQ(count, 2u);
    ASSERT_EQ(classes->Reset(), S_OK);
    ASSERT_EQ(classes->Skip(1), S_OK);
    ComPtr<IEnumCLSID> copy;
    ASSERT_EQ(classes->Clone(copy.Put()), S_OK);
    CLSID next{};
    ASSERT_EQ(copy->Next(1, &next, nullptr), S_OK);
    EXPECT_EQ(next, all[1]);
    EXPECT_EQ(copy->Skip(5), S_FALSE);
    EXPECT_EQ(categories->EnumClassesOfCategories(1, nullptr, 0, nullptr, classes.Put()), E_INVALIDARG);
}

TEST_F(CategoriesTest, CategoriesOfOneClass) {
    ComPtr<IEnumCATID> implemented;
    ASSERT_EQ(categories->EnumImplCategoriesOfClass(CLSID_JScript, implemented.Put()), S_OK);
    CATID found[4];
    ULONG count = 0;
    (void)implemented->Next(4, found, &count);
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(std::find(found, found + count, CATID_ActiveScriptParse) != found + count);
}

} // namespace
} // namespace scripttest
