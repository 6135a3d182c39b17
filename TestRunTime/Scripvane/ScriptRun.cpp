// CTestScriptExecutive: running script code, methods and expressions, and reading the script's globals.
#include "ScriptExecutive.h"

#include "common/trace/Trace.h"
#include "platform/com/typeinfo.h"

namespace scripvane {

namespace {

// The locale the system looks names up in (LOCALE_SYSTEM_DEFAULT).
constexpr LCID kSystemLocale = 0x400;

} // namespace

HRESULT CTestScriptExecutive::RequireEngine() const {
    if (!engine_ || !parse_) {
        SetTraceSite();
        TraceError(u"The Script Engine isn't initialized.");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CTestScriptExecutive::ConnectScript() {
    scriptErrorCode_ = S_OK;
    if (HRESULT hr = engine_->SetScriptState(SCRIPTSTATE_CONNECTED); FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Error during SetScriptState of '%s' Script to SCRIPTSTATE_CONNECTED.",
                   language_.c_str());
        return hr;
    }
    return S_OK;
}

HRESULT CTestScriptExecutive::GetScriptDispatch(vr::ComPtr<IDispatch>* dispatch) {
    HRESULT hr = engine_->GetScriptDispatch(nullptr, dispatch->Put());
    if (FAILED(hr) || !*dispatch) {
        SetTraceSite();
        TraceError(u"Error during GetScriptDispatch of '%s' Script.", language_.c_str());
        return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
}

// The error the script engine reported during the last call, reported again as the call's own result.
HRESULT CTestScriptExecutive::ReportHeldScriptError() {
    if (scriptErrorText_) {
        SetTraceSite();
        TraceError(u"%s", scriptErrorText_->c_str());
    }
    return scriptErrorCode_;
}

HRESULT CTestScriptExecutive::Execute(BSTR bsMethod, VARIANT* vReturn) {
    SetTraceMethodName(u"IScrivon::Execute()");
    if (HRESULT hr = RequireEngine(); FAILED(hr)) {
        return Fail(hr);
    }
    if (HRESULT hr = ConnectScript(); FAILED(hr)) {
        return Fail(hr);
    }
    if (SysStringLen(bsMethod) > 0 && scriptErrorCode_ >= 0) {
        HRESULT hr = InvokeMethod(bsMethod, vReturn);
        if (FAILED(hr) && scriptErrorCode_ >= 0) {
            return Fail(hr);
        }
    }
    if (scriptErrorCode_ < 0) {
        return Fail(ReportHeldScriptError());
    }
    return S_OK;
}

HRESULT CTestScriptExecutive::InvokeMethod(BSTR method, VARIANT* result) {
    vr::ComPtr<IDispatch> script;
    if (HRESULT hr = GetScriptDispatch(&script); FAILED(hr)) {
        return hr;
    }
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = method;
    HRESULT hr = script->GetIDsOfNames(IID_NULL, &name, 1, kSystemLocale, &id);
    if (SUCCEEDED(hr)) {
        DISPPARAMS none{};
        hr = script->Invoke(id, IID_NULL, kSystemLocale, DISPATCH_METHOD, &none, result, nullptr, nullptr);
    }
    if (FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Error during execution of '%s' method of '%s' Script.", method, language_.c_str());
    }
    return hr;
}

HRESULT CTestScriptExecutive::Evaluate(BSTR bsScriptExpression, VARIANT* vReturn) {
    SetTraceMethodName(u"IScrivon::Evaluate()");
    if (!vReturn) {
        return E_POINTER;
    }
    if (HRESULT hr = RequireEngine(); FAILED(hr)) {
        return Fail(hr);
    }
    if (HRESULT hr = ConnectScript(); FAILED(hr)) {
        return Fail(hr);
    }
    vr::OwnedVariant result;
    const OLECHAR* expression = bsScriptExpression ? bsScriptExpression : u"";
    HRESULT hr = parse_->ParseScriptText(expression, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISEXPRESSION,
                                         result.Put(), nullptr);
    if (FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Parsing the '%s' expression by '%s' Script Engine failed.", expression,
                   language_.c_str());
        if (scriptErrorCode_ >= 0) {
            scriptErrorCode_ = hr;
        }
    }
    if (scriptErrorCode_ < 0) {
        return Fail(ReportHeldScriptError());
    }
    if (FAILED(VariantCopy(vReturn, &result.Get()))) {
        return Fail(TraceInternalError());
    }
    TraceResult(vReturn);
    return S_OK;
}

void CTestScriptExecutive::TraceResult(const VARIANT* value) {
    BSTR text = VariantToTextBstr(value);
    TraceInfo(u"vReturn: '%s'", text ? text : u"");
    SysFreeString(text);
}

HRESULT CTestScriptExecutive::AddScript(BSTR bstrScriptText) {
    SetTraceMethodName(u"IScrivon::AddScript()");
    if (language_.empty()) {
        SetTraceSite();
        TraceError(u"The Script Language isn't provided.");
        return Fail(E_FAIL);
    }
    if (!engine_) {
        if (HRESULT hr = SetUpEngine(); FAILED(hr)) {
            return Fail(hr);
        }
    }
    scriptErrorCode_ = S_OK;
    const OLECHAR* text = bstrScriptText ? bstrScriptText : u"";
    HRESULT hr = parse_->ParseScriptText(text, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE, nullptr,
                                         nullptr);
    if (FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Parsing the '%s' script by '%s' Script Engine failed.", text, language_.c_str());
        if (scriptErrorCode_ < 0) {
            (void)ReportHeldScriptError();
        }
        return Fail(hr);
    }
    return S_OK;
}

HRESULT CTestScriptExecutive::IsMethodAvailable(BSTR bsMethod, VARIANT_BOOL* pvbMethodAvailable) {
    SetTraceMethodName(u"IScrivon::IsMethodAvailable()");
    if (!pvbMethodAvailable) {
        return E_POINTER;
    }
    *pvbMethodAvailable = VARIANT_FALSE;
    if (HRESULT hr = RequireEngine(); FAILED(hr)) {
        return Fail(hr);
    }
    vr::ComPtr<IDispatch> script;
    if (HRESULT hr = GetScriptDispatch(&script); FAILED(hr)) {
        return Fail(hr);
    }
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = bsMethod ? bsMethod : const_cast<LPOLESTR>(u"");
    HRESULT hr = script->GetIDsOfNames(IID_NULL, &name, 1, kSystemLocale, &id);
    *pvbMethodAvailable = SUCCEEDED(hr) && id != DISPID_UNKNOWN ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CTestScriptExecutive::GetProperty(BSTR bsProperty, VARIANT* pvValue) {
    SetTraceMethodName(u"IScrivon::GetProperty()");
    if (!pvValue) {
        return E_POINTER;
    }
    if (HRESULT hr = RequireEngine(); FAILED(hr)) {
        return Fail(hr);
    }
    vr::OwnedVariant value;
    if (SysStringLen(bsProperty) > 0) {
        vr::ComPtr<IDispatch> script;
        if (HRESULT hr = GetScriptDispatch(&script); FAILED(hr)) {
            return Fail(hr);
        }
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR name = bsProperty;
        HRESULT hr = script->GetIDsOfNames(IID_NULL, &name, 1, kSystemLocale, &id);
        if (SUCCEEDED(hr)) {
            DISPPARAMS none{};
            hr = script->Invoke(id, IID_NULL, kSystemLocale, DISPATCH_PROPERTYGET, &none, value.Put(),
                                nullptr, nullptr);
        }
        if (FAILED(hr)) {
            SetTraceSite();
            TraceError(u"Couldn't get '%s' property of '%s' Script Engine.", bsProperty, language_.c_str());
            return Fail(hr);
        }
    }
    if (FAILED(VariantCopy(pvValue, &value.Get()))) {
        return Fail(TraceInternalError());
    }
    TraceResult(pvValue);
    return S_OK;
}

} // namespace scripvane
