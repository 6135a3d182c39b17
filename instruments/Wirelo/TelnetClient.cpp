// CTelnetClient: construction, the converter's own properties, and text reads and writes through the engine.
#include "TelnetClient.h"

#include "common/attrvalues/AttrCollHookup.h"
#include "common/trace/Trace.h"
#include "platform/resources/this_module.h"
#include "platform/visa/visa_status.h"

#include <chrono>
#include <thread>

namespace wirelo {

namespace {

// The text to send with every data byte 255 doubled, so that the server does not take it for IAC.
std::u16string EscapeIac(std::u16string_view text) {
    std::u16string escaped;
    escaped.reserve(text.size());
    for (char16_t c : text) {
        escaped.push_back(c);
        if (c == 0xFF) {
            escaped.push_back(c);
        }
    }
    return escaped;
}

// How many characters of text the first `sent` escaped characters carry.
LONG UnescapedCount(std::u16string_view text, LONG sent) {
    LONG characters = 0;
    for (char16_t c : text) {
        sent -= c == 0xFF ? 2 : 1;
        if (sent < 0) {
            break;
        }
        ++characters;
    }
    return characters;
}

} // namespace

const vr::DispatchTable<CTelnetClient>& CTelnetClient::GetDispatchTable() {
    using D = vr::DispatchTable<CTelnetClient>;
    static const D table(u"ITelnetClient",
                         {
                             D::PropGet<&CTelnetClient::get_VisaIMessage>(1, u"VisaIMessage", {u"pVal"}),
                             D::PropPut<&CTelnetClient::put_VisaIMessage>(1, u"VisaIMessage", {u"newVal"}),
                             D::PropGet<&CTelnetClient::get_Attributes>(2, u"Attributes", {u"pVal"}),
                         });
    return table;
}

HRESULT CTelnetClient::FinalConstruct() {
    SetTraceMethodName(u"CTelnetClient::FinalConstruct()");
    TraceFunction(u"CTelnetClient::FinalConstruct()", 1);
    BSTR path = vr::AllocBstr(vr::ThisModuleResUrl(u"Attributes.xml"));
    BSTR empty = vr::AllocBstr(u"");
    BSTR scope = vr::AllocBstr(u"IOProtocol");
    HRESULT hr = CreateAttributeCollection(path, empty, scope, collection_.Put(), nullptr,
                                           vr::MissingArgument(), nullptr, nullptr, nullptr, empty);
    SysFreeString(path);
    SysFreeString(empty);
    SysFreeString(scope);
    if (FAILED(hr)) {
        return Fail(hr, u"IOProtocolTelnet: Couldn't load VrAttributeCollection.");
    }
    return S_OK;
}

void CTelnetClient::FinalRelease() {
    SetTraceMethodName(u"CTelnetClient::FinalRelease()");
    TraceFunction(u"CTelnetClient::FinalConstruct()", -1);
    inner_ = nullptr;
    collection_ = nullptr;
}

HRESULT CTelnetClient::QueryUnlistedInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != IID_IVrAttributeCollection || !collection_) {
        return E_NOINTERFACE;
    }
    return collection_->QueryInterface(riid, ppv);
}

HRESULT CTelnetClient::Fail(HRESULT hr, const OLECHAR* message) {
    SetTraceSite();
    TraceHResultError(hr, u"%s", message);
    return FailWithErrorInfo(CLSID_TelnetClient, hr);
}

HRESULT CTelnetClient::FailInternal(HRESULT hr, int line) {
    SetTraceSite();
    TraceHResultError(hr, u"Vornic Error: A%d (%hs)", line, SourceFileName(__FILE__));
    return FailWithErrorInfo(CLSID_TelnetClient, hr);
}

IMessage* CTelnetClient::Inner() {
    if (!inner_) {
        (void)Fail(E_UNEXPECTED, u"IOProtocolTelnet: VisaIMessage isn't set.");
    }
    return inner_.Get();
}

// ---- IIOProtocolConverter ----

HRESULT CTelnetClient::get_VisaIMessage(IMessage** ppMessage) {
    SetTraceMethodName(u"CTelnetClient::get_VisaIMessage()");
    if (!ppMessage) {
        return E_POINTER;
    }
    *ppMessage = nullptr;
    if (!inner_) {
        return FailInternal(E_UNEXPECTED, __LINE__);
    }
    HRESULT hr = inner_->QueryInterface(vr::uuidof<IMessage>(), reinterpret_cast<void**>(ppMessage));
    return FAILED(hr) ? FailInternal(hr, __LINE__) : S_OK;
}

HRESULT CTelnetClient::put_VisaIMessage(IMessage* pMessage) {
    SetTraceMethodName(u"CTelnetClient::put_VisaIMessage()");
    if (!pMessage) {
        return E_POINTER;
    }
    vr::ComPtr<IMessage> message;
    HRESULT hr = pMessage->QueryInterface(vr::uuidof<IMessage>(), message.PutVoid());
    if (FAILED(hr)) {
        return Fail(hr,
                    u"IOProtocolTelnet: Passed VisaIMessage object doesn't implement IMessage interface.");
    }
    inner_ = std::move(message);
    return S_OK;
}

HRESULT CTelnetClient::get_Attributes(IVrAttributeCollection** ppAttributes) {
    SetTraceMethodName(u"CTelnetClient::get_Attributes()");
    if (!ppAttributes) {
        return E_POINTER;
    }
    *ppAttributes = nullptr;
    if (!collection_) {
        return FailInternal(E_UNEXPECTED, __LINE__);
    }
    HRESULT hr =
        collection_->QueryInterface(IID_IVrAttributeCollection, reinterpret_cast<void**>(ppAttributes));
    return FAILED(hr) ? FailInternal(hr, __LINE__) : S_OK;
}

// ---- Termination settings, kept here ----

HRESULT CTelnetClient::get_TerminationCharacter(BYTE* character) {
    SetTraceMethodName(u"CTelnetClient::get_TerminationCharacter()");
    if (!character) {
        return E_POINTER;
    }
    *character = termChar_;
    return S_OK;
}

HRESULT CTelnetClient::put_TerminationCharacter(BYTE character) {
    SetTraceMethodName(u"CTelnetClient::put_TerminationCharacter()");
    termChar_ = character;
    return S_OK;
}

HRESULT CTelnetClient::get_TerminationCharacterEnabled(VARIANT_BOOL* enabled) {
    SetTraceMethodName(u"CTelnetClient::get_TerminationCharacterEnabled()");
    if (!enabled) {
        return E_POINTER;
    }
    *enabled = termEnabled_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CTelnetClient::put_TerminationCharacterEnabled(VARIANT_BOOL enabled) {
    SetTraceMethodName(u"CTelnetClient::put_TerminationCharacterEnabled()");
    termEnabled_ = enabled != 0;
    return S_OK;
}

// ---- Text I/O ----

HRESULT CTelnetClient::Read(LONG, SAFEARRAY** bytes) {
    SetTraceMethodName(u"CTelnetClient::Read()");
    if (!bytes) {
        return E_POINTER;
    }
    *bytes = nullptr;
    return Fail(E_NOTIMPL, u"IOProtocolTelnet: Read() method isn't supported.");
}

HRESULT CTelnetClient::Write(SAFEARRAY*, LONG, LONG* written) {
    SetTraceMethodName(u"CTelnetClient::Write()");
    if (!written) {
        return E_POINTER;
    }
    *written = 0;
    return Fail(E_NOTIMPL, u"IOProtocolTelnet: Write() method isn't supported.");
}

HRESULT CTelnetClient::ReadString(LONG count, BSTR* text) {
    SetTraceMethodName(u"CTelnetClient::ReadString()");
    if (!text) {
        return E_POINTER;
    }
    *text = nullptr;
    IMessage* inner = Inner();
    if (!inner) {
        return E_UNEXPECTED;
    }
    engine_.SetEndConditions(count, termChar_, termEnabled_);
    engine_.ResetResult();
    LONG timeout = 0;
    HRESULT hr = inner->get_Timeout(&timeout);
    if (FAILED(hr)) {
        return hr;
    }
    // The inner timeout bounds the whole read; a negative one (VISA's "for ever") never ends it.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (;;) {
        hr = engine_.Pump(inner);
        if (hr != vr::visa::kErrorTimeout) {
            break;
        }
        const auto elapsed = Clock::now() - start;
        if (timeout >= 0 && elapsed > std::chrono::milliseconds(timeout)) {
            break;
        }
        // Nothing was waiting: give the peer a moment instead of burning the processor on empty polls.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::u16string received = engine_.TakeResult();
    if (FAILED(hr) && hr != vr::visa::kErrorTimeout) {
        return hr;
    }
    *text = vr::AllocBstr(received);
    return hr;
}

HRESULT CTelnetClient::WriteString(BSTR text, LONG* written) {
    SetTraceMethodName(u"CTelnetClient::WriteString()");
    if (!written) {
        return E_POINTER;
    }
    *written = 0;
    IMessage* inner = Inner();
    if (!inner) {
        return E_UNEXPECTED;
    }
    // Answer the negotiations that arrived before this message goes out; their text is not an answer.
    engine_.SetEndConditions(-1, 0, false);
    engine_.ResetResult();
    HRESULT hr = engine_.Pump(inner);
    engine_.ResetResult();
    if (FAILED(hr) && hr != vr::visa::kErrorTimeout) {
        return hr;
    }
    std::u16string_view original = vr::BstrView(text);
    BSTR escaped = vr::AllocBstr(EscapeIac(original));
    LONG sent = 0;
    hr = inner->WriteString(escaped, &sent);
    SysFreeString(escaped);
    *written = UnescapedCount(original, sent);
    return hr;
}

} // namespace wirelo
