// CCnVISA::Init: the collections, the VISA session, the converter, and the message settings.
#include "CnVISA.h"

#include "Report.h"
#include "common/attrvalues/AttrCollHookup.h"
#include "common/options/ParamParser.h"
#include "platform/base/format.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/visa/visa_status.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace instrel {

namespace {

// The option string's items of scope "VISA" (any letter case): the whole name, the name after the ":",
// and the value.
struct VisaOption {
    std::u16string name;
    std::u16string localName;
    std::u16string value;
};

std::vector<VisaOption> VisaOptions(BSTR options) {
    std::vector<VisaOption> found;
    const int count = ParamCount(options);
    for (int i = 0; i < count; ++i) {
        OwnedBstr name;
        OwnedBstr value;
        if (!GetParamAt(name.Put(), value.Put(), options, i)) {
            continue;
        }
        std::u16string_view full = name.View();
        size_t colon = full.find(u':');
        if (colon == std::u16string_view::npos || !vr::EqualsNoCase(full.substr(0, colon), u"VISA")) {
            continue;
        }
        found.push_back(
            {std::u16string(full), std::u16string(full.substr(colon + 1)), std::u16string(value.View())});
    }
    return found;
}

// The names of all the option string's items, as written (with or without a scope).
std::vector<std::u16string> OptionNames(BSTR options) {
    std::vector<std::u16string> names;
    const int count = ParamCount(options);
    for (int i = 0; i < count; ++i) {
        OwnedBstr name;
        OwnedBstr value;
        if (GetParamAt(name.Put(), value.Put(), options, i)) {
            names.emplace_back(name.View());
        }
    }
    return names;
}

HRESULT Has(IVrAttributeCollection* collection, const std::u16string& name, bool* has) {
    OwnedBstr attribute(name);
    VARIANT_BOOL answer = VARIANT_FALSE;
    HRESULT hr = collection->HasAttribute(attribute.Get(), &answer);
    *has = answer != VARIANT_FALSE;
    return hr;
}

} // namespace

HRESULT CCnVISA::Init(BSTR bsResource, BSTR bsOptionString, int32_t lInitTimeout, VrAccessMode mode) {
    SetTraceMethodName(u"CCnVISA::Init()");
    SetTraceSite();
    TraceInfo(u"bsResourceName = '%s'; bsOptionString = '%s'; lInitTimeout = '%d'; mode = '%d';",
              TextOf(bsResource), TextOf(bsOptionString), lInitTimeout, static_cast<int>(mode));
    return FailWithErrorInfo(CLSID_CnVISA, InitWork(bsResource, bsOptionString, lInitTimeout, mode));
}

HRESULT CCnVISA::InitWork(BSTR bsResource, BSTR bsOptionString, int32_t lInitTimeout, VrAccessMode mode) {
    if (IsOpen()) {
        return Report(E_FAIL, vr::FormatWString(u"'%s' Connection is already initialized.", Name()));
    }
    resource_ = std::u16string(vr::BstrView(bsResource));
    // Simulation comes first among the settings, so replay mode is known below.
    if (HRESULT hr = connection_->SetAttributes(bsOptionString); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = CheckSimulationFile(); FAILED(hr)) {
        return hr;
    }
    std::u16string section;
    if (HRESULT hr = ClassifyResource(resource_, &section); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = CreateVisaCollection(section, bsOptionString); FAILED(hr)) {
        return hr;
    }
    if (!Replaying()) {
        if (HRESULT hr = OpenSession(bsResource, lInitTimeout, mode, bsOptionString); FAILED(hr)) {
            return hr;
        }
    }
    if (HRESULT hr = SetDefaultEndChars(); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = FinishVisaCollection(); FAILED(hr)) {
        return hr;
    }
    TraceFunction(vr::FormatWString(u"IVrConnection::Init('%s')", Name()).c_str(), 1);
    traceScopeOpen_ = true;
    return S_OK;
}

HRESULT CCnVISA::CheckSimulationFile() {
    if (!Recording()) {
        return S_OK;
    }
    const std::string path = SimulationFilePath();
    if (path.empty()) {
        return S_OK; // the log file chooses its own file, and says so when it fails
    }
    // The recording would be lost without a word (its writes never fail the traffic): said once, here.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::access(folder.c_str(), W_OK) != 0) {
        return Report(E_FAIL,
                      vr::FormatWString(u"Couldn't record the '%s' Connection: the folder '%hs' of the "
                                        u"simulation file cannot be written (%hs).",
                                        Name(), folder.c_str(), vr::ErrnoText(errno).c_str()));
    }
    return S_OK;
}

std::string CCnVISA::SimulationFilePath() {
    OwnedBstr file;
    if (FAILED(logFile_->get_file(file.Put()))) {
        return {};
    }
    return vr::ToUtf8(file.View());
}

HRESULT CCnVISA::ClassifyResource(const std::u16string& resource, std::u16string* section) {
    // Case-sensitive, in this order: a "GPIB-VXI" name counts as GPIB.
    if (resource.find(u"ASRL") != std::u16string::npos) {
        resourceKind_ = 4;
        *section = u"serial";
    } else if (resource.find(u"GPIB") != std::u16string::npos) {
        resourceKind_ = 1;
        *section = u"gpib";
    } else if (resource.find(u"TCPIP") != std::u16string::npos) {
        resourceKind_ = 6;
        *section = u"tcpip";
    } else {
        return Report(vr::visa::kErrorResourceNotFound,
                      vr::FormatWString(u"Couldn't recognize the '%s' Resource Name.", resource.c_str()) +
                          u" " + UnrecognizedResourceCause(resource));
    }
    return S_OK;
}

HRESULT CCnVISA::CreateVisaCollection(const std::u16string& section, BSTR options) {
    OwnedBstr path(schemaPath_);
    OwnedBstr xpath(u"/attributes/" + section);
    OwnedBstr scope(u"VISA");
    // The option string's VISA items become the collection's values now, while no session exists.
    visa_ = nullptr;
    return CreateAttributeCollection(path.Get(), xpath.Get(), scope.Get(), visa_.Put(), nullptr,
                                     vr::MissingArgument(), this, nullptr, nullptr, options);
}

HRESULT CCnVISA::OpenOptions(BSTR options, std::u16string* openOptions) {
    // VISA settings the schemas do not know go to VISA's own option parser.
    for (const VisaOption& option : VisaOptions(options)) {
        bool inConnection = false;
        bool inVisa = false;
        if (HRESULT hr = Has(connection_.Get(), option.localName, &inConnection); FAILED(hr)) {
            return ReportGeneric(hr);
        }
        if (HRESULT hr = Has(visa_.Get(), option.localName, &inVisa); FAILED(hr)) {
            return ReportGeneric(hr);
        }
        if (!inConnection && !inVisa) {
            *openOptions += u" " + option.localName + u" = " + option.value + u" ;";
        }
    }
    return S_OK;
}

HRESULT CCnVISA::OpenSession(BSTR bsResource, int32_t lInitTimeout, VrAccessMode mode, BSTR options) {
    if (HRESULT hr = EnsureResourceManager(); FAILED(hr)) {
        return hr;
    }
    std::u16string openOptions;
    if (HRESULT hr = OpenOptions(options, &openOptions); FAILED(hr)) {
        return hr;
    }
    OwnedBstr visaOptions(openOptions);
    vr::ComPtr<IVisaSession> session;
    HRESULT hr = manager_->Open(bsResource, mode, lInitTimeout, visaOptions.Get(), session.Put());
    if (FAILED(hr)) {
        return ReportVisa(
            hr, vr::FormatWString(u"Couldn't open the VisaSession for '%s' Resource Name. VISA Error: %08lx.",
                                  Name(), hr));
    }
    if (hr = session->QueryInterface(IID_IMessage, sessionMessage_.PutVoid()); FAILED(hr)) {
        return Report(
            hr, vr::FormatWString(
                    u"The VisaSession for '%s' Resource Name doesn't implement IMessage interface.", Name()));
    }
    message_ = sessionMessage_;
    if (!vr::BstrView(ioProtocol_).empty()) {
        if (hr = AttachConverter(); FAILED(hr)) {
            return hr;
        }
    }
    if (hr = PrepareMessage(); FAILED(hr)) {
        return hr;
    }
    return ApplyVisaOptions(options);
}

HRESULT CCnVISA::AttachConverter() {
    // A value such as "Telnet" names the class "Vornic.IOProtocolTelnet"; a full ProgID is used as it is.
    std::u16string progId(vr::BstrView(ioProtocol_));
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) {
        progId = kIOProtocolProgIdPrefix + progId;
        hr = CLSIDFromProgID(progId.c_str(), &clsid);
    }
    if (FAILED(hr)) {
        return Report(
            hr, vr::FormatWString(u"Wrong ProgID '%s' of the IOProtocolConverter provider.", progId.c_str()));
    }
    vr::ComPtr<IIOProtocolConverter> converter;
    hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IIOProtocolConverter, converter.PutVoid());
    if (FAILED(hr)) {
        return Report(hr,
                      vr::FormatWString(u"Couldn't create instance of the IOProtocolConverter provider '%s'.",
                                        progId.c_str()));
    }
    vr::ComPtr<IMessage> converterMessage;
    if (hr = converter->QueryInterface(IID_IMessage, converterMessage.PutVoid()); FAILED(hr)) {
        return Report(
            hr, vr::FormatWString(u"IOProtocolConverter provider '%s' doesn't implement IMessage interface.",
                                  progId.c_str()));
    }
    converter_ = converter;
    message_ = converterMessage;
    if (hr = converter_->put_VisaIMessage(sessionMessage_.Get()); FAILED(hr)) {
        return hr;
    }
    vr::ComPtr<IVrAttributeCollection> converterAttributes;
    if (SUCCEEDED(converter_->QueryInterface(IID_IVrAttributeCollection, converterAttributes.PutVoid()))) {
        return connection_->AddContainedAttributes(converterAttributes.Get(), vr::MissingArgument());
    }
    return S_OK;
}

HRESULT CCnVISA::PrepareMessage() {
    auto visaFailure = [this](HRESULT hr) {
        return ReportVisa(hr, vr::FormatWString(u"The '%s' Connection: VISA Error: 0x%08lx.", Name(), hr));
    };
    if (HRESULT hr = message_->put_TerminationCharacterEnabled(VARIANT_FALSE); FAILED(hr)) {
        return visaFailure(hr);
    }
    if (HRESULT hr = message_->put_TerminationCharacter(0); FAILED(hr)) {
        return visaFailure(hr);
    }
    if (HRESULT hr = message_->put_SendEndEnabled(VARIANT_TRUE); FAILED(hr)) {
        return visaFailure(hr);
    }
    vr::ComPtr<ISerial> serial;
    if (FAILED(message_->QueryInterface(IID_ISerial, serial.PutVoid()))) {
        return S_OK;
    }
    // Reads end on the termination string the caller names, not on the port's end-in setting.
    SHORT endIn = ASRL_END_NONE;
    if (HRESULT hr = serial->get_EndIn(&endIn); FAILED(hr)) {
        return visaFailure(hr);
    }
    if (endIn == ASRL_END_TERMCHAR) {
        if (HRESULT hr = serial->put_EndIn(ASRL_END_NONE); FAILED(hr)) {
            return visaFailure(hr);
        }
    }
    return S_OK;
}

HRESULT CCnVISA::ApplyVisaOptions(BSTR options) {
    // The collection took its values from the option string before the session existed, from items named
    // with their scope ("VISA:Timeout") or without it ("Timeout") alike. They reach the session now, so
    // that a baud rate or a timeout given to Init is the one the port really uses: a read's later setting
    // of the same value is skipped by the collection's cache and would never reach the session.
    for (const std::u16string& item : OptionNames(options)) {
        bool known = false;
        if (HRESULT hr = Has(visa_.Get(), item, &known); FAILED(hr) || !known) {
            continue;
        }
        OwnedBstr name(item);
        _variant_t value;
        if (HRESULT hr = visa_->GetAttribute(name.Get(), &value); FAILED(hr)) {
            return ReportGeneric(hr);
        }
        if (HRESULT hr = SetVisaAttribute(name.Get(), value); FAILED(hr)) {
            return ReportVisa(hr,
                              vr::FormatWString(u"The '%s' Connection: VISA Error: 0x%08lx.", Name(), hr));
        }
    }
    return S_OK;
}

HRESULT CCnVISA::SetDefaultEndChars() {
    OwnedBstr name(u"CONNECTION:ENDCHARSTOSEND");
    _variant_t value;
    if (HRESULT hr = connection_->GetAttribute(name.Get(), &value); FAILED(hr)) {
        return ReportGeneric(hr);
    }
    if (value.vt != VT_EMPTY) {
        return S_OK;
    }
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = vr::AllocBstr(resourceKind_ == 1 ? u"" : u"\n");
    HRESULT hr = connection_->SetAttribute(name.Get(), text);
    (void)VariantClear(&text);
    return FAILED(hr) ? ReportGeneric(hr) : S_OK;
}

HRESULT CCnVISA::FinishVisaCollection() {
    if (HRESULT hr = connection_->AddContainedAttributes(visa_.Get(), vr::MissingArgument()); FAILED(hr)) {
        return ReportGeneric(hr);
    }
    OwnedBstr name(u"VISA:TIMEOUT");
    _variant_t timeout;
    if (HRESULT hr = visa_->GetAttribute(name.Get(), &timeout); FAILED(hr)) {
        return ReportGeneric(hr);
    }
    if (HRESULT hr = VariantChangeType(&timeout, &timeout, 0, VT_I4); FAILED(hr)) {
        return ReportGeneric(hr);
    }
    defaultTimeout_ = timeout.lVal;
    return S_OK;
}

} // namespace instrel
