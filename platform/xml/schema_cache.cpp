// The schema cache: compiling schemas by namespace, reading their object models, combining them for
// validation.
#include "platform/base/text.h"
#include "platform/xml/doc_impl.h"
#include "platform/xml/namespaces.h"
#include "platform/xml/parse.h"
#include "platform/xml/runtime.h"
#include "platform/xml/schema_cache_impl.h"
#include "platform/xml/serialize.h"

namespace vr::xml {

using detail::CachedSchema;
using detail::SchemaAccess;
using detail::SchemaCacheImpl;

namespace {

HRESULT SchemaFailure(const detail::ErrorCapture& capture, const std::u16string& url) {
    const detail::CapturedError* error = capture.FirstError();
    if (error == nullptr) {
        return detail::Fail(E_FAIL, u"The schema cannot be compiled.\r\n");
    }
    detail::CapturedError located = *error;
    located.file = url.empty() ? "schema" : ToUtf8(url);
    return detail::Fail(detail::HResultFromXmlError(error->code), detail::DescribeSchemaError(located));
}

xmlSchemaPtr CompileText(const std::string& text, const std::u16string& url, HRESULT* hr) {
    detail::ErrorCapture capture;
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewMemParserCtxt(text.data(), static_cast<int>(text.size()));
    xmlSchemaPtr schema = parser != nullptr ? xmlSchemaParse(parser) : nullptr;
    if (parser != nullptr) {
        xmlSchemaFreeParserCtxt(parser);
    }
    *hr = schema != nullptr ? S_OK : SchemaFailure(capture, url);
    return schema;
}

bool IsSchemaRoot(xmlNodePtr root) {
    return root != nullptr && root->ns != nullptr && detail::ViewXml(root->name) == "schema" &&
           detail::FromXml(root->ns->href) == kXsdNamespace;
}

// Compiles the text and reads its object model into a new entry.
HRESULT MakeEntry(std::u16string_view namespaceURI, std::string text, const std::u16string& url,
                  std::unique_ptr<CachedSchema>* result) {
    auto entry = std::make_unique<CachedSchema>();
    entry->namespaceURI = std::u16string(namespaceURI);
    ParseError parseError;
    detail::ParseRequest request{text, url, true, false};
    xmlDocPtr parsed = detail::ParseDocument(request, &parseError);
    if (parsed == nullptr) {
        return detail::Fail(parseError.errorCode, parseError.reason);
    }
    entry->data = std::make_shared<detail::SchemaData>();
    entry->data->doc = parsed;
    if (!IsSchemaRoot(xmlDocGetRootElement(parsed))) {
        return detail::Fail(E_INVALIDARG, u"The document is not an XML schema.\r\n");
    }
    HRESULT hr = S_OK;
    entry->compiled = CompileText(text, url, &hr);
    if (FAILED(hr)) {
        return hr;
    }
    detail::BuildSchemaItems(*entry->data);
    if (entry->data->targetNamespace != namespaceURI) {
        return detail::Fail(E_FAIL, u"The namespace '" + std::u16string(namespaceURI) +
                                        u"' does not match the targetNamespace '" +
                                        entry->data->targetNamespace + u"' of the schema.\r\n");
    }
    entry->text = std::move(text);
    *result = std::move(entry);
    return S_OK;
}

void Store(SchemaCacheImpl& impl, std::unique_ptr<CachedSchema> entry) {
    for (auto& existing : impl.schemas) {
        if (existing->namespaceURI == entry->namespaceURI) {
            existing = std::move(entry);
            impl.Changed();
            return;
        }
    }
    impl.schemas.push_back(std::move(entry));
    impl.Changed();
}

} // namespace

namespace detail {

CachedSchema::~CachedSchema() {
    if (compiled != nullptr) {
        xmlSchemaFree(compiled);
    }
}

SchemaCacheImpl::~SchemaCacheImpl() {
    Changed();
}

void SchemaCacheImpl::Changed() {
    if (combined != nullptr) {
        xmlSchemaFree(combined);
        combined = nullptr;
    }
}

const CachedSchema* SchemaCacheImpl::Find(std::u16string_view namespaceURI) const {
    for (const auto& entry : schemas) {
        if (entry->namespaceURI == namespaceURI) {
            return entry.get();
        }
    }
    return nullptr;
}

HRESULT SchemaCacheImpl::ValidationSchema(xmlSchemaPtr* schema) {
    if (schemas.empty()) {
        return Fail(E_FAIL, u"There is no schema to validate against.\r\n");
    }
    if (schemas.size() == 1) {
        *schema = schemas.front()->compiled;
        return S_OK;
    }
    if (combined == nullptr) {
        // One schema that imports each namespace; the imports are served from memory, nothing else is read.
        ServedTexts served;
        std::string driver = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">";
        for (const auto& entry : schemas) {
            std::string location = served.Serve(entry->text);
            driver += entry->namespaceURI.empty()
                          ? "<xs:include schemaLocation=\"" + location + "\"/>"
                          : "<xs:import namespace=\"" + EscapeAttributeText(ToUtf8(entry->namespaceURI)) +
                                "\" schemaLocation=\"" + location + "\"/>";
        }
        driver += "</xs:schema>";
        HRESULT hr = S_OK;
        combined = CompileText(driver, u"", &hr);
        if (FAILED(hr)) {
            return hr;
        }
    }
    *schema = combined;
    return S_OK;
}

} // namespace detail

HRESULT SchemaCache::Create(SchemaCache* result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    detail::EnsureInitialized();
    result->impl_ = std::make_shared<SchemaCacheImpl>();
    return S_OK;
}

HRESULT SchemaCache::add(std::u16string_view namespaceURI, const Document& schemaDocument) {
    detail::ClearErrorDescription();
    if (!impl_ || !schemaDocument) {
        return E_POINTER;
    }
    const detail::DocumentImpl& document = *detail::NodeAccess::Impl(schemaDocument);
    if (!IsSchemaRoot(xmlDocGetRootElement(document.doc))) {
        return detail::Fail(E_INVALIDARG, u"The document is not an XML schema.\r\n");
    }
    std::unique_ptr<CachedSchema> entry;
    std::string text = detail::SerializeNode(document, reinterpret_cast<xmlNodePtr>(document.doc));
    if (HRESULT hr = MakeEntry(namespaceURI, std::move(text), document.url, &entry); FAILED(hr)) {
        return hr;
    }
    Store(*impl_, std::move(entry));
    return S_OK;
}

HRESULT SchemaCache::add(std::u16string_view namespaceURI, std::u16string_view url) {
    detail::ClearErrorDescription();
    if (!impl_) {
        return E_POINTER;
    }
    Document document;
    if (HRESULT hr = Document::Create(&document); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = document.load(url); FAILED(hr)) {
        return detail::Fail(hr, document.parseError().reason);
    }
    return add(namespaceURI, document);
}

HRESULT SchemaCache::remove(std::u16string_view namespaceURI) {
    if (!impl_) {
        return E_POINTER;
    }
    auto& schemas = impl_->schemas;
    for (auto it = schemas.begin(); it != schemas.end(); ++it) {
        if ((*it)->namespaceURI == namespaceURI) {
            schemas.erase(it);
            impl_->Changed();
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT SchemaCache::getSchema(std::u16string_view namespaceURI, Schema* result) const {
    if (!impl_ || result == nullptr) {
        return E_POINTER;
    }
    const CachedSchema* entry = impl_->Find(namespaceURI);
    *result = entry ? SchemaAccess::Make<Schema>(entry->data->root) : Schema();
    return entry ? S_OK : S_FALSE;
}

int32_t SchemaCache::length() const {
    return impl_ ? static_cast<int32_t>(impl_->schemas.size()) : 0;
}

std::u16string SchemaCache::namespaceURI(int32_t index) const {
    if (index < 0 || index >= length()) {
        return {};
    }
    return impl_->schemas[static_cast<size_t>(index)]->namespaceURI;
}

} // namespace vr::xml
