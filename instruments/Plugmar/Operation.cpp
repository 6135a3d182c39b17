// COperation: an adapter operation: composes its command text from the entry values, writes it, reads the
// answer with its termination string and timeout, parses it and shapes the result.
#include "Command.h"
#include "Socket.h"
#include "SocketErrors.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"

#include <vector>

namespace plugmar {

namespace {

bool ReadNumber(const std::u16string& text, int32_t* out) {
    return TextToLong(out, text.c_str(), 0, true, false);
}

std::string Latin1(std::u16string_view text) {
    return vr::ToLatin1(text);
}

std::u16string Wide(std::string_view text) {
    return vr::FromLatin1(text);
}

} // namespace

HRESULT COperation::Load(const vr::xml::Node& element, std::u16string_view parentName) {
    if (HRESULT hr = CCommand::Load(element, parentName); FAILED(hr)) {
        return hr;
    }
    vr::xml::Node input;
    vr::xml::Node output;
    (void)element.selectSingleNode(u"input", &input);
    (void)element.selectSingleNode(u"output", &output);
    if (input) {
        if (HRESULT hr = LoadInput(input); FAILED(hr)) {
            return hr;
        }
    }
    if (output) {
        if (HRESULT hr = LoadOutput(output); FAILED(hr)) {
            return hr;
        }
    }
    return ResolveParamTypes();
}

HRESULT COperation::LoadInput(const vr::xml::Node& input) {
    hasInput_ = true;
    vr::xml::NamedNodeMap attributes = input.attributes();
    for (int32_t i = 0; i < attributes.length(); ++i) {
        vr::xml::Node attribute = attributes.item(i);
        const std::u16string name = attribute.nodeName();
        if (name == u"message") {
            inputMessage_ = attribute.nodeValue();
        } else if (name == u"value") {
            inputValue_ = attribute.nodeValue();
        } else {
            return RecordFailure(E_FAIL, u"Unknown attribute '%s' within '%s' element of '%s' operation.",
                                 name.c_str(), u"input", name_.c_str());
        }
    }
    if (inputValue_.empty() && inputMessage_.empty()) {
        return RecordFailure(
            E_FAIL, u"Operation '%s': The 'input' element must have either 'value' or 'message' attribute.",
            name_.c_str());
    }
    return S_OK;
}

HRESULT COperation::LoadOutput(const vr::xml::Node& output) {
    hasOutput_ = true;
    vr::xml::NamedNodeMap attributes = output.attributes();
    for (int32_t i = 0; i < attributes.length(); ++i) {
        vr::xml::Node attribute = attributes.item(i);
        const std::u16string name = attribute.nodeName();
        const std::u16string value = attribute.nodeValue();
        if (name == u"message") {
            outputMessage_ = value;
            if (outputTermString_.empty() && !value.empty()) {
                std::u16string term;
                if (!socket_.Xlatrix().GetTermString(Latin1(value).c_str(), term)) {
                    return RecordFailure(E_FAIL, u"%hs", socket_.Xlatrix().strErrorText.c_str());
                }
                outputTermString_ = term;
            }
        } else if (name == u"timeout") {
            if (!ReadNumber(value, &outputTimeout_)) {
                return RecordFailure(E_FAIL, u"Operation '%s': 'output/@timeout' holds no number: '%s'.",
                                     name_.c_str(), value.c_str());
            }
        } else if (name == u"termstring") {
            outputTermString_ = value;
        } else {
            return RecordFailure(E_FAIL, u"Unknown attribute '%s' within '%s' element of '%s' operation.",
                                 name.c_str(), u"output", name_.c_str());
        }
    }
    return S_OK;
}

HRESULT COperation::ResolveParamType(CommandParam& param, bool isResult) {
    std::vector<std::u16string> scopes;
    if (!param.scope.empty()) {
        scopes.push_back(param.scope);
    } else if (isResult) {
        scopes.push_back(u"out");
    } else {
        scopes = {u"in", u"out"};
    }
    for (const std::u16string& scope : scopes) {
        const std::u16string* message = scope == u"in"    ? &inputMessage_
                                        : scope == u"out" ? &outputMessage_
                                                          : nullptr;
        if (!message || message->empty()) {
            continue;
        }
        std::string element = param.element == u"*" ? std::string() : Latin1(param.element);
        SOMITEMTYPE type = SOMITEM_NULL;
        bool isArray = false;
        if (!socket_.Xlatrix().GetRootTypeOfElementOfComplexType(Latin1(*message).c_str(), element, type,
                                                                 &isArray)) {
            continue;
        }
        // An entry value goes where its element was found: to the command text ("in") or to the answer.
        param.scope = scope;
        param.element = Wide(element);
        param.type = type;
        param.array = isArray;
        std::u16string firstValue;
        bool enumerated = false;
        if (HRESULT hr = socket_.LoadSubstEnums(*message, param.element, &firstValue, &enumerated);
            FAILED(hr)) {
            return hr;
        }
        if (enumerated) {
            LONG whole = 0;
            double real = 0;
            param.type = TextToLong(&whole, firstValue.c_str(), 10, true, true) ? SOMITEM_DATATYPE_LONG
                         : TextToDouble(&real, firstValue.c_str(), true, true)  ? SOMITEM_DATATYPE_DOUBLE
                                                                                : SOMITEM_DATATYPE_STRING;
        }
        return S_OK;
    }
    return E_FAIL;
}

void COperation::Dump(std::u16string& out) const {
    CCommand::Dump(out);
    out += u"OPERATION: ";
    if (hasInput_) {
        out += u"IN: msg='" + inputMessage_ + u"', value='" + inputValue_ + u"'; ";
    }
    if (hasOutput_) {
        out += vr::FormatWString(u"OUT: msg='%s', term='%s', timeout='%d'; ", outputMessage_.c_str(),
                                 outputTermString_.c_str(), outputTimeout_);
    }
}

HRESULT COperation::Execute(ParamList& params, VARIANT* result) {
    CXlatrix& xlatrix = socket_.Xlatrix();
    xlatrix.RemoveAllComposeEntryParamValues();
    xlatrix.RemoveAllParseEntryParamValues();
    // Values of an earlier answer never reach this run's result.
    xlatrix.arrReturnedParamValues.clear();
    if (HRESULT hr = AddEntryValues(params); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = Send(); FAILED(hr)) {
        return hr;
    }
    _variant_t shaped;
    if (HRESULT hr = Receive(&shaped); FAILED(hr)) {
        return hr;
    }
    return CopyResult(shaped, result);
}

HRESULT COperation::AddEntryValues(ParamList& params) {
    std::vector<_variant_t> resolvedValues; // in the order of params, for the line's text
    resolvedValues.reserve(params.size());
    for (CommandParam& param : params) {
        _variant_t resolved;
        if (HRESULT hr = ResolveParamValue(param.value, &resolved); FAILED(hr)) {
            return hr;
        }
        HRESULT hr = (resolved.vt & VT_ARRAY) || (param.array && resolved.vt == VT_EMPTY)
                         ? AddArrayValues(param, resolved)
                         : AddEntryValue(param, resolved);
        if (FAILED(hr)) {
            return hr;
        }
        resolvedValues.push_back(std::move(resolved));
    }
    TraceInfoOf([this, &params, &resolvedValues] {
        std::u16string traced;
        for (size_t i = 0; i < params.size(); ++i) {
            traced += params[i].scope + u":" + params[i].element + u" = '" +
                      VariantToText(&resolvedValues[i]) + u"'; ";
        }
        return vr::FormatWString(u"'%s{%s/%s}': EntryParamValues: %s", name_.c_str(), inputMessage_.c_str(),
                                 outputMessage_.c_str(), traced.c_str());
    });
    return S_OK;
}

HRESULT COperation::AddArrayValues(const CommandParam& param, const VARIANT& array) {
    if (array.vt == VT_EMPTY || !array.parray) {
        return RecordFailure(E_POINTER, u"'%s:%s': The '%s' array entry parameter is missing.", name_.c_str(),
                             inputMessage_.c_str(), param.writtenName.c_str());
    }
    if (array.vt != (VT_ARRAY | VT_VARIANT)) {
        return RecordFailure(
            E_INVALIDARG,
            u"'%s:%s': Wrong type of the '%s' entry parameter: Only array of VARIANTs are supported.",
            name_.c_str(), inputMessage_.c_str(), param.writtenName.c_str());
    }
    if (SafeArrayGetDim(array.parray) != 1) {
        return RecordFailure(
            E_INVALIDARG,
            u"'%s:%s': Wrong type of the '%s' entry parameter: Multidimensional arrays are not supported.",
            name_.c_str(), inputMessage_.c_str(), param.writtenName.c_str());
    }
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array.parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array.parray, 1, &upper))) {
        return RecordInternalFailure(E_INVALIDARG);
    }
    for (LONG i = lower; i <= upper; ++i) {
        _variant_t element;
        if (FAILED(SafeArrayGetElement(array.parray, &i, &element))) {
            return RecordInternalFailure(E_INVALIDARG);
        }
        if (HRESULT hr = AddEntryValue(param, element); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT COperation::AddEntryValue(const CommandParam& param, const VARIANT& scalar) {
    _variant_t text;
    if (FAILED(VariantChangeType(&text, &scalar, 0, VT_BSTR))) {
        std::u16string shown = VariantToText(&scalar);
        return RecordFailure(E_INVALIDARG, u"'%s:%s': Wrong type of the '%s' entry parameter: '%s'.",
                             name_.c_str(), inputMessage_.c_str(), param.writtenName.c_str(), shown.c_str());
    }
    std::u16string value(vr::BstrView(text.bstrVal));
    const bool composed = param.scope == u"in";
    socket_.TranslateSubstEnum(composed ? inputMessage_ : outputMessage_, param.element, value, false);
    const std::string element = Latin1(param.element);
    const std::string bytes = Latin1(value);
    CXlatrix& xlatrix = socket_.Xlatrix();
    bool added = composed ? xlatrix.AddComposeEntryParamValue(SOMITEM_NULL, "<dummy_type>", element.c_str(),
                                                              bytes.c_str(), -1)
                          : xlatrix.AddParseEntryParamValue(SOMITEM_NULL, "<dummy_type>", element.c_str(),
                                                            bytes.c_str(), -1);
    return added ? S_OK : RecordFailure(E_INVALIDARG, u"%hs", xlatrix.strErrorText.c_str());
}

HRESULT COperation::Send() {
    if (!hasInput_) {
        TraceInfo(u"Nothing to send for '%s' operation; IVrConnection::Write() wasn't called.",
                  name_.c_str());
        return S_OK;
    }
    std::string text;
    CXlatrix& xlatrix = socket_.Xlatrix();
    if (!inputValue_.empty()) {
        text = Latin1(inputValue_);
    } else if (!xlatrix.Compose(Latin1(inputMessage_).c_str(), text)) {
        return RecordFailure(
            DISP_E_TYPEMISMATCH,
            u"'%s:%s': Entry Parameters din't match the Schema.\n%hsPartially Composed Text: '%hs'.",
            name_.c_str(), inputMessage_.c_str(), xlatrix.strErrorText.c_str(), text.c_str());
    }
    TraceInfoOf(
        [&text] { return vr::FormatWString(u"strOutputToSend: '%hs'", vr::ToUtf8(Wide(text)).c_str()); });
    IVrConnection* connection = socket_.HeldConnection();
    if (!connection) {
        return RecordFailure(E_FAIL, u"'%s' operation: There is no connection to send to.", name_.c_str());
    }
    BSTR data = vr::AllocBstr(Wide(text));
    int32_t written = 0;
    HRESULT hr = connection->WriteString(data, &written);
    SysFreeString(data);
    return hr;
}

HRESULT COperation::Receive(VARIANT* result) {
    if (!hasOutput_) {
        TraceInfo(u"Response to '%s' operation is not expected; IVrConnection::Read() wasn't called.",
                  name_.c_str());
        return S_OK;
    }
    IVrConnection* connection = socket_.HeldConnection();
    if (!connection) {
        return RecordFailure(E_FAIL, u"'%s' operation: There is no connection to read from.", name_.c_str());
    }
    BSTR term = vr::AllocBstr(outputTermString_);
    BSTR answer = nullptr;
    const int32_t timeout = outputTimeout_ != -1 ? outputTimeout_ : socket_.DeviceTimeout();
    HRESULT hr = connection->ReadString(term, timeout, -1, &answer);
    SysFreeString(term);
    if (FAILED(hr)) {
        SysFreeString(answer);
        return hr;
    }
    _variant_t text;
    text.vt = VT_BSTR;
    text.bstrVal = answer ? answer : vr::AllocBstr(u"");
    if (outputMessage_.empty()) {
        return VariantCopy(result, &text);
    }
    CXlatrix& xlatrix = socket_.Xlatrix();
    if (!xlatrix.Parse(Latin1(outputMessage_).c_str(), Latin1(vr::BstrView(text.bstrVal)).c_str())) {
        VrReadStatus status = UnknownReason;
        if (HRESULT statusHr = connection->get_LastReadStatus(&status); FAILED(statusHr)) {
            return statusHr;
        }
        return RecordFailure(
            DISP_E_TYPEMISMATCH,
            u"'%s:%s': Schema din't match the Response.\n%hsPARSED: '%hs'.\nNOT_PARSED: '%hs'.",
            name_.c_str(), outputMessage_.c_str(), xlatrix.strErrorText.c_str(),
            xlatrix.strParsedText.c_str(), xlatrix.strUnparsedText.c_str());
    }
    return ShapeResult(result);
}

HRESULT COperation::ShapeResult(VARIANT* result) {
    if (resultParams_.empty()) {
        TraceInfo(u"'%s:%s': The Response was parsed, but no result is expected.", name_.c_str(),
                  outputMessage_.c_str());
        return S_OK;
    }
    if (resultParams_.size() > 1) {
        return RecordFailure(DISP_E_BADPARAMCOUNT, u"'%s:%s': There must be only one 'result' parameter.",
                             name_.c_str(), outputMessage_.c_str());
    }
    const CommandParam& param = resultParams_.front();
    CXlatrix& xlatrix = socket_.Xlatrix();
    const std::string element = Latin1(param.element);
    const int count = xlatrix.GetNumberOfParamValues(xlatrix.arrReturnedParamValues, element.c_str());
    if (count == 0) {
        return RecordFailure(DISP_E_PARAMNOTFOUND,
                             u"'%s:%s': Returned parameter '%s' wasn't found in the parsed Response.",
                             name_.c_str(), outputMessage_.c_str(), param.element.c_str());
    }
    if (count == 1) {
        if (HRESULT hr = TakeReturnedValue(param, result); FAILED(hr)) {
            return hr;
        }
    } else {
        TraceInfo(u"nNumberOfReturnedParamValues = '%d';", count);
        SAFEARRAY* values = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
        if (!values) {
            return RecordInternalFailure(E_OUTOFMEMORY);
        }
        for (LONG i = 0; i < count; ++i) {
            _variant_t value;
            HRESULT hr = TakeReturnedValue(param, &value);
            if (SUCCEEDED(hr)) {
                hr = SafeArrayPutElement(values, &i, &value);
            }
            if (FAILED(hr)) {
                (void)SafeArrayDestroy(values);
                return hr;
            }
        }
        result->vt = VT_ARRAY | VT_VARIANT;
        result->parray = values;
    }
    TraceRestOfReturnedValues();
    return S_OK;
}

HRESULT COperation::TakeReturnedValue(const CommandParam& param, VARIANT* value) {
    CXlatrix& xlatrix = socket_.Xlatrix();
    std::string name = Latin1(param.element);
    SOMITEMTYPE itemType = SOMITEM_NULL;
    std::string typeName;
    std::string text;
    if (!xlatrix.GetParamValue(xlatrix.arrReturnedParamValues, name, &itemType, &typeName, &text, 0, true,
                               false)) {
        return RecordFailure(DISP_E_PARAMNOTFOUND,
                             u"'%s:%s': Returned parameter '%s' wasn't found in the parsed Response.",
                             name_.c_str(), outputMessage_.c_str(), param.element.c_str());
    }
    std::u16string wide = Wide(text);
    // A value with a substitution comes back as its name ("ON" for a parsed 1), whatever the schema type.
    const bool substituted = socket_.TranslateSubstEnum(outputMessage_, param.element, wide, true);
    _variant_t typed(wide.c_str());
    const VARTYPE vt = VarTypeOfSchemaType(param.type);
    if (!substituted && vt != VT_BSTR && FAILED(VariantChangeType(&typed, &typed, 0, vt))) {
        return RecordFailure(E_FAIL, u"Can't coerce VARIANT: '%s' to '%s' type.", wide.c_str(),
                             VarTypeName(vt).c_str());
    }
    TraceInfoOf([&] {
        return vr::FormatWString(u"'%s:%s': Return (%s-%hs '%s'): varResult = '%s'('%s');", name_.c_str(),
                                 outputMessage_.c_str(), SomItemTypeName(itemType).c_str(), typeName.c_str(),
                                 param.element.c_str(), wide.c_str(), VarTypeName(typed.vt).c_str());
    });
    *value = typed.Detach();
    return S_OK;
}

void COperation::TraceRestOfReturnedValues() {
    TraceInfoOf([this] {
        return vr::FormatWString(u"'%s:%s': The rest of parsed ReturnedParamValues: %s", name_.c_str(),
                                 outputMessage_.c_str(), RestOfReturnedValuesText().c_str());
    });
}

std::u16string COperation::RestOfReturnedValuesText() const {
    std::u16string rest;
    for (const CXlatrix::ParamValue& entry : socket_.Xlatrix().arrReturnedParamValues) {
        if (entry.arrValues.empty()) {
            continue;
        }
        rest +=
            vr::FormatWString(u"\n%s-%hs '%hs': '%hs'; ", SomItemTypeName(entry.type).c_str(),
                              entry.strTypeName.c_str(), entry.strName.c_str(), entry.arrValues[0].c_str());
        for (size_t i = 1; i < entry.arrValues.size(); ++i) {
            rest += vr::FormatWString(u"'%hs'; ", entry.arrValues[i].c_str());
        }
    }
    return rest;
}

} // namespace plugmar
