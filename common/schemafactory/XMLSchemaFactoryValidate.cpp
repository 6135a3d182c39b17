// The XML schema factory's value check: the element compiled as the one global element of a schema, and the
// value checked against its type.
#include "common/comtext/BstrText.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/schemafactory/XMLSchemaFactoryInternal.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/xml/schema.h"

#include <new>

using vrcommon::schemafactory::ThrowIfFailed;

namespace {

// The error text and result of a check that failed with a COM failure.
HRESULT ReportCheckFailure(const _com_error& error, BSTR* errorText) {
    _bstr_t description = error.Description();
    std::u16string text;
    HRESULT result = E_FAIL;
    if (description.length() > 0) {
        text = vrcommon::schemafactory::CleanErrorDescription(description.view());
        if (FAILED(error.Error())) {
            result = error.Error();
        }
    } else {
        text = LastErrorText();
        if (text.empty()) {
            text = u"Unknown Error.";
        }
    }
    vrcommon::StoreBstr(errorText, text);
    return result;
}

} // namespace

namespace vrcommon::schemafactory {

std::u16string CleanErrorDescription(std::u16string_view description) {
    std::u16string text(description);
    if (size_t lastLineFeed = text.rfind(u'\n'); lastLineFeed != std::u16string::npos) {
        text[lastLineFeed] = u' ';
    }
    if (size_t firstReturn = text.find(u'\r'); firstReturn != std::u16string::npos) {
        text[firstReturn] = u' ';
    }
    size_t lineFeed = text.find(u'\n');
    if (lineFeed == std::u16string::npos) {
        return text;
    }
    text.erase(0, lineFeed + 1);
    for (char16_t& c : text) {
        if (c == u'\n' || c == u'\r') {
            c = u' ';
        }
    }
    return text;
}

} // namespace vrcommon::schemafactory

HRESULT CXMLSchemaFactory::IsValidElement(const vr::xml::Node& element, const OLECHAR* value, BSTR* errorText,
                                          const std::vector<vr::xml::Node>& namedTypes) {
    try {
        SetTraceMethodName(u"CXMLSchemaFactory::IsValidElement()");
        vrcommon::StoreBstr(errorText, std::nullopt);
        return CheckValue(element, value, errorText, namedTypes);
    } catch (const _com_error& error) {
        return ReportCheckFailure(error, errorText);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CXMLSchemaFactory::CheckValue(const vr::xml::Node& element, const OLECHAR* value, BSTR* errorText,
                                      const std::vector<vr::xml::Node>& namedTypes) {
    ReloadTemplate();
    vr::xml::Node schemaElement = document_.documentElement();
    for (const vr::xml::Node& type : namedTypes) {
        vr::xml::Node copy;
        ThrowIfFailed(type.cloneNode(true, &copy));
        ThrowIfFailed(schemaElement.appendChild(copy));
    }
    ThrowIfFailed(schemaElement.appendChild(element));
    // Parsing the text again resolves every prefix against the template's declarations; one it does not
    // declare fails here.
    std::u16string text = document_.xml();
    if (FAILED(document_.loadXML(text))) {
        return E_INVALIDARG;
    }
    vr::xml::Node targetNamespaceNode;
    ThrowIfFailed(document_.selectSingleNode(u"//*/@targetNamespace", &targetNamespaceNode));
    std::u16string targetNamespace = targetNamespaceNode ? targetNamespaceNode.text() : std::u16string();

    vr::xml::SchemaCache cache;
    ThrowIfFailed(vr::xml::SchemaCache::Create(&cache));
    ThrowIfFailed(cache.add(targetNamespace, document_));
    vr::xml::Schema schema;
    ThrowIfFailed(cache.getSchema(targetNamespace, &schema));
    if (!schema || schema.elements().length() == 0) {
        vrcommon::StoreBstr(errorText, std::u16string_view(u"Element is not defined in the Schema."));
        return E_FAIL;
    }
    if (vr::U16Length(value) == 0) {
        return S_OK;
    }
    vr::xml::SchemaType type = schema.elements().item(0).AsElement().type();
    HRESULT verdict = type.isValid(vr::U16View(value));
    ThrowIfFailed(verdict);
    return verdict == S_OK ? S_OK : S_FALSE;
}
