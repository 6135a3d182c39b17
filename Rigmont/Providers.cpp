// CVrRigmont: connections and sockets built in this process from their records, and the resources a
// connection provider sees.
#include "VrRigmont.h"

#include "common/trace/Trace.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/variant.h"

namespace rigmont {

struct ProviderKind {
    std::u16string_view recordType; // the element name of its records in the store
    const OLECHAR* defaultServer;   // the ProgID of a record that names no server
    const OLECHAR* name;            // the kind as messages name it
};

namespace {

constexpr ProviderKind kConnectionProvider{u"connection", u"Vornic.CnVISA", u"Connection"};
constexpr ProviderKind kSocketProvider{u"socket", u"Vornic.Socket", u"Socket"};
constexpr int32_t kInitTimeout = 5000;

// An owned BSTR of the text, for the calls this object makes.
_bstr_t OwnedBstr(std::u16string_view text) {
    return _bstr_t(vr::AllocBstr(text), false);
}

// The caller's supplementary setup string: "" when left out, else the argument as text.
HRESULT SupplementarySetup(const VARIANT& argument, std::u16string* setup) {
    setup->clear();
    if (vr::IsMissingArgument(argument)) {
        return S_OK;
    }
    VARIANT source = UnwrapVariantRef(argument);
    VARIANT text;
    VariantInit(&text);
    HRESULT hr = VariantChangeType(&text, &source, 0, VT_BSTR);
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(E_INVALIDARG, u"Entry vbsSetupString = '%s' can't be coerced to a String (BSTR).",
                          VariantToText(&argument).c_str());
        return E_INVALIDARG;
    }
    *setup = std::u16string(vr::BstrView(text.bstrVal));
    (void)VariantClear(&text);
    return S_OK;
}

// The CLSID of a provider's ProgID; kind is "Connection" or "Socket" for the message.
HRESULT ProviderClass(const std::u16string& progId, const OLECHAR* kind, CLSID* clsid) {
    HRESULT hr = CLSIDFromProgID(progId.c_str(), clsid);
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Wrong ProgID '%s' of the %s provider.", progId.c_str(), kind);
    }
    return hr;
}

// A new provider object of the ProgID, in this process, asked for interface I.
template <class I>
HRESULT CreateProvider(const std::u16string& progId, const OLECHAR* kind, vr::ComPtr<I>* provider) {
    CLSID clsid{};
    if (HRESULT hr = ProviderClass(progId, kind, &clsid); FAILED(hr)) {
        return hr;
    }
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<I>(), provider->PutVoid());
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't create instance of the %s provider '%s'.", kind, progId.c_str());
    }
    return hr;
}

} // namespace

HRESULT CVrRigmont::CreateConnection(BSTR bsResource, VARIANT vbsSetupString, IVrConnection** ppConnection) {
    SetTraceMethodName(u"CVrRigmont::CreateConnection()");
    if (!ppConnection) {
        return E_POINTER;
    }
    *ppConnection = nullptr;
    return FailWithErrorInfo(CLSID_VrRigmont,
                             BuildConnection(vr::BstrView(bsResource), vbsSetupString, ppConnection));
}

HRESULT CVrRigmont::CreateSocket(BSTR bsResource, VARIANT vbsSetupString, IVrSocket** ppSocket) {
    SetTraceMethodName(u"CVrRigmont::CreateSocket()");
    if (!ppSocket) {
        return E_POINTER;
    }
    *ppSocket = nullptr;
    return FailWithErrorInfo(CLSID_VrRigmont,
                             BuildSocket(vr::BstrView(bsResource), vbsSetupString, ppSocket));
}

HRESULT CVrRigmont::FindResources(BSTR bsServer, BSTR bsResourceType, VARIANT* pvResources) {
    SetTraceMethodName(u"CVrRigmont::FindResources()");
    if (!pvResources) {
        return E_POINTER;
    }
    return FailWithErrorInfo(CLSID_VrRigmont, ListResources(bsServer, bsResourceType, pvResources));
}

template <class I>
HRESULT CVrRigmont::OpenProvider(const ProviderKind& kind, std::u16string_view resource,
                                 const VARIANT& setupArgument, RecordValues* values,
                                 vr::ComPtr<I>* provider) {
    std::u16string supplementary;
    if (HRESULT hr = SupplementarySetup(setupArgument, &supplementary); FAILED(hr)) {
        return hr;
    }
    TraceInfo(u"(bsResource = '%s'; bsSetupString = '%s';)", std::u16string(resource).c_str(),
              supplementary.c_str());
    *values = RecordValues{kind.defaultServer, std::u16string(resource), u""};
    if (HRESULT hr = MergeRecord(kind.recordType, resource, supplementary, values); FAILED(hr)) {
        return hr;
    }
    return CreateProvider(*values->server, kind.name, provider);
}

HRESULT CVrRigmont::BuildConnection(std::u16string_view resource, const VARIANT& setupArgument,
                                    IVrConnection** connection) {
    RecordValues values;
    vr::ComPtr<IVrConnection> made;
    if (HRESULT hr = OpenProvider(kConnectionProvider, resource, setupArgument, &values, &made); FAILED(hr)) {
        return hr;
    }
    _bstr_t visaResource = OwnedBstr(*values.resource);
    _bstr_t setup = OwnedBstr(values.setup.value_or(u""));
    if (HRESULT hr = made->Init(visaResource, setup, kInitTimeout, _NO_LOCK); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"%s", WithCauseBelow(u"Couldn't Initialize the Connection provider.").c_str());
        return hr;
    }
    *connection = made.Detach();
    return S_OK;
}

HRESULT CVrRigmont::BuildSocket(std::u16string_view resource, const VARIANT& setupArgument,
                                IVrSocket** socket) {
    RecordValues values;
    vr::ComPtr<IVrSocket> made;
    if (HRESULT hr = OpenProvider(kSocketProvider, resource, setupArgument, &values, &made); FAILED(hr)) {
        return hr;
    }
    // The socket's whole setup string goes on to its connection as that connection's supplement.
    std::u16string socketSetup = values.setup.value_or(u"");
    VARIANT connectionSetup;
    VariantInit(&connectionSetup);
    connectionSetup.vt = VT_BSTR;
    connectionSetup.bstrVal = vr::AllocBstr(socketSetup);
    vr::ComPtr<IVrConnection> connection;
    _bstr_t connectionName = OwnedBstr(*values.resource);
    HRESULT hr = CreateConnection(connectionName, connectionSetup, connection.Put());
    (void)VariantClear(&connectionSetup);
    SetTraceMethodName(u"CVrRigmont::CreateSocket()");
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT connectionArgument;
    VariantInit(&connectionArgument);
    connectionArgument.vt = VT_UNKNOWN;
    connectionArgument.punkVal = connection.Get();
    _bstr_t setup = OwnedBstr(socketSetup);
    if (hr = made->Init(setup, connectionArgument); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"%s", WithCauseBelow(u"Couldn't Initialize the Socket provider.").c_str());
        return hr;
    }
    *socket = made.Detach();
    return S_OK;
}

HRESULT CVrRigmont::ListResources(BSTR server, BSTR resourceType, VARIANT* resources) {
    std::u16string progId(vr::BstrView(server));
    if (progId.empty()) {
        progId = kConnectionProvider.defaultServer;
    }
    if (vr::BstrView(resourceType) != u"connection") {
        SetTraceSite();
        TraceHResultError(E_INVALIDARG, u"Unknown Resource Type '%s'.",
                          std::u16string(vr::BstrView(resourceType)).c_str());
        return E_INVALIDARG;
    }
    vr::ComPtr<IVrConnection> provider;
    if (HRESULT hr = CreateProvider(progId, kConnectionProvider.name, &provider); FAILED(hr)) {
        return hr;
    }
    VariantInit(resources);
    _bstr_t everything = OwnedBstr(u"");
    if (HRESULT hr = provider->FindResources(everything, resources); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't Find Resources by the Connection provider '%s'.", progId.c_str());
        return hr;
    }
    return S_OK;
}

} // namespace rigmont
