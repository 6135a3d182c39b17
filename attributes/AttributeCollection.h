// CAttributeCollection: the typed, schema-described settings of one component.
#pragma once

#include "attributes/AttributeRecord.h"
#include "attributes/AttributeRegistryKey.h"
#include "attributes/include/tabrisk.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tabrisk {

// Threads: apartment-threaded. One thread at a time uses a collection and its filter; nothing is locked.
class CAttributeCollection : public vr::ObjectRoot,
                             public vr::CoClass<CAttributeCollection>,
                             public vr::DispatchImpl<CAttributeCollection, IVrAttributeCollection>,
                             public vr::SupportErrorInfoImpl<IVrAttributeCollection> {
public:
    using Interfaces = vr::InterfaceList<IVrAttributeCollection, IDispatch, ISupportErrorInfo>;

    static const vr::DispatchTable<CAttributeCollection>& GetDispatchTable();

    HRESULT FinalConstruct();
    void FinalRelease();

    HRESULT LoadFile(BSTR bstrFilePath, BSTR bstrSchemaXPath, BSTR bstrScope, BSTR bstrSettings) override;
    HRESULT AddAttribute(BSTR bstrAttrName, VARIANT varValue) override;
    HRESULT RemoveAll() override;
    HRESULT HasAttribute(BSTR bstrAttrName, VARIANT_BOOL* pvboolHas) override;
    HRESULT SetAttribute(BSTR bstrAttrName, VARIANT varValue) override;
    HRESULT GetAttribute(BSTR bstrAttrName, VARIANT* pvarValue) override;
    HRESULT GetAttributeValidValues(BSTR bstrAttrName, VARIANT* pvarValues) override;
    HRESULT SetAttributes(BSTR bstrSettings) override;
    HRESULT _LinkAttributeToLocalVariable(BSTR bstrAttrName, VARIANT varValue) override;
    HRESULT AddContainedAttributes(IVrAttributeCollection* pIVrAttributeCollection,
                                   VARIANT varVisibility) override;
    HRESULT SetAttributeCollectionFilter(IVrAttributeCollectionFilter* pFilter) override;
    HRESULT ClearAttributeCollectionFilter() override;
    HRESULT AddAlias(BSTR bstrAliasName, BSTR bstrRefferedName) override;
    HRESULT RegistrySave() override;
    HRESULT RegistryLoad(VARIANT varRegistryRootKey) override;
    HRESULT IsValidAttribute(BSTR bstrAttrName, VARIANT varValue, VARIANT_BOOL* pvboolValid) override;
    HRESULT GetAttributeNumID(BSTR bstrAttrName, LONG* plNumID) override;
    HRESULT GetAttributeNumIDName(LONG lNumID, BSTR* pbstrAttrName) override;
    HRESULT GetAttributeClass(BSTR bstrAttrName, BSTR* pbstrClass) override;
    HRESULT ConvertValueToEnumIndex(BSTR bstrAttrName, VARIANT varValue, VARIANT* pvarIndex) override;
    HRESULT GetAttributeQName(BSTR bstrAttrName, BSTR* pbstrQName) override;
    HRESULT get_Count(LONG* plCount) override;
    HRESULT GetAttributeType(BSTR bstrAttrName, VARIANT* pvarType) override;
    HRESULT get_Item(LONG lIndex, IVrAttribute** ppAttribute) override;
    HRESULT get__NewEnum(IUnknown** ppEnum) override;

private:
    // What a name resolves to: an own record, a contained collection, or nothing.
    struct Target {
        AttributeRecord* own = nullptr;
        IVrAttributeCollection* contained = nullptr;
        std::u16string name; // the resolved name, upper-cased
        explicit operator bool() const { return own != nullptr || contained != nullptr; }
    };
    struct ContainedCollectionEntry {
        IVrAttributeCollection* collection = nullptr;
        bool referenced = false;
        bool visible = true;
    };
    // Raises LoadNesting for its lifetime.
    class LoadScope {
    public:
        explicit LoadScope(CAttributeCollection* owner) : owner_(owner) { ++owner_->loadNesting_; }
        ~LoadScope() { --owner_->loadNesting_; }
        LoadScope(const LoadScope&) = delete;
        LoadScope& operator=(const LoadScope&) = delete;

    private:
        CAttributeCollection* owner_;
    };
    // Marks a walk through the contained collections; a nested walk of the same collection (a collection that
    // contains itself, directly or through others) skips them, so the walk ends.
    class ContainedWalk {
    public:
        explicit ContainedWalk(bool* flag) : flag_(flag), entered_(!*flag) { *flag_ = true; }
        ~ContainedWalk() {
            if (entered_) {
                *flag_ = false;
            }
        }
        bool Entered() const { return entered_; }
        ContainedWalk(const ContainedWalk&) = delete;
        ContainedWalk& operator=(const ContainedWalk&) = delete;

    private:
        bool* flag_;
        bool entered_;
    };
    enum class CheckMode { Quiet, Store };

    // ---- Names (CollectionLookup.cpp) ----
    [[nodiscard]] HRESULT Resolve(std::u16string_view name, Target* target);
    [[nodiscard]] HRESULT FollowAliases(std::u16string* upperName) const;
    [[nodiscard]] HRESULT ResolveShortName(const std::u16string& upperName, Target* target);
    [[nodiscard]] HRESULT ResolveContained(const std::u16string& upperName, Target* target);
    // Resolve, with "not found" as TYPE_E_ELEMENTNOTFOUND and its error.
    [[nodiscard]] HRESULT ResolveExisting(std::u16string_view name, Target* target);
    [[nodiscard]] HRESULT ReportNotFound(std::u16string_view name);
    AttributeRecord* FindRecord(const std::u16string& upperName);
    [[nodiscard]] HRESULT AddAliasWork(std::u16string_view alias, std::u16string_view referred);
    [[nodiscard]] HRESULT AddContainedWork(IVrAttributeCollection* collection, const VARIANT& visibility);
    [[nodiscard]] HRESULT CheckContainedNames(IVrAttributeCollection* collection);

    // ---- Values (CollectionValues.cpp) ----
    [[nodiscard]] HRESULT CheckValue(const Target& target, CheckMode mode, Variant* value, bool* valid);
    [[nodiscard]] HRESULT CheckOwnValue(AttributeRecord& record, CheckMode mode, Variant* value, bool* valid);
    [[nodiscard]] HRESULT ValidateAgainstSchema(const AttributeRecord& record, CheckMode mode,
                                                const Variant& value, bool* valid);
    [[nodiscard]] HRESULT MirrorCheck(const AttributeRecord& record, const VARIANT& value,
                                      Variant* mirrored) const;
    void MirrorWrite(const AttributeRecord& record, Variant& mirrored) const;
    [[nodiscard]] HRESULT StoreOwnValue(AttributeRecord& record, Variant* value);
    [[nodiscard]] HRESULT SetAttributeWork(std::u16string_view name, const VARIANT& value);
    [[nodiscard]] HRESULT PassFilterOnSet(const Target& target, Variant* value, bool* skip);
    [[nodiscard]] HRESULT FinishOwnSet(const std::u16string& key, const Variant& value);
    [[nodiscard]] HRESULT GetAttributeWork(std::u16string_view name, VARIANT* out);
    [[nodiscard]] HRESULT GetFromFilter(const Target& target, VARIANT* out, bool* answered);
    [[nodiscard]] HRESULT IsValidWork(std::u16string_view name, const VARIANT& value, VARIANT_BOOL* valid);
    [[nodiscard]] HRESULT ConvertToEnumIndexWork(std::u16string_view name, const VARIANT& value,
                                                 VARIANT* out);
    [[nodiscard]] HRESULT SetAttributesWork(BSTR settings);
    [[nodiscard]] HRESULT LinkWork(std::u16string_view name, const VARIANT& variable);

    // ---- Creation (CollectionCreate.cpp) ----
    [[nodiscard]] HRESULT AddAttributeWork(std::u16string_view name, const VARIANT& value);
    [[nodiscard]] HRESULT InsertRecord(AttributeRecord record, AttributeRecord** inserted);
    [[nodiscard]] HRESULT RemoveAllWork();

    // ---- Enumeration and queries (CollectionQueries.cpp) ----
    LONG CountWork();
    [[nodiscard]] HRESULT ItemWork(LONG index, IVrAttribute** attribute);
    [[nodiscard]] HRESULT NewEnumWork(IUnknown** enumerator);

    // ---- Registry (CollectionRegistry.cpp) ----
    [[nodiscard]] HRESULT ReadFromRegistry(const AttributeRecord& record, Variant* candidate, bool* read);
    [[nodiscard]] HRESULT OpenRegistryKey(const AttributeRecord& record);
    [[nodiscard]] HRESULT RegistrySaveWork();
    [[nodiscard]] HRESULT RegistryLoadWork(const VARIANT& rootKey);

    // ---- Schema documents (CollectionLoad.cpp) ----
    [[nodiscard]] HRESULT LoadFileWork(BSTR path, BSTR schemaXPath, BSTR scope, BSTR settings);
    [[nodiscard]] HRESULT LoadSchemaNode(const vr::xml::Node& schemaNode, std::u16string_view scope,
                                         std::u16string_view settings);
    [[nodiscard]] HRESULT LoadElement(const vr::xml::Document& schemaDocument,
                                      const vr::xml::SchemaElement& element, std::u16string_view scope,
                                      std::u16string_view settings);
    [[nodiscard]] HRESULT ChooseFirstValue(AttributeRecord& record, std::u16string_view settings,
                                           Variant* value, bool* found);
    bool ValueFromSettings(const AttributeRecord& record, std::u16string_view settings, Variant* value) const;
    void AnnounceCreated(const std::u16string& key, const Variant& value);
    std::u16string ListOwnAttributes() const;

    // The end of every public method: a failure gets rich error information from the last error text.
    [[nodiscard]] static HRESULT Finish(HRESULT hr);

    std::map<std::u16string, AttributeRecord> attributes_;
    std::map<std::u16string, std::u16string> aliases_;
    std::vector<ContainedCollectionEntry> contained_;
    IVrAttributeCollectionFilter* filter_ = nullptr;
    LONG loadNesting_ = 0;
    bool walkingContained_ = false;
    AttributeRegistryKey registryKey_;
};

} // namespace tabrisk
