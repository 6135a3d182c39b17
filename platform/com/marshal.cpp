// Exports, proxy factories and the marshalling of interface pointers and VARIANTs between apartments.
#include "platform/com/marshal.h"

#include "platform/com/any_thread.h"
#include "platform/com/proxies.h"

#include <cstring>
#include <map>
#include <shared_mutex>

namespace vr {

namespace {

// Asked of an object to learn whether it is one of our proxies; answered without a reference.
constexpr IID kProxyCoreIid = {0x5A1C2E70, 0x3B4D, 0x4E8F, {0x9A, 0x61, 0x0C, 0x7D, 0x22, 0x4B, 0x91, 0xE3}};

struct IidLess {
    bool operator()(const IID& a, const IID& b) const { return std::memcmp(&a, &b, sizeof(IID)) < 0; }
};

struct FactoryTable {
    std::shared_mutex mutex;
    std::map<IID, ProxyFactory, IidLess> factories{{IID_IUnknown, &MakeUnknownProxy},
                                                   {IID_IDispatch, &MakeDispatchProxy}};
};

FactoryTable& Factories() {
    static FactoryTable table;
    return table;
}

ProxyFactory FindProxyFactory(const IID& iid) {
    FactoryTable& table = Factories();
    std::shared_lock lock(table.mutex);
    auto found = table.factories.find(iid);
    return found == table.factories.end() ? nullptr : found->second;
}

HRESULT CreateProxy(const RemoteObjectRef& remote, void** ppv) {
    ProxyFactory factory = FindProxyFactory(remote->Iid());
    return factory ? factory(remote, ppv) : E_NOINTERFACE;
}

// The number of elements of an array, over all its dimensions.
ULONG ElementCount(SAFEARRAY* array) {
    ULONG count = 1;
    for (UINT dim = 1, dims = SafeArrayGetDim(array); dim <= dims; ++dim) {
        LONG lower = 0;
        LONG upper = -1;
        if (FAILED(SafeArrayGetLBound(array, dim, &lower)) ||
            FAILED(SafeArrayGetUBound(array, dim, &upper))) {
            return 0;
        }
        count *= upper >= lower ? static_cast<ULONG>(upper - lower + 1) : 0;
    }
    return count;
}

HRESULT MarshalPointerInPlace(REFIID iid, IUnknown** slot, const ApartmentRef& to) {
    IUnknown* original = *slot;
    void* marshalled = nullptr;
    HRESULT hr = MarshalInterface(iid, original, to, &marshalled);
    if (original) {
        original->Release();
    }
    *slot = static_cast<IUnknown*>(marshalled);
    return hr;
}

HRESULT MarshalArrayInPlace(SAFEARRAY* array, VARTYPE elementType, const ApartmentRef& to) {
    void* data = nullptr;
    if (HRESULT hr = SafeArrayAccessData(array, &data); FAILED(hr)) {
        return hr;
    }
    HRESULT result = S_OK;
    for (ULONG i = 0, count = ElementCount(array); i < count; ++i) {
        HRESULT hr = elementType == VT_VARIANT
                         ? MarshalVariant(static_cast<VARIANT*>(data) + i, to)
                         : MarshalPointerInPlace(elementType == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                                 static_cast<IUnknown**>(data) + i, to);
        if (FAILED(hr) && SUCCEEDED(result)) {
            result = hr;
        }
    }
    static_cast<void>(SafeArrayUnaccessData(array));
    return result;
}

} // namespace

// ---- Exports ----

HRESULT RemoteObject::Export(REFIID riid, IUnknown* object, std::shared_ptr<RemoteObject>* out) {
    ApartmentRef home = ThisApartment();
    if (!home || !object) {
        return E_UNEXPECTED;
    }
    ComPtr<IUnknown> iface;
    if (HRESULT hr = object->QueryInterface(riid, iface.PutVoid()); FAILED(hr)) {
        return hr;
    }
    uint64_t id = home->AddExport(iface.Get());
    if (id == 0) {
        return RPC_E_DISCONNECTED;
    }
    out->reset(new RemoteObject(std::move(home), id, riid));
    return S_OK;
}

RemoteObject::~RemoteObject() {
    if (home_->IsOwningThread()) {
        home_->ReleaseExport(id_);
        return;
    }
    // A closed apartment has released its exports already, so a refused post loses nothing.
    home_->Post([home = home_, id = id_] { home->ReleaseExport(id); });
}

IUnknown* RemoteObject::AddRefInterface() const {
    return home_->AddRefExport(id_);
}

void RegisterProxyFactory(REFIID iid, ProxyFactory factory) {
    FactoryTable& table = Factories();
    std::unique_lock lock(table.mutex);
    table.factories[iid] = factory;
}

// ---- Proxies ----

ProxyCore* ProxyCore::Of(IUnknown* object) {
    void* core = nullptr;
    return SUCCEEDED(object->QueryInterface(kProxyCoreIid, &core)) ? static_cast<ProxyCore*>(core) : nullptr;
}

HRESULT ProxyCore::QueryProxy(IUnknown* self, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (riid == kProxyCoreIid) {
        *ppv = this;
        return S_OK;
    }
    if (riid == IID_IUnknown || riid == remote_->Iid()) {
        self->AddRef();
        *ppv = self;
        return S_OK;
    }
    if (!FindProxyFactory(riid)) {
        return E_NOINTERFACE;
    }
    RemoteObjectRef other;
    HRESULT hr = remote_->Call([&](IUnknown* iface) { return RemoteObject::Export(riid, iface, &other); });
    return FAILED(hr) ? hr : CreateProxy(other, ppv);
}

// ---- Marshalling ----

HRESULT MarshalInterface(REFIID riid, IUnknown* object, const ApartmentRef& to, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!object) {
        return S_OK;
    }
    if (ProxyCore* proxy = ProxyCore::Of(object)) {
        const RemoteObjectRef& remote = proxy->Remote();
        if (remote->Home() != to) {
            return object->QueryInterface(riid, ppv); // a proxy serves every other apartment as it is
        }
        ComPtr<IUnknown> original = ComPtr<IUnknown>::Adopt(remote->AddRefInterface());
        return original ? original->QueryInterface(riid, ppv) : RPC_E_DISCONNECTED;
    }
    ApartmentRef from = ThisApartment();
    // An object every thread may call (a proxy of another process's object) needs no thread in between.
    if (!from || from == to || IsAnyThreadObject(object)) {
        return object->QueryInterface(riid, ppv);
    }
    if (!FindProxyFactory(riid)) {
        return E_NOINTERFACE;
    }
    RemoteObjectRef remote;
    if (HRESULT hr = RemoteObject::Export(riid, object, &remote); FAILED(hr)) {
        return hr;
    }
    return CreateProxy(remote, ppv);
}

HRESULT MarshalVariant(VARIANT* value, const ApartmentRef& to) {
    if (!value) {
        return E_POINTER;
    }
    HRESULT hr = S_OK;
    switch (value->vt) {
    case VT_UNKNOWN:
        hr = MarshalPointerInPlace(IID_IUnknown, &value->punkVal, to);
        break;
    case VT_DISPATCH:
        hr = MarshalPointerInPlace(IID_IDispatch, reinterpret_cast<IUnknown**>(&value->pdispVal), to);
        break;
    case VT_ARRAY | VT_VARIANT:
    case VT_ARRAY | VT_UNKNOWN:
    case VT_ARRAY | VT_DISPATCH:
        return value->parray ? MarshalArrayInPlace(value->parray, value->vt & VT_TYPEMASK, to) : S_OK;
    default:
        return S_OK;
    }
    if (FAILED(hr)) {
        value->vt = VT_EMPTY;
    }
    return hr;
}

} // namespace vr
