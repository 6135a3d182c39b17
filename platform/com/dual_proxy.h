// Typed proxies of dual interfaces, carried by IDispatch: one proxy class per interface, whatever carries it.
//
// A dual interface's methods are also reachable by IDispatch::Invoke with the DISPIDs and argument rules of
// the object's dispatch table. A DualProxy<I> implements I's methods by Invoke on a transport IDispatch that
// stands for the object elsewhere: the generic cross-apartment IDispatch proxy, or a cross-process one. So
// one typed proxy per interface serves every channel, and the transport alone decides how a call travels.
//
// Argument rules (those of dispatch tables): in-arguments go by value in their automation type (BSTR, 32-bit
// integers and enums as VT_I4, VARIANTs as they are, interfaces as VT_DISPATCH or VT_UNKNOWN); a trailing
// pointer is the [out, retval] result, converted back into the pointer's type (an interface is queried for);
// other pointers travel VT_BYREF (InOut), a null one as the "missing" marker. A failure the object reports
// through EXCEPINFO comes back as its own HRESULT with its rich error information on the calling thread.
//
//     class ThingProxy final : public vr::DualProxy<IThing> {
//     public:
//         using DualProxy::DualProxy;
//         HRESULT Add(LONG a, LONG b, LONG* sum) override { return Method(1, sum, a, b); }
//         HRESULT get_Visible(VARIANT_BOOL* v) override { return Get(2, vr::AsBool(v)); }
//         HRESULT put_Visible(VARIANT_BOOL v) override { return Put(2, vr::BoolArg(v)); }
//     };
//     vr::RegisterDualProxy<ThingProxy>();
//
// Identity: the proxy answers IUnknown, IDispatch and I with itself; any other interface is asked of the
// transport (which answers with its own proxies, and tells the marshalling layer what it stands for, so a
// typed proxy handed back home becomes the object again).
//
// Threads: a proxy may be called from any thread its transport may be called from; its reference count is
// atomic.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/marshal.h"
#include "platform/com/proxies.h"
#include "platform/com/variant.h"

#include <atomic>
#include <type_traits>

namespace vr {

namespace dual {

// A VARIANT_BOOL result (VARIANT_BOOL shares its C++ type with SHORT).
struct BoolResult {
    VARIANT_BOOL* target;
};
// A VARIANT_BOOL argument.
struct BoolValue {
    VARIANT_BOOL value;
};
// A pointer argument that is not the result: passed by reference, written by the object.
template <class T>
struct ByRef {
    T* target;
};

template <class Q>
concept TypedInterface =
    std::is_base_of_v<IUnknown, Q> && !std::is_same_v<Q, IUnknown> && !std::is_same_v<Q, IDispatch>;

template <class T>
constexpr VARTYPE VtOf() {
    if constexpr (std::is_same_v<T, BSTR>) {
        return VT_BSTR;
    } else if constexpr (std::is_same_v<T, int32_t> || (std::is_enum_v<T> && sizeof(T) == 4)) {
        return VT_I4;
    } else if constexpr (std::is_same_v<T, uint32_t>) {
        return VT_UI4;
    } else if constexpr (std::is_same_v<T, VARIANT_BOOL>) {
        return VT_I2;
    } else if constexpr (std::is_same_v<T, double>) {
        return VT_R8;
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        return VT_VARIANT;
    } else if constexpr (std::is_same_v<T, IDispatch*>) {
        return VT_DISPATCH;
    } else if constexpr (std::is_same_v<T, IUnknown*>) {
        return VT_UNKNOWN;
    } else {
        static_assert(sizeof(T) == 0, "a dual proxy cannot carry this type by reference");
    }
}

// In-arguments as borrowed VARIANTs: the proxy owns nothing it passes.
inline VARIANT Arg(BSTR value) {
    VARIANT v{};
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return v;
}
inline VARIANT Arg(int32_t value) {
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
inline VARIANT Arg(uint32_t value) {
    VARIANT v{};
    v.vt = VT_UI4;
    v.ulVal = value;
    return v;
}
inline VARIANT Arg(BoolValue value) {
    VARIANT v{};
    v.vt = VT_BOOL;
    v.boolVal = value.value;
    return v;
}
inline VARIANT Arg(const VARIANT& value) {
    return value;
}
inline VARIANT Arg(IUnknown* value) {
    VARIANT v{};
    v.vt = VT_UNKNOWN;
    v.punkVal = value;
    return v;
}
inline VARIANT Arg(IDispatch* value) {
    VARIANT v{};
    v.vt = VT_DISPATCH;
    v.pdispVal = value;
    return v;
}
template <class E>
requires(std::is_enum_v<E> && sizeof(E) == 4) VARIANT Arg(E value) {
    return Arg(static_cast<int32_t>(value));
}
template <TypedInterface Q>
VARIANT Arg(Q* value) {
    if constexpr (std::is_base_of_v<IDispatch, Q>) {
        return Arg(static_cast<IDispatch*>(value));
    } else {
        return Arg(static_cast<IUnknown*>(value));
    }
}
template <class T>
VARIANT Arg(ByRef<T> ref) {
    VARIANT v{};
    if (!ref.target) {
        v.vt = VT_ERROR;
        v.scode = DISP_E_PARAMNOTFOUND;
        return v;
    }
    v.vt = VT_BYREF | VtOf<T>();
    v.byref = ref.target;
    return v;
}

// Results: the retval VARIANT (which they consume) converted into the caller's pointer.
[[nodiscard]] HRESULT TakeResult(VARIANT* result, BSTR* out);
[[nodiscard]] HRESULT TakeResult(VARIANT* result, int32_t* out);
[[nodiscard]] HRESULT TakeResult(VARIANT* result, intptr_t* out);
[[nodiscard]] HRESULT TakeResult(VARIANT* result, VARIANT* out);
[[nodiscard]] HRESULT TakeResult(VARIANT* result, BoolResult out);
// An interface result queried for iid into *out.
[[nodiscard]] HRESULT TakeInterface(VARIANT* result, REFIID iid, void** out);

template <class E>
requires(std::is_enum_v<E> && sizeof(E) == 4) [[nodiscard]] HRESULT TakeResult(VARIANT* result, E* out) {
    return TakeResult(result, reinterpret_cast<int32_t*>(out));
}
template <class Q>
requires std::is_base_of_v<IUnknown, Q>
[[nodiscard]] HRESULT TakeResult(VARIANT* result, Q** out) {
    return TakeInterface(result, uuidof<Q>(), reinterpret_cast<void**>(out));
}

// Empties a result pointer before the call, as an [out] argument starts; false for a null pointer.
template <class T>
bool ClearResult(T* out) {
    if (!out) {
        return false;
    }
    if constexpr (std::is_same_v<T, VARIANT>) {
        VariantInit(out);
    } else {
        *out = T{};
    }
    return true;
}
inline bool ClearResult(BoolResult out) {
    return ClearResult(out.target);
}

// One Invoke on transport: args in reversed order (rgvarg order), the put value first for a put. A
// DISP_E_EXCEPTION failure is turned into the object's own HRESULT and error information for iid.
[[nodiscard]] HRESULT Invoke(IDispatch* transport, REFIID iid, DISPID id, WORD flags, VARIANT* args,
                             UINT count, VARIANT* result);

} // namespace dual

// Arguments and results whose automation type the C++ type cannot tell.
inline dual::BoolResult AsBool(VARIANT_BOOL* target) {
    return {target};
}
inline dual::BoolValue BoolArg(VARIANT_BOOL value) {
    return {value};
}
template <class T>
dual::ByRef<T> InOut(T* target) {
    return {target};
}

// The base of a typed proxy of dual interface I (see the example at the top).
template <class I>
class DualProxy : public I {
public:
    using Interface = I;

    explicit DualProxy(ComPtr<IDispatch> transport) : transport_(std::move(transport)) {}
    virtual ~DualProxy() = default;
    DualProxy(const DualProxy&) = delete;
    DualProxy& operator=(const DualProxy&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == uuidof<I>()) {
            AddRef();
            *ppv = static_cast<I*>(this);
            return S_OK;
        }
        return transport_->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT GetTypeInfoCount(UINT* count) override { return transport_->GetTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return transport_->GetTypeInfo(index, lcid, info);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return transport_->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override {
        return transport_->Invoke(id, riid, lcid, flags, params, result, excep, argError);
    }

    IDispatch* Transport() const { return transport_.Get(); }

protected:
    // A method with a result: Method(id, out, in-arguments...).
    template <class R, class... A>
    [[nodiscard]] HRESULT Method(DISPID id, R out, A&&... args) {
        return CallWithResult(id, DISPATCH_METHOD, out, args...);
    }
    // A method without a result.
    template <class... A>
    [[nodiscard]] HRESULT Call(DISPID id, A&&... args) {
        VARIANT packed[sizeof...(A) + 1] = {};
        Pack(packed, args...);
        return dual::Invoke(transport_.Get(), uuidof<I>(), id, DISPATCH_METHOD, packed, sizeof...(A),
                            nullptr);
    }
    // A property get: Get(id, out, index arguments...).
    template <class R, class... A>
    [[nodiscard]] HRESULT Get(DISPID id, R out, A&&... args) {
        return CallWithResult(id, DISPATCH_PROPERTYGET, out, args...);
    }
    // A property put: Put(id, index arguments..., value).
    template <class... A>
    [[nodiscard]] HRESULT Put(DISPID id, A&&... args) {
        static_assert(sizeof...(A) >= 1, "a put needs its value");
        VARIANT packed[sizeof...(A)] = {};
        Pack(packed, args...);
        return dual::Invoke(transport_.Get(), uuidof<I>(), id, DISPATCH_PROPERTYPUT, packed, sizeof...(A),
                            nullptr);
    }

private:
    // Packs the arguments into rgvarg order (the last one first).
    template <class... A>
    static void Pack(VARIANT* packed, A&&... args) {
        size_t index = sizeof...(A);
        ((packed[--index] = dual::Arg(args)), ...);
    }

    template <class R, class... A>
    HRESULT CallWithResult(DISPID id, WORD flags, R out, A&... args) {
        if (!dual::ClearResult(out)) {
            return E_POINTER;
        }
        VARIANT packed[sizeof...(A) + 1] = {};
        Pack(packed, args...);
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = dual::Invoke(transport_.Get(), uuidof<I>(), id, flags, packed, sizeof...(A), &result);
        if (FAILED(hr)) {
            static_cast<void>(VariantClear(&result));
            return hr;
        }
        HRESULT taken = dual::TakeResult(&result, out);
        return FAILED(taken) ? taken : hr;
    }

    std::atomic<ULONG> refs_{1};
    ComPtr<IDispatch> transport_;
};

// Makes a typed proxy over a transport IDispatch, with one reference, into *ppv.
using DualProxyFactory = HRESULT (*)(IDispatch* transport, void** ppv);

template <class P>
HRESULT MakeDualProxy(IDispatch* transport, void** ppv) {
    if (!transport || !ppv) {
        return E_POINTER;
    }
    *ppv = static_cast<typename P::Interface*>(new P(ComPtr<IDispatch>(transport)));
    return S_OK;
}

// The cross-apartment proxy factory of a dual proxy: the generic IDispatch proxy as its transport.
template <class P>
HRESULT MakeApartmentDualProxy(const RemoteObjectRef& remote, void** ppv) {
    ComPtr<IDispatch> transport;
    if (HRESULT hr = MakeDispatchProxy(remote, transport.PutVoid()); FAILED(hr)) {
        return hr;
    }
    return MakeDualProxy<P>(transport.Get(), ppv);
}

// Registers a typed dual proxy for its interface: as the interface's cross-apartment proxy, and as the proxy
// other transports (processes) wrap around their IDispatch. Threads: any.
void RegisterDualProxyFactory(REFIID iid, DualProxyFactory factory);
// The typed dual proxy factory of iid, or null.
DualProxyFactory FindDualProxyFactory(REFIID iid);

template <class P>
void RegisterDualProxy() {
    using I = typename P::Interface;
    RegisterDualProxyFactory(uuidof<I>(), &MakeDualProxy<P>);
    RegisterProxyFactory(uuidof<I>(), &MakeApartmentDualProxy<P>);
}

} // namespace vr
