// The conformance object and its typed proxy.
#include "conformance.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace vrtest {

namespace {

class ConformanceObject final : public IConformance, public IDispatch {
public:
    explicit ConformanceObject(LONG tag) : tag_(tag) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IConformance) {
            *ppv = static_cast<IConformance*>(this);
        } else if (riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        *sum = a + b;
        return S_OK;
    }
    HRESULT Echo(VARIANT value, VARIANT* copy) override {
        VariantInit(copy);
        return VariantCopy(copy, &value);
    }
    HRESULT Turn(BSTR* text, LONG* number) override {
        std::u16string turned(*text ? *text : u"", SysStringLen(*text));
        std::reverse(turned.begin(), turned.end());
        SysFreeString(*text);
        *text = SysAllocStringLen(turned.data(), static_cast<UINT>(turned.size()));
        *number *= 2;
        return S_OK;
    }
    HRESULT Fail(HRESULT hr, BSTR description) override {
        return vr::ReportError(hr, IID_IConformance, u"Conformance", description ? description : u"");
    }
    HRESULT Bounce(IConformance* peer, LONG depth, LONG* reached) override {
        if (ThisThreadId() != home_) {
            return RPC_E_WRONG_THREAD;
        }
        if (depth == 0) {
            *reached = 0;
            return S_OK;
        }
        HRESULT hr = peer->Bounce(this, depth - 1, reached);
        if (SUCCEEDED(hr)) {
            ++*reached;
        }
        return hr;
    }
    HRESULT MakeChild(LONG tag, IConformance** child) override {
        *child = MakeConformanceObject(tag).Detach();
        return S_OK;
    }
    HRESULT Tag(LONG* tag) override {
        *tag = tag_;
        return S_OK;
    }
    HRESULT Keep(IUnknown* object) override {
        kept_ = object;
        return S_OK;
    }
    HRESULT Kept(IUnknown** object) override { return kept_.CopyTo(object); }
    HRESULT Record(LONG value) override {
        if (ThisThreadId() != home_) {
            return RPC_E_WRONG_THREAD;
        }
        std::lock_guard lock(mutex_);
        recorded_.push_back(value);
        return S_OK;
    }
    HRESULT Recorded(SAFEARRAY** values) override {
        std::lock_guard lock(mutex_);
        *values = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(recorded_.size()));
        for (LONG i = 0; i < static_cast<LONG>(recorded_.size()); ++i) {
            static_cast<void>(SafeArrayPutElement(*values, &i, &recorded_[i]));
        }
        return S_OK;
    }
    HRESULT RunningThread(LONGLONG* thread) override {
        *thread = ThisThreadId();
        return S_OK;
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const std::pair<std::u16string_view, DISPID> kNames[] = {{u"Echo", kDispEcho},
                                                                        {u"Turn", kDispTurn},
                                                                        {u"Fail", kDispFail},
                                                                        {u"Child", kDispChild},
                                                                        {u"SetRef", kDispSetRef}};
        for (auto& [name, id] : kNames) {
            if (count == 1 && names[0] == name) {
                ids[0] = id;
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override {
        VARIANT* args = params->rgvarg;
        switch (id) {
        case kDispEcho:
            return VariantCopy(result, &args[0]);
        case kDispTurn: {
            LONG ignored = 0;
            return Turn(&args[0].pvarVal->bstrVal, &ignored);
        }
        case kDispFail:
            static_cast<void>(Fail(E_FAIL, args[0].bstrVal));
            vr::FillExcepInfo(excep, E_FAIL);
            return DISP_E_EXCEPTION;
        case kDispChild:
            result->vt = VT_DISPATCH;
            return MakeChildDispatch(args[0].lVal, &result->pdispVal);
        case kDispSetRef: {
            IDispatch** slot = args[1].ppdispVal;
            if (*slot) {
                (*slot)->Release();
            }
            return MakeChildDispatch(args[0].lVal, slot);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    ~ConformanceObject() = default;

    static HRESULT MakeChildDispatch(LONG tag, IDispatch** out) {
        return MakeConformanceObject(tag)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
    }

    std::atomic<ULONG> refs_{1};
    const LONG tag_;
    const LONGLONG home_ = ThisThreadId(); // calls that must keep to the object's apartment check it
    vr::ComPtr<IUnknown> kept_;
    std::mutex mutex_;
    std::vector<LONG> recorded_;
};

class ConformanceProxy final : public vr::Proxy<IConformance> {
public:
    using Proxy::Proxy;

    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        return Call([&](IConformance* target) { return target->Add(a, b, sum); });
    }
    HRESULT Echo(VARIANT value, VARIANT* copy) override {
        VARIANT there;
        VariantInit(&there);
        HRESULT hr = VariantCopy(&there, &value);
        if (SUCCEEDED(hr)) {
            hr = vr::MarshalVariant(&there, Remote()->Home());
        }
        vr::ApartmentRef caller = vr::ThisApartment();
        if (SUCCEEDED(hr)) {
            hr = Call([&](IConformance* target) {
                HRESULT echoed = target->Echo(there, copy);
                return SUCCEEDED(echoed) ? vr::MarshalVariant(copy, caller) : echoed;
            });
        }
        static_cast<void>(VariantClear(&there));
        return hr;
    }
    HRESULT Turn(BSTR* text, LONG* number) override {
        return Call([&](IConformance* target) { return target->Turn(text, number); });
    }
    HRESULT Fail(HRESULT hr, BSTR description) override {
        return Call([&](IConformance* target) { return target->Fail(hr, description); });
    }
    HRESULT Bounce(IConformance* peer, LONG depth, LONG* reached) override {
        vr::ComPtr<IConformance> there;
        if (HRESULT hr = In(peer, &there); FAILED(hr)) {
            return hr;
        }
        return Call([&](IConformance* target) { return target->Bounce(there.Get(), depth, reached); });
    }
    HRESULT MakeChild(LONG tag, IConformance** child) override {
        return CallOut(child,
                       [&](IConformance* target, IConformance** raw) { return target->MakeChild(tag, raw); });
    }
    HRESULT Tag(LONG* tag) override {
        return Call([&](IConformance* target) { return target->Tag(tag); });
    }
    HRESULT Keep(IUnknown* object) override {
        vr::ComPtr<IUnknown> there;
        if (HRESULT hr = In(object, &there); FAILED(hr)) {
            return hr;
        }
        return Call([&](IConformance* target) { return target->Keep(there.Get()); });
    }
    HRESULT Kept(IUnknown** object) override {
        return CallOut(object, [&](IConformance* target, IUnknown** raw) { return target->Kept(raw); });
    }
    HRESULT Record(LONG value) override {
        return Call([&](IConformance* target) { return target->Record(value); });
    }
    HRESULT Recorded(SAFEARRAY** values) override {
        return Call([&](IConformance* target) { return target->Recorded(values); });
    }
    HRESULT RunningThread(LONGLONG* thread) override {
        return Call([&](IConformance* target) { return target->RunningThread(thread); });
    }
};

} // namespace

LONGLONG ThisThreadId() {
    return static_cast<LONGLONG>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
}

vr::ComPtr<IConformance> MakeConformanceObject(LONG tag) {
    return vr::ComPtr<IConformance>::Adopt(new ConformanceObject(tag));
}

void RegisterConformanceProxy() {
    static std::once_flag once;
    std::call_once(once,
                   [] { vr::RegisterProxyFactory(IID_IConformance, &vr::MakeProxy<ConformanceProxy>); });
}

} // namespace vrtest
