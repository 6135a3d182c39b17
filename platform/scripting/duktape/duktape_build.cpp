// Debian's amalgamated Duktape source, compiled with this engine's configuration (duk_config.h beside it).
#define DUK_COMPILING_DUKTAPE
#include "platform/scripting/duktape/duk_config.h"

#include "/usr/share/duktape/duktape.c"
