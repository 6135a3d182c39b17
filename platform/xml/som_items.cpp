// Handles of the schema object model: item kinds, names, particles, elements, types, facets and collections.
#include "platform/base/text.h"
#include "platform/xml/som_data.h"
#include "platform/xml/value_check.h"

namespace vr::xml {

using detail::SchemaAccess;
using detail::SchemaItemData;

namespace {

const std::vector<UnhandledAttribute>& NoAttributes() {
    static const std::vector<UnhandledAttribute> none;
    return none;
}

bool IsParticle(SOMITEMTYPE type) {
    return (type & SOMITEM_PARTICLE) == SOMITEM_PARTICLE && type != SOMITEM_ANYATTRIBUTE;
}
bool IsType(SOMITEMTYPE type) {
    return (type & SOMITEM_ANYTYPE) == SOMITEM_ANYTYPE && type != SOMITEM_NULL_TYPE;
}

template <class T>
T AsIf(const SchemaItem& item, bool matches) {
    return matches ? SchemaAccess::Make<T>(SchemaAccess::Data(item)) : T();
}

} // namespace

SOMITEMTYPE SchemaItem::itemType() const {
    return item_ ? item_->itemType : SOMITEM_NULL;
}
std::u16string SchemaItem::name() const {
    return item_ ? item_->name : std::u16string();
}
std::u16string SchemaItem::namespaceURI() const {
    return item_ ? item_->ns : std::u16string();
}
Schema SchemaItem::schema() const {
    return item_ ? SchemaAccess::Make<Schema>(item_->schema->root) : Schema();
}

const std::vector<UnhandledAttribute>& SchemaItem::unhandledAttributes() const {
    return item_ ? item_->unhandled : NoAttributes();
}

const UnhandledAttribute* SchemaItem::findUnhandledAttribute(std::u16string_view localName,
                                                             bool ignoreCase) const {
    for (const UnhandledAttribute& attribute : unhandledAttributes()) {
        if (ignoreCase ? EqualsNoCase(attribute.localName, localName) : attribute.localName == localName) {
            return &attribute;
        }
    }
    return nullptr;
}

SchemaParticle SchemaItem::AsParticle() const {
    return AsIf<SchemaParticle>(*this, IsParticle(itemType()));
}
SchemaElement SchemaItem::AsElement() const {
    return AsIf<SchemaElement>(*this, itemType() == SOMITEM_ELEMENT);
}
SchemaModelGroup SchemaItem::AsModelGroup() const {
    SOMITEMTYPE type = itemType();
    return AsIf<SchemaModelGroup>(*this, (type & SOMITEM_GROUP) == SOMITEM_GROUP && type != SOMITEM_NULL);
}
SchemaAny SchemaItem::AsAny() const {
    return AsIf<SchemaAny>(*this, itemType() == SOMITEM_ANY || itemType() == SOMITEM_ANYATTRIBUTE);
}
SchemaType SchemaItem::AsType() const {
    return AsIf<SchemaType>(*this, IsType(itemType()));
}
SchemaComplexType SchemaItem::AsComplexType() const {
    return AsIf<SchemaComplexType>(*this, itemType() == SOMITEM_COMPLEXTYPE || itemType() == SOMITEM_ANYTYPE);
}
SchemaAttribute SchemaItem::AsAttribute() const {
    return AsIf<SchemaAttribute>(*this, itemType() == SOMITEM_ATTRIBUTE);
}
Schema SchemaItem::AsSchema() const {
    return AsIf<Schema>(*this, itemType() == SOMITEM_SCHEMA);
}

int32_t SchemaItemCollection::length() const {
    return items_ ? static_cast<int32_t>(items_->size()) : 0;
}

SchemaItem SchemaItemCollection::item(int32_t index) const {
    if (index < 0 || index >= length()) {
        return {};
    }
    return SchemaAccess::Make((*items_)[static_cast<size_t>(index)]);
}

SchemaItem SchemaItemCollection::itemByName(std::u16string_view name) const {
    for (int32_t i = 0; i < length(); ++i) {
        if ((*items_)[static_cast<size_t>(i)]->name == name) {
            return item(i);
        }
    }
    return {};
}

SchemaItem SchemaItemCollection::itemByQName(std::u16string_view name,
                                             std::u16string_view namespaceURI) const {
    for (int32_t i = 0; i < length(); ++i) {
        const SchemaItemData* data = (*items_)[static_cast<size_t>(i)];
        if (data->name == name && data->ns == namespaceURI) {
            return item(i);
        }
    }
    return {};
}

int32_t SchemaParticle::minOccurs() const {
    return item_ ? item_->minOccurs : 0;
}
int32_t SchemaParticle::maxOccurs() const {
    return item_ ? item_->maxOccurs : 0;
}

SchemaType SchemaElement::type() const {
    return item_ ? SchemaAccess::Make<SchemaType>(item_->type) : SchemaType();
}
SchemaComplexType SchemaElement::scope() const {
    return item_ ? SchemaAccess::Make<SchemaComplexType>(item_->scope) : SchemaComplexType();
}
std::optional<std::u16string> SchemaElement::defaultValue() const {
    return item_ ? item_->defaultValue : std::nullopt;
}
std::optional<std::u16string> SchemaElement::fixedValue() const {
    return item_ ? item_->fixedValue : std::nullopt;
}
bool SchemaElement::isNillable() const {
    return item_ && item_->isNillable;
}
bool SchemaElement::isAbstract() const {
    return item_ && item_->isAbstract;
}
bool SchemaElement::isReference() const {
    return item_ && item_->isReference;
}
SchemaElement SchemaElement::substitutionGroup() const {
    return item_ ? SchemaAccess::Make<SchemaElement>(item_->substitutionGroup) : SchemaElement();
}

SchemaItemCollection SchemaModelGroup::particles() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->particles) : SchemaItemCollection();
}

std::vector<std::u16string> SchemaAny::namespaces() const {
    return item_ ? item_->namespaces : std::vector<std::u16string>();
}
SCHEMAPROCESSCONTENTS SchemaAny::processContents() const {
    return item_ ? item_->processContents : SCHEMAPROCESSCONTENTS_NONE;
}

SchemaItemCollection SchemaType::baseTypes() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->baseTypes) : SchemaItemCollection();
}
SCHEMADERIVATIONMETHOD SchemaType::derivedBy() const {
    return item_ ? item_->derivedBy : SCHEMADERIVATIONMETHOD_EMPTY;
}
SCHEMADERIVATIONMETHOD SchemaType::final() const {
    return item_ ? item_->final : SCHEMADERIVATIONMETHOD_EMPTY;
}
SCHEMATYPEVARIETY SchemaType::variety() const {
    return item_ ? item_->variety : SCHEMATYPEVARIETY_NONE;
}
std::optional<std::u16string> SchemaType::minExclusive() const {
    return item_ ? item_->facets.minExclusive : std::nullopt;
}
std::optional<std::u16string> SchemaType::minInclusive() const {
    return item_ ? item_->facets.minInclusive : std::nullopt;
}
std::optional<std::u16string> SchemaType::maxExclusive() const {
    return item_ ? item_->facets.maxExclusive : std::nullopt;
}
std::optional<std::u16string> SchemaType::maxInclusive() const {
    return item_ ? item_->facets.maxInclusive : std::nullopt;
}
int32_t SchemaType::totalDigits() const {
    return item_ ? item_->facets.totalDigits : -1;
}
int32_t SchemaType::fractionDigits() const {
    return item_ ? item_->facets.fractionDigits : -1;
}
int32_t SchemaType::length() const {
    return item_ ? item_->facets.length : -1;
}
int32_t SchemaType::minLength() const {
    return item_ ? item_->facets.minLength : -1;
}
int32_t SchemaType::maxLength() const {
    return item_ ? item_->facets.maxLength : -1;
}
std::vector<std::u16string> SchemaType::enumeration() const {
    return item_ ? item_->facets.enumeration : std::vector<std::u16string>();
}
std::vector<std::u16string> SchemaType::patterns() const {
    return item_ ? item_->facets.patterns : std::vector<std::u16string>();
}
SCHEMAWHITESPACE SchemaType::whitespace() const {
    return item_ ? item_->facets.whitespace : SCHEMAWHITESPACE_NONE;
}

HRESULT SchemaType::isValid(std::u16string_view text) const {
    if (!item_) {
        return E_POINTER;
    }
    return detail::CheckValue(*item_, text);
}

bool SchemaComplexType::isAbstract() const {
    return item_ && item_->isAbstract;
}
SCHEMACONTENTTYPE SchemaComplexType::contentType() const {
    return item_ ? item_->contentType : SCHEMACONTENTTYPE_EMPTY;
}
SchemaModelGroup SchemaComplexType::contentModel() const {
    return item_ ? SchemaAccess::Make<SchemaModelGroup>(item_->contentModel) : SchemaModelGroup();
}
SchemaItemCollection SchemaComplexType::attributes() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->attributes) : SchemaItemCollection();
}
SchemaAny SchemaComplexType::anyAttribute() const {
    return item_ ? SchemaAccess::Make<SchemaAny>(item_->anyAttribute) : SchemaAny();
}

SchemaType SchemaAttribute::type() const {
    return item_ ? SchemaAccess::Make<SchemaType>(item_->type) : SchemaType();
}
SchemaComplexType SchemaAttribute::scope() const {
    return item_ ? SchemaAccess::Make<SchemaComplexType>(item_->scope) : SchemaComplexType();
}
std::optional<std::u16string> SchemaAttribute::defaultValue() const {
    return item_ ? item_->defaultValue : std::nullopt;
}
std::optional<std::u16string> SchemaAttribute::fixedValue() const {
    return item_ ? item_->fixedValue : std::nullopt;
}
SCHEMAUSE SchemaAttribute::use() const {
    return item_ ? item_->use : SCHEMAUSE_OPTIONAL;
}
bool SchemaAttribute::isReference() const {
    return item_ && item_->isReference;
}

std::u16string Schema::targetNamespace() const {
    return item_ ? item_->ns : std::u16string();
}
std::u16string Schema::version() const {
    return item_ ? item_->version : std::u16string();
}
SchemaItemCollection Schema::types() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->types) : SchemaItemCollection();
}
SchemaItemCollection Schema::elements() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->elements) : SchemaItemCollection();
}
SchemaItemCollection Schema::attributes() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->attributes) : SchemaItemCollection();
}
SchemaItemCollection Schema::attributeGroups() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->attributeGroups) : SchemaItemCollection();
}
SchemaItemCollection Schema::modelGroups() const {
    return item_ ? SchemaAccess::Collection(item_.get(), item_->modelGroups) : SchemaItemCollection();
}

} // namespace vr::xml
