// A JScript engine created by ProgID through activation, with a recording site, for each test.
#pragma once

#include "platform/com/activation.h"
#include "script_test_support.h"

#include <gtest/gtest.h>

namespace scripttest {

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        site = Make<TestSite>();
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"JScript", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IActiveScript>(),
                                   engine.PutVoid()),
                  S_OK);
        ASSERT_EQ(engine->QueryInterface(parse.Put()), S_OK);
        ASSERT_EQ(engine->SetScriptSite(site.Get()), S_OK);
        ASSERT_EQ(parse->InitNew(), S_OK);
    }
    void TearDown() override {
        if (engine) {
            EXPECT_EQ(engine->Close(), S_OK);
        }
        parse = nullptr;
        engine = nullptr;
        site = nullptr;
        CoUninitialize();
    }

    HRESULT Run(const char16_t* code, ULONG startingLine = 1) {
        return parse->ParseScriptText(code, nullptr, nullptr, nullptr, 0, startingLine, SCRIPTTEXT_ISVISIBLE,
                                      nullptr, nullptr);
    }
    HRESULT Eval(const char16_t* expression, Value& out) {
        return parse->ParseScriptText(expression, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISEXPRESSION,
                                      &out.v, nullptr);
    }
    // The expression's value as text ("<failed>" when it fails).
    std::u16string EvalText(const char16_t* expression) {
        Value value;
        if (FAILED(Eval(expression, value))) {
            return u"<failed>";
        }
        Value text;
        if (FAILED(VariantChangeType(&text.v, &value.v, 0, VT_BSTR))) {
            return u"<no text>";
        }
        return text.Text();
    }
    void AddItem(const char16_t* name, IUnknown* object, DWORD flags = SCRIPTITEM_ISVISIBLE) {
        site->items[name] = object;
        ASSERT_EQ(engine->AddNamedItem(name, flags), S_OK);
    }
    ComPtr<IDispatch> ScriptDispatch() {
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(engine->GetScriptDispatch(nullptr, dispatch.Put()), S_OK);
        return dispatch;
    }

    ComPtr<vr::ComObject<TestSite>> site;
    ComPtr<IActiveScript> engine;
    ComPtr<IActiveScriptParse> parse;
};

} // namespace scripttest
