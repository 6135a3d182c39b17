// CTestEngine: starting and ending an execution, value checks, result rows and execution sessions.
#include "TestEngine.h"

#include "common/config/VrConfigData.h"
#include "common/results/ResultsTable.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace corvant {

HRESULT CTestEngine::InitExecution() {
    SetTraceMethodName(u"CTestEngine::InitExecution()");
    interrupted_.store(false, std::memory_order_release);
    specs_.clear();
    {
        std::lock_guard lock(outputMutex_);
        output_.clear();
    }
    for (const OLECHAR* name : {u"StopLoop", u"StopExit", u"EngineOutput", u"StopNotValid"}) {
        if (HRESULT hr = PutOptionText(name, u"false"); FAILED(hr)) {
            return hr;
        }
    }
    SetTraceMethodName(u"CTestEngine::InitExecution()");
    return Finish(OpenConfiguredDatabase());
}

// The database is opened once per engine: a failed open keeps its object, and later executions run on it
// (its statements then fail) rather than trying again.
HRESULT CTestEngine::OpenConfiguredDatabase() {
    if (database_) {
        return S_OK;
    }
    BSTR dsn = nullptr;
    CVrConfigData config;
    (void)config.GetItem("DSN", &dsn, false);
    HRESULT hr = S_OK;
    if (SysStringLen(dsn) > 0) {
        database_ = std::make_unique<CADO>();
        hr = OpenResultsDatabase(*database_, dsn);
    }
    SysFreeString(dsn);
    return hr;
}

HRESULT CTestEngine::EndExecution() {
    SetTraceMethodName(u"CTestEngine::EndExecution()");
    if (csv_) {
        (void)csv_->Close(); // a failed save is the CSV file's to report; the execution ends all the same
    }
    return S_OK;
}

HRESULT CTestEngine::SaveResult(VARIANT vValue, BSTR bsTestResultID, VARIANT vDescription,
                                VARIANT vTestStatus, VARIANT vSpecValue) {
    SetTraceMethodName(u"CTestEngine::SaveResult()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    TestResultOwner owner{.testId = testId_,
                          .sn = sn_,
                          .testPlanId = testPlanId_,
                          .testPlanVariantId = testPlanVariantId_,
                          .execSession = testExecSession_};
    return Finish(SaveTestResult(database_.get(), owner, vValue, bsTestResultID, vDescription, vTestStatus,
                                 vSpecValue));
}

HRESULT CTestEngine::SetNextTestExecSession() {
    SetTraceMethodName(u"CTestEngine::SetNextTestExecSession()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    std::u16string session;
    if (HRESULT hr = NextTestExecSession(database_.get(), testId_, &session); FAILED(hr)) {
        return Finish(hr);
    }
    BSTR text = vr::AllocBstr(session);
    HRESULT hr = put_TestExecSession(text);
    SysFreeString(text);
    return hr;
}

HRESULT CTestEngine::IsValid(VARIANT vValue, BSTR bsSpecID, VARIANT vDescription, VARIANT_BOOL* pvbValid) {
    SetTraceMethodName(u"CTestEngine::IsValid()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    _variant_t description(u"");
    if (!vr::IsMissingArgument(vDescription)) {
        if (HRESULT hr = VariantChangeType(&description, &vDescription, 0, VT_BSTR); FAILED(hr)) {
            SetTraceSite();
            TraceHResultError(hr, u"Vornic Error: A%d (%hs)", __LINE__, SourceFileName(__FILE__));
            return Finish(hr);
        }
    }
    _variant_t spec;
    if (HRESULT hr = get_spec(bsSpecID, &spec); FAILED(hr)) {
        return hr;
    }
    SetTraceMethodName(u"CTestEngine::IsValid()");
    if (HRESULT hr =
            validator_->IsValid(vValue, spec, vr::MissingArgument(), vr::MissingArgument(), pvbValid);
        FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Vornic Error: A%d (%hs)", __LINE__, SourceFileName(__FILE__));
        return Finish(hr);
    }
    VerdictArguments verdict{.value = vValue,
                             .specId = bsSpecID,
                             .description = vDescription,
                             .descriptionText = description.bstrVal,
                             .spec = spec,
                             .valid = *pvbValid != VARIANT_FALSE};
    return ReportVerdict(verdict);
}

// Stores the verdict as a result row under the specification's id, then puts its line into the output queue
// when EngineOutput is enabled, else into the trace.
HRESULT CTestEngine::ReportVerdict(const VerdictArguments& verdict) {
    VARIANT_BOOL engineOutput = VARIANT_FALSE;
    BSTR optionName = vr::AllocBstr(u"EngineOutput");
    HRESULT hr = IsOptionEnabled(optionName, &engineOutput);
    SysFreeString(optionName);
    if (FAILED(hr)) {
        return hr;
    }
    _variant_t status(static_cast<LONG>(verdict.valid ? TestStatusPassed : TestStatusFailed));
    hr = SaveResult(verdict.value, verdict.specId, verdict.description, status, verdict.spec);
    if (FAILED(hr)) {
        return hr;
    }
    SetTraceMethodName(u"CTestEngine::IsValid()");
    BSTR line =
        FormatBstr(verdict.valid ? u"%s: '%s' is valid for '%s'.\n" : u"%s: '%s' is NOT valid for '%s'.\n",
                   verdict.descriptionText ? verdict.descriptionText : u"",
                   DisplayText(verdict.value).c_str(), DisplayText(verdict.spec).c_str());
    if (engineOutput != VARIANT_FALSE) {
        hr = Output(line, status);
    } else {
        TraceInfo(u"%s", line ? line : u"");
    }
    SysFreeString(line);
    return hr;
}

} // namespace corvant
