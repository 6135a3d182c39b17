// IDispatch objects in scripts: a proxy per object whose traps call Invoke on each access, with the member
// numbers and the kind of each member (property or method) learnt once per object.
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/errorinfo.h"
#include "platform/scripting/runtime.h"

#include <cmath>
#include <optional>
#include <vector>

namespace vr::script {
namespace {

#define VR_HIDDEN(name) DUK_HIDDEN_SYMBOL(name)
constexpr const char* kDispatchKey = VR_HIDDEN("vrDispatch");
constexpr const char* kDispidKey = VR_HIDDEN("vrDispid");
// On a member function: the host object's holder, which keeps the object (and its reference) alive.
constexpr const char* kHolderKey = VR_HIDDEN("vrHolder");
// On a host object's holder: name -> DISPID learnt from GetIDsOfNames.
constexpr const char* kMemberIdsKey = VR_HIDDEN("vrMemberIds");
// On a host object's holder: names whose read asked for a call instead (methods, members with arguments).
constexpr const char* kCalledMembersKey = VR_HIDDEN("vrCalledMembers");
constexpr const char* kHandlerStash = "vrHostHandler";

// The arguments of a script call as DISPPARAMS (reversed, as Invoke wants them).
class CallArguments {
public:
    CallArguments(duk_context* ctx, duk_idx_t first, duk_idx_t count) : values_(count) {
        for (duk_idx_t i = 0; i < count; ++i) {
            VARIANT& slot = values_[count - 1 - i];
            VariantInit(&slot);
            if (HRESULT hr = ValueToVariant(ctx, first + i, &slot); FAILED(hr)) {
                failure_ = hr;
            }
        }
    }
    ~CallArguments() {
        for (VARIANT& value : values_) {
            (void)VariantClear(&value);
        }
    }
    CallArguments(const CallArguments&) = delete;
    CallArguments& operator=(const CallArguments&) = delete;

    HRESULT Failure() const { return failure_; }
    // A put passes its value as the named argument DISPID_PROPERTYPUT.
    DISPPARAMS Params(bool put) {
        return DISPPARAMS{values_.empty() ? nullptr : values_.data(), put ? &putId_ : nullptr,
                          static_cast<UINT>(values_.size()), put ? 1u : 0u};
    }

private:
    std::vector<VARIANT> values_;
    HRESULT failure_ = S_OK;
    DISPID putId_ = DISPID_PROPERTYPUT;
};

IDispatch* DispatchOfHolder(duk_context* ctx, duk_idx_t idx) {
    duk_get_prop_string(ctx, idx, kDispatchKey);
    auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    return object;
}

duk_ret_t ReleaseHolder(duk_context* ctx) {
    if (IDispatch* object = DispatchOfHolder(ctx, 0)) {
        duk_push_pointer(ctx, nullptr);
        duk_put_prop_string(ctx, 0, kDispatchKey);
        object->Release();
    }
    return 0;
}

// Gives the object at idx a reference to object, released by its finalizer.
void AttachDispatch(duk_context* ctx, duk_idx_t idx, IDispatch* object) {
    idx = duk_normalize_index(ctx, idx);
    object->AddRef();
    duk_push_pointer(ctx, object);
    duk_put_prop_string(ctx, idx, kDispatchKey);
    duk_push_c_function(ctx, &ReleaseHolder, 1);
    duk_set_finalizer(ctx, idx);
}

void PushResult(duk_context* ctx, VARIANT& result) {
    PushVariant(ctx, result);
    (void)VariantClear(&result);
}

// A call of a member function: Invoke(dispid, METHOD|PROPERTYGET) with the script's arguments.
duk_ret_t CallMember(duk_context* ctx) {
    duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    IDispatch* object = DispatchOfHolder(ctx, -1);
    duk_get_prop_string(ctx, -1, kDispidKey);
    auto id = static_cast<DISPID>(duk_get_int(ctx, -1));
    duk_pop_2(ctx);
    if (!object) {
        ThrowHResult(ctx, E_UNEXPECTED, u"");
    }
    CallArguments args(ctx, 0, count);
    if (FAILED(args.Failure())) {
        ThrowHResult(ctx, args.Failure(), u"");
    }
    DISPPARAMS params = args.Params(false);
    VARIANT result;
    VariantInit(&result);
    InvokeOrThrow(ctx, object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result);
    PushResult(ctx, result);
    return 1;
}

// A member function of the object whose holder is at holder. It refers to the holder, which holds the
// object's reference, so it needs no finalizer of its own (made on every read of a method, it is gone again
// at once); it also carries the object's pointer, as a holder does, so that it stands for the object where
// one is asked for.
void PushMemberFunction(duk_context* ctx, duk_idx_t holder, IDispatch* object, DISPID id) {
    holder = duk_normalize_index(ctx, holder);
    duk_push_c_function(ctx, &CallMember, DUK_VARARGS);
    duk_push_int(ctx, id);
    duk_put_prop_string(ctx, -2, kDispidKey);
    duk_push_pointer(ctx, object);
    duk_put_prop_string(ctx, -2, kDispatchKey);
    duk_dup(ctx, holder);
    duk_put_prop_string(ctx, -2, kHolderKey);
}

bool IsIndexName(const std::u16string& name) {
    if (name.empty() || name.size() > 9) {
        return false;
    }
    for (char16_t c : name) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

// The conversions a script applies to any object (String(obj), obj + ""): the default member's value.
bool IsConversionName(const std::u16string& name) {
    return name == u"valueOf" || name == u"toString";
}

// A member's name as a trap gets it: the key on the value stack, used as it is for the holder's tables, and
// its text, made only where a lookup or a check needs it. Or a name given as text.
class MemberName {
public:
    MemberName(duk_context* ctx, duk_idx_t key)
        : ctx_(ctx), key_(duk_normalize_index(ctx, key)), hasKey_(true) {}
    MemberName(duk_context* ctx, const std::u16string& text) : ctx_(ctx), text_(text) {}

    void PushKey() const {
        if (!hasKey_) {
            PushText(ctx_, *text_);
            return;
        }
        duk_dup(ctx_, key_);
        if (!duk_is_string(ctx_, -1)) {
            duk_to_string(ctx_, -1);
        }
    }
    const std::u16string& Text() const {
        if (!text_) {
            text_ = TextAt(ctx_, key_);
        }
        return *text_;
    }
    // A digit is one byte in the engine's encoding too, so the key's last byte tells.
    bool EndsInDigit() const {
        if (!hasKey_ || !duk_is_string(ctx_, key_)) {
            const std::u16string& text = Text();
            return !text.empty() && text.back() >= u'0' && text.back() <= u'9';
        }
        duk_size_t length = 0;
        const char* bytes = duk_get_lstring(ctx_, key_, &length);
        return length > 0 && bytes[length - 1] >= '0' && bytes[length - 1] <= '9';
    }

private:
    duk_context* ctx_;
    duk_idx_t key_ = 0;
    bool hasKey_ = false;
    mutable std::optional<std::u16string> text_;
};

bool LookUpName(IDispatch* object, const std::u16string& name, DISPID* id) {
    std::u16string copy = name;
    LPOLESTR names[] = {copy.data()};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id));
}

// Pushes the holder's table under key, made empty on first use.
void PushHolderTable(duk_context* ctx, duk_idx_t holder, const char* key) {
    holder = duk_normalize_index(ctx, holder);
    if (!duk_get_prop_string(ctx, holder, key)) {
        duk_pop(ctx);
        duk_push_bare_object(ctx);
        duk_dup_top(ctx);
        duk_put_prop_string(ctx, holder, key);
    }
}

// A name that ends in a digit can be an indexed selector whose lookup itself carries the index (a socket's
// "Ch2" selects channel 2 in GetIDsOfNames): its lookup is never skipped.
bool LookupMayCarryState(const MemberName& name) {
    return name.EndsInDigit();
}

// The member's DISPID: from the holder's table, else GetIDsOfNames (across a process boundary, one round trip
// saved per access), remembered.
bool LookUpMember(duk_context* ctx, duk_idx_t holder, IDispatch* object, const MemberName& name, DISPID* id) {
    holder = duk_normalize_index(ctx, holder);
    bool cacheable = !LookupMayCarryState(name);
    if (cacheable) {
        PushHolderTable(ctx, holder, kMemberIdsKey);
        name.PushKey();
        bool known = duk_get_prop(ctx, -2) != 0;
        *id = known ? static_cast<DISPID>(duk_get_int(ctx, -1)) : DISPID_UNKNOWN;
        duk_pop_2(ctx);
        if (known) {
            return true;
        }
    }
    if (!LookUpName(object, name.Text(), id)) {
        return false;
    }
    if (cacheable) {
        PushHolderTable(ctx, holder, kMemberIdsKey);
        name.PushKey();
        duk_push_int(ctx, *id);
        duk_put_prop(ctx, -3);
        duk_pop(ctx);
    }
    return true;
}

bool IsCalledMember(duk_context* ctx, duk_idx_t holder, const MemberName& name) {
    PushHolderTable(ctx, holder, kCalledMembersKey);
    name.PushKey();
    bool called = duk_has_prop(ctx, -2) != 0;
    duk_pop(ctx);
    return called;
}

void RememberCalledMember(duk_context* ctx, duk_idx_t holder, const MemberName& name) {
    if (LookupMayCarryState(name)) {
        return;
    }
    PushHolderTable(ctx, holder, kCalledMembersKey);
    name.PushKey();
    duk_push_true(ctx);
    duk_put_prop(ctx, -3);
    duk_pop(ctx);
}

// The failure code of an Invoke: for DISP_E_EXCEPTION the one inside the exception information.
HRESULT FailureCode(HRESULT hr, EXCEPINFO& excep) {
    if (hr != DISP_E_EXCEPTION) {
        return hr;
    }
    if (excep.pfnDeferredFillIn) {
        (void)excep.pfnDeferredFillIn(&excep); // without its text the scode below is all there is
    }
    return excep.scode != 0 ? excep.scode : (excep.wCode != 0 ? MAKE_HRESULT(1, 4, excep.wCode) : E_FAIL);
}

// A failure that means "this member is no property to read without arguments": it is called instead. Objects
// that word their failures themselves (the socket) carry the code inside the exception information.
bool CallsForArguments(HRESULT code) {
    return code == DISP_E_MEMBERNOTFOUND || code == DISP_E_BADPARAMCOUNT || code == DISP_E_PARAMNOTOPTIONAL;
}

// get(target, key, receiver)
duk_ret_t TrapGet(duk_context* ctx) {
    IDispatch* object = DispatchOfHolder(ctx, 0);
    if (duk_is_symbol(ctx, 1)) {
        // The host object's own key, asked for by HostObjectAt.
        if (duk_is_string(ctx, 1) && std::string_view(duk_get_string(ctx, 1)) == kDispatchKey) {
            duk_push_pointer(ctx, object);
            return 1;
        }
        return 0;
    }
    if (!object) {
        return 0;
    }
    MemberName name(ctx, 1);
    DISPID id = DISPID_UNKNOWN;
    VARIANT result;
    VariantInit(&result);
    if (!LookUpMember(ctx, 0, object, name, &id)) {
        if (IsIndexName(name.Text())) { // obj[3]: the default member's indexed value
            duk_push_number(ctx, std::stod(std::string(name.Text().begin(), name.Text().end())));
            CallArguments args(ctx, -1, 1);
            duk_pop(ctx);
            DISPPARAMS params = args.Params(false);
            InvokeOrThrow(ctx, object, DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &params,
                          &result);
            PushResult(ctx, result);
            return 1;
        }
        if (IsConversionName(name.Text())) {
            PushMemberFunction(ctx, 0, object, DISPID_VALUE);
            return 1;
        }
        ThrowUnknownMember(ctx); // a misspelled name fails where it stands, as a write does
    }
    if (IsCalledMember(ctx, 0, name)) { // learnt before: a read would fail again, and cost a round trip
        PushMemberFunction(ctx, 0, object, id);
        return 1;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO excep{};
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                                &excep, nullptr);
    if (SUCCEEDED(hr)) {
        ClearExcepInfo(&excep);
        if (result.vt == VT_DISPATCH && result.pdispVal == object) {
            // The object itself (a socket's selector, dev.Ch2): the same script object, with what it learnt.
            (void)VariantClear(&result); // releases a reference the receiver still holds
            duk_dup(ctx, 2);
            return 1;
        }
        PushResult(ctx, result);
        return 1;
    }
    if (CallsForArguments(FailureCode(hr, excep))) {
        ClearExcepInfo(&excep);
        RememberCalledMember(ctx, 0, name);
        PushMemberFunction(ctx, 0, object, id);
        return 1;
    }
    // The read itself failed (an instrument that did not answer): reported once, never read again.
    ThrowInvokeFailure(ctx, hr, excep);
}

// set(target, key, value, receiver)
duk_ret_t TrapSet(duk_context* ctx) {
    IDispatch* object = DispatchOfHolder(ctx, 0);
    if (!object || duk_is_symbol(ctx, 1)) {
        duk_push_false(ctx);
        return 1;
    }
    MemberName name(ctx, 1);
    DISPID id = DISPID_UNKNOWN;
    bool indexed = false;
    if (!LookUpMember(ctx, 0, object, name, &id)) {
        if (!IsIndexName(name.Text())) {
            ThrowUnknownMember(ctx);
        }
        id = DISPID_VALUE;
        indexed = true;
    }
    if (indexed) { // obj[3] = v: the default member's indexed put, index first
        duk_push_number(ctx, std::stod(std::string(name.Text().begin(), name.Text().end())));
        duk_dup(ctx, 2);
    } else {
        duk_dup(ctx, 2);
    }
    duk_idx_t count = indexed ? 2 : 1;
    CallArguments args(ctx, duk_get_top(ctx) - count, count);
    duk_pop_n(ctx, count);
    if (FAILED(args.Failure())) {
        ThrowHResult(ctx, args.Failure(), u"");
    }
    DISPPARAMS params = args.Params(true);
    InvokeOrThrow(ctx, object, id, DISPATCH_PROPERTYPUT, &params, nullptr);
    duk_push_true(ctx);
    return 1;
}

// has(target, key)
duk_ret_t TrapHas(duk_context* ctx) {
    IDispatch* object = DispatchOfHolder(ctx, 0);
    DISPID id = DISPID_UNKNOWN;
    bool found = object && !duk_is_symbol(ctx, 1) && LookUpMember(ctx, 0, object, MemberName(ctx, 1), &id);
    duk_push_boolean(ctx, found);
    return 1;
}

// apply(target, this, arguments): obj(args) calls the default member.
duk_ret_t TrapApply(duk_context* ctx) {
    IDispatch* object = DispatchOfHolder(ctx, 0);
    if (!object) {
        ThrowHResult(ctx, E_UNEXPECTED, u"");
    }
    duk_idx_t count = static_cast<duk_idx_t>(duk_get_length(ctx, 2));
    duk_idx_t first = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < count; ++i) {
        duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i));
    }
    CallArguments args(ctx, first, count);
    duk_pop_n(ctx, count);
    if (FAILED(args.Failure())) {
        ThrowHResult(ctx, args.Failure(), u"");
    }
    DISPPARAMS params = args.Params(false);
    VARIANT result;
    VariantInit(&result);
    InvokeOrThrow(ctx, object, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result);
    PushResult(ctx, result);
    return 1;
}

duk_ret_t TargetNeverCalled(duk_context*) {
    return 0;
}

void PushHandler(duk_context* ctx) {
    duk_push_heap_stash(ctx);
    if (!duk_get_prop_string(ctx, -1, kHandlerStash)) {
        duk_pop(ctx);
        duk_push_object(ctx);
        duk_push_c_function(ctx, &TrapGet, 3);
        duk_put_prop_string(ctx, -2, "get");
        duk_push_c_function(ctx, &TrapSet, 4);
        duk_put_prop_string(ctx, -2, "set");
        duk_push_c_function(ctx, &TrapHas, 2);
        duk_put_prop_string(ctx, -2, "has");
        duk_push_c_function(ctx, &TrapApply, 3);
        duk_put_prop_string(ctx, -2, "apply");
        duk_dup_top(ctx);
        duk_put_prop_string(ctx, -3, kHandlerStash);
    }
    duk_remove(ctx, -2);
}

// The typeof word of the value at idx, as the language gives it.
const char* TypeWord(duk_context* ctx, duk_idx_t idx) {
    switch (duk_get_type(ctx, idx)) {
    case DUK_TYPE_UNDEFINED:
        return "undefined";
    case DUK_TYPE_BOOLEAN:
        return "boolean";
    case DUK_TYPE_NUMBER:
        return "number";
    case DUK_TYPE_STRING:
        return duk_is_symbol(ctx, idx) ? "symbol" : "string";
    case DUK_TYPE_POINTER:
        return "pointer";
    case DUK_TYPE_LIGHTFUNC:
        return "function";
    case DUK_TYPE_OBJECT:
        return duk_is_function(ctx, idx) ? "function" : "object";
    default: // null, buffers
        return "object";
    }
}

// vrTypeOfMember(base, key), what "typeof base.key" compiles to: "undefined" for a member a host object does
// not have (its read would fail), else the typeof of the read.
duk_ret_t TypeOfMember(duk_context* ctx) {
    IDispatch* object = HostObjectAt(ctx, 0);
    if (object && !duk_is_symbol(ctx, 1)) {
        MemberName name(ctx, 1);
        DISPID id = DISPID_UNKNOWN;
        if (!IsIndexName(name.Text()) && !IsConversionName(name.Text()) &&
            !LookUpMember(ctx, 0, object, name, &id)) {
            duk_push_string(ctx, "undefined");
            return 1;
        }
    }
    duk_dup(ctx, 1);
    duk_get_prop(ctx, 0); // an undefined or null base fails as the plain read does
    duk_push_string(ctx, TypeWord(ctx, -1));
    return 1;
}

} // namespace

void ThrowUnknownMember(duk_context* ctx) {
    ThrowHResult(ctx, DISP_E_UNKNOWNNAME, u"Object doesn't support this property or method");
}

void InstallTypeOfMemberHelper(duk_context* ctx) {
    duk_push_global_object(ctx);
    duk_push_string(ctx, DUK_HIDDEN_SYMBOL("vrTypeOfMember"));
    duk_push_c_function(ctx, &TypeOfMember, 2);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE);
    duk_pop(ctx);
}

void PushHostObject(duk_context* ctx, IDispatch* object) {
    if (!object) {
        duk_push_null(ctx);
        return;
    }
    duk_push_c_function(ctx, &TargetNeverCalled, DUK_VARARGS); // callable, so that apply reaches the trap
    AttachDispatch(ctx, -1, object);
    PushHandler(ctx);
    duk_push_proxy(ctx, 0);
}

IDispatch* HostObjectAt(duk_context* ctx, duk_idx_t idx) {
    if (!duk_is_object(ctx, idx)) {
        return nullptr;
    }
    return DispatchOfHolder(ctx, idx);
}

// Pushes a script Error carrying hr as its `number` and description as its message.
void PushHResultError(duk_context* ctx, HRESULT hr, std::u16string_view description, bool keepEmpty) {
    std::u16string text(description);
    if (text.empty() && !keepEmpty) {
        text = HResultMessage(hr);
    }
    std::string utf8 = ToUtf8(text);
    duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", utf8.c_str());
    duk_push_number(ctx, static_cast<double>(static_cast<int32_t>(hr)));
    duk_put_prop_string(ctx, -2, "number");
    PushText(ctx, text);
    duk_put_prop_string(ctx, -2, "description");
}

void ThrowHResult(duk_context* ctx, HRESULT hr, std::u16string_view description, bool keepEmpty) {
    PushHResultError(ctx, hr, description, keepEmpty);
    duk_throw(ctx);
    __builtin_unreachable(); // duk_throw never returns (it throws)
}

void InvokeOrThrow(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result) {
    EXCEPINFO excep{};
    UINT argError = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, &excep, &argError);
    if (SUCCEEDED(hr)) {
        ClearExcepInfo(&excep);
        return;
    }
    ThrowInvokeFailure(ctx, hr, excep);
}

void ThrowInvokeFailure(duk_context* ctx, HRESULT hr, EXCEPINFO& excep) {
    if (hr != DISP_E_EXCEPTION) {
        ClearExcepInfo(&excep);
        ThrowHResult(ctx, hr, u"");
    }
    hr = FailureCode(hr, excep);
    PushHResultError(ctx, hr, BstrView(excep.bstrDescription), false);
    KeepExceptionOrigin(ctx, -1, excep);
    ClearExcepInfo(&excep);
    duk_throw(ctx);
    __builtin_unreachable(); // duk_throw never returns (it throws)
}

void CallHostMember(duk_context* ctx, IDispatch* object, DISPID id, MemberCall kind, duk_idx_t first,
                    duk_idx_t count) {
    CallArguments args(ctx, first, count);
    if (FAILED(args.Failure())) {
        ThrowHResult(ctx, args.Failure(), u"");
    }
    bool put = kind == MemberCall::Put;
    DISPPARAMS params = args.Params(put);
    VARIANT result;
    VariantInit(&result);
    InvokeOrThrow(ctx, object, id, put ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                  &params, put ? nullptr : &result);
    if (put) {
        duk_push_undefined(ctx);
    } else {
        PushResult(ctx, result);
    }
}

bool HostMemberOf(duk_context* ctx, duk_idx_t idx, IDispatch** object, DISPID* id) {
    idx = duk_normalize_index(ctx, idx);
    if (!duk_is_function(ctx, idx) || !duk_get_prop_string(ctx, idx, kDispidKey)) {
        duk_pop(ctx);
        return false;
    }
    *id = static_cast<DISPID>(duk_get_int(ctx, -1));
    duk_pop(ctx);
    *object = DispatchOfHolder(ctx, idx);
    return *object != nullptr;
}

bool HostMemberByName(duk_context* ctx, duk_idx_t hostIdx, const std::u16string& name, IDispatch** object,
                      DISPID* id) {
    *object = HostObjectAt(ctx, hostIdx);
    if (!*object) {
        return false;
    }
    // Hidden keys pass a proxy by: the member tables are read and written on its holder.
    return LookUpMember(ctx, hostIdx, *object, MemberName(ctx, name), id);
}

} // namespace vr::script
