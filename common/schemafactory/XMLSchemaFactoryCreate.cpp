// The XML schema factory: XSD elements built from element descriptions, in the plain form (a type attribute)
// and the facet form (an anonymous simple type restricting the built-in type).
#include "common/options/ParamParser.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/schemafactory/XMLSchemaFactoryInternal.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <optional>
#include <vector>

using vrcommon::schemafactory::IsFacetName;
using vrcommon::schemafactory::ThrowIfFailed;
using vrcommon::schemafactory::TypeReference;

namespace {

// One item of a description; an item without "=" has the empty value.
struct DescriptionItem {
    std::u16string name;
    std::u16string value;
};

std::vector<DescriptionItem> ReadItems(const OLECHAR* text) {
    std::vector<DescriptionItem> items;
    int count = ParamCount(text);
    for (int index = 0; index < count; ++index) {
        _bstr_t name;
        _bstr_t value;
        if (GetParamAt(name.GetAddress(), value.GetAddress(), text, index)) {
            items.push_back({std::u16string(name.view()), std::u16string(value.view())});
        }
    }
    return items;
}

bool HasFacetItem(const std::vector<DescriptionItem>& items) {
    for (const DescriptionItem& item : items) {
        if (IsFacetName(item.name)) {
            return true;
        }
    }
    return false;
}

// Takes the item of a name out of the description; nullopt when there is none.
std::optional<std::u16string> TakeItem(_bstr_t& description, const OLECHAR* name) {
    _bstr_t value;
    if (!FindParamValue(nullptr, value.GetAddress(), &description.GetBSTR(), name)) {
        return std::nullopt;
    }
    return std::u16string(value.view());
}

} // namespace

HRESULT CXMLSchemaFactory::CreateElement(vr::xml::Node* element, const OLECHAR* type, const OLECHAR* name,
                                         const OLECHAR* attributes, const OLECHAR* attrStructure,
                                         const OLECHAR* qualifier) {
    return Guarded(u"CXMLSchemaFactory::CreateElement()", [&] {
        return BuildElement(element, vr::U16View(type), vr::U16View(name), attributes, attrStructure,
                            vr::U16View(qualifier));
    });
}

HRESULT CXMLSchemaFactory::CreateElement(vr::xml::Node* element, const OLECHAR* typeNameAttributes,
                                         const OLECHAR* attrStructure, const OLECHAR* qualifier) {
    return Guarded(u"CXMLSchemaFactory::CreateElement()", [&] {
        return BuildFromDescription(element, typeNameAttributes, attrStructure, vr::U16View(qualifier));
    });
}

HRESULT CXMLSchemaFactory::CreateElement(vr::xml::Node* element, const OLECHAR* typeNameAttributes) {
    return Guarded(u"CXMLSchemaFactory::CreateElement()", [&] {
        _bstr_t rest(typeNameAttributes);
        std::u16string qualifier = TakeItem(rest, u"XsdQualifier").value_or(u"xsd");
        std::u16string structure =
            TakeItem(rest, u"XmlAttrStructure").value_or(vrcommon::schemafactory::kDefaultAttrStructure);
        return BuildFromDescription(element, rest, structure.c_str(), qualifier);
    });
}

HRESULT CXMLSchemaFactory::BuildFromDescription(vr::xml::Node* element, const OLECHAR* typeNameAttributes,
                                                const OLECHAR* attrStructure, std::u16string_view qualifier) {
    _bstr_t rest(typeNameAttributes);
    std::optional<std::u16string> type = TakeItem(rest, u"type");
    std::optional<std::u16string> name = TakeItem(rest, u"name");
    if (!type || !name) {
        SetFactoryTraceSite();
        TraceError(
            u"Not enough entry params/attributes (name and/or type are not specified) to CreateElement; "
            u"bstrTypeNameAttributes = '%s'.",
            typeNameAttributes ? typeNameAttributes : u"");
        return E_INVALIDARG;
    }
    return BuildElement(element, *type, *name, rest, attrStructure, qualifier);
}

HRESULT CXMLSchemaFactory::BuildElement(vr::xml::Node* element, std::u16string_view type,
                                        std::u16string_view name, const OLECHAR* attributes,
                                        const OLECHAR* attrStructure, std::u16string_view qualifier) {
    std::vector<DescriptionItem> items = ReadItems(attributes);
    ReloadTemplate();
    // The element lives under the template's root, so the structure's look-ups below find what it holds.
    vr::xml::Node built = NewElement(qualifier, u"element");
    ThrowIfFailed(document_.documentElement().appendChild(built));
    ThrowIfFailed(built.setAttribute(u"name", name));
    if (!HasFacetItem(items)) {
        ThrowIfFailed(built.setAttribute(u"type", TypeReference(qualifier, type)));
        for (const DescriptionItem& item : items) {
            ThrowIfFailed(built.setAttribute(item.name, item.value));
        }
    } else {
        vr::xml::Node restriction = NewElement(qualifier, u"restriction");
        ThrowIfFailed(restriction.setAttribute(u"base", TypeReference(qualifier, type)));
        vr::xml::Node simpleType = NewElement(qualifier, u"simpleType");
        ThrowIfFailed(simpleType.appendChild(restriction));
        ThrowIfFailed(built.appendChild(simpleType));
        for (const DescriptionItem& item : items) {
            _bstr_t target;
            if (IsFacetName(item.name)) {
                vr::xml::Node facet = NewElement(qualifier, item.name);
                ThrowIfFailed(facet.setAttribute(u"value", item.value));
                ThrowIfFailed(restriction.appendChild(facet));
            } else if (GetParam(nullptr, target.GetAddress(), attrStructure, item.name.c_str())) {
                if (HRESULT hr = PlaceStructuredAttribute(item.name, item.value, target.view()); FAILED(hr)) {
                    return hr;
                }
            } else {
                ThrowIfFailed(built.setAttribute(item.name, item.value));
            }
        }
    }
    if (element != nullptr) {
        *element = built;
    }
    return S_OK;
}

HRESULT CXMLSchemaFactory::PlaceStructuredAttribute(std::u16string_view attribute, std::u16string_view value,
                                                    std::u16string_view target) {
    vr::xml::Node found;
    if (!target.empty()) {
        std::u16string path = u"//" + std::u16string(target) + u"[position()=last()]";
        ThrowIfFailed(document_.selectSingleNode(path, &found));
    }
    if (!found) {
        std::u16string attributeText(attribute);
        std::u16string targetText(target);
        SetFactoryTraceSite();
        TraceError(
            u"Wrong bstrAttrStructure entry parameter: Attribute '%s' should be placed to '%s' Element "
            u"which doesn't exist.",
            attributeText.c_str(), targetText.c_str());
        return E_INVALIDARG;
    }
    ThrowIfFailed(found.setAttribute(attribute, value));
    return S_OK;
}
