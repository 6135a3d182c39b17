// Runs heap work that may throw a script error, catching it on the heap's stack instead of unwinding further.
#pragma once

#include "platform/scripting/runtime.h"

#include <utility>

namespace vr::script {

// Calls work(ctx) with the argCount values on top of the stack as its arguments (still at the top of the
// caller's frame: a safe call opens no frame of its own); work leaves one result on top, and the arguments
// are replaced by it. True on success (the result on top), false with the thrown value on top.
template <class Work>
bool SafeRun(duk_context* ctx, duk_idx_t argCount, Work&& work) {
    auto trampoline = [](duk_context* inner, void* udata) -> duk_ret_t {
        (*static_cast<Work*>(udata))(inner);
        return 1;
    };
    return duk_safe_call(ctx, trampoline, &work, argCount, 1) == DUK_EXEC_SUCCESS;
}

} // namespace vr::script
