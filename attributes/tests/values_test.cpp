// Values: coercion and validation, the cache, linked variables, added attributes and option strings.
#include "attributes/tests/collection_fixture.h"
#include "attributes/tests/test_schemas.h"

#include "common/trace/Trace.h"

namespace tabtest {
namespace {

class ValuesTest : public CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        collection_ = NewCollection();
        ASSERT_EQ(Load(collection_.Get(), WriteFile("connection.xml", kConnectionSchema),
                       u"/attributes/serial", u"VISA"),
                  S_OK);
        types_ = NewCollection();
        ASSERT_EQ(Load(types_.Get(), WriteFile("types.xml", kTypesSchema)), S_OK);
        ClearTrace();
    }
    HRESULT Link(IVrAttributeCollection* collection, const char16_t* name, VARTYPE vt, void* variable) {
        VARIANT link;
        VariantInit(&link);
        link.vt = vt;
        link.byref = variable;
        return collection->_LinkAttributeToLocalVariable(_bstr_t(name), link);
    }
    HRESULT AddAttributeText(const char16_t* name, const char16_t* value) {
        return collection_->AddAttribute(_bstr_t(name), _variant_t(value));
    }
    vr::ComPtr<IVrAttributeCollection> collection_;
    vr::ComPtr<IVrAttributeCollection> types_;
};

TEST_F(ValuesTest, ACachedEqualValueIsSkippedWhateverItsType) {
    ASSERT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(u"9600")), S_OK);
    EXPECT_TRUE(Traced("'VISA:Timeout' object attribute = '9600';"));
    ClearTrace();
    ASSERT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(LONG{9600})), S_OK);
    EXPECT_TRUE(
        Traced("Skip Setting 'VISA:Timeout' object attribute, because the Set Value and Value in Cache are "
               "the same ('9600');"));
    EXPECT_FALSE(Traced("object attribute = '9600';"));
}

TEST_F(ValuesTest, ARefusedValueLeavesValueAndLinkedVariableAlone) {
    LONG timeout = 0;
    ASSERT_EQ(Link(collection_.Get(), u"Timeout", VT_BYREF | VT_I4, &timeout), S_OK);
    EXPECT_EQ(timeout, 2000);
    EXPECT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(u"fast")), E_INVALIDARG);
    EXPECT_EQ(ErrorText(),
              "The value 'fast' is not valid according to the schema of the 'VISA:Timeout' object "
              "attribute.");
    EXPECT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(u"99999999999")), E_INVALIDARG);
    EXPECT_EQ(timeout, 2000);
    EXPECT_EQ(GetText(collection_.Get(), u"Timeout"), "2000");
    EXPECT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(2500.0)), S_OK);
    EXPECT_EQ(timeout, 2500);
}

TEST_F(ValuesTest, ABooleanIsValidatedAsTrueOrFalse) {
    EXPECT_EQ(Set(types_.Get(), u"Flag", _variant_t(false)), S_OK) << ErrorText();
    EXPECT_EQ(GetText(types_.Get(), u"Flag"), "False");
    EXPECT_EQ(Set(types_.Get(), u"Flag", _variant_t(u"1")), S_OK) << ErrorText();
    EXPECT_EQ(GetText(types_.Get(), u"Flag"), "True");
    EXPECT_EQ(Set(types_.Get(), u"Flag", _variant_t(u"yes")), E_INVALIDARG);
}

TEST_F(ValuesTest, AValueTheTypeCannotHoldFailsCoercion) {
    // Valid by the schema's lexical space (validation off), but no 32-bit integer.
    EXPECT_EQ(Set(types_.Get(), u"Loose", _variant_t(u"1e20")), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "The value '(VT_BSTR)1e20' can't be coerced to 'VT_I4' type of the 'Loose' object "
                           "attribute.");
}

TEST_F(ValuesTest, LinkedVariablesOfEveryKindMirrorEachSet) {
    LONG baud = 0;
    double ratio = 0;
    BSTR parity = SysAllocString(u"old");
    LONG flag = 7;
    LONG stopIndex = 0;
    ASSERT_EQ(Link(collection_.Get(), u"BaudRate", VT_BYREF | VT_I4, &baud), S_OK);
    ASSERT_EQ(Link(types_.Get(), u"Ratio", VT_BYREF | VT_R8, &ratio), S_OK);
    ASSERT_EQ(Link(collection_.Get(), u"Parity", VT_BYREF | VT_BSTR, &parity), S_OK);
    ASSERT_EQ(Link(types_.Get(), u"Flag", VT_BYREF | VT_BOOL, &flag), S_OK);
    ASSERT_EQ(Link(collection_.Get(), u"StopBits", VT_BYREF | VT_I4, &stopIndex), S_OK);
    EXPECT_EQ(baud, 9600);
    EXPECT_DOUBLE_EQ(ratio, 0.5);
    EXPECT_EQ(U8(vr::BstrView(parity)), "ASRL_PAR_NONE");
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(stopIndex, 10); // the enumeration value's index: the text is no number
    ASSERT_EQ(Set(collection_.Get(), u"StopBits", _variant_t(u"ASRL_STOP_TWO")), S_OK);
    EXPECT_EQ(stopIndex, 20);
    ASSERT_EQ(Set(types_.Get(), u"Flag", _variant_t(false)), S_OK);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(Set(collection_.Get(), u"Parity", _variant_t(LONG{4})), S_OK);
    EXPECT_EQ(U8(vr::BstrView(parity)), "ASRL_PAR_SPACE");
    // Unlinked, the variable keeps what it had.
    VARIANT none;
    VariantInit(&none);
    ASSERT_EQ(collection_->_LinkAttributeToLocalVariable(_bstr_t(u"BaudRate"), none), S_OK);
    ASSERT_EQ(Set(collection_.Get(), u"BaudRate", _variant_t(LONG{300})), S_OK);
    EXPECT_EQ(baud, 9600);
    ASSERT_EQ(Link(collection_.Get(), u"Parity", VT_EMPTY, nullptr), S_OK);
    SysFreeString(parity);
}

TEST_F(ValuesTest, LinksOfAWrongKindOrToMissingAttributesFail) {
    SHORT small = 0;
    EXPECT_EQ(Link(collection_.Get(), u"Timeout", VT_BYREF | VT_I2, &small), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "Wrong value of varValue parameter for the 'VISA:Timeout' object attribute.");
    EXPECT_EQ(Link(collection_.Get(), u"Timeout", VT_I4, nullptr), E_INVALIDARG);
    LONG number = 0;
    EXPECT_EQ(Link(collection_.Get(), u"NoSuch", VT_BYREF | VT_I4, &number), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(ErrorText(), "The 'NoSuch' object attribute doesn't exist.");
}

TEST_F(ValuesTest, AValueTheLinkedVariableCannotTakeIsNotStored) {
    LONG number = 0;
    ASSERT_EQ(AddAttributeText(u"Owner:Name", u"12"), S_OK);
    ASSERT_EQ(Link(collection_.Get(), u"Owner:Name", VT_BYREF | VT_I4, &number), S_OK);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(Set(collection_.Get(), u"Owner:Name", _variant_t(u"twelve")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ErrorText(), "The value 'twelve' of the 'Owner:Name' object attribute can't be coerced to the "
                           "LinkedLocalVariable of type 'VT_I4 | VT_BYREF'.");
    EXPECT_EQ(GetText(collection_.Get(), u"Owner:Name"), "12");
}

TEST_F(ValuesTest, IsValidAttributeIsQuietAndHandsBackTheCoercedValue) {
    VARIANT_BOOL valid = VARIANT_TRUE;
    EXPECT_EQ(collection_->IsValidAttribute(_bstr_t(u"Timeout"), _variant_t(u"slow"), &valid), S_OK);
    EXPECT_EQ(valid, VARIANT_FALSE);
    _variant_t text(u"42");
    VARIANT reference;
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &text;
    EXPECT_EQ(collection_->IsValidAttribute(_bstr_t(u"Timeout"), reference, &valid), S_OK);
    EXPECT_EQ(valid, VARIANT_TRUE);
    EXPECT_EQ(text.vt, VT_I4);
    EXPECT_EQ(text.lVal, 42);
    EXPECT_EQ(GetText(collection_.Get(), u"Timeout"), "2000");
    EXPECT_EQ(collection_->IsValidAttribute(_bstr_t(u"NoSuch"), _variant_t(u"1"), &valid),
              TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(ValuesTest, AddedAttributesTakeTheirValuesType) {
    ASSERT_EQ(collection_->AddAttribute(_bstr_t(u"Owner:Count"), _variant_t(LONG{3})), S_OK);
    EXPECT_EQ(Get(collection_.Get(), u"Count").vt, VT_I4);
    EXPECT_EQ(Set(collection_.Get(), u"Owner:Count", _variant_t(u"x")), E_INVALIDARG);
    LONG id = 0;
    EXPECT_EQ(collection_->GetAttributeNumID(_bstr_t(u"Owner:Count"), &id), S_OK);
    EXPECT_EQ(id, -1);
    VARIANT missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(collection_->AddAttribute(_bstr_t(u"Note"), missing), S_OK);
    EXPECT_EQ(Get(collection_.Get(), u"Note").vt, VT_BSTR);
    EXPECT_EQ(collection_->AddAttribute(_bstr_t(u"NOTE"), _variant_t(u"again")), TYPE_E_NAMECONFLICT);
    EXPECT_EQ(ErrorText(), "The 'NOTE' object attribute has multiple definitions.");
    EXPECT_EQ(collection_->AddAttribute(_bstr_t(u""), _variant_t(u"x")), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "An object attribute has no name defined.");
    // A short name that already resolves is taken as well.
    EXPECT_EQ(collection_->AddAttribute(_bstr_t(u"Timeout"), _variant_t(LONG{1})), TYPE_E_NAMECONFLICT);
}

TEST_F(ValuesTest, SetAttributesAppliesItemsInOrderAndStopsAtTheFirstFailure) {
    EXPECT_EQ(collection_->SetAttributes(_bstr_t(u"Timeout=100, Unknown=5; Parity=ASRL_PAR_MARK")), S_OK);
    EXPECT_TRUE(Traced("'Unknown' object attribute doesn't exist (tried to set to '5');"));
    EXPECT_EQ(GetText(collection_.Get(), u"Timeout"), "100");
    EXPECT_EQ(GetText(collection_.Get(), u"Parity"), "ASRL_PAR_MARK");
    EXPECT_EQ(collection_->SetAttributes(_bstr_t(u"Timeout=200 BaudRate=7 Parity=ASRL_PAR_ODD")),
              E_INVALIDARG);
    EXPECT_EQ(GetText(collection_.Get(), u"Timeout"), "200");
    EXPECT_EQ(GetText(collection_.Get(), u"Parity"), "ASRL_PAR_MARK");
    EXPECT_EQ(collection_->SetAttributes(_bstr_t(u"Timeout")), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "The 'Timeout' object attribute doesn't have a value:\n\"Timeout\".");
}

TEST_F(ValuesTest, RemoveAllRemovesOwnAttributesOnly) {
    ASSERT_EQ(collection_->AddAlias(_bstr_t(u"Speed"), _bstr_t(u"VISA:BaudRate")), S_OK);
    ASSERT_EQ(collection_->RemoveAll(), S_OK);
    EXPECT_EQ(Count(collection_.Get()), 0);
    EXPECT_FALSE(Has(collection_.Get(), u"Timeout"));
    // The alias stays and serves a new load.
    ASSERT_EQ(Load(collection_.Get(), WriteFile("again.xml", kConnectionSchema), u"/attributes/serial",
                   u"VISA", u"Speed=600"),
              S_OK);
    EXPECT_EQ(GetText(collection_.Get(), u"BaudRate"), "600");
}

} // namespace
} // namespace tabtest
