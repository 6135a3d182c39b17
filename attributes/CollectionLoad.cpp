// LoadFile: attributes from the xsd:schema of a document, with aliases and first values.
#include "attributes/AttributeCollection.h"

#include "attributes/SchemaElementObject.h"
#include "attributes/SchemaReading.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/resources/res_url.h"
#include "platform/xml/namespaces.h"

namespace tabrisk {
namespace {

using vr::xml::Document;
using vr::xml::Node;

const std::u16string kXsdSelection = std::u16string(u"xmlns:xsd='") + vr::xml::kXsdNamespace + u"'";

HRESULT MakeDocument(bool validateOnParse, Document* document) {
    if (HRESULT hr = Document::Create(document); FAILED(hr)) {
        return hr;
    }
    document->setValidateOnParse(validateOnParse);
    if (HRESULT hr = document->setProperty(u"SelectionLanguage", u"XPath"); FAILED(hr)) {
        return hr;
    }
    return document->setProperty(u"SelectionNamespaces", kXsdSelection);
}

// The parse error's code when it is a failure, else E_FAIL, after the report of the error.
HRESULT ReportParseError(const Document& document) {
    vr::xml::ParseError error = document.parseError();
    DumpParseError(error);
    return FAILED(error.errorCode) ? error.errorCode : E_FAIL;
}

// A failure of the XML layer, with its own description.
HRESULT ReportXmlFailure(HRESULT hr) {
    SetTraceSite();
    TraceHResultError(hr, u"%s", vr::xml::ErrorDescription().c_str());
    return hr;
}

std::u16string SelectionOf(std::u16string_view schemaXPath) {
    if (schemaXPath.empty()) {
        return u"/attributes/*";
    }
    std::u16string selection(schemaXPath);
    if (selection.back() != u'/') {
        selection += u'/';
    }
    return selection + u"*";
}

std::u16string TargetNamespaceOf(const Document& schemaDocument) {
    Node attribute;
    if (schemaDocument.selectSingleNode(u"//*/@targetNamespace", &attribute) != S_OK) {
        return std::u16string();
    }
    return attribute.nodeValue();
}

} // namespace

HRESULT CAttributeCollection::LoadFileWork(BSTR path, BSTR schemaXPath, BSTR scope, BSTR settings) {
    const std::u16string pathText(vr::BstrView(path));
    SetTraceSite();
    TraceInfo(u"( bsFilePath = '%s'; bsSchemaXPath = '%s'; bsScope = '%s'; bsSettings = '%s';)",
              pathText.c_str(), std::u16string(vr::BstrView(schemaXPath)).c_str(),
              std::u16string(vr::BstrView(scope)).c_str(), std::u16string(vr::BstrView(settings)).c_str());
    LoadScope loading(this);
    vr::InstallResUrlResolver();
    Document document;
    if (HRESULT hr = MakeDocument(false, &document); FAILED(hr)) {
        return ReportXmlFailure(hr);
    }
    document.setAsync(true);
    document.setPreserveWhiteSpace(true);
    // Loading is synchronous here: the document is complete (ready state 4) when load returns.
    if (FAILED(document.load(pathText))) {
        return ReportParseError(document);
    }
    const std::u16string selection = SelectionOf(vr::BstrView(schemaXPath));
    vr::xml::NodeList nodes;
    if (HRESULT hr = document.selectNodes(selection, &nodes); FAILED(hr)) {
        return ReportXmlFailure(hr);
    }
    Node schemaNode;
    Node aliasNode;
    for (const Node& node : nodes) {
        if (vr::EqualsNoCase(node.baseName(), u"schema")) {
            schemaNode = node;
        } else if (vr::EqualsNoCase(node.nodeName(), u"aliases")) {
            aliasNode = node;
        }
    }
    for (const Node& alias : aliasNode.childNodes()) {
        std::u16string name;
        std::u16string referred;
        if (alias.getAttribute(u"name", &name) == S_OK && alias.getAttribute(u"value", &referred) == S_OK) {
            if (HRESULT hr = AddAliasWork(name, referred); FAILED(hr)) {
                return hr;
            }
        }
    }
    if (!schemaNode) {
        SetTraceSite();
        TraceError(u"File '%s', XPath '%s' doesn't have 'xsd:schema' definition element.", pathText.c_str(),
                   selection.c_str());
        return E_INVALIDARG;
    }
    if (HRESULT hr = LoadSchemaNode(schemaNode, vr::BstrView(scope), vr::BstrView(settings)); FAILED(hr)) {
        return hr;
    }
    SetTraceSite();
    TraceInfo(u"AttributeCollection loaded from '%s' :\n%s", pathText.c_str(), ListOwnAttributes().c_str());
    return S_OK;
}

HRESULT CAttributeCollection::LoadSchemaNode(const Node& schemaNode, std::u16string_view scope,
                                             std::u16string_view settings) {
    Document schemaDocument;
    if (HRESULT hr = MakeDocument(true, &schemaDocument); FAILED(hr)) {
        return ReportXmlFailure(hr);
    }
    schemaDocument.setAsync(false);
    if (FAILED(schemaDocument.loadXML(schemaNode.xml()))) {
        return ReportParseError(schemaDocument);
    }
    vr::xml::SchemaCache cache;
    if (HRESULT hr = vr::xml::SchemaCache::Create(&cache); FAILED(hr)) {
        return ReportXmlFailure(hr);
    }
    const std::u16string targetNamespace = TargetNamespaceOf(schemaDocument);
    if (HRESULT hr = cache.add(targetNamespace, schemaDocument); FAILED(hr)) {
        return ReportXmlFailure(hr);
    }
    vr::xml::Schema schema;
    if (cache.getSchema(targetNamespace, &schema) != S_OK) {
        return TraceInternalError();
    }
    vr::xml::SchemaItemCollection elements = schema.elements();
    // REGISTRYROOTKEY first, so that the registry key is open before any other attribute reads from it.
    for (bool rootKeyPass : {true, false}) {
        for (int32_t i = 0; i < elements.length(); ++i) {
            vr::xml::SchemaElement element = elements.item(i).AsElement();
            if (vr::EqualsNoCase(element.name(), kRegistryRootKeyName) != rootKeyPass) {
                continue;
            }
            if (HRESULT hr = LoadElement(schemaDocument, element, scope, settings); FAILED(hr)) {
                return hr;
            }
        }
    }
    return S_OK;
}

HRESULT CAttributeCollection::LoadElement(const Document& schemaDocument,
                                          const vr::xml::SchemaElement& element, std::u16string_view scope,
                                          std::u16string_view settings) {
    AttributeRecord record;
    record.name = element.name();
    record.qName = scope.empty() ? record.name : std::u16string(scope) + u":" + record.name;
    SOMITEMTYPE datatype = SOMITEM_NULL;
    if (!ResolveDatatype(element, &datatype)) {
        SetTraceSite();
        TraceError(u"'%s' object attribute isn't a SOMITEM_DATATYPE.", record.qName.c_str());
        return DISP_E_TYPEMISMATCH;
    }
    record.itemType = datatype;
    VARTYPE vt = VT_BSTR;
    static_cast<void>(SomTypeToVarType(datatype, &vt));
    if (FAILED(record.value.ChangeType(vt))) {
        return TraceInternalError();
    }
    ReadAnnotations(element, &record);
    ReadEnumerations(schemaDocument, element, &record);
    record.schemaElement = element;
    if (FAILED(CSchemaElementObject::Create(element, record.schemaElementObject.Put()))) {
        return TraceInternalError();
    }
    AttributeRecord* inserted = nullptr;
    if (HRESULT hr = InsertRecord(std::move(record), &inserted); FAILED(hr)) {
        return hr;
    }
    const std::u16string qName = inserted->qName;
    Variant value;
    bool found = false;
    if (HRESULT hr = ChooseFirstValue(*inserted, settings, &value, &found); FAILED(hr) || !found) {
        return hr; // without a first value the attribute stays empty
    }
    AnnounceCreated(vr::ToUpper(qName), value);
    return SetAttributeWork(qName, value.Get());
}

HRESULT CAttributeCollection::ChooseFirstValue(AttributeRecord& record, std::u16string_view settings,
                                               Variant* value, bool* found) {
    const std::u16string key = vr::ToUpper(record.qName);
    const vr::xml::SchemaElement element = record.schemaElement;
    // Read as the attribute's type: the stored text is the standard conversion's ("-1" for true), which the
    // schema's lexical space may not accept as text, while the typed value validates as it should.
    Variant stored;
    if (FAILED(stored.CopyFrom(record.value.Get()))) {
        return TraceInternalError();
    }
    if (HRESULT hr = ReadFromRegistry(record, &stored, found); FAILED(hr) || *found) {
        *value = std::move(stored);
        return hr;
    }
    if ((*found = ValueFromSettings(record, settings, value))) {
        return S_OK;
    }
    if (filter_ != nullptr) {
        Bstr name(record.qName);
        HRESULT hr = filter_->GetAttributeValue(name.Get(), &value->Get(), record.schemaElementObject.Get(),
                                                VARIANT_TRUE);
        if (hr == S_OK) {
            *found = true;
            if (AttributeRecord* current = FindRecord(key)) {
                current->initialValuePending = true;
                if (FAILED(current->initialValue.CopyFrom(value->Get()))) {
                    return TraceInternalError();
                }
            }
            return S_OK;
        }
        if (hr != S_FALSE && hr != E_NOTIMPL) {
            SetTraceSite();
            TraceInfo(
                u"WARNING: '%s' object attribute: IVrAttributeCollectionFilter::GetAttributeValue() returned "
                u"error %08lx.",
                name.Get(), hr);
            return FAILED(hr) ? hr : E_FAIL;
        }
        value->Clear(); // declined: whatever it left there is not a value
    }
    if (std::optional<std::u16string> text = element.defaultValue()) {
        *value = Variant::FromText(*text);
        *found = true;
    }
    return S_OK;
}

bool CAttributeCollection::ValueFromSettings(const AttributeRecord& record, std::u16string_view settings,
                                             Variant* value) const {
    const std::u16string text(settings);
    // From the last item back: the last item that names the attribute wins.
    for (int i = ParamCount(text.c_str()) - 1; i >= 0; --i) {
        Bstr name;
        Bstr itemValue;
        if (!GetParamAt(name.Put(), itemValue.Put(), text.c_str(), i)) {
            continue;
        }
        std::u16string named = vr::ToUpper(name.View());
        if (FAILED(FollowAliases(&named))) {
            named = vr::ToUpper(name.View()); // a circular alias names nothing further
        }
        if (vr::EqualsNoCase(named, record.qName) || vr::EqualsNoCase(named, record.name)) {
            *value = Variant::FromText(itemValue.View());
            return true;
        }
    }
    return false;
}

void CAttributeCollection::AnnounceCreated(const std::u16string& key, const Variant& value) {
    AttributeRecord* record = FindRecord(key);
    if (filter_ == nullptr || record == nullptr || value.Type() == VT_EMPTY) {
        return;
    }
    Variant announced;
    bool valid = false;
    if (FAILED(announced.CopyFrom(value.Get())) ||
        FAILED(CheckOwnValue(*record, CheckMode::Quiet, &announced, &valid)) || !valid) {
        return;
    }
    // The filter gets a copy: a change it makes is not used.
    Bstr name(record->qName);
    HRESULT hr = filter_->AttributeIsCreated(name.Get(), &announced.Get(), record->schemaElementObject.Get());
    if (FAILED(hr) && hr != E_NOTIMPL) {
        SetTraceSite();
        TraceInfo(
            u"WARNING: '%s' object attribute: IVrAttributeCollectionFilter::AttributeIsCreated('%s') return "
            u"error %08lx.",
            name.Get(), DisplayText(value.Get()).c_str(), hr);
    }
}

std::u16string CAttributeCollection::ListOwnAttributes() const {
    std::u16string list;
    for (const auto& [key, record] : attributes_) {
        Variant shown;
        if (!record.valueIsEmpty) {
            static_cast<void>(shown.CopyFrom(record.value.Get()));
        }
        list += record.qName + u"='" + TypedText(shown.Get()) + u"'; ";
    }
    return list;
}

} // namespace tabrisk
