/* Duktape's configuration for the script engine: the packaged one, with the interrupt hook switched on so
   that a running script can be stopped from another thread. */
#if !defined(VR_DUK_CONFIG_WRAPPER_H)
#define VR_DUK_CONFIG_WRAPPER_H

#include "/usr/share/duktape/duk_config.h"

#if defined(__cplusplus)
extern "C" {
#endif
/* Nonzero when the heap whose user data is given must stop running script code. */
int vr_duk_exec_timeout_check(void* heap_udata);
#if defined(__cplusplus)
}
#endif

/* Built as C++: a script error unwinds the host's frames as an exception, so their destructors run. */
#if defined(__cplusplus)
#include <exception>
#include <stdexcept>
#endif
#undef DUK_USE_CPP_EXCEPTIONS
#define DUK_USE_CPP_EXCEPTIONS

/* The engine's copy of Duktape stays inside its library. */
#undef DUK_EXTERNAL_DECL
#define DUK_EXTERNAL_DECL __attribute__((visibility("hidden"))) extern
#undef DUK_EXTERNAL
#define DUK_EXTERNAL __attribute__((visibility("hidden")))

#undef DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_INTERRUPT_COUNTER
#undef DUK_USE_EXEC_TIMEOUT_CHECK
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) vr_duk_exec_timeout_check((udata))

#endif
