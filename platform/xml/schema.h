// The schema cache (compiled XSD schemas by namespace) and the schema object model read from them.
#pragma once

#include "platform/xml/dom.h"
#include "platform/xml/somtypes.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Thread contract: a SchemaCache is used by one thread at a time. A Schema and its items are immutable once
// built and may be read from any thread; isValid is thread-safe.

namespace vr::xml {

namespace detail {
struct SchemaData;
struct SchemaItemData;
struct SchemaCacheImpl;
struct SchemaAccess;
} // namespace detail

class Schema;
class SchemaParticle;
class SchemaElement;
class SchemaModelGroup;
class SchemaAny;
class SchemaType;
class SchemaComplexType;
class SchemaAttribute;
class SchemaItemCollection;

// An attribute of a schema component that is not part of XSD (the annotations "vrt:numid", "vra:format" ...).
struct UnhandledAttribute {
    std::u16string namespaceURI;
    std::u16string localName;
    std::u16string qName;
    std::u16string value;
};

// Any item of the schema object model. An empty handle has the item type SOMITEM_NULL. The As...()
// conversions give an empty handle when the item is not of that kind.
class SchemaItem {
public:
    SchemaItem() = default;
    explicit operator bool() const { return item_ != nullptr; }
    friend bool operator==(const SchemaItem& a, const SchemaItem& b) { return a.item_ == b.item_; }
    // The same for every handle of one item, and unlike that of any other item while its schema lives: a key
    // for what callers work out from an item once.
    const void* identity() const { return item_.get(); }

    SOMITEMTYPE itemType() const;
    std::u16string name() const;
    std::u16string namespaceURI() const;
    Schema schema() const;
    const std::vector<UnhandledAttribute>& unhandledAttributes() const;
    // The unhandled attribute of that local name, whatever its namespace; null when there is none.
    const UnhandledAttribute* findUnhandledAttribute(std::u16string_view localName,
                                                     bool ignoreCase = false) const;

    SchemaParticle AsParticle() const;
    SchemaElement AsElement() const;
    SchemaModelGroup AsModelGroup() const;
    SchemaAny AsAny() const;
    SchemaType AsType() const;
    SchemaComplexType AsComplexType() const;
    SchemaAttribute AsAttribute() const;
    Schema AsSchema() const;

protected:
    explicit SchemaItem(std::shared_ptr<const detail::SchemaItemData> item) : item_(std::move(item)) {}
    std::shared_ptr<const detail::SchemaItemData> item_;
    friend struct detail::SchemaAccess;
};

// Items of one kind in document order, found by index or by name.
class SchemaItemCollection {
public:
    SchemaItemCollection() = default;
    int32_t length() const;
    // An empty item when index is out of range.
    SchemaItem item(int32_t index) const;
    SchemaItem itemByName(std::u16string_view name) const;
    SchemaItem itemByQName(std::u16string_view name, std::u16string_view namespaceURI) const;

private:
    SchemaItemCollection(std::shared_ptr<const detail::SchemaData> owner,
                         const std::vector<const detail::SchemaItemData*>* items)
        : owner_(std::move(owner)), items_(items) {}
    std::shared_ptr<const detail::SchemaData> owner_;
    const std::vector<const detail::SchemaItemData*>* items_ = nullptr;
    friend struct detail::SchemaAccess;
};

// Elements, model groups and wildcards: the items of a content model, with their occurrence bounds.
class SchemaParticle : public SchemaItem {
public:
    SchemaParticle() = default;
    int32_t minOccurs() const;
    // -1 for "unbounded".
    int32_t maxOccurs() const;

protected:
    using SchemaItem::SchemaItem;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
};

class SchemaElement : public SchemaParticle {
public:
    SchemaElement() = default;
    SchemaType type() const;
    // The complex type that declares a local element; an empty item for a global one.
    SchemaComplexType scope() const;
    std::optional<std::u16string> defaultValue() const;
    std::optional<std::u16string> fixedValue() const;
    bool isNillable() const;
    bool isAbstract() const;
    // True for a particle that refers to a global element ("ref"); name, type and values are the global's.
    bool isReference() const;
    SchemaElement substitutionGroup() const;

private:
    using SchemaParticle::SchemaParticle;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
};

// A sequence, choice or all (SOMITEM_SEQUENCE, SOMITEM_CHOICE, SOMITEM_ALL), or the empty particle of a
// type without content (SOMITEM_EMPTYPARTICLE). A reference to a named group stands as its compositor.
class SchemaModelGroup : public SchemaParticle {
public:
    SchemaModelGroup() = default;
    SchemaItemCollection particles() const;

private:
    using SchemaParticle::SchemaParticle;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
};

// An element wildcard (SOMITEM_ANY) or attribute wildcard (SOMITEM_ANYATTRIBUTE).
class SchemaAny : public SchemaParticle {
public:
    SchemaAny() = default;
    // The namespace tokens as written ("##any", "##other", URIs).
    std::vector<std::u16string> namespaces() const;
    SCHEMAPROCESSCONTENTS processContents() const;

private:
    using SchemaParticle::SchemaParticle;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
};

// A type: a built-in datatype (SOMITEM_DATATYPE_*), the any-type (SOMITEM_ANYTYPE), a simple type
// (SOMITEM_SIMPLETYPE) or a complex type (SOMITEM_COMPLEXTYPE). Built-in datatypes have no base types; a
// derived type lists the type it derives from (a union its member types). Facets are those in effect: the
// type's own, else those of its user-defined base types.
class SchemaType : public SchemaItem {
public:
    SchemaType() = default;
    SchemaItemCollection baseTypes() const;
    SCHEMADERIVATIONMETHOD derivedBy() const;
    SCHEMADERIVATIONMETHOD final() const;
    SCHEMATYPEVARIETY variety() const;
    std::optional<std::u16string> minExclusive() const;
    std::optional<std::u16string> minInclusive() const;
    std::optional<std::u16string> maxExclusive() const;
    std::optional<std::u16string> maxInclusive() const;
    // -1 when the facet is absent.
    int32_t totalDigits() const;
    int32_t fractionDigits() const;
    int32_t length() const;
    int32_t minLength() const;
    int32_t maxLength() const;
    std::vector<std::u16string> enumeration() const;
    std::vector<std::u16string> patterns() const;
    SCHEMAWHITESPACE whitespace() const;
    // Whether the text is a valid value of the type (lexical space and facets, as XSD defines them):
    // S_OK valid, S_FALSE not valid, a failure when the check itself cannot be made.
    [[nodiscard]] HRESULT isValid(std::u16string_view text) const;

protected:
    using SchemaItem::SchemaItem;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
};

class SchemaComplexType : public SchemaType {
public:
    SchemaComplexType() = default;
    bool isAbstract() const;
    SCHEMACONTENTTYPE contentType() const;
    // The content model; the empty particle (SOMITEM_EMPTYPARTICLE) for empty and text-only content.
    SchemaModelGroup contentModel() const;
    SchemaItemCollection attributes() const;
    SchemaAny anyAttribute() const;

private:
    using SchemaType::SchemaType;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
};

class SchemaAttribute : public SchemaItem {
public:
    SchemaAttribute() = default;
    SchemaType type() const;
    SchemaComplexType scope() const;
    std::optional<std::u16string> defaultValue() const;
    std::optional<std::u16string> fixedValue() const;
    SCHEMAUSE use() const;
    bool isReference() const;

private:
    using SchemaItem::SchemaItem;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
};

// One compiled schema (SOMITEM_SCHEMA): its global components in document order.
class Schema : public SchemaItem {
public:
    Schema() = default;
    std::u16string targetNamespace() const;
    std::u16string version() const;
    // Named simple and complex types.
    SchemaItemCollection types() const;
    SchemaItemCollection elements() const;
    SchemaItemCollection attributes() const;
    SchemaItemCollection attributeGroups() const;
    SchemaItemCollection modelGroups() const;

private:
    using SchemaItem::SchemaItem;
    friend class SchemaItem;
    friend struct detail::SchemaAccess;
    friend struct detail::SchemaAccess;
};

// The built-in XSD datatype of that name ("int", "string", "anyType"); an empty item for an unknown name.
SchemaType BuiltInType(std::u16string_view name);

// Compiled schemas by target namespace. add() compiles at once: a schema that does not compile is refused
// with the schema processor's error (ErrorDescription(): a location line, then the message, each ending in
// "\r\n"). Only the schemas given are ever read: includes and imports of other locations are not fetched.
class SchemaCache {
public:
    SchemaCache() = default;
    [[nodiscard]] static HRESULT Create(SchemaCache* result);
    explicit operator bool() const { return impl_ != nullptr; }

    // Adds (or replaces) the schema of a namespace from a document whose root is xsd:schema, or from a path
    // or URL. The namespace must be the schema's targetNamespace ("" for none).
    [[nodiscard]] HRESULT add(std::u16string_view namespaceURI, const Document& schemaDocument);
    [[nodiscard]] HRESULT add(std::u16string_view namespaceURI, std::u16string_view url);
    [[nodiscard]] HRESULT remove(std::u16string_view namespaceURI);
    // S_FALSE and an empty schema when the namespace has none.
    [[nodiscard]] HRESULT getSchema(std::u16string_view namespaceURI, Schema* result) const;
    int32_t length() const;
    std::u16string namespaceURI(int32_t index) const;
    // The declaration of an element or attribute node: SOMITEM_ELEMENT or SOMITEM_ATTRIBUTE, found by the
    // node's name and the declarations of its ancestors. S_FALSE and an empty item when there is none.
    [[nodiscard]] HRESULT getDeclaration(const Node& node, SchemaItem* result) const;

private:
    std::shared_ptr<detail::SchemaCacheImpl> impl_;
    friend struct detail::SchemaAccess;
};

} // namespace vr::xml
