// CTestEngine: the output queue that the executive program drains line by line.
#include "TestEngine.h"

#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/waithandle.h"

namespace corvant {

namespace {

// The status argument as a number: missing is 0, a reference is followed, anything else changes to VT_I4.
HRESULT StatusNumber(const VARIANT& status, int32_t* number) {
    if (vr::IsMissingArgument(status)) {
        *number = TestStatusUnknown;
        return S_OK;
    }
    VARIANT plain;
    VariantInit(&plain);
    HRESULT hr = VariantCopyInd(&plain, &status);
    VARIANT converted;
    VariantInit(&converted);
    if (SUCCEEDED(hr)) {
        hr = VariantChangeType(&converted, &plain, 0, VT_I4);
    }
    if (SUCCEEDED(hr)) {
        *number = converted.lVal;
    }
    (void)VariantClear(&plain);
    (void)VariantClear(&converted);
    return hr;
}

} // namespace

HRESULT CTestEngine::Output(BSTR bsText, VARIANT vTestStatus) {
    SetTraceMethodName(u"CTestEngine::Output()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    int32_t status = TestStatusUnknown;
    if (FAILED(StatusNumber(vTestStatus, &status))) {
        SetTraceSite();
        TraceError(u"Wrong vTestStatus value '%s'.", DisplayText(vTestStatus).c_str());
        return Finish(E_INVALIDARG);
    }
    std::lock_guard lock(outputMutex_);
    output_.push_back(OutputEntry{std::u16string(vr::BstrView(bsText)), status});
    if (outputSignal_) {
        (void)SetEvent(outputSignal_); // it fails only for what is no event, which the reader would not see
    }
    return S_OK;
}

HRESULT CTestEngine::OutputLn(BSTR bsText, VARIANT vTestStatus) {
    BSTR line = vr::AllocBstr(std::u16string(vr::BstrView(bsText)) + u"\n");
    HRESULT hr = Output(line, vTestStatus);
    SysFreeString(line);
    return hr;
}

// A line that cannot be copied stays queued.
HRESULT CTestEngine::TakeOutputLine(int32_t* status, BSTR* text) {
    std::lock_guard lock(outputMutex_);
    if (output_.empty()) {
        return S_FALSE;
    }
    BSTR copy = vr::AllocBstr(output_.front().text);
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    *text = copy;
    *status = output_.front().status;
    output_.pop_front();
    return S_OK;
}

HRESULT CTestEngine::GetOutput(VARIANT* pvTestStatus, BSTR* pbsText) {
    SetTraceMethodName(u"CTestEngine::GetOutput()");
    if (!pbsText) {
        return E_POINTER;
    }
    int32_t status = TestStatusUnknown;
    HRESULT hr = TakeOutputLine(&status, pbsText);
    if (hr == S_OK && pvTestStatus) {
        // Freed first, as the dispatch table hands the caller's current value in.
        (void)VariantClear(pvTestStatus);
        pvTestStatus->vt = VT_I4;
        pvTestStatus->lVal = status;
    }
    return hr;
}

// Any thread: no trace state is touched.
HRESULT CTestEngine::TakeOutput(LONG* status, BSTR* text) {
    if (!text) {
        return E_POINTER;
    }
    int32_t lineStatus = TestStatusUnknown;
    HRESULT hr = TakeOutputLine(&lineStatus, text);
    if (hr == S_OK && status) {
        *status = lineStatus;
    }
    return hr;
}

// Any thread.
HRESULT CTestEngine::SetOutputSignal(HANDLE event) {
    std::lock_guard lock(outputMutex_);
    outputSignal_ = event;
    return S_OK;
}

} // namespace corvant
