// CreateAttributeCollection: one call that creates, filters, fills and links a component's collection.
#include "common/attrvalues/AttrCollHookup.h"

#include "platform/com/activation.h"
#include "platform/com/comptr.h"

namespace {

VARIANT Reference(VARTYPE vt, void* member) {
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | vt;
    reference.byref = member;
    return reference;
}

// Steps 3 to 6: the collection is created and queried; everything after that is done through it.
HRESULT FillCollection(IVrAttributeCollection* collection, BSTR filePath, BSTR schemaXPath, BSTR scope,
                       IUnknown* contained, const VARIANT& visibility, IVrAttributeCollectionFilter* filter,
                       BSTR settings, std::initializer_list<AttributeLink> links) {
    if (filter != nullptr) {
        if (HRESULT hr = collection->SetAttributeCollectionFilter(filter); FAILED(hr)) {
            return hr;
        }
    }
    if (contained != nullptr) {
        vr::ComPtr<IVrAttributeCollection> containedCollection;
        HRESULT hr = contained->QueryInterface(containedCollection.Put());
        if (FAILED(hr) || !containedCollection) {
            return FAILED(hr) ? hr : E_NOINTERFACE;
        }
        // Its result is not what the hookup answers for: a name conflict shows when the names are used.
        static_cast<void>(collection->AddContainedAttributes(containedCollection.Get(), visibility));
    }
    HRESULT hr = collection->LoadFile(filePath, schemaXPath, scope, settings);
    if (FAILED(hr)) {
        return hr;
    }
    for (const AttributeLink& link : links) {
        if (link.name == nullptr) {
            break;
        }
        BSTR name = SysAllocString(link.name);
        hr = collection->_LinkAttributeToLocalVariable(name, link.variable);
        SysFreeString(name);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return hr;
}

} // namespace

VARIANT LinkToLong(LONG* member) {
    return Reference(VT_I4, member);
}
VARIANT LinkToDouble(double* member) {
    return Reference(VT_R8, member);
}
VARIANT LinkToText(BSTR* member) {
    return Reference(VT_BSTR, member);
}
VARIANT LinkToFlag(LONG* member) {
    return Reference(VT_BOOL, member);
}

HRESULT CreateAttributeCollection(BSTR filePath, BSTR schemaXPath, BSTR scope,
                                  IVrAttributeCollection** collection, IUnknown* contained,
                                  VARIANT visibility, IVrAttributeCollectionFilter* filter, IUnknown* outer,
                                  IUnknown** inner, BSTR settings,
                                  std::initializer_list<AttributeLink> links) {
    if (collection != nullptr) {
        *collection = nullptr;
    }
    if (inner != nullptr) {
        *inner = nullptr;
    }
    vr::ComPtr<IUnknown> created;
    HRESULT hr = CoCreateInstance(CLSID_AttributeCollection, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  created.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    vr::ComPtr<IVrAttributeCollection> queried;
    if (hr = created->QueryInterface(queried.Put()); FAILED(hr)) {
        return hr;
    }
    hr = FillCollection(queried.Get(), filePath, schemaXPath, scope, contained, visibility, filter, settings,
                        links);
    if (FAILED(hr)) {
        return hr; // both references go as the pointers leave scope
    }
    if (inner != nullptr) {
        // Aggregated: the inner unknown keeps the object alive; the interface pointer borrows from it.
        IVrAttributeCollection* borrowed = queried.Get();
        queried.Reset();
        *inner = created.Detach();
        if (collection != nullptr) {
            *collection = borrowed;
        }
    } else if (collection != nullptr) {
        *collection = queried.Detach();
    }
    return hr;
}
