// Interfaces across apartments: marshalling into a stream, proxies per interface, and the argument rules.
//
// An object of a single-threaded apartment is handed to another apartment as a proxy: an object of the same
// interface whose every method runs the real method on the object's own thread (Apartment::Call), so the
// re-entrancy rule of apartment.h holds for every proxy call. Objects of the multithreaded apartment, and of
// threads that belong to no apartment, are handed out as themselves. A proxy handed back to its object's
// apartment becomes the object itself again.
//
// Arguments: in-process, a proxy call runs while its caller waits, so plain values, strings, arrays and
// by-reference out-arguments are read and written in place. Interface pointers are the exception: every
// interface pointer that crosses (in, out, in a VARIANT, in a by-reference VARIANT, in a VARIANT array) is
// marshalled with MarshalInterface for the apartment that receives it. Error information the callee leaves
// travels back with the call.
//
// Adding a typed proxy for an interface IThing: derive from vr::Proxy<IThing>, implement each method with
// Call(), marshal interface arguments with In() before the call and Out() inside it, and register the
// factory once (for instance from the header that declares IThing, or at the start of the program):
//
//     class ThingProxy final : public vr::Proxy<IThing> {
//     public:
//         using Proxy::Proxy;
//         HRESULT Count(LONG* count) override {
//             return Call([&](IThing* target) { return target->Count(count); });
//         }
//         HRESULT Attach(ISink* sink) override {                  // an interface going in
//             vr::ComPtr<ISink> there;
//             if (HRESULT hr = In(sink, &there); FAILED(hr)) return hr;
//             return Call([&](IThing* target) { return target->Attach(there.Get()); });
//         }
//         HRESULT Child(IThing** child) override {                // an interface coming out
//             return CallOut(child, [&](IThing* target, IThing** raw) { return target->Child(raw); });
//         }
//     };
//     vr::RegisterProxyFactory(__uuidof(IThing), &vr::MakeProxy<ThingProxy>);
//
// Identity: a proxy answers QueryInterface(IID_IUnknown) with itself, and each other interface asked of it is
// a new proxy; two proxies of the same object are not the same pointer. Compare objects in their own
// apartment, where proxies handed back become the objects themselves.
//
// Interfaces without a typed proxy cross as IDispatch when they are dual (ask for IID_IDispatch): the generic
// IDispatch proxy carries every call by DISPID.
#pragma once

#include "platform/com/apartment.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/stream.h"

#include <atomic>
#include <memory>

// Marshals the object's riid interface for use by one other thread: the stream holds it until
// CoGetInterfaceAndReleaseStream (once) or its release. Called in the object's apartment.
// E_INVALIDARG for a null object or stream, E_NOINTERFACE when the object lacks riid or riid has no proxy.
[[nodiscard]] HRESULT CoMarshalInterThreadInterfaceInStream(REFIID riid, IUnknown* object, LPSTREAM* stream);
// Unmarshals the stream's interface for the calling thread's apartment (the object itself in its own
// apartment, else a proxy) and releases the stream, also when unmarshalling fails.
[[nodiscard]] HRESULT CoGetInterfaceAndReleaseStream(LPSTREAM stream, REFIID riid, void** ppv);

namespace vr {

// One interface of an object, exported from its apartment (its home) for the proxies that stand for it.
// Dropping the last reference gives the export back on the home thread.
// Threads: any; the interface itself is only touched on the home thread.
class RemoteObject {
public:
    // Exports object's riid interface from the calling thread's apartment, which must own the object.
    [[nodiscard]] static HRESULT Export(REFIID riid, IUnknown* object, std::shared_ptr<RemoteObject>* out);
    ~RemoteObject();
    RemoteObject(const RemoteObject&) = delete;
    RemoteObject& operator=(const RemoteObject&) = delete;

    // Runs work with the exported interface on the home thread (Apartment::Call); RPC_E_DISCONNECTED when
    // the home apartment has closed.
    template <class F>
    [[nodiscard]] HRESULT Call(F&& work) const {
        return home_->Call([&]() -> HRESULT {
            IUnknown* iface = home_->FindExport(id_);
            return iface ? work(iface) : RPC_E_DISCONNECTED;
        });
    }

    const ApartmentRef& Home() const { return home_; }
    const IID& Iid() const { return iid_; }
    // The exported interface with a new reference, for a proxy that comes home; null when disconnected.
    IUnknown* AddRefInterface() const;

private:
    RemoteObject(ApartmentRef home, uint64_t id, const IID& iid)
        : home_(std::move(home)), id_(id), iid_(iid) {}

    ApartmentRef home_;
    uint64_t id_;
    IID iid_;
};
using RemoteObjectRef = std::shared_ptr<RemoteObject>;

// Makes a proxy of the remote object's interface, with one reference, into *ppv.
using ProxyFactory = HRESULT (*)(const RemoteObjectRef& remote, void** ppv);

// Registers the proxy factory of an interface; a later registration replaces an earlier one. IUnknown and
// IDispatch have theirs from the start. Threads: any.
void RegisterProxyFactory(REFIID iid, ProxyFactory factory);

// An interface pointer valid in the calling thread's apartment (or a proxy), made valid in apartment `to`
// (null: the multithreaded apartment) as its riid interface, with one reference, in *ppv. Null stays null.
// E_NOINTERFACE when the object lacks riid or a proxy is needed and riid has none.
[[nodiscard]] HRESULT MarshalInterface(REFIID riid, IUnknown* object, const ApartmentRef& to, void** ppv);

// The same for the interface pointers inside a VARIANT the caller owns (VT_UNKNOWN, VT_DISPATCH and arrays of
// them or of VARIANTs), replaced in place. A pointer that cannot be marshalled leaves the VARIANT VT_EMPTY.
[[nodiscard]] HRESULT MarshalVariant(VARIANT* value, const ApartmentRef& to);

// The part of every proxy that does not depend on its interface.
class ProxyCore {
public:
    explicit ProxyCore(RemoteObjectRef remote) : remote_(std::move(remote)) {}
    virtual ~ProxyCore() = default;
    const RemoteObjectRef& Remote() const { return remote_; }

    // The proxy core behind object, or null when object is no proxy.
    static ProxyCore* Of(IUnknown* object);

protected:
    // QueryInterface of a proxy: itself for IUnknown and its own interface, a proxy of the object's other
    // interface otherwise (asked of the object on its thread).
    HRESULT QueryProxy(IUnknown* self, REFIID riid, void** ppv);

    std::atomic<ULONG> refs_{1};

private:
    RemoteObjectRef remote_;
};

// The base of a typed proxy for interface I (see the example at the top).
template <class I>
class Proxy : public I, public ProxyCore {
public:
    using Interface = I;
    using ProxyCore::ProxyCore;

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return QueryProxy(this, riid, ppv); }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    // Runs work(I* target) on the object's thread.
    template <class F>
    [[nodiscard]] HRESULT Call(F&& work) {
        return Remote()->Call([&](IUnknown* iface) { return work(static_cast<I*>(iface)); });
    }

    // An interface argument made valid in the object's apartment.
    template <class Q>
    [[nodiscard]] HRESULT In(Q* argument, ComPtr<Q>* there) {
        return MarshalInterface(uuidof<Q>(), argument, Remote()->Home(), there->PutVoid());
    }

    // Runs work(I* target, Q** raw) on the object's thread and hands the interface it produced to the caller,
    // made valid in the caller's apartment.
    template <class Q, class F>
    [[nodiscard]] HRESULT CallOut(Q** out, F&& work) {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        ApartmentRef caller = ThisApartment();
        return Call([&](I* target) {
            ComPtr<Q> raw;
            HRESULT hr = work(target, raw.Put());
            if (SUCCEEDED(hr) && raw) {
                if (HRESULT marshalled =
                        MarshalInterface(uuidof<Q>(), raw.Get(), caller, reinterpret_cast<void**>(out));
                    FAILED(marshalled)) {
                    return marshalled;
                }
            }
            return hr;
        });
    }
};

template <class P>
HRESULT MakeProxy(const RemoteObjectRef& remote, void** ppv) {
    auto* proxy = new P(remote);
    *ppv = static_cast<typename P::Interface*>(proxy);
    return S_OK;
}

} // namespace vr
