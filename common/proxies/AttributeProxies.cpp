// Typed proxies of the attribute collection and its attributes.
//
// Through a proxy, GetAttribute's pvarValue is its result only: the integer a direct caller may pass in to
// ask for an enumeration index does not travel (use ConvertValueToEnumIndex). _LinkAttributeToLocalVariable
// and SetAttributeCollectionFilter name memory and objects of the owner's own thread: they belong to the
// collection's owner, which never reaches its collection through a proxy.
#include "common/proxies/ProxyGroups.h"

#include "attributes/include/tabrisk.h"
#include "platform/com/dual_proxy.h"

namespace vrproxies {

namespace {

using vr::AsBool;
using vr::DualProxy;

class AttributeProxy final : public DualProxy<IVrAttribute> {
public:
    using DualProxy::DualProxy;

    HRESULT get_Name(BSTR* name) override { return Get(DISPID_VALUE, name); }
};

class AttributeCollectionProxy final : public DualProxy<IVrAttributeCollection> {
public:
    using DualProxy::DualProxy;

    HRESULT LoadFile(BSTR filePath, BSTR schemaXPath, BSTR scope, BSTR settings) override {
        return Call(1, filePath, schemaXPath, scope, settings);
    }
    HRESULT AddAttribute(BSTR name, VARIANT value) override { return Call(2, name, value); }
    HRESULT RemoveAll() override { return Call(3); }
    HRESULT HasAttribute(BSTR name, VARIANT_BOOL* has) override { return Method(4, AsBool(has), name); }
    HRESULT SetAttribute(BSTR name, VARIANT value) override { return Call(5, name, value); }
    HRESULT GetAttribute(BSTR name, VARIANT* value) override { return Method(6, value, name); }
    HRESULT GetAttributeValidValues(BSTR name, VARIANT* values) override { return Method(7, values, name); }
    HRESULT SetAttributes(BSTR settings) override { return Call(8, settings); }
    HRESULT _LinkAttributeToLocalVariable(BSTR name, VARIANT variable) override {
        return Call(9, name, variable);
    }
    HRESULT AddContainedAttributes(IVrAttributeCollection* contained, VARIANT visibility) override {
        return Call(10, contained, visibility);
    }
    HRESULT SetAttributeCollectionFilter(IVrAttributeCollectionFilter* filter) override {
        return Call(11, filter);
    }
    HRESULT ClearAttributeCollectionFilter() override { return Call(12); }
    HRESULT AddAlias(BSTR alias, BSTR referred) override { return Call(13, alias, referred); }
    HRESULT RegistrySave() override { return Call(14); }
    HRESULT RegistryLoad(VARIANT rootKey) override { return Call(15, rootKey); }
    HRESULT IsValidAttribute(BSTR name, VARIANT value, VARIANT_BOOL* valid) override {
        return Method(16, AsBool(valid), name, value);
    }
    HRESULT GetAttributeNumID(BSTR name, LONG* numId) override { return Method(17, numId, name); }
    HRESULT GetAttributeNumIDName(LONG numId, BSTR* name) override { return Method(18, name, numId); }
    HRESULT GetAttributeClass(BSTR name, BSTR* className) override { return Method(19, className, name); }
    HRESULT ConvertValueToEnumIndex(BSTR name, VARIANT value, VARIANT* index) override {
        return Method(20, index, name, value);
    }
    HRESULT GetAttributeQName(BSTR name, BSTR* qname) override { return Method(21, qname, name); }
    HRESULT get_Count(LONG* count) override { return Get(22, count); }
    HRESULT GetAttributeType(BSTR name, VARIANT* type) override { return Method(23, type, name); }
    HRESULT get_Item(LONG index, IVrAttribute** attribute) override {
        return Get(DISPID_VALUE, attribute, index);
    }
    HRESULT get__NewEnum(IUnknown** enumerator) override { return Get(DISPID_NEWENUM, enumerator); }
};

} // namespace

void RegisterAttributeProxies() {
    vr::RegisterDualProxy<AttributeProxy>();
    vr::RegisterDualProxy<AttributeCollectionProxy>();
}

} // namespace vrproxies
