// The XML schema factory: its working document and schema template, the guard that turns DOM failures into
// reports, and the building of complex types from nested sequences.
#include "common/schemafactory/XMLSchemaFactory.h"

#include "common/options/ParamParser.h"
#include "common/schemafactory/XMLSchemaFactoryInternal.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"
#include "platform/xml/namespaces.h"
#include "platform/xml/schema.h"

#include <array>
#include <new>

namespace vrcommon::schemafactory {

namespace {

// Error information with the XML layer's description of its last failure; null without a description.
vr::ComPtr<IErrorInfo> DescribeDomFailure() {
    std::u16string description = vr::xml::ErrorDescription();
    vr::ComPtr<IErrorInfo> info;
    vr::ComPtr<ICreateErrorInfo> create;
    if (description.empty() || FAILED(CreateErrorInfo(create.Put()))) {
        return info;
    }
    if (SUCCEEDED(create->SetDescription(description.data()))) {
        (void)create.As(&info);
    }
    return info;
}

constexpr std::array<std::u16string_view, 10> kFacetNames = {
    u"enumeration", u"pattern",      u"length",       u"minLength",    u"maxLength",
    u"whiteSpace",  u"minInclusive", u"maxInclusive", u"minExclusive", u"maxExclusive",
};

} // namespace

void ThrowIfFailed(HRESULT hr) {
    if (SUCCEEDED(hr)) {
        return;
    }
    vr::ComPtr<IErrorInfo> info = DescribeDomFailure();
    throw _com_error(hr, info.Get());
}

bool IsFacetName(std::u16string_view name) {
    for (std::u16string_view facet : kFacetNames) {
        if (facet == name) {
            return true;
        }
    }
    return false;
}

std::u16string Qualified(std::u16string_view qualifier, std::u16string_view localName) {
    std::u16string name(qualifier);
    if (!name.empty()) {
        name += u':';
    }
    name += localName;
    return name;
}

std::u16string TypeReference(std::u16string_view qualifier, std::u16string_view type) {
    if (type.find(u':') != std::u16string_view::npos || !vr::xml::BuiltInType(type)) {
        return std::u16string(type);
    }
    return Qualified(qualifier, type);
}

} // namespace vrcommon::schemafactory

using vrcommon::schemafactory::Qualified;
using vrcommon::schemafactory::ThrowIfFailed;

namespace {

std::u16string SchemaTemplateText() {
    std::u16string text = u"<xsd:schema xmlns:xsd=\"";
    text.append(vr::xml::kXsdNamespace).append(u"\" xmlns:vra=\"");
    text.append(vr::xml::kAdapterAnnotationsNamespace).append(u"\" xmlns:vrt=\"");
    text.append(vr::xml::kObjectAttributesNamespace).append(u"\"/>");
    return text;
}

// The last child element of node whose local name is "sequence"; an empty handle when it has none.
vr::xml::Node LastSequenceChild(const vr::xml::Node& node) {
    for (vr::xml::Node child = node.lastChild(); child; child = child.previousSibling()) {
        if (child.nodeType() == vr::xml::NODE_ELEMENT && child.baseName() == u"sequence") {
            return child;
        }
    }
    return {};
}

std::u16string OccursText(LONG occurs) {
    return occurs == -1 ? std::u16string(u"unbounded") : vr::FormatWString(u"%d", occurs);
}

} // namespace

CXMLSchemaFactory::CXMLSchemaFactory() : schemaTemplate_(SchemaTemplateText()) {
    try {
        vr::xml::Document document;
        ThrowIfFailed(vr::xml::Document::Create(&document));
        document.setAsync(false);
        document.setValidateOnParse(false);
        ThrowIfFailed(document.setProperty(u"SelectionLanguage", u"XPath"));
        document.setPreserveWhiteSpace(true);
        ThrowIfFailed(document.setProperty(u"SelectionNamespaces",
                                           std::u16string(u"xmlns:xsd='") + vr::xml::kXsdNamespace + u"'"));
        document_ = document;
    } catch (const _com_error& error) {
        DumpComError(error);
    }
}

CXMLSchemaFactory::~CXMLSchemaFactory() = default;

HRESULT CXMLSchemaFactory::Guarded(const OLECHAR* methodName, const std::function<HRESULT()>& work) {
    try {
        SetTraceMethodName(methodName);
        return work();
    } catch (const _com_error& error) {
        DumpComError(error);
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void CXMLSchemaFactory::ReloadTemplate() {
    if (!document_) {
        throw _com_error(E_POINTER);
    }
    ThrowIfFailed(document_.loadXML(schemaTemplate_));
}

vr::xml::Node CXMLSchemaFactory::NewElement(std::u16string_view qualifier, std::u16string_view localName) {
    if (!document_) {
        throw _com_error(E_POINTER);
    }
    vr::xml::Node element;
    ThrowIfFailed(document_.createElement(Qualified(qualifier, localName), &element));
    return element;
}

vr::xml::Node CXMLSchemaFactory::InsertionPoint() const {
    vr::xml::Node point = complexType_;
    for (LONG level = 0; point && level < openSequences_; ++level) {
        point = LastSequenceChild(point);
    }
    if (!point) {
        throw _com_error(E_POINTER);
    }
    return point;
}

HRESULT CXMLSchemaFactory::CTBeginComplexType(vr::xml::Node* complexType, const OLECHAR* name,
                                              const OLECHAR* qualifier) {
    return Guarded(u"CXMLSchemaFactory::CTBeginComplexType()", [&] {
        std::u16string_view qualifierText = vr::U16View(qualifier);
        vr::xml::Node type = NewElement(qualifierText, u"complexType");
        ThrowIfFailed(type.setAttribute(u"name", vr::U16View(name)));
        if (complexType != nullptr) {
            *complexType = type;
        }
        complexType_ = type;
        complexTypeQualifier_ = qualifierText;
        openSequences_ = 0;
        return S_OK;
    });
}

HRESULT CXMLSchemaFactory::CTBeginSequence(LONG minOccurs, LONG maxOccurs) {
    return Guarded(u"CXMLSchemaFactory::CTBeginSequence()", [&] {
        vr::xml::Node sequence = NewElement(complexTypeQualifier_, u"sequence");
        ThrowIfFailed(sequence.setAttribute(u"minOccurs", OccursText(minOccurs)));
        ThrowIfFailed(sequence.setAttribute(u"maxOccurs", OccursText(maxOccurs)));
        ThrowIfFailed(InsertionPoint().appendChild(sequence));
        ++openSequences_;
        return S_OK;
    });
}

HRESULT CXMLSchemaFactory::SetOccurs(const OLECHAR* options) {
    LONG minOccurs = 1;
    LONG maxOccurs = -1;
    // A value that is not a number has been traced by the look-up; its default stands.
    (void)GetLongParam(&minOccurs, options, u"minOccurs");
    (void)GetLongParam(&maxOccurs, options, u"maxOccurs");
    return CTBeginSequence(minOccurs, maxOccurs);
}

HRESULT CXMLSchemaFactory::CTEndSequence() {
    return Guarded(u"CXMLSchemaFactory::CTEndSequence()", [&] {
        // The count never goes below zero, so an extra end cannot misplace what later calls add.
        if (openSequences_ == 0) {
            return E_FAIL;
        }
        --openSequences_;
        return S_OK;
    });
}

HRESULT CXMLSchemaFactory::AddElement(const vr::xml::Node& element) {
    return Guarded(u"CXMLSchemaFactory::AddElement()", [&] {
        ThrowIfFailed(InsertionPoint().appendChild(element));
        return S_OK;
    });
}

HRESULT CXMLSchemaFactory::AddElement(const OLECHAR* text) {
    return Guarded(u"CXMLSchemaFactory::AddElement()", [&] {
        if (!document_) {
            throw _com_error(E_POINTER);
        }
        vr::xml::Node comment;
        ThrowIfFailed(document_.createComment(vr::U16View(text), &comment));
        ThrowIfFailed(InsertionPoint().appendChild(comment));
        return S_OK;
    });
}
