// Options and specifications by name in any case, option flags, option strings, Stop and InitExecution, the
// identity properties.
#include "engine_fixture.h"

namespace corvanttest {
namespace {

TEST_F(EngineTest, OptionNamesIgnoreCaseAndUnknownOnesReadEmpty) {
    ASSERT_EQ(engine_->put_option(Bstr(u"stoploop"), _variant_t(u"yes")), S_OK);
    EXPECT_EQ(OptionText(u"StopLoop"), u"yes");
    EXPECT_EQ(OptionText(u"NoSuchOption"), u"<empty>");
    EXPECT_FALSE(Enabled(u"NoSuchOption"));
}

TEST_F(EngineTest, OptionFlagsReadWordsAndNumbers) {
    for (const char16_t* on : {u"Enabled", u"YES", u"true", u"enable", u"1", u"-5"}) {
        ASSERT_EQ(engine_->put_option(Bstr(u"Flag"), _variant_t(on)), S_OK);
        EXPECT_TRUE(Enabled(u"Flag")) << vr::ToUtf8(on);
    }
    for (const char16_t* off : {u"false", u"0", u"no", u"", u"disabled"}) {
        ASSERT_EQ(engine_->put_option(Bstr(u"Flag"), _variant_t(off)), S_OK);
        EXPECT_FALSE(Enabled(u"Flag")) << vr::ToUtf8(off);
    }
    ASSERT_EQ(engine_->put_option(Bstr(u"Flag"), _variant_t(true)), S_OK);
    EXPECT_TRUE(Enabled(u"Flag"));
    ASSERT_EQ(engine_->put_option(Bstr(u"Flag"), Long(7)), S_OK);
    EXPECT_TRUE(Enabled(u"Flag"));
    EXPECT_EQ(engine_->IsOptionEnabled(Bstr(u"Flag"), nullptr), E_POINTER);
    EXPECT_EQ(ErrorDescription(), u"Invalid entry pvbVal = 0.");
}

TEST_F(EngineTest, OptionStringSetsEachItemAsText) {
    ASSERT_EQ(engine_->SetOptions(Bstr(u"EngineOutput=true, Retries=3; Bare Quoted='a b'")), S_OK);
    EXPECT_TRUE(Enabled(u"engineoutput"));
    EXPECT_EQ(OptionText(u"Retries"), u"3");
    EXPECT_EQ(OptionText(u"Bare"), u"");
    EXPECT_EQ(OptionText(u"Quoted"), u"a b");
    _variant_t value;
    ASSERT_EQ(engine_->get_option(Bstr(u"Retries"), &value), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
}

TEST_F(EngineTest, SpecsIgnoreCaseAndUnknownOnesFail) {
    ASSERT_EQ(engine_->put_spec(Bstr(u"volt"), _variant_t(u"[1..5]")), S_OK);
    _variant_t spec;
    ASSERT_EQ(engine_->get_spec(Bstr(u"VOLT"), &spec), S_OK);
    EXPECT_EQ(TextOf(spec.bstrVal), u"[1..5]");
    ASSERT_EQ(engine_->put_spec(Bstr(u"Volt"), _variant_t(2.5)), S_OK);
    _variant_t replaced;
    ASSERT_EQ(engine_->get_spec(Bstr(u"volt"), &replaced), S_OK);
    EXPECT_EQ(replaced.vt, VT_R8);
    _variant_t unknown;
    EXPECT_EQ(engine_->get_spec(Bstr(u"Amp"), &unknown), E_INVALIDARG);
    EXPECT_EQ(ErrorDescription(), u"Couldn't find Spec 'Amp'.");
}

// A value stored by reference would point into the caller's frame once the call returns.
TEST_F(EngineTest, SpecGivenByReferenceIsStoredAsItsValue) {
    LONG number = 7;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_I4;
    reference.plVal = &number;
    ASSERT_EQ(engine_->put_spec(Bstr(u"n"), reference), S_OK);
    number = 8;
    _variant_t spec;
    ASSERT_EQ(engine_->get_spec(Bstr(u"n"), &spec), S_OK);
    EXPECT_EQ(spec.vt, VT_I4);
    EXPECT_EQ(spec.lVal, 7);
}

TEST_F(EngineTest, StopWithLoopOrExitSetsTheirOptionsAndLeavesTheFlag) {
    ASSERT_EQ(engine_->Stop(_variant_t(u"LOOP")), S_OK);
    EXPECT_EQ(OptionText(u"StopLoop"), u"true");
    ASSERT_EQ(engine_->Stop(_variant_t(u"Exit")), S_OK);
    EXPECT_EQ(OptionText(u"StopExit"), u"true");
    EXPECT_EQ(engine_->Output(Bstr(u"still running"), Missing()), S_OK);
}

TEST_F(EngineTest, InterruptionHoldsUntilContinueOrInitExecution) {
    for (const _variant_t& stop : {_variant_t(Missing()), _variant_t(u"abort")}) {
        ASSERT_EQ(engine_->Stop(stop), S_OK);
        EXPECT_EQ(engine_->Output(Bstr(u"x"), Missing()), E_FAIL);
        VARIANT_BOOL enabled = VARIANT_FALSE;
        EXPECT_EQ(engine_->IsOptionEnabled(Bstr(u"StopLoop"), &enabled), E_FAIL);
        EXPECT_EQ(engine_->Delay(0), E_FAIL);
        ASSERT_EQ(engine_->Stop(_variant_t(u"Continue")), S_OK);
        EXPECT_EQ(engine_->Output(Bstr(u"x"), Missing()), S_OK);
    }
    Interrupt();
    ASSERT_EQ(engine_->InitExecution(), S_OK);
    EXPECT_EQ(engine_->Output(Bstr(u"x"), Missing()), S_OK);
}

TEST_F(EngineTest, InitExecutionEmptiesSpecsAndOutputAndResetsFourOptions) {
    ASSERT_EQ(engine_->put_spec(Bstr(u"s"), _variant_t(u"1")), S_OK);
    ASSERT_EQ(engine_->Output(Bstr(u"line"), Missing()), S_OK);
    ASSERT_EQ(
        engine_->SetOptions(Bstr(u"StopLoop=true StopExit=1 EngineOutput=yes StopNotValid=on Own=kept")),
        S_OK);
    ASSERT_EQ(engine_->InitExecution(), S_OK);
    for (const char16_t* name : {u"StopLoop", u"StopExit", u"EngineOutput", u"StopNotValid"}) {
        EXPECT_EQ(OptionText(name), u"false") << vr::ToUtf8(name);
    }
    EXPECT_EQ(OptionText(u"Own"), u"kept");
    _variant_t spec;
    EXPECT_EQ(engine_->get_spec(Bstr(u"s"), &spec), E_INVALIDARG);
    EXPECT_EQ(Next().second, -1);
}

TEST_F(EngineTest, AttributesAndCsvAreDispatchObjects) {
    vr::ComPtr<IDispatch> attributes;
    ASSERT_EQ(engine_->get_attributes(attributes.Put()), S_OK);
    EXPECT_TRUE(attributes);
    vr::ComPtr<IDispatch> csv;
    ASSERT_EQ(engine_->get_csv(csv.Put()), S_OK);
    vr::ComPtr<IVrTestEngine> notEngine;
    EXPECT_EQ(csv->QueryInterface(IID_IVrTestEngine, notEngine.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(engine_->get_csv(nullptr), E_POINTER);
}

TEST_F(EngineTest, EachIdentityPropertyKeepsItsOwnText) {
    using Get = HRESULT (IVrTestEngine::*)(BSTR*);
    using Put = HRESULT (IVrTestEngine::*)(BSTR);
    const std::vector<std::pair<Get, Put>> properties = {
        {&IVrTestEngine::get_PEC, &IVrTestEngine::put_PEC},
        {&IVrTestEngine::get_Release, &IVrTestEngine::put_Release},
        {&IVrTestEngine::get_SN, &IVrTestEngine::put_SN},
        {&IVrTestEngine::get_TestID, &IVrTestEngine::put_TestID},
        {&IVrTestEngine::get_TestPlanID, &IVrTestEngine::put_TestPlanID},
        {&IVrTestEngine::get_TestPlanVariantID, &IVrTestEngine::put_TestPlanVariantID},
        {&IVrTestEngine::get_TestExecSession, &IVrTestEngine::put_TestExecSession}};
    auto textOf = [](size_t k) { return "text " + std::to_string(k); };
    IVrTestEngine* engine = engine_.Get();
    for (size_t k = 0; k < properties.size(); ++k) {
        ASSERT_EQ((engine->*properties[k].second)(Bstr(textOf(k))), S_OK);
    }
    ASSERT_EQ(engine->put_Release(nullptr), S_OK); // reads back empty
    for (size_t k = 0; k < properties.size(); ++k) {
        BSTR text = nullptr;
        ASSERT_EQ((engine->*properties[k].first)(&text), S_OK);
        EXPECT_EQ(vr::ToUtf8(TextOf(text)), k == 1 ? "" : textOf(k)) << k;
        SysFreeString(text);
        EXPECT_EQ((engine->*properties[k].first)(nullptr), E_POINTER) << k;
    }
}

} // namespace
} // namespace corvanttest
