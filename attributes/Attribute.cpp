// CAttribute: the qualified name through IVrAttribute.
#include "attributes/Attribute.h"

#include "common/trace/Trace.h"

namespace tabrisk {

const vr::DispatchTable<CAttribute>& CAttribute::GetDispatchTable() {
    using D = vr::DispatchTable<CAttribute>;
    static const D table(u"IVrAttribute",
                         {D::PropGet<&CAttribute::get_Name>(DISPID_VALUE, u"Name", {u"name"})});
    return table;
}

HRESULT CAttribute::Create(std::u16string_view name, std::u16string_view qName, const VARIANT& value,
                           IVrAttribute** attribute) {
    vr::ComObjectPtr<CAttribute> made;
    if (HRESULT hr = vr::ComObject<CAttribute>::Create(&made); FAILED(hr)) {
        return hr;
    }
    made->name_ = name;
    made->qName_ = qName;
    if (HRESULT hr = made->value_.CopyFrom(value); FAILED(hr)) {
        return hr;
    }
    *attribute = made.Detach();
    return S_OK;
}

HRESULT CAttribute::get_Name(BSTR* name) {
    SetTraceMethodName(u"CAttribute::get_Name()");
    if (name == nullptr) {
        return E_POINTER;
    }
    *name = vr::AllocBstr(qName_);
    return *name != nullptr || qName_.empty() ? S_OK : E_OUTOFMEMORY;
}

} // namespace tabrisk
