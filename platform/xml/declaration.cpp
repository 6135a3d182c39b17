// The schema declaration of a DOM node: found by names along its ancestors' declarations.
#include "platform/base/text.h"
#include "platform/xml/doc_impl.h"
#include "platform/xml/runtime.h"
#include "platform/xml/schema_cache_impl.h"
#include "platform/xml/tree_ops.h"

namespace vr::xml {

using detail::SchemaAccess;
using detail::SchemaItemData;

namespace {

struct Name {
    std::u16string ns;
    std::u16string local;
};

Name NameOf(xmlNodePtr node) {
    return {FromUtf8(detail::NamespaceOf(node)), detail::FromXml(node->name)};
}

const SchemaItemData* GlobalOf(const detail::SchemaCacheImpl& cache, const Name& name, bool attribute) {
    const detail::CachedSchema* entry = cache.Find(name.ns);
    if (entry == nullptr) {
        return nullptr;
    }
    const auto& globals = attribute ? entry->data->root->attributes : entry->data->root->elements;
    for (const SchemaItemData* item : globals) {
        if (item->name == name.local) {
            return item;
        }
    }
    return nullptr;
}

// The element particle of that name in a content model; *wildcard tells whether an xsd:any could match.
const SchemaItemData* FindInModel(const SchemaItemData* model, const Name& name, bool* wildcard) {
    if (model == nullptr) {
        return nullptr;
    }
    for (const SchemaItemData* particle : model->particles) {
        if (particle->itemType == SOMITEM_ELEMENT) {
            if (particle->name == name.local && particle->ns == name.ns) {
                return particle;
            }
        } else if (particle->itemType == SOMITEM_ANY) {
            *wildcard = true;
        } else if (const SchemaItemData* found = FindInModel(particle, name, wildcard)) {
            return found;
        }
    }
    return nullptr;
}

const SchemaItemData* ChildDeclaration(const detail::SchemaCacheImpl& cache, const SchemaItemData* parent,
                                       const Name& name) {
    const SchemaItemData* type = parent != nullptr ? parent->type : nullptr;
    if (type == nullptr || type->itemType != SOMITEM_COMPLEXTYPE) {
        return nullptr;
    }
    bool wildcard = false;
    const SchemaItemData* found = FindInModel(type->contentModel, name, &wildcard);
    return found != nullptr ? found : wildcard ? GlobalOf(cache, name, false) : nullptr;
}

const SchemaItemData* ElementDeclaration(const detail::SchemaCacheImpl& cache, xmlNodePtr element) {
    std::vector<xmlNodePtr> chain;
    for (xmlNodePtr node = element; node != nullptr && node->type == XML_ELEMENT_NODE; node = node->parent) {
        chain.push_back(node);
    }
    const SchemaItemData* declaration = GlobalOf(cache, NameOf(chain.back()), false);
    for (auto it = chain.rbegin() + 1; declaration != nullptr && it != chain.rend(); ++it) {
        declaration = ChildDeclaration(cache, declaration, NameOf(*it));
    }
    return declaration != nullptr ? declaration : GlobalOf(cache, NameOf(element), false);
}

const SchemaItemData* AttributeDeclaration(const detail::SchemaCacheImpl& cache, xmlNodePtr attribute) {
    Name name = NameOf(attribute);
    if (attribute->parent != nullptr) {
        const SchemaItemData* element = ElementDeclaration(cache, attribute->parent);
        const SchemaItemData* type = element != nullptr ? element->type : nullptr;
        for (const SchemaItemData* declared :
             type ? type->attributes : std::vector<const SchemaItemData*>()) {
            if (declared->name == name.local && declared->ns == name.ns) {
                return declared;
            }
        }
    }
    return GlobalOf(cache, name, true);
}

} // namespace

HRESULT SchemaCache::getDeclaration(const Node& node, SchemaItem* result) const {
    if (!impl_ || result == nullptr || !node) {
        return E_POINTER;
    }
    xmlNodePtr xml = detail::NodeAccess::Xml(node);
    const SchemaItemData* found = nullptr;
    if (xml->type == XML_ELEMENT_NODE) {
        found = ElementDeclaration(*impl_, xml);
    } else if (xml->type == XML_ATTRIBUTE_NODE) {
        found = AttributeDeclaration(*impl_, xml);
    }
    *result = SchemaAccess::Make(found);
    return found != nullptr ? S_OK : S_FALSE;
}

} // namespace vr::xml
