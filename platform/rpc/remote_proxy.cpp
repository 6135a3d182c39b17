// Remote proxies (the calling side of IUnknown and IDispatch across processes) and the serving side of
// Invoke.
#include "platform/rpc/remote_proxy.h"

#include "platform/com/any_thread.h"
#include "platform/com/dual_proxy.h"
#include "platform/com/errorinfo.h"
#include "platform/rpc/local_server.h"

#include <sys/socket.h>

namespace vr::rpc {

namespace {

// Asked of an object to learn whether it is a remote proxy; answered without a reference.
constexpr IID kRemoteProxyIid = {
    0x7C3E5A10, 0x2B6D, 0x4A8E, {0x91, 0x5F, 0x3D, 0x0A, 0x6B, 0x22, 0xC4, 0x17}};

// Frees what a by-reference slot of type vt holds (before a new value goes in).
void FreeSlot(VARTYPE vt, void* slot) {
    if (vt == VT_BSTR) {
        SysFreeString(*static_cast<BSTR*>(slot));
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (auto* object = *static_cast<IUnknown**>(slot)) {
            object->Release();
        }
    }
}

// Moves a value that came back into the caller's by-reference argument.
void WriteBack(VARIANT& argument, VARIANT& value) {
    VARTYPE base = argument.vt & VT_TYPEMASK;
    if (base == VT_VARIANT) {
        static_cast<void>(VariantClear(argument.pvarVal));
        *argument.pvarVal = value;
        VariantInit(&value);
        return;
    }
    if (value.vt != base && FAILED(VariantChangeType(&value, &value, 0, base))) {
        return; // the peer sent another type than the slot's: the slot keeps its value
    }
    FreeSlot(base, argument.byref);
    std::memcpy(argument.byref, &value.llVal, value.vt == VT_EMPTY ? 0 : VariantSlotSize(base));
    VariantInit(&value); // the slot owns it now
}

// Writes value, or VT_EMPTY in its place when it cannot cross, so the reply stays well formed.
HRESULT AppendVariant(Writer& out, const VARIANT& value) {
    Writer one(out.Marshaller());
    HRESULT hr = one.Variant(value);
    if (FAILED(hr)) {
        out.U16(VT_EMPTY);
        return hr;
    }
    out.Raw(one.Bytes().data() + 4, one.Bytes().size() - 4);
    return S_OK;
}

} // namespace

size_t VariantSlotSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(void*);
    default:
        return 8;
    }
}

RemoteProxy* RemoteProxyOf(IUnknown* object) {
    void* proxy = nullptr;
    return object && SUCCEEDED(object->QueryInterface(kRemoteProxyIid, &proxy))
               ? static_cast<RemoteProxy*>(proxy)
               : nullptr;
}

pid_t ServingProcessOf(IUnknown* object) {
    RemoteProxy* proxy = RemoteProxyOf(object);
    int fd = proxy ? proxy->Channel()->WaitDescriptor() : -1;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
        return 0;
    }
    return peer.pid;
}

IUnknown* MakeRemoteProxy(ChannelRef channel, uint64_t id, bool dispatch) {
    return new RemoteProxy(std::move(channel), id, dispatch);
}

HRESULT RemoteProxy::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (riid == kRemoteProxyIid) {
        *ppv = this;
        return S_OK;
    }
    // Every thread may call this proxy: each call waits for its reply on the calling thread.
    if (riid == IID_IUnknown || riid == IID_VrAnyThread || (dispatch_ && riid == IID_IDispatch)) {
        AddRef();
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    // Another interface crosses only as a typed dual proxy over this one.
    DualProxyFactory factory = dispatch_ ? FindDualProxyFactory(riid) : nullptr;
    if (!factory) {
        return E_NOINTERFACE;
    }
    uint64_t callId = 0;
    uint64_t causality = 0;
    Writer request = channel_->BeginRequest(id_, Operation::QueryInterface, &callId, &causality);
    request.Guid(riid);
    std::vector<uint8_t> reply;
    Reader in(nullptr, 0);
    if (HRESULT hr = Call(request, callId, causality, &reply, &in); FAILED(hr)) {
        return hr;
    }
    return factory(this, ppv);
}

ULONG RemoteProxy::Release() {
    ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        channel_->SendRelease(id_, 1);
        delete this;
    }
    return left;
}

HRESULT RemoteProxy::Call(Writer& request, uint64_t callId, uint64_t causality, std::vector<uint8_t>* reply,
                          Reader* in) {
    HRESULT hr = channel_->Transact(std::move(request), callId, causality, reply);
    if (FAILED(hr)) {
        static_cast<void>(ReportError(hr, IID_IDispatch, u"rpc",
                                      hr == RPC_E_SERVER_DIED
                                          ? u"The server process ended before the call completed."
                                          : u"The object's process is no longer connected."));
        return hr;
    }
    *in = Reader(reply->data(), reply->size(), channel_.get());
    uint32_t status = 0;
    if (!in->U32(&status) || !in->ErrorInfo()) {
        return RPC_E_INVALID_DATA;
    }
    return static_cast<HRESULT>(status);
}

// Type information stays in the object's process.
HRESULT RemoteProxy::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT RemoteProxy::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) {
        *info = nullptr;
    }
    return DISP_E_BADINDEX;
}

HRESULT RemoteProxy::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) {
        return E_INVALIDARG;
    }
    uint64_t callId = 0;
    uint64_t causality = 0;
    Writer request = channel_->BeginRequest(id_, Operation::GetIDsOfNames, &callId, &causality);
    request.U32(count);
    for (UINT i = 0; i < count; ++i) {
        const OLECHAR* name = names[i] ? names[i] : u"";
        request.Text(name, static_cast<uint32_t>(std::char_traits<char16_t>::length(name)));
    }
    std::vector<uint8_t> reply;
    Reader in(nullptr, 0);
    HRESULT hr = Call(request, callId, causality, &reply, &in);
    if (hr == RPC_E_INVALID_DATA || hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED) {
        return hr;
    }
    for (UINT i = 0; i < count; ++i) {
        uint32_t id = 0;
        if (!in.U32(&id)) {
            return RPC_E_INVALID_DATA;
        }
        ids[i] = static_cast<DISPID>(id);
    }
    return hr;
}

HRESULT RemoteProxy::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excep, UINT* argError) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    DISPPARAMS& args = params ? *params : none;
    if (args.cNamedArgs > args.cArgs || (args.cArgs && !args.rgvarg) ||
        (args.cNamedArgs && !args.rgdispidNamedArgs)) {
        return E_INVALIDARG;
    }
    uint64_t callId = 0;
    uint64_t causality = 0;
    Writer request = channel_->BeginRequest(id_, Operation::Invoke, &callId, &causality);
    request.U32(static_cast<uint32_t>(id));
    request.U16(flags);
    request.U32(args.cArgs);
    request.U32(args.cNamedArgs);
    for (UINT i = 0; i < args.cNamedArgs; ++i) {
        request.U32(static_cast<uint32_t>(args.rgdispidNamedArgs[i]));
    }
    for (UINT i = 0; i < args.cArgs; ++i) {
        if (HRESULT hr = request.Variant(args.rgvarg[i]); FAILED(hr)) {
            if (argError) {
                *argError = i;
            }
            request.Abandon(); // the peer never hears of the references written so far
            return hr;
        }
    }
    request.U8(result ? 1 : 0);
    request.U8(excep ? 1 : 0);
    std::vector<uint8_t> reply;
    Reader in(nullptr, 0);
    HRESULT hr = Call(request, callId, causality, &reply, &in);
    if (hr == RPC_E_INVALID_DATA || hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED) {
        return hr;
    }
    // Results: the retval, each by-reference argument, the exception, the argument error.
    if (result) {
        VariantInit(result);
        if (FAILED(in.Variant(result))) {
            return RPC_E_INVALID_DATA;
        }
    }
    for (UINT i = 0; i < args.cArgs; ++i) {
        VARIANT& argument = args.rgvarg[i];
        if (!(argument.vt & VT_BYREF)) {
            continue;
        }
        VARIANT value;
        if (FAILED(in.Variant(&value))) {
            return RPC_E_INVALID_DATA;
        }
        WriteBack(argument, value);
        static_cast<void>(VariantClear(&value));
    }
    if (excep) {
        *excep = EXCEPINFO{};
        uint16_t code = 0;
        uint32_t scode = 0;
        if (!in.U16(&code) || !in.U32(&scode) || !in.Bstr(&excep->bstrSource) ||
            !in.Bstr(&excep->bstrDescription) || !in.Bstr(&excep->bstrHelpFile) ||
            !in.U32(&excep->dwHelpContext)) {
            ClearExcepInfo(excep);
            return RPC_E_INVALID_DATA;
        }
        excep->wCode = code;
        excep->scode = static_cast<SCODE>(scode);
    }
    uint32_t position = 0;
    if (!in.U32(&position)) {
        return RPC_E_INVALID_DATA;
    }
    if (argError) {
        *argError = position;
    }
    return hr;
}

// ---- The serving side of Invoke ----

HRESULT Channel::ExecuteInvoke(IUnknown* target, Reader& in, Writer& out) {
    uint32_t id = 0;
    uint16_t flags = 0;
    uint32_t count = 0;
    uint32_t named = 0;
    if (!in.U32(&id) || !in.U16(&flags) || !in.U32(&count) || !in.U32(&named) || named > count ||
        count > in.Remaining() / 2) {
        return RPC_E_INVALID_DATA;
    }
    std::vector<DISPID> names(named);
    for (DISPID& name : names) {
        uint32_t value = 0;
        if (!in.U32(&value)) {
            return RPC_E_INVALID_DATA;
        }
        name = static_cast<DISPID>(value);
    }
    // values own what arrived; args are what the object sees (by-reference ones point into values).
    std::vector<VARIANT> values(count);
    std::vector<VARIANT> args(count);
    std::vector<VARTYPE> sentAs(count, VT_EMPTY);
    HRESULT hr = S_OK;
    UINT read = 0;
    for (; read < count && SUCCEEDED(hr); ++read) {
        hr = in.Variant(&values[read], &sentAs[read]);
    }
    uint8_t wantResult = 0;
    uint8_t wantExcep = 0;
    if (SUCCEEDED(hr) &&
        (!in.U8(&wantResult) || !in.U8(&wantExcep) || !in.AtEnd() || wantResult > 1 || wantExcep > 1)) {
        hr = RPC_E_INVALID_DATA;
    }
    if (FAILED(hr)) {
        for (UINT i = 0; i < read; ++i) {
            static_cast<void>(VariantClear(&values[i]));
        }
        return hr == RPC_E_INVALID_DATA ? hr : RPC_E_INVALID_DATA;
    }
    for (UINT i = 0; i < count; ++i) {
        if (sentAs[i] & VT_BYREF) {
            args[i].vt = sentAs[i];
            args[i].byref = (sentAs[i] & VT_TYPEMASK) == VT_VARIANT ? static_cast<void*>(&values[i])
                                                                    : static_cast<void*>(&values[i].llVal);
        } else {
            args[i] = values[i];
        }
    }
    DISPPARAMS params{count ? args.data() : nullptr, named ? names.data() : nullptr, count, named};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argError = 0;
    auto* dispatch = static_cast<IDispatch*>(target);
    hr = dispatch->Invoke(static_cast<DISPID>(id), IID_NULL, 0, flags, &params,
                          wantResult ? &result : nullptr, wantExcep ? &excep : nullptr, &argError);
    // The reply's error information is taken after this: keep the object's.
    ComPtr<IErrorInfo> info;
    static_cast<void>(GetErrorInfo(0, info.Put()));
    HRESULT written = S_OK;
    if (wantResult) {
        written = AppendVariant(out, result);
    }
    for (UINT i = 0; i < count; ++i) {
        if (sentAs[i] & VT_BYREF) {
            // An [in, out] value comes back in the type it went in.
            VARIANT& value = values[i];
            if ((sentAs[i] & VT_TYPEMASK) != VT_VARIANT && value.vt == VT_EMPTY) {
                value.vt = sentAs[i] & VT_TYPEMASK;
            }
            static_cast<void>(AppendVariant(out, value));
        }
        static_cast<void>(VariantClear(&values[i]));
    }
    static_cast<void>(VariantClear(&result));
    if (wantExcep) {
        if (excep.pfnDeferredFillIn) {
            static_cast<void>(excep.pfnDeferredFillIn(&excep));
        }
        out.U16(excep.wCode);
        out.U32(static_cast<uint32_t>(excep.scode));
        out.Bstr(excep.bstrSource);
        out.Bstr(excep.bstrDescription);
        out.Bstr(excep.bstrHelpFile);
        out.U32(excep.dwHelpContext);
        ClearExcepInfo(&excep);
    }
    out.U32(argError);
    static_cast<void>(SetErrorInfo(0, info.Get()));
    return FAILED(written) && SUCCEEDED(hr) ? written : hr;
}

} // namespace vr::rpc
