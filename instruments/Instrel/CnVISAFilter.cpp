// CCnVISA as the filter of its collections: the simulation switch, the log file's path, and VISA settings
// that go straight to the open session.
#include "CnVISA.h"

#include "Report.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

namespace instrel {

namespace {

// The scope part of a qualified name ("VISA" of "VISA:TIMEOUT") is VISA, in any letter case.
bool IsVisaScope(std::u16string_view name) {
    size_t colon = name.find(u':');
    return colon != std::u16string_view::npos && vr::EqualsNoCase(name.substr(0, colon), u"VISA");
}

// The value as text; false when it has none.
bool ValueText(const VARIANT& value, std::u16string* text) {
    _variant_t copy;
    if (FAILED(VariantChangeType(&copy, &value, 0, VT_BSTR))) {
        return false;
    }
    *text = std::u16string(vr::BstrView(copy.bstrVal));
    return true;
}

struct SimulationMode {
    const char16_t* value;
    const char16_t* writeMode;
    const char16_t* readMode;
    SimulationState state;
};

constexpr SimulationMode kSimulationModes[] = {
    {u"Off", u"Off", u"Off", SimulationState::Off},
    {u"Write", u"Continue", u"Off", SimulationState::Recording},
    {u"Overwrite", u"Begin", u"Off", SimulationState::Recording},
    {u"RandomRead", u"Off", u"Random", SimulationState::Replaying},
    {u"SequentialRead", u"Off", u"Sequential", SimulationState::Replaying},
};

} // namespace

HRESULT CCnVISA::SetAttributeValue(BSTR bstrAttrQName, VARIANT varValue, IDispatch*) {
    SetTraceMethodName(u"CCnVISA::SetAttributeValue()");
    std::u16string_view name = vr::BstrView(bstrAttrQName);
    if (vr::EqualsNoCase(name, u"CONNECTION:SIMULATION")) {
        return SetSimulation(varValue);
    }
    if (vr::EqualsNoCase(name, u"CONNECTION:SIMULATIONFILE")) {
        std::u16string path;
        if (!ValueText(varValue, &path)) {
            return ReportGeneric(E_FAIL);
        }
        OwnedBstr file(path);
        HRESULT hr = logFile_->put_file(file.Get());
        return FAILED(hr) ? ReportGeneric(hr) : S_OK;
    }
    if (IsVisaScope(name) && IsOpen()) {
        return SetVisaAttribute(bstrAttrQName, varValue);
    }
    return S_OK;
}

HRESULT CCnVISA::GetAttributeValue(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch*, VARIANT_BOOL) {
    SetTraceMethodName(u"CCnVISA::GetAttributeValue()");
    if (!pVarValue) {
        return E_POINTER;
    }
    if (IsVisaScope(vr::BstrView(bstrAttrQName)) && IsOpen()) {
        return GetVisaAttribute(bstrAttrQName, pVarValue);
    }
    return S_FALSE;
}

HRESULT CCnVISA::AdjustSetAttribute(BSTR, VARIANT*, IDispatch*) {
    return E_NOTIMPL;
}

HRESULT CCnVISA::AttributeIsCreated(BSTR, VARIANT*, IDispatch*) {
    return E_NOTIMPL;
}

HRESULT CCnVISA::SetSimulation(const VARIANT& value) {
    std::u16string text;
    if (!ValueText(value, &text)) {
        return S_OK;
    }
    for (const SimulationMode& mode : kSimulationModes) {
        if (!vr::EqualsNoCase(text, mode.value)) {
            continue;
        }
        // The write mode first, then the read mode; the state changes only when both took.
        OwnedBstr writeMode(mode.writeMode);
        if (HRESULT hr = logFile_->put_writeMode(writeMode.Get()); FAILED(hr)) {
            return ReportGeneric(hr);
        }
        OwnedBstr readMode(mode.readMode);
        if (HRESULT hr = logFile_->put_readMode(readMode.Get()); FAILED(hr)) {
            return ReportGeneric(hr);
        }
        simulation_ = mode.state;
        return S_OK;
    }
    return S_OK; // any other value changes nothing
}

HRESULT CCnVISA::VisaNumId(BSTR name, LONG* numId) {
    if (!visa_) {
        return ReportGeneric(E_UNEXPECTED);
    }
    HRESULT hr = visa_->GetAttributeNumID(name, numId);
    return FAILED(hr) ? ReportGeneric(hr) : S_OK;
}

HRESULT CCnVISA::SetVisaAttribute(BSTR name, const VARIANT& value) {
    LONG numId = 0;
    if (HRESULT hr = VisaNumId(name, &numId); FAILED(hr)) {
        return hr;
    }
    _variant_t index;
    index.vt = VT_I4;
    index.lVal = -1;
    // An enumeration word becomes its VISA constant; a number stays what it is.
    if (FAILED(visa_->ConvertValueToEnumIndex(name, value, &index)) &&
        FAILED(VariantChangeType(&index, &value, 0, VT_I4))) {
        return ReportGeneric(E_INVALIDARG);
    }
    return message_->SetAttribute(numId, index);
}

HRESULT CCnVISA::GetVisaAttribute(BSTR name, VARIANT* value) {
    LONG numId = 0;
    if (HRESULT hr = VisaNumId(name, &numId); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = message_->GetAttribute(numId, value); FAILED(hr)) {
        return hr;
    }
    return S_OK;
}

} // namespace instrel
