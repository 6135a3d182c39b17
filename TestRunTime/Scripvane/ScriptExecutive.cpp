// CTestScriptExecutive: the dispatch table, construction and release, the test engine, the language and the
// life of the script engine.
#include "ScriptExecutive.h"

#include "common/trace/Trace.h"
#include "platform/com/activation.h"

namespace scripvane {

const vr::DispatchTable<CTestScriptExecutive>& CTestScriptExecutive::GetDispatchTable() {
    using D = vr::DispatchTable<CTestScriptExecutive>;
    using C = CTestScriptExecutive;
    static const D table(
        u"IScrivon",
        {
            D::Method<&C::Execute>(1, u"Execute", {u"bsMethod", u"vReturn"}),
            D::Method<&C::Close>(2, u"Close"),
            D::PropGet<&C::get_ScriptLanguage>(3, u"ScriptLanguage", {u"pVal"}),
            D::PropPut<&C::put_ScriptLanguage>(3, u"ScriptLanguage", {u"newVal"}),
            D::Method<&C::AddScript>(4, u"AddScript", {u"bstrScriptText"}),
            D::PropGet<&C::get_ScriptLanguages>(5, u"ScriptLanguages", {u"pVal"}),
            D::Method<&C::ClearScript>(6, u"ClearScript"),
            D::Method<&C::ClearAll>(7, u"ClearAll"),
            D::Method<&C::Init>(8, u"Init", {u"pTestEngine"}),
            D::Method<&C::IsMethodAvailable>(9, u"IsMethodAvailable",
                                             {u"bsMethod", vr::Param(u"pvbMethodAvailable").As(VT_BOOL)}),
            D::Method<&C::Evaluate>(10, u"Evaluate", {u"bsScriptExpression", u"vReturn"}),
            D::PropGet<&C::get_ScriptEngine>(11, u"ScriptEngine", {u"ppEngine"}),
            D::Method<&C::GetProperty>(12, u"GetProperty", {u"bsProperty", u"pvValue"}),
        });
    return table;
}

HRESULT CTestScriptExecutive::FinalConstruct() {
    SetTraceMethodName(u"CTestScriptExecutive::FinalConstruct()");
    TraceFunction(u"CTestScriptExecutive::FinalConstruct()", 1);
    if (HRESULT hr = vr::ComObject<ScriptSite>::Create(&site_); FAILED(hr)) {
        return TraceInternalError();
    }
    site_->Attach(this);
    HRESULT hr =
        CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_ALL, vr::uuidof<IVrRigmont>(), hardware_.PutVoid());
    if (FAILED(hr) || !hardware_) {
        SetTraceSite();
        TraceError(u"Couldn't instantiate the Hardware Manager.");
        return Fail(E_FAIL);
    }
    return S_OK;
}

// The engine is released without its Close; the site stays with it, detached.
void CTestScriptExecutive::FinalRelease() {
    if (site_) {
        site_->Attach(nullptr);
    }
    parse_ = nullptr;
    engine_ = nullptr;
    connections_.clear();
    sockets_.clear();
    hardware_ = nullptr;
    site_ = nullptr;
    TraceFunction(u"CTestScriptExecutive::FinalConstruct()", -1);
}

HRESULT CTestScriptExecutive::Fail(HRESULT hr) {
    return FailWithErrorInfo(CLSID_TestScriptExecutive, hr);
}

HRESULT CTestScriptExecutive::Init(IUnknown* pTestEngine) {
    SetTraceMethodName(u"IScrivon::Init()");
    testEngine_ = nullptr;
    vr::ComPtr<IVrTestEngine> engine;
    if (!pTestEngine || FAILED(pTestEngine->QueryInterface(engine.Put())) || !engine) {
        SetTraceSite();
        TraceError(u"Wrong TestEngine object.");
        return Fail(E_FAIL);
    }
    // Kept without a reference: the worker owns the engine for the executive's whole use.
    testEngine_ = engine.Get();
    return S_OK;
}

HRESULT CTestScriptExecutive::get_ScriptLanguage(BSTR* pVal) {
    if (!pVal) {
        return E_POINTER;
    }
    *pVal = language_.empty() ? nullptr : vr::AllocBstr(language_);
    return S_OK;
}

HRESULT CTestScriptExecutive::put_ScriptLanguage(BSTR newVal) {
    SetTraceMethodName(u"IScrivon::put_ScriptLanguage()");
    std::u16string language(vr::BstrView(newVal));
    if (language == language_) {
        return S_OK;
    }
    language_ = language;
    if (HRESULT hr = SetUpEngine(); FAILED(hr)) {
        return Fail(hr);
    }
    return Fail(InitEngineExecution());
}

// The test engine's InitExecution; a missing engine (no Init yet) is reported rather than called.
HRESULT CTestScriptExecutive::InitEngineExecution() {
    if (!testEngine_) {
        SetTraceSite();
        TraceError(u"Couldn't find TestEngine Object.");
        return E_FAIL;
    }
    HRESULT hr = testEngine_->InitExecution();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CTestScriptExecutive::SetUpEngine() {
    if (HRESULT hr = CloseEngine(); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = CreateEngine(); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = AddNamedItems(u"connection"); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = AddNamedItems(u"socket"); FAILED(hr)) {
        return hr;
    }
    (void)engine_->AddNamedItem(u"engine", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
    return S_OK;
}

HRESULT CTestScriptExecutive::CreateEngine() {
    CLSID clsid{};
    vr::ComPtr<IActiveScript> engine;
    HRESULT hr = CLSIDFromProgID(language_.c_str(), &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, vr::uuidof<IActiveScript>(), engine.PutVoid());
    }
    if (FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Couldn't create an instance of the '%s' Script Engine.", language_.c_str());
        return hr;
    }
    vr::ComPtr<IActiveScriptParse> parse;
    if (FAILED(engine->QueryInterface(parse.Put()))) {
        SetTraceSite();
        TraceError(u"The '%s' Script Engine doesn't support IActiveScriptParse interface.",
                   language_.c_str());
        return E_FAIL;
    }
    if (FAILED(engine->SetScriptSite(site_.Get()))) {
        SetTraceSite();
        TraceError(u"The '%s' Script Engine doesn't accept IActiveScriptSite.", language_.c_str());
        return E_FAIL;
    }
    if (FAILED(parse->InitNew())) {
        SetTraceSite();
        TraceError(u"The '%s' Script Engine initialization error.", language_.c_str());
        (void)engine->Close();
        return E_FAIL;
    }
    engine_ = engine;
    parse_ = parse;
    return S_OK;
}

HRESULT CTestScriptExecutive::Close() {
    SetTraceMethodName(u"IScrivon::Close()");
    return Fail(CloseEngine());
}

HRESULT CTestScriptExecutive::CloseEngine() {
    parse_ = nullptr;
    if (!engine_) {
        return S_OK;
    }
    if (HRESULT hr = engine_->Close(); FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Attempt to Close the '%s' Script Engine failed.", language_.c_str());
        return hr;
    }
    engine_ = nullptr;
    return S_OK;
}

HRESULT CTestScriptExecutive::ClearScript() {
    if (HRESULT hr = CloseEngine(); FAILED(hr)) {
        return Fail(hr);
    }
    return Fail(InitEngineExecution());
}

HRESULT CTestScriptExecutive::ClearAll() {
    connections_.clear();
    sockets_.clear();
    language_.clear();
    return ClearScript();
}

HRESULT CTestScriptExecutive::get_ScriptEngine(IUnknown** ppEngine) {
    if (!ppEngine) {
        return E_POINTER;
    }
    *ppEngine = nullptr;
    if (!engine_) {
        return S_OK;
    }
    HRESULT hr = engine_->QueryInterface(vr::uuidof<IActiveScript>(), reinterpret_cast<void**>(ppEngine));
    if (FAILED(hr)) {
        (void)TraceInternalError();
        return Fail(hr);
    }
    return S_OK;
}

} // namespace scripvane
