// The IUnknown proxy and the generic IDispatch proxy.
#include "platform/com/proxies.h"

#include <vector>

namespace vr {

namespace {

class UnknownProxy final : public Proxy<IUnknown> {
public:
    using Proxy::Proxy;
};

// The arguments of one Invoke as the callee's apartment sees them. By-value VARIANTs are copied with their
// interface pointers marshalled; by-reference VARIANTs and interface pointers point at copies here, which go
// back into the caller's variables after the call; other by-reference values are used in place.
class CarriedArguments {
public:
    CarriedArguments(const DISPPARAMS& params, const ApartmentRef& to)
        : params_(params), args_(params.cArgs), held_(params.cArgs) {
        for (UINT i = 0; i < params.cArgs; ++i) {
            Carry(params.rgvarg[i], args_[i], held_[i], to);
        }
        carried_ = {args_.data(), params.rgdispidNamedArgs, params.cArgs, params.cNamedArgs};
    }
    ~CarriedArguments() {
        for (UINT i = 0; i < params_.cArgs; ++i) {
            if (!(args_[i].vt & VT_BYREF)) {
                static_cast<void>(VariantClear(&args_[i]));
            }
            static_cast<void>(VariantClear(&held_[i]));
        }
    }
    CarriedArguments(const CarriedArguments&) = delete;
    CarriedArguments& operator=(const CarriedArguments&) = delete;

    DISPPARAMS* Params() { return &carried_; }
    HRESULT Status() const { return status_; }

    // In the callee's apartment, after the call: the held values made valid for the caller.
    void MarshalBack(const ApartmentRef& caller) {
        for (VARIANT& held : held_) {
            static_cast<void>(MarshalVariant(&held, caller));
        }
    }

    // In the caller's apartment: the held values moved into the caller's variables.
    void WriteBack() {
        for (UINT i = 0; i < params_.cArgs; ++i) {
            VARIANT& original = params_.rgvarg[i];
            VARIANT& held = held_[i];
            if (original.vt == (VT_BYREF | VT_VARIANT)) {
                static_cast<void>(VariantClear(original.pvarVal));
                *original.pvarVal = std::exchange(held, VARIANT{});
            } else if (original.vt == (VT_BYREF | VT_DISPATCH) || original.vt == (VT_BYREF | VT_UNKNOWN)) {
                IUnknown** slot = reinterpret_cast<IUnknown**>(original.byref);
                if (*slot) {
                    (*slot)->Release();
                }
                *slot = held.vt == VT_EMPTY ? nullptr : held.punkVal;
                held.vt = VT_EMPTY;
            }
        }
    }

private:
    void Carry(const VARIANT& source, VARIANT& arg, VARIANT& held, const ApartmentRef& to) {
        VariantInit(&arg);
        VariantInit(&held);
        HRESULT hr = S_OK;
        if ((source.vt & VT_BYREF) && !source.byref) {
            status_ = E_INVALIDARG;
            return;
        }
        if (source.vt == (VT_BYREF | VT_VARIANT)) {
            hr = VariantCopy(&held, source.pvarVal);
            arg.vt = VT_BYREF | VT_VARIANT;
            arg.pvarVal = &held;
        } else if (source.vt == (VT_BYREF | VT_DISPATCH) || source.vt == (VT_BYREF | VT_UNKNOWN)) {
            held.vt = source.vt & VT_TYPEMASK;
            held.punkVal = *reinterpret_cast<IUnknown**>(source.byref);
            if (held.punkVal) {
                held.punkVal->AddRef();
            }
            arg.vt = source.vt;
            arg.byref = &held.punkVal;
        } else if (source.vt & VT_BYREF) {
            arg = source;
            return;
        } else {
            hr = VariantCopy(&arg, &source);
            if (SUCCEEDED(hr)) {
                hr = MarshalVariant(&arg, to);
            }
        }
        if (SUCCEEDED(hr)) {
            hr = MarshalVariant(&held, to);
        }
        if (FAILED(hr) && SUCCEEDED(status_)) {
            status_ = hr;
        }
    }

    const DISPPARAMS& params_;
    std::vector<VARIANT> args_;
    std::vector<VARIANT> held_;
    DISPPARAMS carried_{};
    HRESULT status_ = S_OK;
};

class DispatchProxy final : public Proxy<IDispatch> {
public:
    using Proxy::Proxy;

    HRESULT GetTypeInfoCount(UINT* count) override {
        return Call([&](IDispatch* target) { return target->GetTypeInfoCount(count); });
    }
    // Type information is read-only after it is built, so it is handed out as it is.
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return Call([&](IDispatch* target) { return target->GetTypeInfo(index, lcid, info); });
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return Call([&](IDispatch* target) { return target->GetIDsOfNames(riid, names, count, lcid, ids); });
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        CarriedArguments arguments(params ? *params : none, Remote()->Home());
        if (FAILED(arguments.Status())) {
            return arguments.Status();
        }
        ApartmentRef caller = ThisApartment();
        bool ran = false;
        HRESULT hr = Call([&](IDispatch* target) {
            ran = true;
            HRESULT invoked =
                target->Invoke(id, riid, lcid, flags, arguments.Params(), result, excep, argError);
            arguments.MarshalBack(caller);
            if (result) {
                static_cast<void>(MarshalVariant(result, caller));
            }
            return invoked;
        });
        if (ran) {
            arguments.WriteBack();
        }
        return hr;
    }
};

} // namespace

HRESULT MakeUnknownProxy(const RemoteObjectRef& remote, void** ppv) {
    return MakeProxy<UnknownProxy>(remote, ppv);
}

HRESULT MakeDispatchProxy(const RemoteObjectRef& remote, void** ppv) {
    return MakeProxy<DispatchProxy>(remote, ppv);
}

} // namespace vr
