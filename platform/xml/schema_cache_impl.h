// The state of a schema cache: compiled schemas by namespace, their object models, the combined schema.
#pragma once

#include "platform/xml/som_data.h"

#include <libxml/xmlschemas.h>

#include <memory>
#include <string>
#include <vector>

namespace vr::xml::detail {

struct CachedSchema {
    CachedSchema() = default;
    ~CachedSchema();
    CachedSchema(const CachedSchema&) = delete;
    CachedSchema& operator=(const CachedSchema&) = delete;

    std::u16string namespaceURI;
    std::string text; // the schema as compiled (UTF-8)
    xmlSchemaPtr compiled = nullptr;
    std::shared_ptr<SchemaData> data;
};

struct SchemaCacheImpl {
    SchemaCacheImpl() = default;
    ~SchemaCacheImpl();
    SchemaCacheImpl(const SchemaCacheImpl&) = delete;
    SchemaCacheImpl& operator=(const SchemaCacheImpl&) = delete;

    const CachedSchema* Find(std::u16string_view namespaceURI) const;
    // The schema that validates documents: the only one, or one that imports all (made on demand).
    [[nodiscard]] HRESULT ValidationSchema(xmlSchemaPtr* schema);
    void Changed();

    std::vector<std::unique_ptr<CachedSchema>> schemas;
    xmlSchemaPtr combined = nullptr;
};

} // namespace vr::xml::detail
