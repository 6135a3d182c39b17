// CCommand: what operations and actions share: names, parameter lists, the `parameters` mapping, attribute
// references in values, the trace text and the schema type table.
#include "Command.h"

#include "Socket.h"
#include "SocketErrors.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"

namespace plugmar {

namespace {

constexpr std::u16string_view kAttributePrefix = u"Attribute:";

std::u16string AttributeText(const vr::xml::Node& node, std::u16string_view name) {
    std::u16string value;
    return SUCCEEDED(node.getAttribute(name, &value)) ? value : std::u16string();
}

bool HasAttribute(const vr::xml::Node& node, std::u16string_view name) {
    return static_cast<bool>(node.attributes().getNamedItem(name));
}

// Splits "scope:element" at its first ":"; a name without one is all element.
void SplitWrittenName(CommandParam& param) {
    size_t colon = param.writtenName.find(u':');
    if (colon == std::u16string::npos) {
        param.scope.clear();
        param.element = param.writtenName;
    } else {
        param.scope = param.writtenName.substr(0, colon);
        param.element = param.writtenName.substr(colon + 1);
    }
}

} // namespace

VARTYPE VarTypeOfSchemaType(SOMITEMTYPE type) {
    switch (type) {
    case SOMITEM_DATATYPE_BOOLEAN:
        return VT_BOOL;
    case SOMITEM_DATATYPE_BYTE:
        return VT_I1;
    case SOMITEM_DATATYPE_DOUBLE:
    case SOMITEM_DATATYPE_INTEGER:
    case SOMITEM_DATATYPE_NEGATIVEINTEGER:
    case SOMITEM_DATATYPE_NONNEGATIVEINTEGER:
    case SOMITEM_DATATYPE_NONPOSITIVEINTEGER:
    case SOMITEM_DATATYPE_POSITIVEINTEGER:
        return VT_R8;
    case SOMITEM_DATATYPE_FLOAT:
        return VT_R4;
    case SOMITEM_DATATYPE_INT:
    case SOMITEM_DATATYPE_LONG:
        return VT_I4;
    case SOMITEM_DATATYPE_SHORT:
        return VT_I2;
    case SOMITEM_DATATYPE_UNSIGNEDBYTE:
        return VT_UI1;
    case SOMITEM_DATATYPE_UNSIGNEDSHORT:
        return VT_UI2;
    case SOMITEM_DATATYPE_UNSIGNEDINT:
    case SOMITEM_DATATYPE_UNSIGNEDLONG:
        return VT_UI4;
    default:
        return VT_BSTR;
    }
}

HRESULT CCommand::ResolveParamValue(const VARIANT& in, VARIANT* out) {
    VARIANT value = UnwrapVariantRef(in);
    if (value.vt == VT_BSTR) {
        std::u16string_view text = vr::BstrView(value.bstrVal);
        if (text.size() >= kAttributePrefix.size() &&
            vr::EqualsNoCase(text.substr(0, kAttributePrefix.size()), kAttributePrefix)) {
            IVrAttributeCollection* device = socket_.DeviceAttributes();
            BSTR name = vr::AllocBstr(text.substr(kAttributePrefix.size()));
            HRESULT hr = device ? device->GetAttribute(name, out) : E_FAIL;
            SysFreeString(name);
            return FAILED(hr) ? E_INVALIDARG : S_OK;
        }
    }
    return VariantCopyInd(out, &in);
}

HRESULT CCommand::ResolveParamTypes() {
    for (CommandParam& param : entryParams_) {
        if (FAILED(ResolveParamType(param, false))) {
            return RecordFailure(
                E_FAIL, u"Couldn't determine type of parameter '%s:%s' within the '%s' operation element.",
                param.scope.c_str(), param.element.c_str(), name_.c_str());
        }
    }
    for (CommandParam& param : resultParams_) {
        if (FAILED(ResolveParamType(param, true))) {
            return RecordFailure(
                E_FAIL, u"Couldn't determine type of parameter '%s:%s' within the '%s' operation element.",
                param.scope.c_str(), param.element.c_str(), name_.c_str());
        }
    }
    return S_OK;
}

void CCommand::Dump(std::u16string& out) const {
    auto item = [&out](const CommandParam& param) {
        out +=
            vr::FormatWString(u"(%s %d)%s{%s:%s}", SomItemTypeName(param.type).c_str(), param.array ? 1 : 0,
                              param.writtenName.c_str(), param.scope.c_str(), param.element.c_str());
        if (param.value.vt == VT_EMPTY) {
            out += u"; ";
        } else {
            out += u"='" + VariantToText(&param.value) + u"'; ";
        }
    };
    out += u"\n-- CMD: '" + name_ + u"'; ENTRY: ";
    for (const CommandParam& param : entryParams_) {
        item(param);
    }
    out += u"RESULT: ";
    for (const CommandParam& param : resultParams_) {
        item(param);
    }
}

CommandParam* CCommand::FindParam(std::u16string_view writtenName) {
    for (ParamList* list : {&entryParams_, &resultParams_}) {
        for (CommandParam& param : *list) {
            if (param.writtenName == writtenName) {
                return &param;
            }
        }
    }
    return nullptr;
}

HRESULT CCommand::Load(const vr::xml::Node& element, std::u16string_view parentName) {
    nested_ = !parentName.empty();
    const std::u16string written = AttributeText(element, u"name");
    if (written.empty() && !nested_) {
        return RecordFailure(E_FAIL, u"Not all global scoped command elements have a 'name' attribute.");
    }
    if (written.empty()) {
        for (int number = 1;; ++number) {
            name_ = vr::FormatWString(u"%s%sCmd%d", std::u16string(parentName).c_str(), u":", number);
            if (!socket_.FindCommand(name_)) {
                break;
            }
        }
    } else {
        name_ = nested_ ? std::u16string(parentName) + u":" + written : written;
    }
    if (HRESULT hr = ParseParamList(AttributeText(element, u"parameterOrder"), entryParams_); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = ParseParamList(AttributeText(element, u"result"), resultParams_); FAILED(hr)) {
        return hr;
    }
    return LoadParameterMapping(element);
}

HRESULT CCommand::ParseParamList(std::u16string_view text, ParamList& out) {
    const std::u16string list(text);
    const int count = ParamCount(list.c_str());
    for (int i = 0; i < count; ++i) {
        BSTR name = nullptr;
        BSTR value = nullptr;
        if (!GetParamAt(&name, &value, list.c_str(), i)) {
            continue;
        }
        CommandParam param;
        param.writtenName = std::u16string(vr::BstrView(name));
        if (value) {
            param.value = _variant_t(static_cast<const OLECHAR*>(value));
        }
        SplitWrittenName(param);
        SysFreeString(name);
        SysFreeString(value);
        out.push_back(std::move(param));
    }
    return S_OK;
}

HRESULT CCommand::LoadParameterMapping(const vr::xml::Node& element) {
    vr::xml::NodeList mappings;
    if (FAILED(element.selectNodes(u"parameters/parameter", &mappings))) {
        return RecordInternalFailure(E_FAIL);
    }
    for (const vr::xml::Node& mapping : mappings) {
        if (!HasAttribute(mapping, u"name")) {
            return RecordFailure(
                E_FAIL,
                u"Attribute 'parameter/@name' isn't defined within 'parameters' element of '%s' command.",
                name_.c_str());
        }
        if (!HasAttribute(mapping, u"reference")) {
            return RecordFailure(E_FAIL,
                                 u"Attribute 'parameter/@reference' isn't defined within 'parameters' "
                                 u"element of '%s' command.",
                                 name_.c_str());
        }
        const std::u16string name = AttributeText(mapping, u"name");
        CommandParam* param = nullptr;
        if (name == u"*") {
            param = !entryParams_.empty() ? &entryParams_.front()
                                          : (!resultParams_.empty() ? &resultParams_.front() : nullptr);
        } else {
            param = FindParam(name);
        }
        if (!param) {
            return RecordFailure(
                E_FAIL,
                u"The '%s' command: 'parameters/parameter/@name' attribute contains '%s', which is "
                u"undefined parameter's name.",
                name_.c_str(), name.c_str());
        }
        CommandParam reference;
        reference.writtenName = AttributeText(mapping, u"reference");
        SplitWrittenName(reference);
        param->scope = reference.scope;
        param->element = reference.element;
    }
    return S_OK;
}

HRESULT CCommand::CopyResult(const VARIANT& from, VARIANT* to) {
    if (!to) {
        return S_OK;
    }
    if (FAILED(VariantCopy(to, &from))) {
        return RecordInternalFailure(E_FAIL);
    }
    return S_OK;
}

} // namespace plugmar
