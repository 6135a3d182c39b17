// The data of the schema object model: items of one schema, the schema itself and handle construction.
#pragma once

#include "platform/xml/schema.h"

#include <libxml/tree.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vr::xml::detail {

struct SchemaData;
class ValueChecker;
class CompiledValueCheck;

struct Facets {
    std::optional<std::u16string> minExclusive, minInclusive, maxExclusive, maxInclusive;
    int32_t totalDigits = -1, fractionDigits = -1, length = -1, minLength = -1, maxLength = -1;
    std::vector<std::u16string> enumeration;
    std::vector<std::u16string> patterns;
    SCHEMAWHITESPACE whitespace = SCHEMAWHITESPACE_NONE;
};

// One item; which fields mean something depends on the item type. Items are owned by their SchemaData and
// point at other items of the same schema or at the built-in datatypes.
struct SchemaItemData {
    SOMITEMTYPE itemType = SOMITEM_NULL;
    std::u16string name;
    std::u16string ns;
    const SchemaData* schema = nullptr;
    std::vector<UnhandledAttribute> unhandled;
    xmlNodePtr source = nullptr; // the defining element in the schema's document (types)

    // particles
    int32_t minOccurs = 1;
    int32_t maxOccurs = 1;
    // elements and attributes
    const SchemaItemData* type = nullptr;
    const SchemaItemData* scope = nullptr;
    std::optional<std::u16string> defaultValue, fixedValue;
    bool isReference = false, isNillable = false, isAbstract = false;
    const SchemaItemData* substitutionGroup = nullptr;
    SCHEMAUSE use = SCHEMAUSE_OPTIONAL;
    // model groups and attribute groups
    std::vector<const SchemaItemData*> particles;
    // wildcards
    std::vector<std::u16string> namespaces;
    SCHEMAPROCESSCONTENTS processContents = SCHEMAPROCESSCONTENTS_STRICT;
    // types
    std::vector<const SchemaItemData*> baseTypes;
    SCHEMADERIVATIONMETHOD derivedBy = SCHEMADERIVATIONMETHOD_EMPTY;
    SCHEMADERIVATIONMETHOD final = SCHEMADERIVATIONMETHOD_EMPTY;
    SCHEMATYPEVARIETY variety = SCHEMATYPEVARIETY_NONE;
    Facets facets;
    SCHEMACONTENTTYPE contentType = SCHEMACONTENTTYPE_EMPTY;
    const SchemaItemData* contentModel = nullptr;
    std::vector<const SchemaItemData*> attributes;
    const SchemaItemData* anyAttribute = nullptr;
    // the schema item
    std::u16string version;
    std::vector<const SchemaItemData*> types, elements, attributeGroups, modelGroups;

    // isValid: both made on first use, under checkerOnce, and never changed after; compiled is null when the
    // type's checks are not compiled (value_compiled.h) and the schema check answers alone.
    mutable std::once_flag checkerOnce;
    mutable std::shared_ptr<const ValueChecker> checker;
    mutable std::shared_ptr<const CompiledValueCheck> compiled;
    mutable bool floatingGuard = false; // a double or float at the root: see PassesLexicalGuard

    bool IsBuiltIn() const;
};

// One schema: its document (kept for the value checks), its items and the SOMITEM_SCHEMA item.
struct SchemaData : std::enable_shared_from_this<SchemaData> {
    SchemaData() = default;
    ~SchemaData();
    SchemaData(const SchemaData&) = delete;
    SchemaData& operator=(const SchemaData&) = delete;

    xmlDocPtr doc = nullptr;
    std::u16string targetNamespace;
    std::vector<std::unique_ptr<SchemaItemData>> items;
    SchemaItemData* root = nullptr;
    bool builtIn = false;

    SchemaItemData* NewItem(SOMITEMTYPE type);
};

// The process-wide schema of the built-in datatypes (namespace XSD); lives for the whole process.
const std::shared_ptr<SchemaData>& BuiltInSchema();
const SchemaItemData* BuiltInTypeItem(std::u16string_view name);

// Builds the items of a schema from its document (the root is xsd:schema). The document must have been
// compiled by libxml2 already, so that references resolve.
void BuildSchemaItems(SchemaData& data);

struct SchemaAccess {
    static const SchemaItemData* Data(const SchemaItem& item) { return item.item_.get(); }
    template <class T = SchemaItem>
    static T Make(const SchemaItemData* data) {
        if (data == nullptr) {
            return T();
        }
        std::shared_ptr<const SchemaData> owner = data->schema->shared_from_this();
        return T(std::shared_ptr<const SchemaItemData>(owner, data));
    }
    static SchemaItemCollection Collection(const SchemaItemData* data,
                                           const std::vector<const SchemaItemData*>& items) {
        return SchemaItemCollection(data->schema->shared_from_this(), &items);
    }
    static const std::shared_ptr<SchemaCacheImpl>& Impl(const SchemaCache& cache) { return cache.impl_; }
    static void SetImpl(SchemaCache& cache, std::shared_ptr<SchemaCacheImpl> impl) {
        cache.impl_ = std::move(impl);
    }
};

} // namespace vr::xml::detail
