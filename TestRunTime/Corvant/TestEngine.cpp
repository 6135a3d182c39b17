// CTestEngine: the dispatch table, construction and release, the identity properties and the held objects.
#include "TestEngine.h"

#include "common/attrvalues/AttrCollHookup.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/resources/this_module.h"

namespace corvant {

std::u16string DisplayText(const VARIANT& value) {
    BSTR text = VariantToTextBstr(&value);
    std::u16string result(vr::BstrView(text));
    SysFreeString(text);
    return result;
}

const vr::DispatchTable<CTestEngine>& CTestEngine::GetDispatchTable() {
    using D = vr::DispatchTable<CTestEngine>;
    using vr::Param;
    static const D table(
        u"IVrTestEngine",
        {
            D::Method<&CTestEngine::Output>(1, u"Output", {u"bsText", Param(u"vTestStatus").Optional()}),
            D::PropGet<&CTestEngine::get_attributes>(2, u"attributes", {u"ppAttributes"}),
            D::Method<&CTestEngine::GetOutput>(3, u"GetOutput",
                                               {Param(u"pvTestStatus").Optional(), u"pbsText"}),
            D::Method<&CTestEngine::OutputLn>(4, u"OutputLn", {u"bsText", Param(u"vTestStatus").Optional()}),
            D::PropGet<&CTestEngine::get_spec>(5, u"spec", {u"bsSpecID", u"pvSpec"}),
            D::PropPut<&CTestEngine::put_spec>(5, u"spec", {u"bsSpecID", u"vSpec"}),
            D::Method<&CTestEngine::IsValid>(
                6, u"IsValid",
                {u"vValue", u"bsSpecID", Param(u"vDescription").Optional(), Param(u"pvbValid").As(VT_BOOL)}),
            D::Method<&CTestEngine::SaveResult>(
                7, u"SaveResult",
                {u"vValue", u"bsTestResultID", Param(u"vDescription").Optional(),
                 Param(u"vTestStatus").Optional(), Param(u"vSpecValue").Optional()}),
            D::Method<&CTestEngine::InitExecution>(8, u"InitExecution"),
            D::PropGet<&CTestEngine::get_PEC>(9, u"PEC", {u"pVal"}),
            D::PropPut<&CTestEngine::put_PEC>(9, u"PEC", {u"newVal"}),
            D::PropGet<&CTestEngine::get_Release>(10, u"Release", {u"pVal"}),
            D::PropPut<&CTestEngine::put_Release>(10, u"Release", {u"newVal"}),
            D::PropGet<&CTestEngine::get_SN>(11, u"SN", {u"pVal"}),
            D::PropPut<&CTestEngine::put_SN>(11, u"SN", {u"newVal"}),
            D::PropGet<&CTestEngine::get_TestID>(12, u"TestID", {u"pVal"}),
            D::PropPut<&CTestEngine::put_TestID>(12, u"TestID", {u"newVal"}),
            D::PropGet<&CTestEngine::get_TestPlanID>(13, u"TestPlanID", {u"pVal"}),
            D::PropPut<&CTestEngine::put_TestPlanID>(13, u"TestPlanID", {u"newVal"}),
            D::PropGet<&CTestEngine::get_TestPlanVariantID>(14, u"TestPlanVariantID", {u"pVal"}),
            D::PropPut<&CTestEngine::put_TestPlanVariantID>(14, u"TestPlanVariantID", {u"newVal"}),
            D::PropGet<&CTestEngine::get_TestExecSession>(15, u"TestExecSession", {u"pVal"}),
            D::PropPut<&CTestEngine::put_TestExecSession>(15, u"TestExecSession", {u"newVal"}),
            D::Method<&CTestEngine::SetNextTestExecSession>(16, u"SetNextTestExecSession"),
            D::Method<&CTestEngine::Delay>(17, u"Delay", {u"msec"}),
            D::Method<&CTestEngine::Stop>(18, u"Stop", {Param(u"vParam").Optional()}),
            D::PropGet<&CTestEngine::get_graph>(19, u"graph", {u"ppGraph"}),
            D::PropPut<&CTestEngine::put_graph>(19, u"graph", {u"pGraph"}),
            D::PropGet<&CTestEngine::get_csv>(20, u"csv", {u"ppCsv"}),
            D::Method<&CTestEngine::EndExecution>(21, u"EndExecution"),
            D::PropGet<&CTestEngine::get_option>(22, u"option", {u"bsName", u"pvValue"}),
            D::PropPut<&CTestEngine::put_option>(22, u"option", {u"bsName", u"vValue"}),
            D::Method<&CTestEngine::IsOptionEnabled>(23, u"IsOptionEnabled",
                                                     {u"bsName", Param(u"pvbVal").As(VT_BOOL)}),
            D::Method<&CTestEngine::SetOptions>(24, u"SetOptions", {u"bsOptions"}),
        });
    return table;
}

HRESULT CTestEngine::FinalConstruct() {
    SetTraceMethodName(u"CTestEngine::FinalConstruct()");
    TraceFunction(u"CTestEngine::FinalConstruct()", 1);
    for (BSTR* property :
         {&pec_, &release_, &sn_, &testId_, &testPlanId_, &testPlanVariantId_, &testExecSession_}) {
        *property = vr::AllocBstr(u"");
    }
    if (HRESULT hr = CreateHelpers(); FAILED(hr)) {
        return Finish(hr);
    }
    return InitExecution();
}

HRESULT CTestEngine::CreateHelpers() {
    BSTR path = vr::AllocBstr(vr::ThisModuleResUrl(u"Attributes.xml"));
    BSTR empty = vr::AllocBstr(u"");
    BSTR scope = vr::AllocBstr(u"TestEngine");
    HRESULT hr = CreateAttributeCollection(path, empty, scope, attributes_.Put(), nullptr,
                                           vr::MissingArgument(), nullptr, nullptr, nullptr, empty);
    SysFreeString(path);
    SysFreeString(empty);
    SysFreeString(scope);
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't load VrAttributeCollection.");
        return hr;
    }
    hr = CoCreateInstance(CLSID_SpecValidator, nullptr, CLSCTX_ALL, IID_IVrSpecValidator,
                          validator_.PutVoid());
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't instantiate SpecValidator object.");
        return hr;
    }
    hr = CoCreateInstance(CLSID_CsvFile, nullptr, CLSCTX_ALL, IID_IVrCsvFile, csv_.PutVoid());
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't instantiate CsvFile object.");
        return hr;
    }
    return S_OK;
}

void CTestEngine::FinalRelease() {
    SetTraceMethodName(u"CTestEngine::FinalRelease()");
    (void)EndExecution();
    attributes_ = nullptr;
    validator_ = nullptr;
    csv_ = nullptr;
    database_.reset();
    graph_ = nullptr;
    graphHost_ = nullptr;
    TraceFunction(u"CTestEngine::FinalConstruct()", -1);
}

// The properties are freed here rather than in FinalRelease: an engine whose FinalConstruct failed is
// destroyed without FinalRelease.
CTestEngine::~CTestEngine() {
    for (BSTR property : {pec_, release_, sn_, testId_, testPlanId_, testPlanVariantId_, testExecSession_}) {
        SysFreeString(property);
    }
}

HRESULT CTestEngine::Finish(HRESULT hr) {
    return FAILED(hr) ? FailWithErrorInfo(CLSID_TestEngine, hr) : hr;
}

HRESULT CTestEngine::CheckInterruption() {
    if (!interrupted_.load(std::memory_order_acquire)) {
        return S_OK;
    }
    SetTraceSite();
    TraceError(u"Test '%s' is interrupted by the User.", testId_ ? testId_ : u"");
    return E_FAIL;
}

HRESULT CTestEngine::GetProperty(const char16_t* method, BSTR member, BSTR* pVal) {
    SetTraceMethodName(method);
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!pVal) {
        return E_POINTER;
    }
    *pVal = nullptr;
    if (member && !(*pVal = SysAllocStringLen(member, SysStringLen(member)))) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CTestEngine::PutProperty(const char16_t* method, BSTR* member, BSTR newVal) {
    SetTraceMethodName(method);
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    BSTR copy = nullptr;
    if (newVal && !(copy = SysAllocStringLen(newVal, SysStringLen(newVal)))) {
        return E_OUTOFMEMORY;
    }
    SysFreeString(*member);
    *member = copy;
    return S_OK;
}

// The get and put members of a text property kept in member, traced under their own names.
#define CORVANT_TEXT_PROPERTY(Name, member)                                                                  \
    HRESULT CTestEngine::get_##Name(BSTR* pVal) {                                                            \
        return GetProperty(u"CTestEngine::get_" #Name "()", member, pVal);                                   \
    }                                                                                                        \
    HRESULT CTestEngine::put_##Name(BSTR newVal) {                                                           \
        return PutProperty(u"CTestEngine::put_" #Name "()", &member, newVal);                                \
    }

CORVANT_TEXT_PROPERTY(PEC, pec_)
CORVANT_TEXT_PROPERTY(Release, release_)
CORVANT_TEXT_PROPERTY(SN, sn_)
CORVANT_TEXT_PROPERTY(TestID, testId_)
CORVANT_TEXT_PROPERTY(TestPlanID, testPlanId_)
CORVANT_TEXT_PROPERTY(TestPlanVariantID, testPlanVariantId_)
CORVANT_TEXT_PROPERTY(TestExecSession, testExecSession_)

#undef CORVANT_TEXT_PROPERTY

HRESULT CTestEngine::get_attributes(IDispatch** ppAttributes) {
    SetTraceMethodName(u"CTestEngine::get_attributes()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!ppAttributes) {
        return E_POINTER;
    }
    *ppAttributes = nullptr;
    return attributes_ ? attributes_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppAttributes))
                       : E_POINTER;
}

HRESULT CTestEngine::get_csv(IDispatch** ppCsv) {
    SetTraceMethodName(u"CTestEngine::get_csv()");
    if (HRESULT hr = CheckInterruption(); FAILED(hr)) {
        return Finish(hr);
    }
    if (!ppCsv) {
        return E_POINTER;
    }
    *ppCsv = nullptr;
    return csv_ ? csv_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppCsv)) : E_POINTER;
}

} // namespace corvant
