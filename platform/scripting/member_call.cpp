// Assignments to member calls: "engine.spec(name) = text" puts the member spec with the argument name. The
// compiler turns such an assignment into a call of this helper (duktape/patches/README.md).
#include "platform/scripting/runtime.h"

namespace vr::script {
namespace {

constexpr const char* kHelperName = DUK_HIDDEN_SYMBOL("vrMemberCall");

// The helper's mode bits, as the compiler passes them.
enum MemberCallMode : int {
    kModePut = 1,   // the last argument is the value to put; else the member is read with the arguments
    kModeKeyed = 2, // target is the member's name and base its object; else target is the function itself
};

void CallScriptFunction(duk_context* ctx, duk_idx_t function, duk_idx_t base, duk_idx_t first,
                        duk_idx_t count) {
    duk_dup(ctx, function);
    duk_dup(ctx, base);
    for (duk_idx_t i = 0; i < count; ++i) {
        duk_dup(ctx, first + i);
    }
    duk_call_method(ctx, count);
}

// A plain script function on the left of an assignment: the call is made, then the assignment fails as the
// language says.
[[noreturn]] void CallThenRefuse(duk_context* ctx, duk_idx_t function, duk_idx_t base, duk_idx_t first,
                                 duk_idx_t count) {
    CallScriptFunction(ctx, function, base, first, count);
    (void)duk_reference_error(ctx, "invalid lvalue"); // throws
    __builtin_unreachable();
}

// vrMemberCall(mode, target, base, arguments..., [value]): returns the value put, or the member's value read
// with the arguments.
duk_ret_t MemberCallHelper(duk_context* ctx) {
    constexpr duk_idx_t kTarget = 1;
    constexpr duk_idx_t kBase = 2;
    constexpr duk_idx_t kFirstArgument = 3;
    int mode = duk_require_int(ctx, 0);
    bool put = (mode & kModePut) != 0;
    duk_idx_t top = duk_get_top(ctx);
    duk_idx_t argumentCount = top - kFirstArgument - (put ? 1 : 0);
    duk_idx_t function = kTarget;
    IDispatch* object = nullptr;
    DISPID id = DISPID_UNKNOWN;
    if (mode & kModeKeyed) {
        std::u16string name = TextAt(ctx, kTarget);
        if (HostObjectAt(ctx, kBase)) {
            if (!HostMemberByName(ctx, kBase, name, &object, &id)) {
                ThrowUnknownMember(ctx);
            }
        } else {
            duk_dup(ctx, kTarget); // base[target]: the script function the call would have made
            duk_get_prop(ctx, kBase);
            function = duk_get_top_index(ctx);
        }
    } else if (!HostMemberOf(ctx, kTarget, &object, &id)) {
        object = nullptr;
    }
    if (!object) {
        if (put) {
            CallThenRefuse(ctx, function, kBase, kFirstArgument, argumentCount);
        }
        CallScriptFunction(ctx, function, kBase, kFirstArgument, argumentCount);
        return 1;
    }
    if (put) {
        CallHostMember(ctx, object, id, MemberCall::Put, kFirstArgument, argumentCount + 1);
        duk_dup(ctx, top - 1); // an assignment's value is the value assigned
        return 1;
    }
    CallHostMember(ctx, object, id, MemberCall::Read, kFirstArgument, argumentCount);
    return 1;
}

} // namespace

void InstallMemberCallHelper(duk_context* ctx) {
    duk_push_global_object(ctx);
    duk_push_string(ctx, kHelperName);
    duk_push_c_function(ctx, &MemberCallHelper, DUK_VARARGS);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE);
    duk_pop(ctx);
}

} // namespace vr::script
