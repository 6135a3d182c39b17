// The owner's filter: when the collection calls it, with what, and what its answers do.
#include "attributes/tests/collection_fixture.h"
#include "attributes/tests/test_schemas.h"

namespace tabtest {
namespace {

class FilterTest : public CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        filter_ = TestFilter::Create();
        collection_ = NewCollection();
        ASSERT_EQ(collection_->SetAttributeCollectionFilter(filter_.Get()), S_OK);
    }
    void TearDown() override {
        collection_ = nullptr; // before the filter: the owner outlives its collection
        filter_ = nullptr;
        CollectionTest::TearDown();
    }
    vr::ComPtr<TestFilter> filter_;
    vr::ComPtr<IVrAttributeCollection> collection_;
};

TEST_F(FilterTest, LoadingAsksForFirstValuesAndAnnouncesCreatedAttributes) {
    ASSERT_EQ(Load(collection_.Get(), WriteFile("c.xml", kConnectionSchema), u"/attributes/serial", u"VISA",
                   u"Timeout=10"),
              S_OK)
        << ErrorText();
    // Asked only where neither registry nor settings gave a value, with the name as composed.
    std::vector<TestFilter::Call> asked = filter_->CallsOf("Get");
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].name, "VISA:BaudRate");
    EXPECT_TRUE(asked[0].initial);
    EXPECT_TRUE(asked[0].hasElement);
    std::vector<TestFilter::Call> created = filter_->CallsOf("Created");
    ASSERT_EQ(created.size(), 5u);
    EXPECT_EQ(created[0].name, "VISA:Timeout");
    EXPECT_EQ(created[0].value, "10");
    // The declined attributes took their defaults, which went to the filter upper-cased.
    std::vector<TestFilter::Call> stored = filter_->CallsOf("Set");
    ASSERT_EQ(stored.size(), 5u);
    EXPECT_EQ(stored[1].name, "VISA:BAUDRATE");
    EXPECT_EQ(stored[1].value, "9600");
}

TEST_F(FilterTest, AValueTheFilterSuppliedIsNotHandedBackToIt) {
    filter_->getResult = S_OK;
    filter_->getValue = _variant_t(LONG{4321});
    ASSERT_EQ(Load(collection_.Get(), WriteFile("c.xml", kConnectionSchema), u"/attributes/tcpip", u"T"),
              S_OK);
    EXPECT_EQ(GetText(collection_.Get(), u"T:Timeout"), "4321");
    EXPECT_TRUE(filter_->CallsOf("Set").empty());
    ASSERT_EQ(Set(collection_.Get(), u"T:Timeout", _variant_t(LONG{5})), S_OK);
    ASSERT_EQ(filter_->CallsOf("Set").size(), 1u);
}

TEST_F(FilterTest, APendingFirstValueBelongsToItsOwnAttribute) {
    filter_->getResult = S_OK;
    filter_->getValue = _variant_t(u"12");
    filter_->adjustResult = E_FAIL;
    VARIANT missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    // The first set of A fails in the filter, so A's first value is still pending.
    EXPECT_EQ(collection_->AddAttribute(_bstr_t(u"Owner:A"), missing), E_FAIL);
    EXPECT_TRUE(
        Traced("WARNING: 'OWNER:A' object attribute: IVrAttributeCollectionFilter::AdjustSetAttribute('12') "
               "return error 80004005."));
    EXPECT_EQ(filter_->CallsOf("Get").at(0).name, "A"); // the local part only
    filter_->adjustResult = S_OK;
    // B's first set with the same text is B's own: it reaches the filter.
    ASSERT_EQ(collection_->AddAttribute(_bstr_t(u"Owner:B"), _variant_t(u"12")), S_OK);
    ASSERT_EQ(filter_->CallsOf("Set").size(), 1u);
    EXPECT_EQ(filter_->CallsOf("Set")[0].name, "OWNER:B");
    // A's pending value is the filter's own: it does not go back.
    ASSERT_EQ(Set(collection_.Get(), u"Owner:A", _variant_t(u"12")), S_OK);
    EXPECT_EQ(filter_->CallsOf("Set").size(), 1u);
}

TEST_F(FilterTest, AFailingSetKeepsTheOldValueAndAnAdjustmentChangesTheNewOne) {
    ASSERT_EQ(Load(collection_.Get(), WriteFile("c.xml", kConnectionSchema), u"/attributes/gpib", u"VISA"),
              S_OK);
    filter_->setResult = DISP_E_OVERFLOW;
    EXPECT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(LONG{1})), DISP_E_OVERFLOW);
    EXPECT_TRUE(Traced(
        "WARNING: 'VISA:TIMEOUT' object attribute: IVrAttributeCollectionFilter::SetAttributeValue('1') "
        "return error 8002000a."));
    EXPECT_EQ(GetText(collection_.Get(), u"Timeout"), "3000");
    filter_->setResult = E_NOTIMPL;
    filter_->adjustReplaces = true;
    filter_->adjustValue = _variant_t(u"77");
    EXPECT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(LONG{1})), S_OK);
    EXPECT_EQ(GetText(collection_.Get(), u"Timeout"), "77");
    filter_->adjustValue = _variant_t(u"not a number");
    EXPECT_EQ(Set(collection_.Get(), u"Timeout", _variant_t(LONG{2})), E_INVALIDARG);
    EXPECT_EQ(GetText(collection_.Get(), u"Timeout"), "77");
}

TEST_F(FilterTest, UncachedAttributesAreReadThroughTheFilter) {
    ASSERT_EQ(Load(collection_.Get(), WriteFile("t.xml", kTypesSchema)), S_OK);
    filter_->calls.clear();
    filter_->getResult = S_OK;
    filter_->getValue = _variant_t(u"33");
    _variant_t value = Get(collection_.Get(), u"Uncached");
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 33);
    ASSERT_EQ(filter_->CallsOf("Get").size(), 1u);
    EXPECT_EQ(filter_->CallsOf("Get")[0].name, "UNCACHED");
    EXPECT_FALSE(filter_->CallsOf("Get")[0].initial);
    // Declining leaves the stored value in use.
    filter_->getResult = S_FALSE;
    EXPECT_EQ(Get(collection_.Get(), u"Uncached").lVal, 33);
    // A cached attribute with a value is not asked.
    EXPECT_EQ(GetText(collection_.Get(), u"Long"), "7");
    EXPECT_EQ(filter_->CallsOf("Get").size(), 2u);
    filter_->getResult = E_ACCESSDENIED;
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(collection_->GetAttribute(_bstr_t(u"Uncached"), &out), E_ACCESSDENIED);
    EXPECT_TRUE(
        Traced("WARNING: 'UNCACHED' object attribute: IVrAttributeCollectionFilter::GetAttributeValue() "
               "returned error 80070005."));
}

TEST_F(FilterTest, ARefusedFirstValueFailsTheLoadAndACreationFailureIsIgnored) {
    filter_->createdResult = E_FAIL;
    ASSERT_EQ(Load(collection_.Get(), WriteFile("c.xml", kConnectionSchema), u"/attributes/gpib", u"A"),
              S_OK);
    EXPECT_TRUE(Traced("IVrAttributeCollectionFilter::AttributeIsCreated('3000') return error 80004005."));
    filter_->getResult = E_UNEXPECTED;
    EXPECT_EQ(Load(collection_.Get(), WriteFile("c.xml", kConnectionSchema), u"/attributes/connection", u"B"),
              E_UNEXPECTED);
}

TEST_F(FilterTest, ClearingTheFilterStopsTheCalls) {
    EXPECT_EQ(collection_->SetAttributeCollectionFilter(nullptr), E_POINTER);
    ASSERT_EQ(collection_->ClearAttributeCollectionFilter(), S_OK);
    ASSERT_EQ(Load(collection_.Get(), WriteFile("c.xml", kConnectionSchema), u"/attributes/gpib", u"A"),
              S_OK);
    EXPECT_TRUE(filter_->calls.empty());
}

} // namespace
} // namespace tabtest
