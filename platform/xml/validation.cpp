// Validation of documents and elements against the schemas of a cache, reported as parse errors.
#include "platform/xml/validation.h"

#include "platform/base/text.h"
#include "platform/xml/runtime.h"
#include "platform/xml/schema_cache_impl.h"

namespace vr::xml::detail {
namespace {

std::u16string SourceLine(std::string_view bytes, int line) {
    size_t start = 0;
    for (int current = 1; current < line && start != std::string_view::npos; ++current) {
        start = bytes.find('\n', start);
        start = start == std::string_view::npos ? start : start + 1;
    }
    if (line < 1 || start == std::string_view::npos) {
        return {};
    }
    std::string_view text = bytes.substr(start, bytes.find('\n', start) - start);
    if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    return FromUtf8(text);
}

bool IsWithin(const void* errorNode, xmlNodePtr subtree) {
    for (auto node = static_cast<xmlNodePtr>(const_cast<void*>(errorNode)); node != nullptr;
         node = node->parent) {
        if (node == subtree) {
            return true;
        }
    }
    return false;
}

// The first error about the subtree (any error when subtree is null).
const CapturedError* FirstErrorIn(const ErrorCapture& capture, xmlNodePtr subtree) {
    for (const CapturedError& error : capture.All()) {
        if (error.IsError() && (subtree == nullptr || IsWithin(error.node, subtree))) {
            return &error;
        }
    }
    return nullptr;
}

void Describe(const CapturedError* first, std::string_view bytes, const std::u16string& url,
              ParseError* error) {
    error->errorCode = first ? HResultFromXmlError(first->code) : E_FAIL;
    error->reason = (first ? FromUtf8(first->message) : u"The document is not valid.") + u"\r\n";
    error->line = first ? first->line : 0;
    error->srcText = first ? SourceLine(bytes, first->line) : std::u16string();
    error->url = url;
}

// Runs one validation; on a violation fills *error from the first error reported. An element of the tree
// is checked in its context: the whole document is validated and only errors inside the element count. A
// detached element is validated on its own, which needs a global declaration.
HRESULT Run(SchemaCacheImpl& cache, xmlDocPtr doc, xmlNodePtr element, std::string_view bytes,
            const std::u16string& url, ParseError* error) {
    *error = ParseError{};
    ErrorCapture capture;
    xmlSchemaPtr schema = nullptr;
    if (HRESULT hr = cache.ValidationSchema(&schema); FAILED(hr)) {
        error->errorCode = hr;
        error->reason = ErrorDescription();
        error->url = url;
        return hr;
    }
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema);
    if (context == nullptr) {
        return E_OUTOFMEMORY;
    }
    bool alone = element != nullptr && TopOf(element) != reinterpret_cast<xmlNodePtr>(doc);
    int result = alone ? xmlSchemaValidateOneElement(context, element) : xmlSchemaValidateDoc(context, doc);
    xmlSchemaFreeValidCtxt(context);
    const CapturedError* first = FirstErrorIn(capture, alone ? nullptr : element);
    if (result == 0 || (result > 0 && first == nullptr && element != nullptr && !alone)) {
        return S_OK;
    }
    Describe(first, bytes, url, error);
    return error->errorCode;
}

} // namespace

bool HasSchemas(const SchemaCache& cache) {
    return cache.length() > 0;
}

HRESULT ValidateParsed(const SchemaCache& cache, xmlDocPtr parsed, const ParseRequest& request,
                       ParseError* error) {
    return Run(*SchemaAccess::Impl(cache), parsed, nullptr, request.bytes, request.url, error);
}

HRESULT ValidateTree(DocumentImpl& impl, xmlNodePtr node, ParseError* error) {
    if (!HasSchemas(impl.schemas)) {
        *error = ParseError{};
        error->errorCode = E_FAIL;
        error->reason = u"There is no schema to validate against.\r\n";
        error->url = impl.url;
        return E_FAIL;
    }
    bool whole = node->type == XML_DOCUMENT_NODE;
    if (!whole && node->type != XML_ELEMENT_NODE) {
        return Fail(E_INVALIDARG, u"Only documents and elements can be validated.\r\n");
    }
    return Run(*SchemaAccess::Impl(impl.schemas), impl.doc, whole ? nullptr : node, {}, impl.url, error);
}

} // namespace vr::xml::detail
