// The conformance object, its dispatch table and its typed proxy.
#include "conformance.h"

#include "platform/com/dispatch_table.h"
#include "platform/com/dual_proxy.h"
#include "platform/com/object.h"
#include "platform/com/server.h"

#include <algorithm>
#include <functional>
#include <string>
#include <thread>

namespace vrtest {

namespace {

class ConformanceObject : public vr::ObjectRoot,
                          public vr::CoClass<ConformanceObject>,
                          public vr::DispatchImpl<ConformanceObject, IConformance> {
public:
    using Interfaces = vr::InterfaceList<IConformance, IDispatch>;
    static const vr::DispatchTable<ConformanceObject>& GetDispatchTable();

    void SetTag(LONG tag) { tag_ = tag; }

    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        *sum = a + b;
        return S_OK;
    }
    HRESULT Echo(VARIANT value, VARIANT* copy) override {
        VariantInit(copy);
        return VariantCopy(copy, &value);
    }
    HRESULT Turn(BSTR* text, LONG* number, LONG* length) override {
        std::u16string turned(*text ? *text : u"", SysStringLen(*text));
        std::reverse(turned.begin(), turned.end());
        SysFreeString(*text);
        *text = SysAllocStringLen(turned.data(), static_cast<UINT>(turned.size()));
        *number *= 2;
        *length = static_cast<LONG>(turned.size());
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
    // Reached by name only: the caller's object slot receives a new object (its old one given back first).
    HRESULT SetRef(IDispatch** slot, LONG tag) {
        if (*slot) {
            (*slot)->Release();
        }
        return MakeConformanceObject(tag)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(slot));
    }

private:
    LONG tag_ = 0;
    const LONGLONG home_ = ThisThreadId(); // calls that must keep to the object's apartment check it
    vr::ComPtr<IUnknown> kept_;
    std::mutex mutex_;
    std::vector<LONG> recorded_;
};

const vr::DispatchTable<ConformanceObject>& ConformanceObject::GetDispatchTable() {
    using C = ConformanceObject;
    using D = vr::DispatchTable<C>;
    static const D table(
        u"IConformance",
        {
            D::Method<&C::Add>(kDispAdd, u"Add", {u"a", u"b", u"sum"}),
            // Optional, so a value holding the "missing" marker (how IDispatch carries an omitted argument)
            // is
            // echoed as it came.
            D::Method<&C::Echo>(kDispEcho, u"Echo", {vr::Param(u"value").Optional(), u"copy"}),
            D::Method<&C::Turn>(kDispTurn, u"Turn", {u"text", u"number", u"length"}),
            D::Method<&C::Fail>(kDispFail, u"Fail", {u"hr", u"description"}),
            D::Method<&C::Bounce>(kDispBounce, u"Bounce", {u"peer", u"depth", u"reached"}),
            D::Method<&C::MakeChild>(kDispMakeChild, u"MakeChild", {u"tag", u"child"}),
            D::PropGet<&C::Tag>(kDispTag, u"Tag", {u"tag"}),
            D::Method<&C::Keep>(kDispKeep, u"Keep", {u"object"}),
            D::Method<&C::Kept>(kDispKept, u"Kept", {u"object"}),
            D::Method<&C::Record>(kDispRecord, u"Record", {u"value"}),
            D::Method<&C::Recorded>(kDispRecorded, u"Recorded", {u"values"}),
            D::PropGet<&C::RunningThread>(kDispRunningThread, u"RunningThread", {u"thread"}),
            D::Method<&C::SetRef>(kDispSetRef, u"SetRef", {u"slot", u"tag"}),
        });
    return table;
}

// The typed proxy: every method an Invoke on whatever IDispatch stands for the far object.
class ConformanceProxy final : public vr::DualProxy<IConformance> {
public:
    using DualProxy::DualProxy;

    HRESULT Add(LONG a, LONG b, LONG* sum) override { return Method(kDispAdd, sum, a, b); }
    HRESULT Echo(VARIANT value, VARIANT* copy) override { return Method(kDispEcho, copy, value); }
    HRESULT Turn(BSTR* text, LONG* number, LONG* length) override {
        return Method(kDispTurn, length, vr::InOut(text), vr::InOut(number));
    }
    HRESULT Fail(HRESULT hr, BSTR description) override { return Call(kDispFail, hr, description); }
    HRESULT Bounce(IConformance* peer, LONG depth, LONG* reached) override {
        return Method(kDispBounce, reached, peer, depth);
    }
    HRESULT MakeChild(LONG tag, IConformance** child) override { return Method(kDispMakeChild, child, tag); }
    HRESULT Tag(LONG* tag) override { return Get(kDispTag, tag); }
    HRESULT Keep(IUnknown* object) override { return Call(kDispKeep, object); }
    HRESULT Kept(IUnknown** object) override { return Method(kDispKept, object); }
    HRESULT Record(LONG value) override { return Call(kDispRecord, value); }
    HRESULT Recorded(SAFEARRAY** values) override {
        if (!values) {
            return E_POINTER;
        }
        *values = nullptr;
        VARIANT result;
        HRESULT hr = Method(kDispRecorded, &result);
        if (SUCCEEDED(hr) && (result.vt & VT_ARRAY)) {
            *values = result.parray; // the result's array is handed on, not copied
            return hr;
        }
        static_cast<void>(VariantClear(&result));
        return FAILED(hr) ? hr : DISP_E_TYPEMISMATCH;
    }
    HRESULT RunningThread(LONGLONG* thread) override {
        if (!thread) {
            return E_POINTER;
        }
        VARIANT result;
        HRESULT hr = Get(kDispRunningThread, &result);
        if (SUCCEEDED(hr)) {
            hr = VariantChangeType(&result, &result, 0, VT_I8);
            *thread = SUCCEEDED(hr) ? result.llVal : 0;
        }
        static_cast<void>(VariantClear(&result));
        return hr;
    }
};

} // namespace

LONGLONG ThisThreadId() {
    return static_cast<LONGLONG>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
}

vr::ComPtr<IConformance> MakeConformanceObject(LONG tag) {
    vr::ComPtr<vr::ComObject<ConformanceObject>> made;
    if (FAILED(vr::ComObject<ConformanceObject>::Create(&made))) {
        return nullptr;
    }
    made->SetTag(tag);
    vr::ComPtr<IConformance> object;
    static_cast<void>(made.As(&object));
    return object;
}

void RegisterConformanceProxy() {
    static std::once_flag once;
    std::call_once(once, [] { vr::RegisterDualProxy<ConformanceProxy>(); });
}

HRESULT CreateConformanceFactory(REFIID riid, void** ppv) {
    return vr::server::CreateClassFactory<ConformanceObject>(riid, ppv);
}

} // namespace vrtest
