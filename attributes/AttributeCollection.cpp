// CAttributeCollection: life cycle, the dispatch table and the public methods, each a thin shell that names
// itself for the trace, checks its out-pointer and reports a failure with rich error information.
#include "attributes/AttributeCollection.h"

#include "common/trace/Trace.h"

namespace tabrisk {

const vr::DispatchTable<CAttributeCollection>& CAttributeCollection::GetDispatchTable() {
    using C = CAttributeCollection;
    using D = vr::DispatchTable<C>;
    using vr::Param;
    static const D table(
        u"IVrAttributeCollection",
        {
            D::Method<&C::LoadFile>(1, u"LoadFile",
                                    {u"bstrFilePath", u"bstrSchemaXPath", u"bstrScope", u"bstrSettings"}),
            D::Method<&C::AddAttribute>(2, u"AddAttribute", {u"bstrAttrName", Param(u"varValue").Optional()}),
            D::Method<&C::RemoveAll>(3, u"RemoveAll"),
            D::Method<&C::HasAttribute>(4, u"HasAttribute",
                                        {u"bstrAttrName", Param(u"pvboolHas").As(VT_BOOL)}),
            D::Method<&C::SetAttribute>(5, u"SetAttribute", {u"bstrAttrName", u"varValue"}),
            D::Method<&C::GetAttribute>(6, u"GetAttribute", {u"bstrAttrName", u"pvarValue"}),
            D::Method<&C::GetAttributeValidValues>(7, u"GetAttributeValidValues",
                                                   {u"bstrAttrName", u"pvarValues"}),
            D::Method<&C::SetAttributes>(8, u"SetAttributes", {u"bstrSettings"}),
            D::Method<&C::_LinkAttributeToLocalVariable>(9, u"_LinkAttributeToLocalVariable",
                                                         {u"bstrAttrName", u"varValue"}),
            D::Method<&C::AddContainedAttributes>(
                10, u"AddContainedAttributes",
                {u"pIVrAttributeCollection", Param(u"varVisibility").Optional()}),
            D::Method<&C::SetAttributeCollectionFilter>(11, u"SetAttributeCollectionFilter", {u"pFilter"}),
            D::Method<&C::ClearAttributeCollectionFilter>(12, u"ClearAttributeCollectionFilter"),
            D::Method<&C::AddAlias>(13, u"AddAlias", {u"bstrAliasName", u"bstrRefferedName"}),
            D::Method<&C::RegistrySave>(14, u"RegistrySave"),
            D::Method<&C::RegistryLoad>(15, u"RegistryLoad", {Param(u"varRegistryRootKey").Optional()}),
            D::Method<&C::IsValidAttribute>(
                16, u"IsValidAttribute", {u"bstrAttrName", u"varValue", Param(u"pvboolValid").As(VT_BOOL)}),
            D::Method<&C::GetAttributeNumID>(17, u"GetAttributeNumID", {u"bstrAttrName", u"plNumID"}),
            D::Method<&C::GetAttributeNumIDName>(18, u"GetAttributeNumIDName", {u"lNumID", u"pbstrAttrName"}),
            D::Method<&C::GetAttributeClass>(19, u"GetAttributeClass", {u"bstrAttrName", u"pbstrClass"}),
            D::Method<&C::ConvertValueToEnumIndex>(20, u"ConvertValueToEnumIndex",
                                                   {u"bstrAttrName", u"varValue", u"pvarIndex"}),
            D::Method<&C::GetAttributeQName>(21, u"GetAttributeQName", {u"bstrAttrName", u"pbstrQName"}),
            D::PropGet<&C::get_Count>(22, u"Count", {u"plCount"}),
            D::Method<&C::GetAttributeType>(23, u"GetAttributeType", {u"bstrAttrName", u"pvarType"}),
            D::PropGet<&C::get_Item>(DISPID_VALUE, u"Item", {u"lIndex", u"ppAttribute"}),
            D::PropGet<&C::get__NewEnum>(DISPID_NEWENUM, u"_NewEnum", {u"ppEnum"}),
        });
    return table;
}

HRESULT CAttributeCollection::Finish(HRESULT hr) {
    return FailWithErrorInfo(CLSID_AttributeCollection, hr);
}

HRESULT CAttributeCollection::FinalConstruct() {
    SetTraceMethodName(u"CAttributeCollection::FinalConstruct()");
    TraceFunction(u"CAttributeCollection::FinalConstruct()", 1);
    // An aggregating owner that implements the filter is found through the controlling unknown. No reference
    // is kept: the owner outlives its collection.
    IVrAttributeCollectionFilter* filter = nullptr;
    if (SUCCEEDED(GetControllingUnknown()->QueryInterface(&filter)) && filter != nullptr) {
        filter_ = filter;
        filter->Release();
    }
    return S_OK;
}

void CAttributeCollection::FinalRelease() {
    SetTraceMethodName(u"CAttributeCollection::FinalRelease()");
    TraceFunction(u"CAttributeCollection::FinalConstruct()", -1);
    std::vector<ContainedCollectionEntry> contained = std::move(contained_);
    contained_.clear();
    for (const ContainedCollectionEntry& entry : contained) {
        if (entry.referenced) {
            entry.collection->Release();
        }
    }
    // Saves the persistent attributes before they go; a failure has nobody left to hear it.
    static_cast<void>(RemoveAllWork());
}

HRESULT CAttributeCollection::LoadFile(BSTR bstrFilePath, BSTR bstrSchemaXPath, BSTR bstrScope,
                                       BSTR bstrSettings) {
    SetTraceMethodName(u"CAttributeCollection::LoadFile()");
    return Finish(LoadFileWork(bstrFilePath, bstrSchemaXPath, bstrScope, bstrSettings));
}

HRESULT CAttributeCollection::AddAttribute(BSTR bstrAttrName, VARIANT varValue) {
    SetTraceMethodName(u"CAttributeCollection::AddAttribute()");
    return Finish(AddAttributeWork(vr::BstrView(bstrAttrName), varValue));
}

HRESULT CAttributeCollection::RemoveAll() {
    SetTraceMethodName(u"CAttributeCollection::RemoveAll()");
    return Finish(RemoveAllWork());
}

HRESULT CAttributeCollection::HasAttribute(BSTR bstrAttrName, VARIANT_BOOL* pvboolHas) {
    SetTraceMethodName(u"CAttributeCollection::HasAttribute()");
    if (pvboolHas == nullptr) {
        return E_POINTER;
    }
    Target target;
    HRESULT hr = Resolve(vr::BstrView(bstrAttrName), &target);
    if (SUCCEEDED(hr)) {
        *pvboolHas = target ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return Finish(hr);
}

HRESULT CAttributeCollection::SetAttribute(BSTR bstrAttrName, VARIANT varValue) {
    SetTraceMethodName(u"CAttributeCollection::SetAttribute()");
    return Finish(SetAttributeWork(vr::BstrView(bstrAttrName), varValue));
}

HRESULT CAttributeCollection::GetAttribute(BSTR bstrAttrName, VARIANT* pvarValue) {
    SetTraceMethodName(u"CAttributeCollection::GetAttribute()");
    if (pvarValue == nullptr) {
        return E_POINTER;
    }
    return Finish(GetAttributeWork(vr::BstrView(bstrAttrName), pvarValue));
}

HRESULT CAttributeCollection::SetAttributes(BSTR bstrSettings) {
    SetTraceMethodName(u"CAttributeCollection::SetAttributes()");
    return Finish(SetAttributesWork(bstrSettings));
}

HRESULT CAttributeCollection::_LinkAttributeToLocalVariable(BSTR bstrAttrName, VARIANT varValue) {
    SetTraceMethodName(u"CAttributeCollection::_LinkAttributeToLocalVariable()");
    return Finish(LinkWork(vr::BstrView(bstrAttrName), varValue));
}

HRESULT CAttributeCollection::AddContainedAttributes(IVrAttributeCollection* pIVrAttributeCollection,
                                                     VARIANT varVisibility) {
    SetTraceMethodName(u"CAttributeCollection::AddContainedAttributes()");
    if (pIVrAttributeCollection == nullptr) {
        return E_POINTER;
    }
    return Finish(AddContainedWork(pIVrAttributeCollection, varVisibility));
}

HRESULT CAttributeCollection::SetAttributeCollectionFilter(IVrAttributeCollectionFilter* pFilter) {
    SetTraceMethodName(u"CAttributeCollection::SetAttributeCollectionFilter()");
    if (pFilter == nullptr) {
        return E_POINTER;
    }
    filter_ = pFilter;
    return S_OK;
}

HRESULT CAttributeCollection::ClearAttributeCollectionFilter() {
    SetTraceMethodName(u"CAttributeCollection::ClearAttributeCollectionFilter()");
    filter_ = nullptr;
    return S_OK;
}

HRESULT CAttributeCollection::AddAlias(BSTR bstrAliasName, BSTR bstrRefferedName) {
    SetTraceMethodName(u"CAttributeCollection::AddAlias()");
    return Finish(AddAliasWork(vr::BstrView(bstrAliasName), vr::BstrView(bstrRefferedName)));
}

HRESULT CAttributeCollection::RegistrySave() {
    SetTraceMethodName(u"CAttributeCollection::RegistrySave()");
    return Finish(RegistrySaveWork());
}

HRESULT CAttributeCollection::RegistryLoad(VARIANT varRegistryRootKey) {
    SetTraceMethodName(u"CAttributeCollection::RegistryLoad()");
    return Finish(RegistryLoadWork(varRegistryRootKey));
}

HRESULT CAttributeCollection::IsValidAttribute(BSTR bstrAttrName, VARIANT varValue,
                                               VARIANT_BOOL* pvboolValid) {
    SetTraceMethodName(u"CAttributeCollection::IsValidAttribute()");
    if (pvboolValid == nullptr) {
        return E_POINTER;
    }
    return Finish(IsValidWork(vr::BstrView(bstrAttrName), varValue, pvboolValid));
}

HRESULT CAttributeCollection::ConvertValueToEnumIndex(BSTR bstrAttrName, VARIANT varValue,
                                                      VARIANT* pvarIndex) {
    SetTraceMethodName(u"CAttributeCollection::ConvertValueToEnumIndex()");
    if (pvarIndex == nullptr) {
        return E_POINTER;
    }
    return Finish(ConvertToEnumIndexWork(vr::BstrView(bstrAttrName), varValue, pvarIndex));
}

HRESULT CAttributeCollection::get_Count(LONG* plCount) {
    SetTraceMethodName(u"CAttributeCollection::get_Count()");
    if (plCount == nullptr) {
        return E_POINTER;
    }
    *plCount = CountWork();
    return S_OK;
}

HRESULT CAttributeCollection::get_Item(LONG lIndex, IVrAttribute** ppAttribute) {
    SetTraceMethodName(u"CAttributeCollection::get_Item()");
    if (ppAttribute == nullptr) {
        return E_POINTER;
    }
    *ppAttribute = nullptr;
    return Finish(ItemWork(lIndex, ppAttribute));
}

HRESULT CAttributeCollection::get__NewEnum(IUnknown** ppEnum) {
    SetTraceMethodName(u"CAttributeCollection::get__NewEnum()");
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    return Finish(NewEnumWork(ppEnum));
}

} // namespace tabrisk
