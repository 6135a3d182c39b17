// A script site for tests that run JScript against one device: it lends the device to the script as the
// named item "dev" and keeps the last script error's description; and a runner of such scripts.
#pragma once

#include "platform/base/text.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vrtest {

// Threads: used on the test's thread only, as the script engine that calls it.
class DeviceSite : public vr::ObjectRoot, public IActiveScriptSite {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptSite>;
    IUnknown* device = nullptr; // lent by the test, which keeps it alive
    std::u16string lastError;

    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        if (!(mask & SCRIPTINFO_IUNKNOWN) || vr::U16View(name) != u"dev") {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *item = device;
        device->AddRef();
        return S_OK;
    }
    HRESULT GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError* error) override {
        EXCEPINFO excep{};
        if (SUCCEEDED(error->GetExceptionInfo(&excep))) {
            lastError = std::u16string(vr::BstrView(excep.bstrDescription));
        }
        vr::ClearExcepInfo(&excep);
        return S_OK;
    }
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }
};

// Runs the statements in order in a new JScript engine on this thread, the device (when given) lent as "dev",
// and gives the text of the script's variable result, or "error: " with the failing statement and the
// script's error. A failure to make the engine fails the test.
inline std::string RunDeviceScript(IUnknown* device, std::initializer_list<std::u16string_view> statements) {
    vr::ComPtr<vr::ComObject<DeviceSite>> site;
    EXPECT_EQ(vr::ComObject<DeviceSite>::Create(&site), S_OK);
    site->device = device;
    CLSID clsid{};
    vr::ComPtr<IActiveScript> engine;
    vr::ComPtr<IActiveScriptParse> parse;
    EXPECT_EQ(CLSIDFromProgID(u"JScript", &clsid), S_OK);
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IActiveScript>(), engine.PutVoid()),
        S_OK);
    if (!engine) {
        return "error: no JScript engine";
    }
    EXPECT_EQ(engine->QueryInterface(parse.Put()), S_OK);
    EXPECT_EQ(engine->SetScriptSite(site.Get()), S_OK);
    EXPECT_EQ(parse->InitNew(), S_OK);
    if (device) {
        EXPECT_EQ(engine->AddNamedItem(u"dev", SCRIPTITEM_ISVISIBLE), S_OK);
    }
    std::string text;
    for (std::u16string_view statement : statements) {
        const std::u16string code(statement);
        if (FAILED(parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE,
                                          nullptr, nullptr))) {
            text = "error: " + vr::ToUtf8(code) + ": " + vr::ToUtf8(site->lastError);
            break;
        }
    }
    _variant_t result;
    if (text.empty()) {
        if (FAILED(parse->ParseScriptText(u"result", nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISEXPRESSION,
                                          &result, nullptr))) {
            text = "error: " + vr::ToUtf8(site->lastError);
        } else if (result.vt == VT_BSTR) {
            text = vr::ToUtf8(vr::BstrView(result.bstrVal));
        }
    }
    EXPECT_EQ(engine->Close(), S_OK);
    site->device = nullptr;
    return text;
}

} // namespace vrtest
