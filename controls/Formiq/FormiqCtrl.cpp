// CFormiqCtrl: the dispatch table and the members of the editor control.
#include "FormiqCtrl.h"

#include "common/trace/Trace.h"
#include "platform/com/bstr.h"

namespace {

std::string Utf8(BSTR text) {
    return vr::BstrToUtf8(text);
}

} // namespace

const vr::DispatchTable<CFormiqCtrl>& CFormiqCtrl::GetDispatchTable() {
    using D = vr::DispatchTable<CFormiqCtrl>;
    static const D table(
        u"_DFormiq",
        {
            D::Method<&CFormiqCtrl::Init>(DISPID_FORMIQ_INIT, u"Init",
                                          {u"VrAttributeCollection", u"pCAttrValues", u"lNameWidth",
                                           u"Options", u"AttributesSetupString", u"ChildOptions",
                                           vr::Param(u"pResult").As(VT_BOOL)}),
            D::Method<&CFormiqCtrl::RetrieveAttributeValues>(DISPID_FORMIQ_RETRIEVEATTRIBUTEVALUES,
                                                             u"RetrieveAttributeValues"),
            D::Method<&CFormiqCtrl::StoreAttributeValues>(DISPID_FORMIQ_STOREATTRIBUTEVALUES,
                                                          u"StoreAttributeValues"),
            D::Method<&CFormiqCtrl::GetAttributes>(DISPID_FORMIQ_GETATTRIBUTES, u"GetAttributes"),
            D::Method<&CFormiqCtrl::Clear>(DISPID_FORMIQ_CLEAR, u"Clear"),
        });
    return table;
}

void CFormiqCtrl::FinalRelease() {
    delete widget_.data(); // the control's window goes with the control; its form clears itself
}

HRESULT CFormiqCtrl::CreateControlWidget(QWidget* parent, const QRect& geometry, QWidget** widget) {
    if (!parent || !widget) {
        return E_INVALIDARG;
    }
    if (widget_) {
        return E_UNEXPECTED;
    }
    widget_ = new FormiqWidget(parent, geometry);
    widget_->show();
    *widget = widget_.data();
    return S_OK;
}

CFormAttr* CFormiqCtrl::Form() {
    if (!widget_) {
        SetTraceSite();
        TraceError(u"The Formiq control has no window: create it through its host first.");
        return nullptr;
    }
    return widget_->Form();
}

HRESULT CFormiqCtrl::Init(IUnknown* collection, VARIANT values, LONG nameWidth, BSTR options, BSTR setup,
                          BSTR childOptions, VARIANT_BOOL* done) {
    SetTraceMethodName(u"CFormiqCtrl::Init()");
    *done = VARIANT_FALSE;
    CFormAttr* form = Form();
    if (!form) {
        return FailWithErrorInfo(CLSID_Formiq, E_UNEXPECTED);
    }
    CAttrValueList* lent = nullptr;
    if (values.vt != VT_EMPTY) {
        lent = static_cast<CAttrValueList*>(vr::ui::LentObjectOf(values, GUID_CAttrValueList));
        if (!lent) {
            return S_OK; // no value list of this process: nothing is built
        }
    }
    bool built = form->Init(collection, lent, nameWidth, Utf8(options), Utf8(setup), Utf8(childOptions));
    *done = built ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CFormiqCtrl::RetrieveAttributeValues() {
    SetTraceMethodName(u"CFormiqCtrl::RetrieveAttributeValues()");
    CFormAttr* form = Form();
    if (!form) {
        return FailWithErrorInfo(CLSID_Formiq, E_UNEXPECTED);
    }
    form->RetrieveAttributeValues();
    return S_OK;
}

HRESULT CFormiqCtrl::StoreAttributeValues() {
    SetTraceMethodName(u"CFormiqCtrl::StoreAttributeValues()");
    CFormAttr* form = Form();
    if (!form) {
        return FailWithErrorInfo(CLSID_Formiq, E_UNEXPECTED);
    }
    form->StoreAttributeValues();
    return S_OK;
}

HRESULT CFormiqCtrl::GetAttributes(BSTR* settings) {
    SetTraceMethodName(u"CFormiqCtrl::GetAttributes()");
    CFormAttr* form = Form();
    if (!form) {
        return FailWithErrorInfo(CLSID_Formiq, E_UNEXPECTED);
    }
    *settings = vr::AllocBstrUtf8(form->GetAttributes());
    return S_OK;
}

HRESULT CFormiqCtrl::Clear() {
    SetTraceMethodName(u"CFormiqCtrl::Clear()");
    CFormAttr* form = Form();
    if (!form) {
        return FailWithErrorInfo(CLSID_Formiq, E_UNEXPECTED);
    }
    form->Clear();
    return S_OK;
}
