// CTestEngine: named specifications and options (names compare without regard to case), and Stop.
#include "TestEngine.h"

#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "common/worker/StopWords.h"
#include "platform/base/text.h"

#include <array>

namespace corvant {

namespace {

std::u16string KeyOf(std::u16string_view name) {
    return vr::ToUpper(name);
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
void CTestEngine::StoreCopy(ValueMap& map, std::u16string_view key, const VARIANT& value) {
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
    StoreCopy(specs_, vr::BstrView(bsSpecID), vSpec);
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
    auto found = specs_.find(KeyOf(vr::BstrView(bsSpecID)));
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
    ApplyRequestedStops(); // first, so that a value put now is not overwritten by an older request
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    TraceInfo(u"Set Option '%s' = '%s'.", bsName ? bsName : u"", DisplayText(vValue).c_str());
    StoreCopy(options_, vr::BstrView(bsName), vValue);
    return S_OK;
}

HRESULT CTestEngine::get_option(BSTR bsName, VARIANT* pvValue) {
    SetTraceMethodName(u"CTestEngine::get_option()");
    ApplyRequestedStops();
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!pvValue) {
        return E_POINTER;
    }
    VariantInit(pvValue);
    auto found = options_.find(KeyOf(vr::BstrView(bsName)));
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

void CTestEngine::StoreOptionText(std::u16string_view name, const OLECHAR* text) {
    _variant_t value(text);
    TraceInfo(u"Set Option '%s' = '%s'.", std::u16string(name).c_str(), text);
    StoreCopy(options_, name, value);
}

void CTestEngine::ApplyRequestedStops() {
    if (stopLoopRequested_.exchange(false, std::memory_order_acq_rel)) {
        StoreOptionText(u"StopLoop", u"true");
    }
    if (stopExitRequested_.exchange(false, std::memory_order_acq_rel)) {
        StoreOptionText(u"StopExit", u"true");
    }
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

// Called from the window thread through the marshalled interface, which waits until this thread serves
// calls; RequestStop is the way that does not wait.
HRESULT CTestEngine::Stop(VARIANT vParam) {
    std::u16string text;
    if (!vr::IsMissingArgument(vParam) && !ValueText(vParam, &text)) {
        text.clear(); // a parameter without text interrupts, as an empty one does
    }
    switch (vrcommon::StopWordOf(text)) {
    case vrcommon::StopWord::Continue:
        interrupted_.store(false, std::memory_order_release);
        return S_OK;
    case vrcommon::StopWord::Loop:
        return PutOptionText(u"StopLoop", u"true");
    case vrcommon::StopWord::Exit:
        return PutOptionText(u"StopExit", u"true");
    case vrcommon::StopWord::Interrupt:
        break;
    }
    interrupted_.store(true, std::memory_order_release);
    return S_OK;
}

// Nothing here may use the trace's per-method state or the option map: this runs on any thread.
HRESULT CTestEngine::RequestStop(BSTR words) {
    switch (vrcommon::StopWordOf(vr::BstrView(words))) {
    case vrcommon::StopWord::Continue:
        interrupted_.store(false, std::memory_order_release);
        break;
    case vrcommon::StopWord::Loop:
        stopLoopRequested_.store(true, std::memory_order_release);
        break;
    case vrcommon::StopWord::Exit:
        stopExitRequested_.store(true, std::memory_order_release);
        break;
    case vrcommon::StopWord::Interrupt:
        interrupted_.store(true, std::memory_order_release);
        break;
    }
    return S_OK;
}

} // namespace corvant
