// The hookup end to end: collections made from an embedded Attributes.xml, members linked, settings applied
// through option strings, values persisted in the real hive files and reloaded by a second process.
#include "tests/attributes/attribute_owner.h"

#include "common/attrvalues/AttrCollHookup.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/registry/registry.h"
#include "platform/resources/this_module.h"
#include "tests/activation/process.h"
#include "tests/support/com_holders.h"

#include <gtest/gtest.h>

namespace attrtest {
namespace {

using vrtest::Missing;

constexpr const char16_t* kOwnerKey = u"Software\\Vornic\\AttributeOwner";

std::string Stored(const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kOwnerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<no key>";
    }
    std::u16string data(64, u'\0');
    DWORD size = static_cast<DWORD>(data.size() * 2);
    LONG status = RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? vr::ToUtf8(data.c_str()) : "<none>";
}

vrtest::ProcessResult Owner(const std::vector<std::string>& arguments) {
    return vrtest::RunProcess(VR_ATTRIBUTE_OWNER_PATH, arguments);
}

class HookupTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        static_cast<void>(RegDeleteTree(HKEY_CURRENT_USER, kOwnerKey));
    }
    void TearDown() override { CoUninitialize(); }

    // The hookup on this executable's own resource, scope "Owner".
    HRESULT Hook(IVrAttributeCollection** collection, std::initializer_list<AttributeLink> links,
                 IUnknown* outer = nullptr, IUnknown** inner = nullptr, IUnknown* contained = nullptr,
                 IVrAttributeCollectionFilter* filter = nullptr) {
        _bstr_t path(vr::ThisModuleResUrl(u"Attributes.xml").c_str());
        _bstr_t empty(u"");
        _bstr_t scope(u"Owner");
        return CreateAttributeCollection(path, empty, scope, collection, contained, Missing(), filter, outer,
                                         inner, empty, links);
    }
};

TEST_F(HookupTest, SettingsPersistInOneProcessAndReloadInAnother) {
    vrtest::ProcessResult set =
        Owner({"set", "Speed=42 Mode=Fast Owner:Name='two words', Enabled=false;Gain=2.5 Unknown=1"});
    ASSERT_EQ(set.exitCode, 0) << set.output;
    EXPECT_EQ(set.output, "Speed=42 Mode=2 Name=two words Enabled=0 Gain=2.5\n");
    // What the first process left in the hive files, as this one reads them.
    EXPECT_EQ(Stored(u"Owner:Speed"), "42");
    EXPECT_EQ(Stored(u"Owner:Mode"), "Fast");
    EXPECT_EQ(Stored(u"Owner:Enabled"), "0");
    EXPECT_EQ(Stored(u"Owner:Comment"), "<none>"); // never had a value
    EXPECT_EQ(Stored(u"Owner:REGISTRYROOTKEY"), "<none>");
    vrtest::ProcessResult shown = Owner({"show"});
    ASSERT_EQ(shown.exitCode, 0) << shown.output;
    EXPECT_EQ(shown.output, set.output);
    // And in this process too, with its own copy of the resource.
    AttributeOwner owner;
    ASSERT_EQ(owner.Create(), S_OK);
    EXPECT_EQ(owner.Describe(), "Speed=42 Mode=2 Name=two words Enabled=0 Gain=2.5");
}

TEST_F(HookupTest, ARefusedSettingFailsAndKeepsWhatWasStored) {
    ASSERT_EQ(Owner({"set", "Mode={Owner's choice}"}).output,
              "Speed=9600 Mode=5 Name=unnamed Enabled=1 Gain=1.5\n");
    vrtest::ProcessResult refused = Owner({"set", "Speed=7 Mode=Sideways"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.output, "failed 0x80070057\n");
    EXPECT_EQ(Owner({"show"}).output, "Speed=7 Mode=5 Name=unnamed Enabled=1 Gain=1.5\n");
}

TEST_F(HookupTest, AnEmptyLinkListLoadsAndLinksNothing) {
    vr::ComPtr<IVrAttributeCollection> collection;
    ASSERT_EQ(Hook(collection.Put(), {{nullptr, {}}, {u"NoSuch", LinkToLong(nullptr)}}), S_OK);
    LONG count = 0;
    ASSERT_EQ(collection->get_Count(&count), S_OK);
    EXPECT_EQ(count, 6);
    vr::ComPtr<IVrAttributeCollection> plain;
    ASSERT_EQ(Hook(plain.Put(), {}), S_OK);
}

TEST_F(HookupTest, ALinkToAnUndefinedAttributeFailsAndReleasesTheCollection) {
    LONG speed = 0;
    LONG missing = 0;
    IVrAttributeCollection* collection = reinterpret_cast<IVrAttributeCollection*>(&speed); // to be nulled
    EXPECT_EQ(Hook(&collection, {{u"Speed", LinkToLong(&speed)}, {u"Missing", LinkToLong(&missing)}}),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(collection, nullptr);
    EXPECT_EQ(speed, 9600); // linked before the failing link
}

// A plain outer object for aggregation: counts its references, answers IUnknown itself.
class Outer final : public IUnknown {
public:
    ULONG references = 1;
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
};

TEST_F(HookupTest, WithOuterAndInnerTheInnerUnknownKeepsTheCollection) {
    Outer outer;
    IUnknown* inner = nullptr;
    IVrAttributeCollection* collection = nullptr;
    ASSERT_EQ(Hook(&collection, {}, &outer, &inner), S_OK);
    ASSERT_NE(inner, nullptr);
    ASSERT_NE(collection, nullptr);
    EXPECT_EQ(outer.references, 1u); // the borrowed pointer holds nothing
    _bstr_t speed(u"Speed");
    ASSERT_EQ(collection->SetAttribute(speed, _variant_t(LONG{77})), S_OK);
    EXPECT_EQ(Stored(u"Owner:Speed"), "<none>");
    // Releasing the inner unknown destroys the collection, which saves on the way.
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(Stored(u"Owner:Speed"), "77");
}

TEST_F(HookupTest, ACollectionGivenAloneIsACountedPointer) {
    IVrAttributeCollection* collection = nullptr;
    ASSERT_EQ(Hook(&collection, {}), S_OK);
    collection->AddRef();
    EXPECT_EQ(collection->Release(), 1u);
    EXPECT_EQ(collection->Release(), 0u);
    // Neither pointer wanted: made, loaded and released at once.
    EXPECT_EQ(Hook(nullptr, {}), S_OK);
}

TEST_F(HookupTest, AContainedObjectMustBeACollection) {
    Outer notACollection;
    IVrAttributeCollection* collection = nullptr;
    EXPECT_EQ(Hook(&collection, {}, nullptr, nullptr, &notACollection), E_NOINTERFACE);
    EXPECT_EQ(collection, nullptr);
    EXPECT_EQ(notACollection.references, 1u);

    vr::ComPtr<IVrAttributeCollection> inside;
    ASSERT_EQ(CoCreateInstance(CLSID_AttributeCollection, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IVrAttributeCollection, inside.PutVoid()),
              S_OK);
    ASSERT_EQ(inside->AddAttribute(_bstr_t(u"Inner:Depth"), _variant_t(LONG{3})), S_OK);
    vr::ComPtr<IVrAttributeCollection> outside;
    ASSERT_EQ(Hook(outside.Put(), {}, nullptr, nullptr, inside.Get()), S_OK);
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(outside->GetAttribute(_bstr_t(u"Depth"), &value), S_OK);
    EXPECT_EQ(value.lVal, 3);
    LONG count = 0;
    ASSERT_EQ(outside->get_Count(&count), S_OK);
    EXPECT_EQ(count, 7);
}

} // namespace
} // namespace attrtest
