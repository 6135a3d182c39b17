// The XML schema factory's reading of an element back into its description: type, name, attributes with
// facets, the attribute structure that places attributes on facets, and the qualifier.
#include "common/comtext/BstrText.h"
#include "common/options/ParamParser.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/schemafactory/XMLSchemaFactoryInternal.h"
#include "common/trace/Trace.h"
#include "platform/com/comutil.h"

#include <array>
#include <optional>

using vrcommon::schemafactory::IsFacetName;

namespace {

// The local name, preceded by the node's own prefix when it has one other than the qualifier.
std::u16string NameAgainstQualifier(const vr::xml::Node& node, std::u16string_view qualifier) {
    std::u16string prefix = node.prefix();
    if (prefix.empty() || prefix == qualifier) {
        return node.baseName();
    }
    return prefix + u":" + node.baseName();
}

// Appends the item name=value, quoted where the writer of option strings quotes.
void AppendItem(BSTR* list, const std::u16string& name, const std::u16string& value) {
    (void)AppendParam(list, name.c_str(), value.c_str(), u" ", false);
}

// The attribute's value, or nullopt when the element has none of that name.
std::optional<std::u16string> AttributeValue(const vr::xml::Node& element, std::u16string_view name) {
    std::u16string value;
    if (element.getAttribute(name, &value) != S_OK) {
        return std::nullopt;
    }
    return value;
}

// "xsd:string" against the qualifier "xsd" gives "string"; a type of another prefix stays as it is.
std::u16string TypeWithoutQualifier(const std::u16string& type, std::u16string_view qualifier) {
    size_t colon = type.find(u':');
    if (colon == std::u16string::npos || colon == 0 ||
        std::u16string_view(type).substr(0, colon) != qualifier) {
        return type;
    }
    return type.substr(colon + 1);
}

} // namespace

HRESULT CXMLSchemaFactory::LoadElement(const vr::xml::Node& element, BSTR* type, BSTR* name, BSTR* attributes,
                                       BSTR* attrStructure, BSTR* qualifier) {
    return Guarded(u"CXMLSchemaFactory::LoadElement()",
                   [&] { return ReadElement(element, type, name, attributes, attrStructure, qualifier); });
}

HRESULT CXMLSchemaFactory::LoadElement(const vr::xml::Node& element, BSTR* typeNameAttributes) {
    return Guarded(u"CXMLSchemaFactory::LoadElement()", [&] {
        std::array<_bstr_t, 5> parts; // type, name, attributes, structure, qualifier
        HRESULT hr = ReadElement(element, parts[0].GetAddress(), parts[1].GetAddress(), parts[2].GetAddress(),
                                 parts[3].GetAddress(), parts[4].GetAddress());
        if (FAILED(hr)) {
            return hr;
        }
        _bstr_t description(parts[2]);
        BSTR* list = &description.GetBSTR();
        AppendItem(list, u"type", std::u16string(parts[0].view()));
        AppendItem(list, u"name", std::u16string(parts[1].view()));
        AppendItem(list, u"XsdQualifier", std::u16string(parts[4].view()));
        AppendItem(list, u"XmlAttrStructure", std::u16string(parts[3].view()));
        vrcommon::StoreBstr(typeNameAttributes, description.view());
        return S_OK;
    });
}

HRESULT CXMLSchemaFactory::ReadElement(const vr::xml::Node& element, BSTR* type, BSTR* name, BSTR* attributes,
                                       BSTR* attrStructure, BSTR* qualifier) {
    for (BSTR* result : {type, name, attributes, attrStructure, qualifier}) {
        vrcommon::StoreBstr(result, u"");
    }
    restrictionBase_.clear();
    if (element.nodeType() != vr::xml::NODE_ELEMENT || element.baseName() != u"element") {
        std::u16string localName = element.baseName();
        SetFactoryTraceSite();
        TraceError(u"Wrong pElementNode: ElementNode is not an 'element', but '%s'.", localName.c_str());
        return E_FAIL;
    }
    std::u16string qualifierText = element.prefix();
    std::u16string typeText = AttributeValue(element, u"type").value_or(u"");
    std::u16string nameText = AttributeValue(element, u"name").value_or(u"");
    _bstr_t attributeList;
    _bstr_t structure;
    WalkNode(element, qualifierText, &attributeList.GetBSTR(), &structure.GetBSTR());
    if (!restrictionBase_.empty()) {
        typeText = restrictionBase_;
    }
    typeText = TypeWithoutQualifier(typeText, qualifierText);

    vrcommon::StoreBstr(type, typeText);
    vrcommon::StoreBstr(name, nameText);
    vrcommon::StoreBstr(attributes, attributeList.view());
    vrcommon::StoreBstr(attrStructure, structure.view());
    vrcommon::StoreBstr(qualifier, qualifierText);
    return S_OK;
}

void CXMLSchemaFactory::WalkNode(const vr::xml::Node& node, std::u16string_view qualifier, BSTR* attributes,
                                 BSTR* attrStructure) {
    std::u16string nodeName = NameAgainstQualifier(node, qualifier);
    if (SysStringLen(*attrStructure) == 0) {
        vrcommon::ReplaceBstr(attrStructure, vrcommon::schemafactory::kDefaultAttrStructure);
    }
    bool isFacet = IsFacetName(nodeName);
    vr::xml::NamedNodeMap nodeAttributes = node.attributes();
    for (int32_t index = 0; index < nodeAttributes.length(); ++index) {
        vr::xml::Node attribute = nodeAttributes.item(index);
        std::u16string attributeName = NameAgainstQualifier(attribute, qualifier);
        std::u16string value = attribute.nodeValue();
        if (nodeName == u"element" && (attributeName == u"name" || attributeName == u"type")) {
            continue;
        }
        if (nodeName == u"restriction" && attributeName == u"base") {
            restrictionBase_ = value;
        } else if (isFacet && attributeName == u"value") {
            AppendItem(attributes, nodeName, value);
        } else {
            if (nodeName != u"element" &&
                !GetParam(nullptr, nullptr, *attrStructure, attributeName.c_str())) {
                AppendItem(attrStructure, attributeName, nodeName);
            }
            AppendItem(attributes, attributeName, value);
        }
    }
    for (vr::xml::Node child = node.firstChild(); child; child = child.nextSibling()) {
        if (child.nodeType() == vr::xml::NODE_ELEMENT) {
            WalkNode(child, qualifier, attributes, attrStructure);
        }
    }
}
