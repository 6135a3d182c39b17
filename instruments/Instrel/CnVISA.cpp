// CCnVISA: the dispatch table, construction and release, and the members that need no I/O.
#include "CnVISA.h"

#include "Report.h"
#include "common/attrvalues/AttrCollHookup.h"
#include "common/config/VrConfigData.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/resources/this_module.h"
#include "platform/visa/visa_status.h"

namespace instrel {

namespace {

VARIANT HiddenVisibility() {
    VARIANT hidden;
    VariantInit(&hidden);
    hidden.vt = VT_I4;
    hidden.lVal = 0;
    return hidden;
}

// The names of a one-dimensional VT_BSTR array as a VARIANT holding an array of VT_VARIANT (lower bound 0).
HRESULT NamesToVariantArray(SAFEARRAY* names, VARIANT* out) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(names, 1, &lower)) || FAILED(SafeArrayGetUBound(names, 1, &upper))) {
        return E_FAIL;
    }
    SAFEARRAY* result = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(upper - lower + 1));
    if (!result) {
        return E_OUTOFMEMORY;
    }
    for (LONG i = lower; i <= upper; ++i) {
        OwnedBstr name;
        _variant_t element;
        if (FAILED(SafeArrayGetElement(names, &i, name.Put()))) {
            (void)SafeArrayDestroy(result);
            return E_FAIL;
        }
        element.vt = VT_BSTR;
        element.bstrVal = name.Detach();
        LONG index = i - lower;
        if (FAILED(SafeArrayPutElement(result, &index, &element))) {
            (void)SafeArrayDestroy(result);
            return E_FAIL;
        }
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = result;
    return S_OK;
}

} // namespace

const vr::DispatchTable<CCnVISA>& CCnVISA::GetDispatchTable() {
    using D = vr::DispatchTable<CCnVISA>;
    using vr::Param;
    static const D table(
        u"ICnVISA",
        {
            D::Method<&CCnVISA::FindResources>(0x60020000, u"FindResources",
                                               {u"bstrExpression", u"pvResources"}),
            D::Method<&CCnVISA::Init>(0x60020001, u"Init",
                                      {u"bsResource", Param(u"bsOptionString").Optional(u""),
                                       Param(u"lInitTimeout").Optional(LONG{5000}),
                                       Param(u"mode").Optional(LONG{_NO_LOCK})}),
            D::Method<&CCnVISA::Close>(0x60020002, u"Close"),
            D::Method<&CCnVISA::LockRsrc>(0x60020003, u"LockRsrc",
                                          {Param(u"mode").Optional(LONG{_EXCLUSIVE_LOCK}),
                                           Param(u"lLockTimeout").Optional(LONG{5000}),
                                           Param(u"bsRequestedKey").Optional(u""), u"pbsAccessKey"}),
            D::Method<&CCnVISA::UnlockRsrc>(0x60020004, u"UnlockRsrc"),
            D::Method<&CCnVISA::Clear>(0x60020005, u"Clear"),
            D::Method<&CCnVISA::ReadString>(0x60020006, u"ReadString",
                                            {Param(u"bsTerm").Optional(u""),
                                             Param(u"lTimeout").Optional(LONG{-1}),
                                             Param(u"lCount").Optional(LONG{-1}), u"pbsData"}),
            D::Method<&CCnVISA::WriteString>(0x60020007, u"WriteString", {u"bsData", u"plRetCount"}),
            D::Method<&CCnVISA::Write>(0x60020008, u"Write",
                                       {u"vData", Param(u"vlCount").Optional(), u"plRetCount"}),
            D::Method<&CCnVISA::Handle>(
                0x60020009, u"Handle",
                {u"bsResource", Param(u"bsOptionString").Optional(u""), Param(u"pbIsHandled").As(VT_BOOL)}),
            D::PropGet<&CCnVISA::get_LastReadStatus>(0x6002000A, u"LastReadStatus", {u"pStatus"}),
            D::PropGet<&CCnVISA::get_Attributes>(0x6002000B, u"Attributes", {u"ppAttributes"}),
        });
    return table;
}

HRESULT CCnVISA::FinalConstruct() {
    SetTraceMethodName(u"CCnVISA::FinalConstruct()");
    TraceFunction(u"CCnVISA::FinalConstruct()", 1);
    schemaPath_ = vr::ThisModuleResUrl(u"Attributes.xml");
    CVrConfigData config;
    if (!config.GetItem("VISAResourceManagerProgID", &managerProgId_, false)) {
        managerProgId_ = vr::AllocBstr(kVisaResourceManagerIndependentProgId);
    }
    HRESULT hr =
        CoCreateInstance(CLSID_LogFile, nullptr, CLSCTX_INPROC_SERVER, IID_IVrLogFile, logFile_.PutVoid());
    if (FAILED(hr)) {
        Report(hr, u"Couldn't create instance of the IVrLogFile provider.");
        return FailWithErrorInfo(CLSID_CnVISA, hr);
    }
    vr::ComPtr<IVrAttributeCollection> logAttributes;
    if (hr = logFile_->get_Attributes(logAttributes.Put()); FAILED(hr)) {
        Report(hr, u"Couldn't load VrAttributeCollection.");
        return FailWithErrorInfo(CLSID_CnVISA, hr);
    }
    OwnedBstr path(schemaPath_);
    OwnedBstr xpath(u"/attributes/connection");
    OwnedBstr scope(u"Connection");
    OwnedBstr settings(u"");
    hr = CreateAttributeCollection(path.Get(), xpath.Get(), scope.Get(), connection_.Put(),
                                   logAttributes.Get(), HiddenVisibility(), this, nullptr, nullptr,
                                   settings.Get(),
                                   {{u"CONNECTION:SIMULATION", LinkToText(&simulationSetting_)},
                                    {u"CONNECTION:SIMULATIONFILERECORDID", LinkToText(&recordId_)},
                                    {u"CONNECTION:IOPROTOCOL", LinkToText(&ioProtocol_)},
                                    {u"CONNECTION:ENDCHARSTOSEND", LinkToText(&endChars_)},
                                    {nullptr, {}}});
    if (FAILED(hr)) {
        Report(hr, u"Couldn't load VrAttributeCollection.");
        return FailWithErrorInfo(CLSID_CnVISA, hr);
    }
    return S_OK;
}

void CCnVISA::FinalRelease() {
    SetTraceMethodName(u"CCnVISA::FinalRelease()");
    // The collections go before the members their links point at; the log file flushes as it goes.
    connection_ = nullptr;
    visa_ = nullptr;
    converter_ = nullptr;
    message_ = nullptr;
    sessionMessage_ = nullptr;
    manager_ = nullptr;
    logFile_ = nullptr;
    for (BSTR* text : {&simulationSetting_, &recordId_, &ioProtocol_, &endChars_, &managerProgId_}) {
        SysFreeString(*text);
        *text = nullptr;
    }
    if (traceScopeOpen_) {
        TraceFunction(vr::FormatWString(u"IVrConnection::Init('%s')", Name()).c_str(), -1);
    }
    TraceFunction(u"CCnVISA::FinalConstruct()", -1);
}

HRESULT CCnVISA::EnsureResourceManager() {
    if (manager_) {
        return S_OK;
    }
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(managerProgId_, &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IResourceManager, manager_.PutVoid());
    }
    if (FAILED(hr)) {
        return Report(hr,
                      vr::FormatWString(u"Couldn't create an instance of the VISA-COM Resource Manager '%s'.",
                                        TextOf(managerProgId_)));
    }
    return S_OK;
}

HRESULT CCnVISA::FindResources(BSTR bstrExpression, VARIANT* pvResources) {
    SetTraceMethodName(u"CCnVISA::FindResources()");
    if (!pvResources) {
        return E_POINTER;
    }
    if (HRESULT hr = EnsureResourceManager(); FAILED(hr)) {
        return FailWithErrorInfo(CLSID_CnVISA, hr);
    }
    OwnedBstr expression(vr::BstrView(bstrExpression).empty() ? u"?*" : vr::BstrView(bstrExpression));
    SAFEARRAY* names = nullptr;
    if (HRESULT hr = manager_->FindRsrc(expression.Get(), &names); FAILED(hr)) {
        std::u16string text =
            hr == vr::visa::kErrorResourceNotFound
                ? vr::FormatWString(u"No resources were found for '%s'.", expression.Get())
                : vr::FormatWString(u"VISA-COM Resource Manager's FindRsrc() returns Error: '%08lx'.", hr);
        Report(hr, WithCauseBelow(text));
        return FailWithErrorInfo(CLSID_CnVISA, hr);
    }
    _variant_t result;
    if (names && SafeArrayGetDim(names) == 1 && FAILED(NamesToVariantArray(names, &result))) {
        (void)SafeArrayDestroy(names);
        return FailWithErrorInfo(CLSID_CnVISA, ReportGeneric(E_FAIL));
    }
    (void)SafeArrayDestroy(names);
    SetTraceSite();
    TraceInfo(u"varResult = '%s';", VariantToText(&result).c_str());
    VariantInit(pvResources);
    *pvResources = result.Detach();
    return S_OK;
}

HRESULT CCnVISA::Close() {
    SetTraceMethodName(u"CCnVISA::Close()");
    if (IsOpen()) {
        (void)message_->Close();
    }
    return S_OK;
}

HRESULT CCnVISA::LockRsrc(VrAccessMode, int32_t, BSTR, BSTR* pbsAccessKey) {
    SetTraceMethodName(u"CCnVISA::LockRsrc()");
    return pbsAccessKey ? E_NOTIMPL : E_POINTER;
}

HRESULT CCnVISA::UnlockRsrc() {
    SetTraceMethodName(u"CCnVISA::UnlockRsrc()");
    return E_NOTIMPL;
}

HRESULT CCnVISA::Clear() {
    SetTraceMethodName(u"CCnVISA::Clear()");
    return S_OK;
}

HRESULT CCnVISA::Handle(BSTR, BSTR, VARIANT_BOOL* pbIsHandled) {
    SetTraceMethodName(u"CCnVISA::Handle()");
    return pbIsHandled ? E_NOTIMPL : E_POINTER;
}

HRESULT CCnVISA::get_LastReadStatus(VrReadStatus* pStatus) {
    SetTraceMethodName(u"CCnVISA::get_LastReadStatus()");
    if (!pStatus) {
        return E_POINTER;
    }
    *pStatus = lastReadStatus_;
    return S_OK;
}

HRESULT CCnVISA::get_Attributes(IVrAttributeCollection** ppAttributes) {
    SetTraceMethodName(u"CCnVISA::get_Attributes()");
    if (!ppAttributes) {
        return E_POINTER;
    }
    *ppAttributes = connection_.Get();
    if (!*ppAttributes) {
        return FailWithErrorInfo(CLSID_CnVISA, ReportGeneric(E_FAIL));
    }
    (*ppAttributes)->AddRef();
    return S_OK;
}

HRESULT FilterDispatch::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT FilterDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT FilterDispatch::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

HRESULT FilterDispatch::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace instrel
