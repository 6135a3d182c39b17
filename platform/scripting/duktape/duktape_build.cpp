// Debian's amalgamated Duktape source with the engine's patches (copied and patched into the build tree),
// compiled with this engine's configuration (duk_config.h beside it).
#define DUK_COMPILING_DUKTAPE
#include "platform/scripting/duktape/duk_config.h"

#include "duktape.c" // the patched copy in the build tree's duktape/ folder
