// Persistence: the key named by REGISTRYROOTKEY, persistence modes, saving on release, reading back with
// coercion, values too long to read, and values that never existed.
#include "attributes/tests/collection_fixture.h"

#include "platform/base/text.h"
#include "platform/registry/registry.h"

namespace tabtest {
namespace {

constexpr const char* kPersistSchema = R"(<?xml version="1.0"?>
<attributes>
  <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:vrt="urn:vornic:object-attributes"
              targetNamespace="urn:vornic:attributes">
    <xsd:element name="Speed" type="xsd:int" default="5"/>
    <xsd:element name="Mode" default="Slow">
      <xsd:simpleType><xsd:restriction base="xsd:string">
        <xsd:enumeration value="Slow"/><xsd:enumeration value="Fast"/>
      </xsd:restriction></xsd:simpleType>
    </xsd:element>
    <xsd:element name="Choice">
      <xsd:simpleType><xsd:restriction base="xsd:string">
        <xsd:enumeration value="Left"/><xsd:enumeration value="Right"/>
      </xsd:restriction></xsd:simpleType>
    </xsd:element>
    <xsd:element name="Note" type="xsd:string"/>
    <xsd:element name="Flag" type="xsd:boolean" default="false"/>
    <xsd:element name="ReadOnly" type="xsd:int" default="1" vrt:persistent="READONLY"/>
    <xsd:element name="WriteOnly" type="xsd:int" default="1" vrt:persistent="WriteOnly"/>
    <xsd:element name="Never" type="xsd:int" default="1" vrt:persistent="no"/>
    <xsd:element name="REGISTRYROOTKEY" type="xsd:string" default="Software\Vornic\Tests\Persist"/>
  </xsd:schema>
</attributes>
)";

constexpr const char16_t* kKey = u"Software\\Vornic\\Tests\\Persist";

class RegistryTest : public CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        schema_ = WriteFile("persist.xml", kPersistSchema);
        static_cast<void>(RegDeleteTree(HKEY_CURRENT_USER, kKey));
    }
    vr::ComPtr<IVrAttributeCollection> Loaded() {
        auto collection = NewCollection();
        EXPECT_EQ(Load(collection.Get(), schema_, u"", u"Persist"), S_OK) << ErrorText();
        return collection;
    }
    // The registry value as stored, or "<none>".
    static std::string Stored(const char16_t* name, const char16_t* key = kKey) {
        HKEY opened = nullptr;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            return "<no key>";
        }
        DWORD type = 0;
        DWORD size = 0;
        std::string result = "<none>";
        if (RegQueryValueEx(opened, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            std::u16string data(size / 2, u'\0');
            static_cast<void>(
                RegQueryValueEx(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size));
            result = vr::ToUtf8(data.c_str());
        }
        RegCloseKey(opened);
        return result;
    }
    static void Store(const char16_t* name, const std::u16string& text) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * 2)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    std::u16string schema_;
};

TEST_F(RegistryTest, ReleasingSavesWhatThePersistenceModesAllow) {
    auto collection = Loaded();
    ASSERT_EQ(collection->SetAttributes(_bstr_t(u"Speed=42 Mode=Fast ReadOnly=2 WriteOnly=3 Never=4")), S_OK)
        << ErrorText();
    collection = nullptr;
    EXPECT_EQ(Stored(u"Persist:Speed"), "42");
    EXPECT_EQ(Stored(u"Persist:Mode"), "Fast");
    EXPECT_EQ(Stored(u"Persist:WriteOnly"), "3");
    EXPECT_EQ(Stored(u"Persist:ReadOnly"), "<none>");
    EXPECT_EQ(Stored(u"Persist:Never"), "<none>");
    EXPECT_EQ(Stored(u"Persist:REGISTRYROOTKEY"), "<none>");
    // Only values that exist are written.
    EXPECT_EQ(Stored(u"Persist:Choice"), "<none>");
    EXPECT_EQ(Stored(u"Persist:Note"), "<none>");
    EXPECT_TRUE(Traced("Write to Registry: 'Persist:Speed' object attribute = '(VT_I4)42'."));
}

TEST_F(RegistryTest, ValuesAreReadBackCoercedAtCreation) {
    Store(u"Persist:Speed", u"42");
    Store(u"Persist:ReadOnly", u"9");
    Store(u"Persist:WriteOnly", u"9");
    Store(u"Persist:Never", u"9");
    auto collection = Loaded();
    _variant_t speed = Get(collection.Get(), u"Speed");
    EXPECT_EQ(speed.vt, VT_I4);
    EXPECT_EQ(speed.lVal, 42);
    EXPECT_EQ(GetText(collection.Get(), u"ReadOnly"), "9");
    EXPECT_EQ(GetText(collection.Get(), u"WriteOnly"), "1");
    EXPECT_EQ(GetText(collection.Get(), u"Never"), "1");
    EXPECT_TRUE(Traced("Read from Registry: 'Persist:Speed' object attribute = '(VT_I4)42'."));
    EXPECT_TRUE(Traced("Couldn't read the 'Persist:Mode' object attribute from the Registry."));
}

TEST_F(RegistryTest, ABooleanSavedInTheStandardTextFormLoadsAgain) {
    auto first = Loaded();
    ASSERT_EQ(Set(first.Get(), u"Flag", _variant_t(true)), S_OK);
    first = nullptr;
    EXPECT_EQ(Stored(u"Persist:Flag"), "-1");
    auto second = NewCollection();
    ASSERT_EQ(Load(second.Get(), schema_, u"", u"Persist"), S_OK) << ErrorText();
    EXPECT_EQ(GetText(second.Get(), u"Flag"), "True");
    // A stored text the type cannot take is not read: the default stands.
    Store(u"Persist:Speed", u"fast");
    auto third = NewCollection();
    ASSERT_EQ(Load(third.Get(), schema_, u"", u"Persist"), S_OK) << ErrorText();
    EXPECT_EQ(GetText(third.Get(), u"Speed"), "5");
}

TEST_F(RegistryTest, AnAttributeThatNeverHadAValueLoadsAgainAfterASave) {
    auto first = Loaded();
    ASSERT_EQ(first->RegistrySave(), S_OK);
    first = nullptr;
    auto second = NewCollection();
    EXPECT_EQ(Load(second.Get(), schema_, u"", u"Persist"), S_OK) << ErrorText();
    EXPECT_EQ(Get(second.Get(), u"Choice").vt, VT_EMPTY);
    // RegistryLoad leaves it empty too, rather than setting an empty text the enumeration refuses.
    VARIANT missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(second->RegistryLoad(missing), S_OK) << ErrorText();
    EXPECT_EQ(Get(second.Get(), u"Choice").vt, VT_EMPTY);
}

TEST_F(RegistryTest, RegistryLoadReappliesStoredValues) {
    auto collection = Loaded();
    Store(u"Persist:Speed", u"77");
    Store(u"Persist:Mode", u"Fast");
    VARIANT missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    ClearTrace();
    EXPECT_EQ(collection->RegistryLoad(missing), S_OK) << ErrorText();
    EXPECT_EQ(GetText(collection.Get(), u"Speed"), "77");
    EXPECT_EQ(GetText(collection.Get(), u"Mode"), "Fast");
    EXPECT_FALSE(Traced("'Persist:Speed' object attribute = '77';")); // value traces are quiet while loading
    // A stored value the schema refuses fails the load at its attribute.
    Store(u"Persist:Mode", u"Sideways");
    EXPECT_EQ(collection->RegistryLoad(missing), E_INVALIDARG);
    EXPECT_EQ(GetText(collection.Get(), u"Mode"), "Fast");
}

TEST_F(RegistryTest, TheReadLimitIsTheBufferOfTheEightBitText) {
    Store(u"Persist:Note", std::u16string(9998, u'x'));
    EXPECT_EQ(GetText(Loaded().Get(), u"Note").size(), 9998u);
    Store(u"Persist:Note", std::u16string(9999, u'x'));
    EXPECT_EQ(Get(Loaded().Get(), u"Note").vt, VT_EMPTY);
    // Two bytes per character in UTF-8: 5000 of them do not fit either.
    Store(u"Persist:Note", std::u16string(5000, u'\u00e9'));
    EXPECT_EQ(Get(Loaded().Get(), u"Note").vt, VT_EMPTY);
}

TEST_F(RegistryTest, RegistryLoadWithARootKeyAddsTheKeyAttributeOnce) {
    auto collection = NewCollection();
    ASSERT_EQ(collection->AddAttribute(_bstr_t(u"Owner:Level"), _variant_t(LONG{3})), S_OK);
    ASSERT_EQ(collection->RegistrySave(), S_OK); // no key yet: nothing to write
    EXPECT_EQ(Stored(u"Owner:Level", u"Software\\Vornic\\Tests\\Owner"), "<no key>");
    ASSERT_EQ(collection->RegistryLoad(_variant_t(u"Software\\Vornic\\Tests\\Owner")), S_OK) << ErrorText();
    EXPECT_TRUE(Has(collection.Get(), u"REGISTRYROOTKEY"));
    EXPECT_EQ(Count(collection.Get()), 1);
    ClearTrace();
    ASSERT_EQ(collection->RegistryLoad(_variant_t(u"Software\\Vornic\\Tests\\Owner")), S_OK);
    EXPECT_TRUE(Traced("Skip Setting 'REGISTRYROOTKEY' object attribute"));
    ASSERT_EQ(collection->RegistrySave(), S_OK);
    EXPECT_EQ(Stored(u"Owner:Level", u"Software\\Vornic\\Tests\\Owner"), "3");
}

TEST_F(RegistryTest, ARootKeyThatIsNoTextOpensNothing) {
    auto collection = NewCollection();
    ASSERT_EQ(collection->AddAttribute(_bstr_t(u"REGISTRYROOTKEY"), _variant_t(LONG{5})), S_OK);
    EXPECT_TRUE(Traced("WARNING: 'REGISTRYROOTKEY' object attribute isn't a String, but '(VT_I4)5'."));
    ASSERT_EQ(collection->AddAttribute(_bstr_t(u"Level"), _variant_t(LONG{3})), S_OK);
    ASSERT_EQ(collection->RegistrySave(), S_OK);
    EXPECT_EQ(Count(collection.Get()), 1);
}

} // namespace
} // namespace tabtest
