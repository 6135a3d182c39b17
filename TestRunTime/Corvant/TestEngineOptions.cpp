// CTestEngine: named specifications and options (names compare without regard to case), and Stop.
#include "TestEngine.h"

#include "common/ParamParser.h"
#include "common/Trace.h"
#include "platform/base/text.h"

#include <array>

namespace corvant {

namespace {

std::u16string KeyOf(BSTR name) {
    return vr::ToUpper(vr::BstrView(name));
}

// The value's text, or nothing when it has none.
bool ValueText(const VARIANT& value, std::u16string* text) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_BSTR))) {
        return false;
    }
    *text = std::u16string(vr::BstrView(converted.bstrVal));
    (void)VariantClear(&converted);
    return true;
}

bool IsEnablingWord(std::u16string_view text) {
    constexpr std::array<std::u16string_view, 4> kWords = {u"true", u"yes", u"enable", u"enabled"};
    for (std::u16string_view word : kWords) {
        if (vr::EqualsNoCase(text, word)) {
            return true;
        }
    }
    return false;
}

bool IsNonZeroNumber(const VARIANT& value) {
    VARIANT number;
    VariantInit(&number);
    return SUCCEEDED(VariantChangeType(&number, &value, 0, VT_I4)) && number.lVal != 0;
}

} // namespace

// A copy that cannot be made is kept as the failure code, so the name still reads back.
void CTestEngine::StoreCopy(ValueMap& map, BSTR key, const VARIANT& value) {
    VARIANT copy;
    VariantInit(&copy);
    if (HRESULT hr = VariantCopyInd(&copy, &value); FAILED(hr)) {
        VariantInit(&copy);
        copy.vt = VT_ERROR;
        copy.scode = hr;
    }
    _variant_t& stored = map[KeyOf(key)];
    stored.Attach(copy);
}

HRESULT CTestEngine::put_spec(BSTR bsSpecID, VARIANT vSpec) {
    SetTraceMethodName(u"CTestEngine::put_spec()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    StoreCopy(specs_, bsSpecID, vSpec);
    return S_OK;
}

HRESULT CTestEngine::get_spec(BSTR bsSpecID, VARIANT* pvSpec) {
    SetTraceMethodName(u"CTestEngine::get_spec()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!pvSpec) {
        return E_POINTER;
    }
    auto found = specs_.find(KeyOf(bsSpecID));
    if (found == specs_.end()) {
        SetTraceSite();
        TraceError(u"Couldn't find Spec '%s'.", bsSpecID ? bsSpecID : u"");
        return Finish(E_INVALIDARG);
    }
    VariantInit(pvSpec);
    return Finish(VariantCopy(pvSpec, &found->second));
}

HRESULT CTestEngine::put_option(BSTR bsName, VARIANT vValue) {
    SetTraceMethodName(u"CTestEngine::put_option()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    TraceInfo(u"Set Option '%s' = '%s'.", bsName ? bsName : u"", DisplayText(vValue).c_str());
    StoreCopy(options_, bsName, vValue);
    return S_OK;
}

HRESULT CTestEngine::get_option(BSTR bsName, VARIANT* pvValue) {
    SetTraceMethodName(u"CTestEngine::get_option()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!pvValue) {
        return E_POINTER;
    }
    VariantInit(pvValue);
    auto found = options_.find(KeyOf(bsName));
    if (found == options_.end()) {
        TraceInfo(u"WARNING: Couldn't find Option '%s'.", bsName ? bsName : u"");
        return S_OK;
    }
    if (HRESULT hr = VariantCopy(pvValue, &found->second); FAILED(hr)) {
        return Finish(hr);
    }
    TraceInfo(u"Get Option '%s' = '%s'.", bsName ? bsName : u"", DisplayText(*pvValue).c_str());
    return S_OK;
}

HRESULT CTestEngine::PutOptionText(const OLECHAR* name, const OLECHAR* text) {
    BSTR nameText = vr::AllocBstr(vr::U16View(name));
    _variant_t value(text);
    HRESULT hr = put_option(nameText, value);
    SysFreeString(nameText);
    return hr;
}

HRESULT CTestEngine::IsOptionEnabled(BSTR bsName, VARIANT_BOOL* pvbVal) {
    SetTraceMethodName(u"CTestEngine::IsOptionEnabled()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!pvbVal) {
        SetTraceSite();
        TraceError(u"Invalid entry pvbVal = 0.");
        return Finish(E_POINTER);
    }
    _variant_t value;
    if (HRESULT hr = get_option(bsName, &value); FAILED(hr)) {
        return hr;
    }
    bool enabled = false;
    std::u16string text;
    if (value.vt != VT_EMPTY && value.vt != VT_ERROR) {
        enabled = (ValueText(value, &text) && IsEnablingWord(text)) || IsNonZeroNumber(value);
    }
    *pvbVal = enabled ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CTestEngine::SetOptions(BSTR bsOptions) {
    SetTraceMethodName(u"CTestEngine::SetOptions()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    const int count = ParamCount(bsOptions);
    for (int i = 0; i < count; ++i) {
        BSTR name = nullptr;
        BSTR value = nullptr;
        HRESULT hr = S_OK;
        if (GetParamAt(&name, &value, bsOptions, i)) {
            hr = PutOptionText(name, value ? value : u"");
        }
        SysFreeString(name);
        SysFreeString(value);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

// Called from the window thread through the marshalled interface while a script runs: the script's next
// engine call (or its Delay) then fails.
HRESULT CTestEngine::Stop(VARIANT vParam) {
    std::u16string text;
    if (!vr::IsMissingArgument(vParam) && !ValueText(vParam, &text)) {
        text.clear(); // a parameter without text interrupts, as an empty one does
    }
    if (vr::EqualsNoCase(text, u"continue")) {
        interrupted_.store(false, std::memory_order_release);
        return S_OK;
    }
    if (vr::EqualsNoCase(text, u"loop")) {
        return PutOptionText(u"StopLoop", u"true");
    }
    if (vr::EqualsNoCase(text, u"exit")) {
        return PutOptionText(u"StopExit", u"true");
    }
    interrupted_.store(true, std::memory_order_release);
    return S_OK;
}

} // namespace corvant
