// libFuzzer target: arbitrary frame bodies as a peer could send them, read by the message decoder (every
// VARIANT, array, text and object reference checked), which must refuse what is malformed without crashing,
// leaking or reading past the frame.
//
// CI runs it for a bounded time through ctest (test "rpc_message_fuzz", built when clang++ is at hand and the
// build is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p rpc-corpus
//   bin/rpc_message_fuzz rpc-corpus <source>/platform/rpc/fuzz/seeds -max_len=4096 -max_total_time=3600
#include "platform/rpc/wire.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static_cast<void>(vr::rpc::CheckMessage(data, size));
    return 0;
}
