// Names: aliases and their chains, contained collections with their visibility, Count, Item and _NewEnum.
#include "attributes/tests/collection_fixture.h"
#include "attributes/tests/test_schemas.h"

#include "common/trace/Trace.h"
#include "tests/support/com_holders.h"

namespace tabtest {
namespace {

using vrtest::Missing;

class LookupTest : public CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        schema_ = WriteFile("connection.xml", kConnectionSchema);
    }
    vr::ComPtr<IVrAttributeCollection> Loaded(const char16_t* xpath, const char16_t* scope) {
        auto collection = NewCollection();
        EXPECT_EQ(Load(collection.Get(), schema_, xpath, scope), S_OK) << ErrorText();
        return collection;
    }
    static HRESULT Alias(IVrAttributeCollection* collection, const char16_t* alias,
                         const char16_t* referred) {
        return collection->AddAlias(_bstr_t(alias), _bstr_t(referred));
    }
    static HRESULT Contain(IVrAttributeCollection* container, IVrAttributeCollection* contained,
                           const VARIANT& visibility) {
        return container->AddContainedAttributes(contained, visibility);
    }
    std::u16string schema_;
};

TEST_F(LookupTest, AliasesResolveThroughChainsAndTheirLocalParts) {
    auto collection = Loaded(u"/attributes/serial", u"VISA");
    ASSERT_EQ(Alias(collection.Get(), u"Legacy:Speed", u"Rate"), S_OK);
    ASSERT_EQ(Alias(collection.Get(), u"Rate", u"VISA:BaudRate"), S_OK);
    EXPECT_EQ(GetText(collection.Get(), u"legacy:speed"), "9600");
    EXPECT_EQ(GetText(collection.Get(), u"Speed"), "9600");
    BSTR qName = nullptr;
    ASSERT_EQ(collection->GetAttributeQName(_bstr_t(u"speed"), &qName), S_OK);
    EXPECT_EQ(U8(vr::BstrView(qName)), "VISA:BaudRate");
    SysFreeString(qName);
    EXPECT_EQ(Alias(collection.Get(), u"Scope:", u"X"), E_INVALIDARG);
    EXPECT_EQ(ErrorText(),
              "Wrong value of entry parameter(s): bstrAliasName = 'Scope:'; bstrRefferedName = 'X'.");
    EXPECT_EQ(Alias(collection.Get(), u"A", u""), E_INVALIDARG);
}

TEST_F(LookupTest, AnAliasWhoseLocalPartIsTheReferredNameResolvesToThatAttribute) {
    auto collection = Loaded(u"/attributes/serial", u"VISA");
    // Both "OLD:TIMEOUT" and its local part "TIMEOUT" map to "Timeout": no cycle.
    ASSERT_EQ(Alias(collection.Get(), u"Old:Timeout", u"Timeout"), S_OK);
    EXPECT_EQ(GetText(collection.Get(), u"Old:Timeout"), "2000");
    EXPECT_EQ(GetText(collection.Get(), u"Timeout"), "2000");
    ASSERT_EQ(Alias(collection.Get(), u"Parity", u"Parity"), S_OK);
    EXPECT_EQ(GetText(collection.Get(), u"Parity"), "ASRL_PAR_NONE");
}

TEST_F(LookupTest, AliasCyclesAreErrorsNotLoops) {
    auto collection = Loaded(u"/attributes/serial", u"VISA");
    ASSERT_EQ(Alias(collection.Get(), u"Ping", u"Pong"), S_OK);
    ASSERT_EQ(Alias(collection.Get(), u"Pong", u"Pang"), S_OK);
    ASSERT_EQ(Alias(collection.Get(), u"Pang", u"ping"), S_OK);
    VARIANT_BOOL has = VARIANT_TRUE;
    EXPECT_EQ(collection->HasAttribute(_bstr_t(u"Ping"), &has), E_INVALIDARG);
    EXPECT_NE(ErrorText().find("leads back to itself"), std::string::npos);
    EXPECT_EQ(Set(collection.Get(), u"Pong", _variant_t(u"1")), E_INVALIDARG);
    // Settings that name a cyclic alias set nothing, and the load goes on.
    auto other = NewCollection();
    ASSERT_EQ(Alias(other.Get(), u"Ping", u"Pong"), S_OK);
    ASSERT_EQ(Alias(other.Get(), u"Pong", u"Ping"), S_OK);
    EXPECT_EQ(Load(other.Get(), schema_, u"/attributes/gpib", u"", u"Timeout=7 Ping=1"), S_OK) << ErrorText();
    EXPECT_EQ(GetText(other.Get(), u"Timeout"), "7");
}

TEST_F(LookupTest, ContainedAttributesAreReachableAndCountedUnlessHidden) {
    auto connection = Loaded(u"/attributes/connection", u"Connection");
    auto visa = Loaded(u"/attributes/serial", u"VISA");
    ASSERT_EQ(Contain(visa.Get(), connection.Get(), Missing()), S_OK);
    EXPECT_EQ(GetText(visa.Get(), u"SIMULATION"), "Off");
    EXPECT_EQ(Count(visa.Get()), 5 + 5);
    std::vector<std::string> names = Names(visa.Get());
    EXPECT_EQ(names.back(), "Connection:SimulationFileRecordID");
    ASSERT_EQ(Set(visa.Get(), u"Simulation", _variant_t(LONG{1})), S_OK) << ErrorText();
    EXPECT_EQ(GetText(connection.Get(), u"Simulation"), "Write");
    EXPECT_EQ(Set(visa.Get(), u"Simulation", _variant_t(u"Sometimes")), E_INVALIDARG);
    LONG numId = 0;
    EXPECT_EQ(visa->GetAttributeNumID(_bstr_t(u"Simulation"), &numId), S_OK);
    EXPECT_EQ(numId, 0x10);
    // Contained attributes cannot be linked.
    LONG variable = 0;
    VARIANT link;
    link.vt = VT_BYREF | VT_I4;
    link.plVal = &variable;
    EXPECT_EQ(visa->_LinkAttributeToLocalVariable(_bstr_t(u"Simulation"), link), E_FAIL);
    EXPECT_EQ(ErrorText(), "Couldn't link the Contained 'SIMULATION' object attribute to local variable.");

    auto hidden = Loaded(u"/attributes/gpib", u"GPIB");
    ASSERT_EQ(Contain(hidden.Get(), connection.Get(), _variant_t(false)), S_OK);
    EXPECT_EQ(Count(hidden.Get()), 1);
    EXPECT_EQ(GetText(hidden.Get(), u"SimulationFileRecordID"), "record");
    vr::ComPtr<IVrAttribute> past;
    EXPECT_EQ(hidden->get_Item(1, past.Put()), E_FAIL);
    EXPECT_NE(ErrorText().find("Vornic Error: A"), std::string::npos);
}

TEST_F(LookupTest, ContainedNamesThatAlreadyResolveConflict) {
    auto first = Loaded(u"/attributes/gpib", u"VISA");
    auto second = Loaded(u"/attributes/tcpip", u"VISA");
    EXPECT_EQ(Contain(first.Get(), second.Get(), Missing()), TYPE_E_NAMECONFLICT);
    EXPECT_EQ(ErrorText(), "The contained 'VISA:Timeout' object attribute has multiple definitions.");
    EXPECT_EQ(first->AddContainedAttributes(nullptr, Missing()), E_POINTER);
}

TEST_F(LookupTest, ACollectionContainingItselfStillAnswers) {
    auto b = Loaded(u"/attributes/tcpip", u"B");
    auto c = NewCollection();
    ASSERT_EQ(Contain(c.Get(), b.Get(), _variant_t(true)), S_OK);
    // The same object: no reference is taken, and walks through it end.
    ASSERT_EQ(Contain(c.Get(), c.Get(), Missing()), S_OK);
    EXPECT_TRUE(
        Traced("Didn't call ContainedAttributeCollection::AddRef(), since Contained & Container Attributes "
               "have the same 'base' IUnknown (aggregated)."));
    EXPECT_FALSE(Has(c.Get(), u"Nowhere"));
    EXPECT_EQ(GetText(c.Get(), u"B:Timeout"), "5000");
    EXPECT_EQ(Count(c.Get()), 0);
    vr::ComPtr<IVrAttribute> past;
    EXPECT_EQ(c->get_Item(0, past.Put()), E_FAIL);
}

TEST_F(LookupTest, NewEnumYieldsTheItemsInOrder) {
    auto collection = Loaded(u"/attributes/serial", u"VISA");
    vr::ComPtr<IUnknown> unknown;
    ASSERT_EQ(collection->get__NewEnum(unknown.Put()), S_OK);
    vr::ComPtr<IEnumVARIANT> items;
    ASSERT_EQ(unknown.As(&items), S_OK);
    std::vector<std::string> names;
    VARIANT item;
    ULONG fetched = 0;
    while (items->Next(1, &item, &fetched) == S_OK && fetched == 1) {
        EXPECT_EQ(item.vt, VT_DISPATCH);
        vr::ComPtr<IVrAttribute> attribute;
        EXPECT_EQ(item.pdispVal->QueryInterface(attribute.Put()), S_OK);
        BSTR name = nullptr;
        EXPECT_EQ(attribute->get_Name(&name), S_OK);
        names.push_back(U8(vr::BstrView(name)));
        SysFreeString(name);
        static_cast<void>(VariantClear(&item));
    }
    EXPECT_EQ(names, Names(collection.Get()));
    VARIANT several[3];
    ASSERT_EQ(items->Reset(), S_OK);
    ASSERT_EQ(items->Skip(3), S_OK);
    EXPECT_EQ(items->Next(3, several, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    for (ULONG i = 0; i < fetched; ++i) {
        static_cast<void>(VariantClear(&several[i]));
    }
}

TEST_F(LookupTest, AbsentNamesFailWithTheirMessageOrAnswerEmpty) {
    auto collection = Loaded(u"/attributes/gpib", u"VISA");
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(collection->GetAttribute(_bstr_t(u"Nope"), &value), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(ErrorText(), "The 'Nope' object attribute doesn't exist.");
    EXPECT_EQ(collection->GetAttributeValidValues(_bstr_t(u"Nope"), &value), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(collection->GetAttributeType(_bstr_t(u""), &value), TYPE_E_ELEMENTNOTFOUND);
    BSTR qName = SysAllocString(u"stale");
    SysFreeString(qName);
    qName = nullptr;
    EXPECT_EQ(collection->GetAttributeQName(_bstr_t(u"Nope"), &qName), S_OK);
    EXPECT_EQ(SysStringLen(qName), 0u);
    SysFreeString(qName);
    EXPECT_EQ(collection->GetAttribute(_bstr_t(u"Timeout"), nullptr), E_POINTER);
    EXPECT_EQ(collection->get_Count(nullptr), E_POINTER);
}

} // namespace
} // namespace tabtest
