// Script objects handed out as IDispatch: members by name (inherited ones too), calls, reads and writes.
#include "platform/com/bstr.h"
#include "platform/com/object.h"
#include "platform/scripting/runtime.h"
#include "platform/scripting/safe_call.h"

namespace vr::script {
namespace {

// Asked for by QueryInterface to recognise a script object of this engine; never handed out of it.
constexpr IID kIID_ScriptObject = vr::MakeGuid("6D3C1B8E-2F4A-4E57-9C11-8B0F3E9A7D21");

class ScriptObject : public vr::ObjectRoot, public IDispatch {
public:
    using Interfaces = vr::InterfaceList<IDispatch>;
    static constexpr bool kAggregatable = false;

    void Attach(std::shared_ptr<Runtime> runtime, int pin) {
        runtime_ = std::move(runtime);
        pin_ = pin;
    }
    void FinalRelease() {
        if (runtime_) {
            runtime_->Unpin(pin_);
        }
    }
    Runtime* Owner() const { return runtime_.get(); }
    void PushObject() { runtime_->PushPinned(pin_); }

    HRESULT QueryUnlistedInterface(REFIID riid, void** ppv) {
        if (riid == kIID_ScriptObject) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argError) override;

private:
    bool HasMember(const std::u16string& name);
    HRESULT Fail(EXCEPINFO* excep, bool outermost);

    std::shared_ptr<Runtime> runtime_;
    int pin_ = 0;
};

bool ScriptObject::HasMember(const std::u16string& name) {
    duk_context* ctx = runtime_->Context();
    bool ok = SafeRun(ctx, 0, [&](duk_context* c) {
        PushObject();
        PushText(c, name);
        duk_push_boolean(c, duk_has_prop(c, -2)); // the prototype chain counts: "length", "push", ...
    });
    bool found = ok && duk_get_boolean(ctx, -1);
    duk_pop(ctx);
    return found;
}

HRESULT ScriptObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) {
        return E_INVALIDARG;
    }
    if (!runtime_->Alive()) {
        return RPC_E_DISCONNECTED;
    }
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN; // script members take no named arguments
    }
    std::u16string name = names[0] ? std::u16string(names[0]) : std::u16string();
    if (!HasMember(name)) {
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = runtime_->DispidOf(name);
    return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT ScriptObject::Fail(EXCEPINFO* excep, bool outermost) {
    ScriptErrorInfo error = DescribeScriptError(*runtime_, -1, -1);
    duk_pop(runtime_->Context());
    if (outermost && runtime_->Owner()) {
        runtime_->Owner()->ReportScriptError(error);
    }
    if (excep) {
        FillExcepInfo(error, excep);
    }
    return DISP_E_EXCEPTION;
}

HRESULT ScriptObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* excep, UINT*) {
    if (!params) {
        return E_INVALIDARG;
    }
    if (!runtime_->Alive()) {
        return RPC_E_DISCONNECTED; // the engine has closed
    }
    if (result) {
        VariantInit(result);
    }
    const std::u16string* name = id == DISPID_VALUE ? nullptr : runtime_->NameOf(id);
    if (id != DISPID_VALUE && !name) {
        return DISP_E_MEMBERNOTFOUND;
    }
    bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put && (params->cArgs != 1 || !name)) {
        return put && !name ? DISP_E_MEMBERNOTFOUND : DISP_E_BADPARAMCOUNT;
    }
    duk_context* ctx = runtime_->Context();
    ScriptEntry entry(*runtime_);
    auto argCount = static_cast<duk_idx_t>(params->cArgs);
    for (duk_idx_t i = argCount - 1; i >= 0; --i) { // rgvarg holds the last argument first
        PushVariant(ctx, params->rgvarg[i]);
    }
    bool ok = SafeRun(ctx, argCount, [&](duk_context* c) {
        duk_idx_t args = duk_get_top(c) - argCount; // the safe call runs in the caller's stack frame
        PushObject();
        duk_idx_t object = duk_get_top(c) - 1;
        if (put) {
            PushText(c, *name);
            duk_dup(c, args);
            duk_put_prop(c, object);
            duk_push_undefined(c);
            return;
        }
        bool call = (flags & DISPATCH_METHOD) != 0;
        if (!name) { // the default member: a function is called, any other object is its own value
            if (call && duk_is_callable(c, object)) {
                duk_push_undefined(c);
                for (duk_idx_t i = 0; i < argCount; ++i) {
                    duk_dup(c, args + i);
                }
                duk_call_method(c, argCount);
            }
            return;
        }
        PushText(c, *name);
        duk_get_prop(c, object);
        if (call && duk_is_callable(c, -1)) {
            duk_dup(c, object);
            for (duk_idx_t i = 0; i < argCount; ++i) {
                duk_dup(c, args + i);
            }
            duk_call_method(c, argCount);
        } else if (argCount > 0) {
            (void)duk_type_error(c, "Object doesn't support this property or method");
        }
    });
    if (!ok) {
        return Fail(excep, entry.Outermost());
    }
    HRESULT hr = result ? ValueToVariant(ctx, -1, result) : S_OK;
    duk_pop(ctx);
    return hr;
}

} // namespace

HRESULT WrapScriptObject(Runtime& runtime, duk_idx_t idx, IDispatch** out) {
    vr::ComObjectPtr<ScriptObject> object;
    if (HRESULT hr = vr::ComObject<ScriptObject>::Create(&object); FAILED(hr)) {
        return hr;
    }
    object->Attach(runtime.shared_from_this(), runtime.Pin(idx));
    *out = static_cast<IDispatch*>(object.Detach());
    return S_OK;
}

bool PushScriptObjectOf(Runtime& runtime, IDispatch* object) {
    ScriptObject* script = nullptr;
    if (!object || FAILED(object->QueryInterface(kIID_ScriptObject, reinterpret_cast<void**>(&script)))) {
        return false;
    }
    bool ours = script->Owner() == &runtime;
    if (ours) {
        script->PushObject();
    }
    script->Release();
    return ours;
}

} // namespace vr::script
