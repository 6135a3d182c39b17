// A script site for tests that run JScript against one device: it lends the device to the script as the
// named item "dev" and keeps the last script error's description.
#pragma once

#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"

#include <string>

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

} // namespace vrtest
