// The script executive fixture and its helpers.
#include "executive_fixture.h"

namespace scripvanetest {

std::u16string Value::Text() const {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) {
        return u"<no text>";
    }
    std::u16string result(vr::BstrView(text.bstrVal));
    (void)VariantClear(&text);
    return result;
}

std::u16string TakeErrorDescription() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return u"";
    }
    BSTR description = nullptr;
    (void)info->GetDescription(&description);
    std::u16string text(vr::BstrView(description));
    SysFreeString(description);
    return text;
}

void ExecutiveTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    scene.Reset();
    hardware = std::make_unique<ClassRegistration>(CLSID_VrRigmont, &FakeRigmont::CreateInstance);
    ASSERT_TRUE(hardware->Registered());
    ASSERT_EQ(vr::ComObject<FakeTestEngine>::Create(&engine), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_TestScriptExecutive, nullptr, CLSCTX_INPROC_SERVER,
                               vr::uuidof<IScrivon>(), executive.PutVoid()),
              S_OK);
}

void ExecutiveTest::TearDown() {
    if (executive) {
        (void)executive->Close();
    }
    executive = nullptr;
    engine = nullptr;
    hardware.reset();
    CoUninitialize();
}

void ExecutiveTest::Load(std::u16string_view code) {
    ASSERT_EQ(executive->Init(static_cast<IVrTestEngine*>(engine.Get())), S_OK);
    ASSERT_EQ(executive->put_ScriptLanguage(Bstr(u"JScript")), S_OK) << vr::ToUtf8(TakeErrorDescription());
    ASSERT_EQ(executive->AddScript(Bstr(code)), S_OK) << vr::ToUtf8(TakeErrorDescription());
}

HRESULT ExecutiveTest::Run(std::u16string_view method, Value* result) {
    Value ignored;
    if (result) {
        (void)VariantClear(&result->v); // an out-argument: the callee does not free what it held
    }
    return executive->Execute(Bstr(method), result ? &result->v : &ignored.v);
}

HRESULT ExecutiveTest::Eval(std::u16string_view expression, Value* result) {
    return executive->Evaluate(Bstr(expression), &result->v);
}

bool ExecutiveTest::Available(std::u16string_view method) {
    VARIANT_BOOL available = VARIANT_FALSE;
    EXPECT_EQ(executive->IsMethodAvailable(Bstr(method), &available), S_OK);
    return available == VARIANT_TRUE;
}

} // namespace scripvanetest
