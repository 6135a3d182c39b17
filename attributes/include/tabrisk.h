// The attribute-collection server's public contract (type library TABRISKLib 1.0): its interfaces, classes,
// identifiers and enumerations. Other deliverables include only this header.
#pragma once

#include "platform/com/dispatch.h"

struct IVrAttribute;
struct IVrAttributeCollection;
struct IVrAttributeCollectionFilter;

// One attribute as IVrAttributeCollection::get_Item hands it out (dual; DISPIDs in brackets).
struct IVrAttribute : IDispatch {
    // [0] The qualified name "<Scope>:<Name>" (the name alone when the attribute has no scope).
    [[nodiscard]] virtual HRESULT get_Name(BSTR* name) = 0;

protected:
    ~IVrAttribute() = default;
};
VR_DECLARE_INTERFACE_ID(IVrAttribute, "5DD34395-C74D-4339-8B0F-9D656FA78C00")

// The owner's hooks into its collection (dual), implemented by the owner. The collection holds no reference
// on it: the owner outlives its collection. Names arrive in varying letter case; compare them without case.
// pSchemaElement is the attribute's schema declaration (members `name`, `namespaceURI`, `itemType` by name),
// or null for added and contained attributes.
struct IVrAttributeCollectionFilter : IDispatch {
    // [1] Before a new value is stored: success or E_NOTIMPL stores it, another failure keeps the old value.
    [[nodiscard]] virtual HRESULT SetAttributeValue(BSTR bstrAttrQName, VARIANT varValue,
                                                    IDispatch* pSchemaElement) = 0;
    // [2] Asked for a first value (vboolInitialValue true) or for the current one of an uncached attribute:
    // S_OK gives *pVarValue, S_FALSE or E_NOTIMPL declines.
    [[nodiscard]] virtual HRESULT GetAttributeValue(BSTR bstrAttrQName, VARIANT* pVarValue,
                                                    IDispatch* pSchemaElement,
                                                    VARIANT_BOOL vboolInitialValue) = 0;
    // [3] May change a value about to be set.
    [[nodiscard]] virtual HRESULT AdjustSetAttribute(BSTR bstrAttrQName, VARIANT* pVarValue,
                                                     IDispatch* pSchemaElement) = 0;
    // [4] Once after an attribute is created.
    [[nodiscard]] virtual HRESULT AttributeIsCreated(BSTR bstrAttrQName, VARIANT* pVarValue,
                                                     IDispatch* pSchemaElement) = 0;

protected:
    ~IVrAttributeCollectionFilter() = default;
};
VR_DECLARE_INTERFACE_ID(IVrAttributeCollectionFilter, "9A1D0D8F-6DCB-43C7-B9CC-3BC9FA8990DD")

// The settings of one component (dual; DISPIDs in brackets). Names are resolved without regard to case: a
// qualified name, a local name that only one attribute has, an alias, or an attribute of a contained
// collection. Apartment-threaded: one thread uses a collection at a time.
struct IVrAttributeCollection : IDispatch {
    // [1] Creates the attributes declared by the xsd:schema under bstrSchemaXPath ("" = "/attributes") of a
    // document (a path or "res://<module>/Attributes.xml"), named "<bstrScope>:<element>", with first values
    // from the registry, bstrSettings, the filter or the schema default, in that order.
    [[nodiscard]] virtual HRESULT LoadFile(BSTR bstrFilePath, BSTR bstrSchemaXPath, BSTR bstrScope,
                                           BSTR bstrSettings) = 0;
    // [2] Adds an attribute without schema; its type is the value's (an empty string when omitted).
    [[nodiscard]] virtual HRESULT AddAttribute(BSTR bstrAttrName, VARIANT varValue) = 0;
    // [3] Saves to the registry, then removes every own attribute.
    [[nodiscard]] virtual HRESULT RemoveAll() = 0;
    // [4]
    [[nodiscard]] virtual HRESULT HasAttribute(BSTR bstrAttrName, VARIANT_BOOL* pvboolHas) = 0;
    // [5] Validates and coerces the value to the attribute's type, then stores and mirrors it.
    [[nodiscard]] virtual HRESULT SetAttribute(BSTR bstrAttrName, VARIANT varValue) = 0;
    // [6] The value; with an integer VARIANT passed in, an enumeration value's index.
    [[nodiscard]] virtual HRESULT GetAttribute(BSTR bstrAttrName, VARIANT* pvarValue) = 0;
    // [7] The schema's enumeration values (an array of VARIANT strings).
    [[nodiscard]] virtual HRESULT GetAttributeValidValues(BSTR bstrAttrName, VARIANT* pvarValues) = 0;
    // [8] Sets the values of an option string "Name=value ...".
    [[nodiscard]] virtual HRESULT SetAttributes(BSTR bstrSettings) = 0;
    // [9] Mirrors the attribute into the owner's variable: VT_BYREF with VT_I4, VT_R8, VT_BSTR or VT_BOOL (a
    // 32-bit integer receiving 1 or 0); VT_EMPTY unlinks. The variable must outlive the link.
    [[nodiscard]] virtual HRESULT _LinkAttributeToLocalVariable(BSTR bstrAttrName, VARIANT varValue) = 0;
    // [10] Makes another collection's attributes reachable; visibility given (whatever its value) hides them
    // from Count, Item and _NewEnum.
    [[nodiscard]] virtual HRESULT AddContainedAttributes(IVrAttributeCollection* pIVrAttributeCollection,
                                                         VARIANT varVisibility) = 0;
    // [11] [12] The owner's filter, held without a reference.
    [[nodiscard]] virtual HRESULT SetAttributeCollectionFilter(IVrAttributeCollectionFilter* pFilter) = 0;
    [[nodiscard]] virtual HRESULT ClearAttributeCollectionFilter() = 0;
    // [13]
    [[nodiscard]] virtual HRESULT AddAlias(BSTR bstrAliasName, BSTR bstrRefferedName) = 0;
    // [14] [15] Persistence under HKEY_CURRENT_USER\<value of REGISTRYROOTKEY>.
    [[nodiscard]] virtual HRESULT RegistrySave() = 0;
    [[nodiscard]] virtual HRESULT RegistryLoad(VARIANT varRegistryRootKey) = 0;
    // [16] Whether the value would be accepted; a VT_BYREF|VT_VARIANT value receives its coerced form.
    [[nodiscard]] virtual HRESULT IsValidAttribute(BSTR bstrAttrName, VARIANT varValue,
                                                   VARIANT_BOOL* pvboolValid) = 0;
    // [17] .. [21]
    [[nodiscard]] virtual HRESULT GetAttributeNumID(BSTR bstrAttrName, LONG* plNumID) = 0;
    [[nodiscard]] virtual HRESULT GetAttributeNumIDName(LONG lNumID, BSTR* pbstrAttrName) = 0;
    [[nodiscard]] virtual HRESULT GetAttributeClass(BSTR bstrAttrName, BSTR* pbstrClass) = 0;
    [[nodiscard]] virtual HRESULT ConvertValueToEnumIndex(BSTR bstrAttrName, VARIANT varValue,
                                                          VARIANT* pvarIndex) = 0;
    [[nodiscard]] virtual HRESULT GetAttributeQName(BSTR bstrAttrName, BSTR* pbstrQName) = 0;
    // [22] Attributes that Item and _NewEnum enumerate.
    [[nodiscard]] virtual HRESULT get_Count(LONG* plCount) = 0;
    // [23] A copy of the stored value, whose type is the attribute's type.
    [[nodiscard]] virtual HRESULT GetAttributeType(BSTR bstrAttrName, VARIANT* pvarType) = 0;
    // [0] [-4]
    [[nodiscard]] virtual HRESULT get_Item(LONG lIndex, IVrAttribute** ppAttribute) = 0;
    [[nodiscard]] virtual HRESULT get__NewEnum(IUnknown** ppEnum) = 0;

protected:
    ~IVrAttributeCollection() = default;
};
VR_DECLARE_INTERFACE_ID(IVrAttributeCollection, "81D17BE6-4547-427B-9FE7-C7F87C4CC5D7")

// The type library and its classes.
inline constexpr GUID LIBID_TABRISKLib = vr::MakeGuid("E7D0FF69-40F7-4640-A6AC-50C5F917EE86");
inline constexpr WORD kTabriskLibMajorVersion = 1;
inline constexpr WORD kTabriskLibMinorVersion = 0;

// `AttributeCollection` (`_AttributeCollection` in the type library): creatable, plain or aggregated.
inline constexpr CLSID CLSID_AttributeCollection = vr::MakeGuid("32DD4F6B-4076-4A75-93B6-0048B1F9CFFA");
inline constexpr const char16_t* kAttributeCollectionProgId = u"Vornic.AttributeCollection.1";
inline constexpr const char16_t* kAttributeCollectionIndependentProgId = u"Vornic.AttributeCollection";

// `Attribute`: registered, but made only by IVrAttributeCollection::get_Item.
inline constexpr CLSID CLSID_Attribute = vr::MakeGuid("CF175A07-8F92-4D37-B2EB-3CBC8BC856BB");
inline constexpr const char16_t* kAttributeProgId = u"Vornic.Attribute.1";
inline constexpr const char16_t* kAttributeIndependentProgId = u"Vornic.Attribute";

// Bits of an attribute's persistence (annotation PERSISTENT: READONLY, WRITEONLY, READWRITE).
enum VrPersistentMode : LONG {
    VR_PERSISTENT_NONE = 0,
    VR_PERSISTENT_READ = 1,  // read from the registry
    VR_PERSISTENT_WRITE = 2, // saved to the registry
    VR_PERSISTENT_READWRITE = 3,
};

// The attribute whose string value names the registry key (a subkey of HKEY_CURRENT_USER) of a collection.
inline constexpr const char16_t* kRegistryRootKeyName = u"REGISTRYROOTKEY";
