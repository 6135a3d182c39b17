// The list of script languages: the script parsers of the registry less the configured exclusions.
#include "common/config/VrConfigData.h"
#include "executive_fixture.h"
#include "platform/registry/registry.h"
#include "platform/scripting/activscp.h"

#include <algorithm>
#include <vector>

namespace scripvanetest {
namespace {

constexpr CLSID kEncodedScript = vr::MakeGuid("3A1C5E2B-7D4F-4B6A-9E21-5F9C3D4B5A61");

class LanguagesTest : public ExecutiveTest {
protected:
    // A parser class in this run's registry under the ProgID "JScript.Encode".
    static void RegisterEncodedScript() {
        std::u16string base = u"CLSID\\" + vr::GuidToString(kEncodedScript);
        for (std::u16string key :
             {base + u"\\Implemented Categories\\" + vr::GuidToString(CATID_ActiveScriptParse),
              base + u"\\ProgID"}) {
            HKEY created = nullptr;
            ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &created, nullptr),
                      ERROR_SUCCESS);
            if (key.ends_with(u"ProgID")) {
                std::u16string progId = u"JScript.Encode";
                ASSERT_EQ(RegSetValueEx(created, nullptr, 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(progId.c_str()),
                                        static_cast<DWORD>((progId.size() + 1) * sizeof(char16_t))),
                          ERROR_SUCCESS);
            }
            RegCloseKey(created);
        }
    }
    static void Exclude(std::u16string_view option) {
        CVrConfigData config;
        Bstr value(option);
        ASSERT_TRUE(config.StoreItem("ExcludedScriptLanguages", value));
    }
    std::vector<std::u16string> Languages() {
        Value list;
        EXPECT_EQ(executive->get_ScriptLanguages(&list.v), S_OK);
        std::vector<std::u16string> names;
        if (list.v.vt != (VT_ARRAY | VT_VARIANT)) {
            ADD_FAILURE() << "not a VARIANT array: " << list.v.vt;
            return names;
        }
        LONG lower = 0;
        LONG upper = -1;
        (void)SafeArrayGetLBound(list.v.parray, 1, &lower);
        (void)SafeArrayGetUBound(list.v.parray, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            Value element;
            EXPECT_EQ(SafeArrayGetElement(list.v.parray, &i, &element.v), S_OK);
            EXPECT_EQ(element.v.vt, VT_BSTR);
            names.push_back(element.Text());
        }
        return names;
    }
    static bool Has(const std::vector<std::u16string>& names, std::u16string_view name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    }
};

TEST_F(LanguagesTest, DefaultExclusionsHideEncodedLanguages) {
    RegisterEncodedScript();
    Exclude(u"XML VBScript.Encode JScript.Encode");
    std::vector<std::u16string> names = Languages();
    EXPECT_TRUE(Has(names, u"JScript"));
    EXPECT_FALSE(Has(names, u"JScript.Encode"));
}

TEST_F(LanguagesTest, AnExclusionSetToFalseExcludesNothing) {
    RegisterEncodedScript();
    Exclude(u"JScript=false, JScript.Encode=0");
    std::vector<std::u16string> names = Languages();
    EXPECT_TRUE(Has(names, u"JScript"));
    EXPECT_TRUE(Has(names, u"JScript.Encode"));

    Exclude(u"JScript");
    EXPECT_FALSE(Has(Languages(), u"JScript"));
}

TEST_F(LanguagesTest, EveryLanguageExcludedGivesAnEmptyList) {
    RegisterEncodedScript();
    Exclude(u"JScript JScript.Encode");
    EXPECT_TRUE(Languages().empty());
}

} // namespace
} // namespace scripvanetest
