// CLogFile: the dispatch table, construction and release, the settings and the attribute collection.
#include "LogFile.h"

#include "common/attrvalues/AttrCollHookup.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/resources/this_module.h"

namespace jotwell {

namespace {

HRESULT CopyOut(BSTR member, BSTR* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (member) {
        *out = SysAllocStringLen(member, SysStringLen(member));
        if (!*out) {
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

} // namespace

const vr::DispatchTable<CLogFile>& CLogFile::GetDispatchTable() {
    using D = vr::DispatchTable<CLogFile>;
    static const D table(
        u"IVrLogFile",
        {
            D::PropGet<&CLogFile::get_file>(1, u"file", {u"pVal"}),
            D::PropPut<&CLogFile::put_file>(1, u"file", {u"newVal"}),
            D::PropGet<&CLogFile::get_rootElement>(2, u"rootElement", {u"pVal"}),
            D::PropPut<&CLogFile::put_rootElement>(2, u"rootElement", {u"newVal"}),
            D::PropGet<&CLogFile::get_writeMode>(3, u"writeMode", {u"pVal"}),
            D::PropPut<&CLogFile::put_writeMode>(3, u"writeMode", {u"newVal"}),
            D::Method<&CLogFile::BeginRecord>(4, u"BeginRecord", {u"bsRecordId"}),
            D::Method<&CLogFile::EndRecord>(5, u"EndRecord", {u"bsRecordId"}),
            D::Method<&CLogFile::SaveField>(6, u"SaveField", {u"bsRecordId", u"bsFieldId", u"bsData"}),
            D::Method<&CLogFile::Flush>(7, u"Flush", {vr::Param(u"varboolNotClose").Optional()}),
            D::Method<&CLogFile::ReadField>(
                8, u"ReadField", {u"bsRecordId", u"bsFieldIdDataQuery", u"bsReadFieldId", u"pbsReadData"}),
            D::PropGet<&CLogFile::get_Attributes>(9, u"Attributes", {u"ppVal"}),
            D::PropGet<&CLogFile::get_readMode>(10, u"readMode", {u"pVal"}),
            D::PropPut<&CLogFile::put_readMode>(10, u"readMode", {u"newVal"}),
        });
    return table;
}

HRESULT CLogFile::FinalConstruct() {
    SetTraceMethodName(u"CLogFile::FinalConstruct()");
    TraceFunction(u"CLogFile::FinalConstruct()", 1);
    BSTR path = vr::AllocBstr(vr::ThisModuleResUrl(u"Attributes.xml"));
    BSTR empty = vr::AllocBstr(u"");
    BSTR scope = vr::AllocBstr(u"LogFile");
    HRESULT hr = CreateAttributeCollection(path, empty, scope, collection_.Put(), nullptr,
                                           vr::MissingArgument(), nullptr, nullptr, nullptr, empty,
                                           {{u"LOGFILE:WRITEMODE", LinkToText(&writeMode_)},
                                            {u"LOGFILE:ROOTELEMENT", LinkToText(&rootElement_)},
                                            {u"LOGFILE:FILE", LinkToText(&file_)},
                                            {u"LOGFILE:READMODE", LinkToText(&readMode_)},
                                            {nullptr, {}}});
    SysFreeString(path);
    SysFreeString(empty);
    SysFreeString(scope);
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't load VrAttributeCollection.");
        return FailWithErrorInfo(CLSID_LogFile, hr);
    }
    return S_OK;
}

void CLogFile::FinalRelease() {
    SetTraceMethodName(u"CLogFile::FinalRelease()");
    // A released object leaves a complete file behind.
    (void)Flush(vr::MissingArgument());
    SetTraceMethodName(u"CLogFile::FinalRelease()");
    document_ = vr::xml::Document();
    collection_ = nullptr; // the collection goes before the members its links point at
    SysFreeString(file_);
    SysFreeString(rootElement_);
    SysFreeString(writeMode_);
    SysFreeString(readMode_);
    TraceFunction(u"CLogFile::FinalConstruct()", -1);
}

HRESULT CLogFile::QueryUnlistedInterface(REFIID riid, void** ppv) {
    if (riid != IID_IVrAttributeCollection) {
        return E_NOINTERFACE;
    }
    if (!collection_) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    return collection_->QueryInterface(riid, ppv);
}

HRESULT CLogFile::SetSetting(const OLECHAR* name, BSTR value) {
    if (!collection_) {
        return E_UNEXPECTED;
    }
    BSTR attribute = vr::AllocBstr(name);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = value;
    // The collection validates the value and reports a refusal with its own error information.
    HRESULT hr = collection_->SetAttribute(attribute, text);
    SysFreeString(attribute);
    return hr;
}

HRESULT CLogFile::get_file(BSTR* pVal) {
    return CopyOut(file_, pVal);
}

HRESULT CLogFile::put_file(BSTR newVal) {
    return SetSetting(u"File", newVal);
}

HRESULT CLogFile::get_rootElement(BSTR* pVal) {
    return CopyOut(rootElement_, pVal);
}

HRESULT CLogFile::put_rootElement(BSTR newVal) {
    return SetSetting(u"RootElement", newVal);
}

HRESULT CLogFile::get_writeMode(BSTR* pVal) {
    return CopyOut(writeMode_, pVal);
}

HRESULT CLogFile::put_writeMode(BSTR newVal) {
    return SetSetting(u"LOGFILE:WRITEMODE", newVal);
}

HRESULT CLogFile::get_readMode(BSTR* pVal) {
    return CopyOut(readMode_, pVal);
}

HRESULT CLogFile::put_readMode(BSTR newVal) {
    return SetSetting(u"LOGFILE:READMODE", newVal);
}

HRESULT CLogFile::get_Attributes(IVrAttributeCollection** ppVal) {
    SetTraceMethodName(u"CLogFile::get_Attributes()");
    if (!ppVal) {
        return E_POINTER;
    }
    *ppVal = collection_.Get();
    if (*ppVal) {
        (*ppVal)->AddRef();
    }
    return S_OK;
}

bool CLogFile::WriteModeIs(std::u16string_view mode) const {
    return vr::EqualsNoCase(vr::BstrView(writeMode_), mode);
}

std::u16string CLogFile::FilePath() const {
    return std::u16string(vr::BstrView(file_));
}

std::u16string CLogFile::RootElement() const {
    return std::u16string(vr::BstrView(rootElement_));
}

} // namespace jotwell
