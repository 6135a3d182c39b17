// CVrRigmont: the dispatch table, construction and release, and the record operations of the interface.
#include "VrRigmont.h"

#include "common/config/VrConfigData.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"

namespace rigmont {

namespace {

std::u16string TextOf(BSTR text) {
    return std::u16string(vr::BstrView(text));
}

// Replaces an [in, out] BSTR with a value; one without a value keeps what the caller put there.
HRESULT PutOut(const std::optional<std::u16string>& value, BSTR* out) {
    if (!value) {
        return S_OK;
    }
    BSTR copy = vr::AllocBstr(*value);
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    SysFreeString(*out);
    *out = copy;
    return S_OK;
}

std::optional<std::u16string> ValueOf(const BSTR* in) {
    if (!in || !*in) {
        return std::nullopt;
    }
    return TextOf(*in);
}

} // namespace

const vr::DispatchTable<CVrRigmont>& CVrRigmont::GetDispatchTable() {
    using D = vr::DispatchTable<CVrRigmont>;
    static const D table(
        u"IVrRigmont",
        {
            D::Method<&CVrRigmont::CreateConnection>(
                1, u"CreateConnection",
                {u"bsResource", vr::Param(u"vbsSetupString").Optional(), u"ppConnection"}),
            D::Method<&CVrRigmont::CreateSocket>(
                2, u"CreateSocket", {u"bsResource", vr::Param(u"vbsSetupString").Optional(), u"ppSocket"}),
            D::Method<&CVrRigmont::LoadRecord>(3, u"LoadRecord",
                                               {u"bsRecordType", u"bsRecordName",
                                                u"bsSupplementarySetupString", u"pbsServer", u"pbsResource",
                                                u"pbsSetupString"}),
            D::Method<&CVrRigmont::SaveRecord>(
                4, u"SaveRecord",
                {u"bsRecordType", u"bsRecordName", u"bsServer", u"bsResource", u"bsSetupString"}),
            D::Method<&CVrRigmont::RemoveRecord>(5, u"RemoveRecord", {u"bsRecordType", u"bsRecordName"}),
            D::Method<&CVrRigmont::GetRecordNames>(6, u"GetRecordNames", {u"bsRecordType", u"pvNames"}),
            D::Method<&CVrRigmont::FindResources>(7, u"FindResources",
                                                  {u"bsServer", u"bsResourceType", u"pvResources"}),
        });
    return table;
}

CVrRigmont::CVrRigmont() {
    SetTraceMethodName(u"CVrRigmont::CVrRigmont()");
    CVrConfigData config;
    BSTR path = nullptr;
    if (config.GetItem("ConfigStoreFile", &path, false)) {
        storePath_ = TextOf(path);
    }
    SysFreeString(path);
    TraceInfo(u"Take 'ConfigStore' file path from the Registry = '%s'.", storePath_.c_str());
}

void CVrRigmont::FinalRelease() {
    SetTraceMethodName(u"CVrRigmont::FinalRelease()");
    store_ = vr::xml::Document();
}

HRESULT CVrRigmont::LoadRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsSupplementarySetupString,
                               BSTR* pbsServer, BSTR* pbsResource, BSTR* pbsSetupString) {
    SetTraceMethodName(u"CVrRigmont::LoadRecord()");
    if (!pbsServer || !pbsResource || !pbsSetupString) {
        return E_POINTER;
    }
    RecordValues values{ValueOf(pbsServer), ValueOf(pbsResource), std::nullopt};
    HRESULT hr = MergeRecord(vr::BstrView(bsRecordType), vr::BstrView(bsRecordName),
                             vr::BstrView(bsSupplementarySetupString), &values);
    if (SUCCEEDED(hr)) {
        hr = PutOut(values.server, pbsServer);
    }
    if (SUCCEEDED(hr)) {
        hr = PutOut(values.resource, pbsResource);
    }
    if (SUCCEEDED(hr)) {
        hr = PutOut(values.setup, pbsSetupString);
    }
    return FailWithErrorInfo(CLSID_VrRigmont, hr);
}

HRESULT CVrRigmont::SaveRecord(BSTR bsRecordType, BSTR bsRecordName, BSTR bsServer, BSTR bsResource,
                               BSTR bsSetupString) {
    SetTraceMethodName(u"CVrRigmont::SaveRecord()");
    return FailWithErrorInfo(CLSID_VrRigmont,
                             WriteRecord(vr::BstrView(bsRecordType), vr::BstrView(bsRecordName), bsServer,
                                         bsResource, bsSetupString));
}

HRESULT CVrRigmont::RemoveRecord(BSTR bsRecordType, BSTR bsRecordName) {
    SetTraceMethodName(u"CVrRigmont::RemoveRecord()");
    return FailWithErrorInfo(
        CLSID_VrRigmont,
        WriteRecord(vr::BstrView(bsRecordType), vr::BstrView(bsRecordName), nullptr, nullptr, nullptr));
}

HRESULT CVrRigmont::GetRecordNames(BSTR bsRecordType, VARIANT* pvNames) {
    SetTraceMethodName(u"CVrRigmont::GetRecordNames()");
    if (!pvNames) {
        return E_POINTER;
    }
    return FailWithErrorInfo(CLSID_VrRigmont, CollectRecordNames(vr::BstrView(bsRecordType), pvNames));
}

} // namespace rigmont
