// CFormiq: the editor control's host wrapper, calling the control by DISPID.
#include "common/widgets/Formiq.h"

#include "controls/Formiq/include/formiq.h"
#include "platform/com/bstr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/com/variant.h"
#include "platform/ui/control.h"

#include <algorithm>
#include <vector>

namespace {

VARIANT TextArg(const char* text) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = vr::AllocBstrUtf8(text ? text : "");
    return arg;
}

// The error information of a failure the control reported in the exception information.
vr::ComPtr<IErrorInfo> ErrorInfoOf(const EXCEPINFO& exception) {
    vr::ComPtr<ICreateErrorInfo> maker;
    vr::ComPtr<IErrorInfo> info;
    if (FAILED(CreateErrorInfo(maker.Put()))) {
        return info; // the failure is raised without its texts
    }
    // A text that cannot be set leaves that part of the information empty.
    (void)maker->SetSource(exception.bstrSource);
    (void)maker->SetDescription(exception.bstrDescription);
    (void)maker->QueryInterface(IID_IErrorInfo, info.PutVoid());
    return info;
}

// The failure an exception stands for: its scode, else its wCode as a failure of the interface, else E_FAIL.
// A DISP_E_EXCEPTION is always a failure, whichever of the two the control filled in.
HRESULT FailureOf(EXCEPINFO& exception) {
    if (exception.pfnDeferredFillIn) {
        (void)exception.pfnDeferredFillIn(&exception); // without its texts the codes below are all there is
    }
    if (FAILED(exception.scode)) {
        return exception.scode;
    }
    return exception.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, exception.wCode) : E_FAIL;
}

} // namespace

CFormiq::~CFormiq() {
    control_ = nullptr; // the control deletes its widget as it goes
}

bool CFormiq::Create(const char* windowName, const QRect& rect, QWidget* parent, unsigned id) {
    vr::ui::ControlHandle handle;
    if (FAILED(vr::ui::CreateControl(CLSID_Formiq, parent, rect, &handle))) {
        return false;
    }
    control_ = std::move(handle.dispatch);
    widget_ = handle.widget;
    if (widget_) {
        widget_->setObjectName(QString::fromUtf8(windowName ? windowName : ""));
        widget_->setProperty("controlId", id);
    }
    return true;
}

HRESULT CFormiq::LendValueList(CAttrValueList* list, VARIANT* lent) {
    return vr::ui::LendObject(GUID_CAttrValueList, list, lent);
}

void CFormiq::Call(DISPID id, VARIANT* args, unsigned count, VARIANT* result) {
    if (!control_) {
        _com_issue_error(E_UNEXPECTED);
    }
    std::vector<VARIANT> reversed(args, args + count); // DISPPARAMS carry the last argument first
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.data(), nullptr, count, 0};
    EXCEPINFO exception{};
    HRESULT hr = control_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, &exception, nullptr);
    vr::ComPtr<IErrorInfo> info;
    if (hr == DISP_E_EXCEPTION) {
        hr = FailureOf(exception);
        info = ErrorInfoOf(exception);
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) {
        throw _com_error(hr, info.Get());
    }
}

bool CFormiq::Init(IUnknown* collection, const VARIANT* valueList, long nameWidth, const char* options,
                   const char* setup, const char* childOptions) {
    VARIANT args[6];
    VariantInit(&args[0]);
    args[0].vt = VT_UNKNOWN;
    args[0].punkVal = collection; // borrowed for the call: not cleared below
    VariantInit(&args[1]);
    if (valueList) {
        args[1] = *valueList; // borrowed as well
    }
    VariantInit(&args[2]);
    args[2].vt = VT_I4;
    args[2].lVal = static_cast<LONG>(nameWidth);
    args[3] = TextArg(options);
    args[4] = TextArg(setup);
    args[5] = TextArg(childOptions);
    VARIANT result;
    VariantInit(&result);
    try {
        Call(DISPID_FORMIQ_INIT, args, 6, &result);
    } catch (...) {
        for (int index = 3; index < 6; ++index) {
            (void)VariantClear(&args[index]); // a BSTR argument; clearing it cannot fail
        }
        throw;
    }
    for (int index = 3; index < 6; ++index) {
        (void)VariantClear(&args[index]); // a BSTR argument; clearing it cannot fail
    }
    bool done = result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
    (void)VariantClear(&result); // a VT_BOOL holds nothing to free
    return done;
}

void CFormiq::RetrieveAttributeValues() {
    Call(DISPID_FORMIQ_RETRIEVEATTRIBUTEVALUES, nullptr, 0, nullptr);
}

void CFormiq::StoreAttributeValues() {
    Call(DISPID_FORMIQ_STOREATTRIBUTEVALUES, nullptr, 0, nullptr);
}

std::string CFormiq::GetAttributes() {
    VARIANT result;
    VariantInit(&result);
    Call(DISPID_FORMIQ_GETATTRIBUTES, nullptr, 0, &result);
    std::string settings = result.vt == VT_BSTR ? vr::BstrToUtf8(result.bstrVal) : std::string();
    (void)VariantClear(&result); // the BSTR is copied out; clearing it cannot fail
    return settings;
}

void CFormiq::Clear() {
    Call(DISPID_FORMIQ_CLEAR, nullptr, 0, nullptr);
}
