// The output queue: statuses as given or missing, lines taken in order, an empty queue, and an interrupted
// run.
#include "engine_fixture.h"

namespace corvanttest {
namespace {

TEST_F(EngineTest, EmptyQueueAnswersFalseAndLeavesTheOutputsAlone) {
    _variant_t status = Long(42);
    BSTR text = vr::AllocBstr(u"kept");
    EXPECT_EQ(engine_->GetOutput(&status, &text), S_FALSE);
    EXPECT_EQ(TextOf(text), u"kept");
    EXPECT_EQ(status.lVal, 42);
    SysFreeString(text);
    EXPECT_EQ(engine_->GetOutput(nullptr, nullptr), E_POINTER);
}

TEST_F(EngineTest, LinesComeOutInOrderWithTheirStatuses) {
    ASSERT_EQ(engine_->Output(Bstr(u"a"), Long(3)), S_OK);
    ASSERT_EQ(engine_->OutputLn(Bstr(u"x"), Missing()), S_OK);
    ASSERT_EQ(engine_->Output(Bstr(u"big"), Long(99)), S_OK); // statuses are not range-checked
    ASSERT_EQ(engine_->Output(Bstr(u"text"), _variant_t(u"5")), S_OK);
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u"a", 3}));
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u"x\n", 0}));
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u"big", 99}));
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u"text", 5}));
    EXPECT_EQ(Next().second, -1);
}

TEST_F(EngineTest, StatusWithoutANumberIsRefusedAndNothingIsQueued) {
    EXPECT_EQ(engine_->Output(Bstr(u"line"), _variant_t(u"abc")), E_INVALIDARG);
    EXPECT_EQ(ErrorDescription(), u"Wrong vTestStatus value 'abc'.");
    EXPECT_EQ(Next().second, -1);
}

TEST_F(EngineTest, StatusByReferenceIsFollowed) {
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_I4;
    inner.lVal = 2;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &inner;
    ASSERT_EQ(engine_->Output(Bstr(u"r"), reference), S_OK);
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u"r", 2}));
}

TEST_F(EngineTest, InterruptedRunRefusesOutputButStillDrains) {
    ASSERT_EQ(engine_->put_TestID(Bstr(u"T1")), S_OK);
    ASSERT_EQ(engine_->Output(Bstr(u"a"), Long(3)), S_OK);
    Interrupt();
    EXPECT_EQ(engine_->Output(Bstr(u"b"), Missing()), E_FAIL);
    EXPECT_EQ(ErrorDescription(), u"Test 'T1' is interrupted by the User.");
    EXPECT_EQ(Next(), (std::pair<std::u16string, LONG>{u"a", 3}));
}

// The executive drains the queue through IDispatch: the status comes back in a by-reference argument.
TEST_F(EngineTest, QueueDrainsThroughDispatchWithTheStatusByReference) {
    ASSERT_EQ(engine_->Output(Bstr(u"a"), Long(3)), S_OK);
    ASSERT_EQ(engine_->Output(Bstr(u"b"), Long(4)), S_OK);
    _variant_t status;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &status;
    DISPPARAMS withStatus{&reference, nullptr, 1, 0};
    _variant_t text;
    ASSERT_EQ(engine_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &withStatus, &text, nullptr, nullptr), S_OK);
    EXPECT_EQ(TextOf(text.bstrVal), u"a");
    EXPECT_EQ(status.vt, VT_I4);
    EXPECT_EQ(status.lVal, 3);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    _variant_t second;
    ASSERT_EQ(engine_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, &second, nullptr, nullptr), S_OK);
    EXPECT_EQ(TextOf(second.bstrVal), u"b");
    _variant_t nothing;
    EXPECT_EQ(engine_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, &nothing, nullptr, nullptr), S_FALSE);
}

} // namespace
} // namespace corvanttest
