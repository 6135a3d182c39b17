// CSchemaElementObject: read-only members of a schema element declaration, by IDispatch.
#include "attributes/SchemaElementObject.h"

namespace tabrisk {

const vr::DispatchTable<CSchemaElementObject>& CSchemaElementObject::GetDispatchTable() {
    using C = CSchemaElementObject;
    using D = vr::DispatchTable<C>;
    static const D table(u"ISchemaElement",
                         {
                             D::PropGet<&C::get_name>(1, u"name", {u"name"}),
                             D::PropGet<&C::get_namespaceURI>(2, u"namespaceURI", {u"uri"}),
                             D::PropGet<&C::get_itemType>(3, u"itemType", {u"type"}),
                         });
    return table;
}

HRESULT CSchemaElementObject::Create(const vr::xml::SchemaElement& element, IDispatch** object) {
    vr::ComObjectPtr<CSchemaElementObject> made;
    if (HRESULT hr = vr::ComObject<CSchemaElementObject>::Create(&made); FAILED(hr)) {
        return hr;
    }
    made->element_ = element;
    *object = made.Detach();
    return S_OK;
}

HRESULT CSchemaElementObject::get_name(BSTR* name) {
    if (name == nullptr) {
        return E_POINTER;
    }
    *name = vr::AllocBstr(element_.name());
    return S_OK;
}

HRESULT CSchemaElementObject::get_namespaceURI(BSTR* uri) {
    if (uri == nullptr) {
        return E_POINTER;
    }
    *uri = vr::AllocBstr(element_.namespaceURI());
    return S_OK;
}

HRESULT CSchemaElementObject::get_itemType(LONG* type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    *type = element_.type().itemType();
    return S_OK;
}

} // namespace tabrisk
