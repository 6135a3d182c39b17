// The script executive window's automation object.
#include "TestRunTime/Scrivon/TestLoaderAutomation.h"

#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/rpc/local_server.h"

namespace scrivon {
namespace {

// A request the window refused: the call fails, and the client learns why.
HRESULT Refused(const std::string& refusal) {
    return vr::ReportError(HRESULT_FROM_WIN32(ERROR_BUSY), __uuidof(IVrTestLoader), kTestLoaderProgId,
                           vr::FromUtf8(refusal));
}

// The calling client: its process, or 0 for a caller of this process.
TestLoaderTarget::ClientId Caller() {
    return vr::rpc::CallingProcess();
}

} // namespace

const vr::DispatchTable<CVrTestLoaderDlgAutoProxy>& CVrTestLoaderDlgAutoProxy::GetDispatchTable() {
    using D = vr::DispatchTable<CVrTestLoaderDlgAutoProxy>;
    static const D table(
        u"IVrTestLoader",
        {
            D::Method<&CVrTestLoaderDlgAutoProxy::Load>(DISPID_TestLoaderLoad, u"Load",
                                                        {u"sFile", vr::Param(u"loaded").As(VT_BOOL)}),
            D::Method<&CVrTestLoaderDlgAutoProxy::Run>(DISPID_TestLoaderRun, u"Run",
                                                       {vr::Param(u"completed").As(VT_BOOL)}),
            D::Method<&CVrTestLoaderDlgAutoProxy::Popup>(DISPID_TestLoaderPopup, u"Popup", {}),
            D::PropGet<&CVrTestLoaderDlgAutoProxy::get_Verdict>(DISPID_TestLoaderVerdict, u"Verdict",
                                                                {u"verdict"}),
            D::Method<&CVrTestLoaderDlgAutoProxy::Stop>(DISPID_TestLoaderStop, u"Stop", {}),
            D::PropPut<&CVrTestLoaderDlgAutoProxy::put_SN>(DISPID_TestLoaderSN, u"SN", {u"serialNumber"}),
        });
    return table;
}

HRESULT CVrTestLoaderDlgAutoProxy::Load(BSTR sFile, VARIANT_BOOL* loaded) {
    if (!loaded) {
        return E_POINTER;
    }
    std::string refusal;
    bool done = target_ && target_->LoadScript(_bstr_t(sFile).utf8(), Caller(), &refusal);
    *loaded = done ? VARIANT_TRUE : VARIANT_FALSE;
    return refusal.empty() ? S_OK : Refused(refusal);
}

HRESULT CVrTestLoaderDlgAutoProxy::Run(VARIANT_BOOL* completed) {
    if (!completed) {
        return E_POINTER;
    }
    std::string refusal;
    bool done = target_ && target_->RunScript(Caller(), &refusal);
    *completed = done ? VARIANT_TRUE : VARIANT_FALSE;
    return refusal.empty() ? S_OK : Refused(refusal);
}

HRESULT CVrTestLoaderDlgAutoProxy::Popup() {
    if (target_) {
        target_->Popup(Caller());
    }
    return S_OK;
}

HRESULT CVrTestLoaderDlgAutoProxy::get_Verdict(LONG* verdict) {
    if (!verdict) {
        return E_POINTER;
    }
    *verdict = target_ ? target_->LastVerdict(Caller()) : 0;
    return S_OK;
}

HRESULT CVrTestLoaderDlgAutoProxy::Stop() {
    if (target_) {
        target_->StopRun();
    }
    return S_OK;
}

HRESULT CVrTestLoaderDlgAutoProxy::put_SN(BSTR serialNumber) {
    std::string refusal;
    if (target_ && !target_->GiveSerialNumber(_bstr_t(serialNumber).utf8(), Caller(), &refusal)) {
        return Refused(refusal);
    }
    return S_OK;
}

} // namespace scrivon
