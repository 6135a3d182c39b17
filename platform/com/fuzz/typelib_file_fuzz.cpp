// libFuzzer target: arbitrary type library files, decoded, encoded again and walked through ITypeLib and
// ITypeInfo. The header's size and checksum are made to fit first, so that the fuzzer reaches the body.
//
// CI runs it for a bounded time through ctest (test "typelib_file_fuzz", built when clang++ is at hand and
// the build is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/typelib_file_fuzz fuzz-corpus <source>/platform/com/fuzz/seeds -max_len=4096 -max_total_time=3600
// A crash leaves its input in the working folder (crash-*); replay it with bin/typelib_file_fuzz
// crash-<hash>.
#include "platform/com/typelib_format.h"
#include "platform/com/typelib_objects.h"
#include "platform/resources/archive.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace vr::typelib;

void FitHeader(std::string& bytes) {
    if (bytes.size() < kHeaderSize) {
        return;
    }
    std::memcpy(bytes.data(), kFileMagic, sizeof(kFileMagic));
    auto put = [&](size_t at, uint32_t value) {
        for (int k = 0; k < 4; ++k) {
            bytes[at + k] = static_cast<char>(value >> (8 * k));
        }
    };
    std::string_view body = std::string_view(bytes).substr(kHeaderSize);
    put(8, kFileVersion);
    put(12, static_cast<uint32_t>(body.size()));
    put(16, vr::resources_detail::Crc32(body));
}

void WalkType(ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) {
        return;
    }
    for (UINT k = 0; k < attr->cFuncs; ++k) {
        FUNCDESC* desc = nullptr;
        if (SUCCEEDED(info->GetFuncDesc(k, &desc))) {
            BSTR names[8] = {};
            UINT count = 0;
            if (SUCCEEDED(info->GetNames(desc->memid, names, 8, &count))) {
                for (UINT n = 0; n < count; ++n) {
                    SysFreeString(names[n]);
                }
            }
            info->ReleaseFuncDesc(desc);
        }
    }
    for (UINT k = 0; k < attr->cVars; ++k) {
        VARDESC* desc = nullptr;
        if (SUCCEEDED(info->GetVarDesc(k, &desc))) {
            info->ReleaseVarDesc(desc);
        }
    }
    for (UINT k = 0; k < attr->cImplTypes; ++k) {
        HREFTYPE ref = 0;
        vr::ComPtr<ITypeInfo> target;
        if (SUCCEEDED(info->GetRefTypeOfImplType(k, &ref))) {
            (void)info->GetRefTypeInfo(ref, target.Put());
        }
    }
    BSTR name = nullptr;
    if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))) {
        SysFreeString(name);
    }
    info->ReleaseTypeAttr(attr);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // References into other libraries look in the registry: an empty one of its own.
    char folder[] = "/tmp/typelib-fuzz-XXXXXX";
    if (mkdtemp(folder)) {
        setenv("VORNIC_REGISTRY", folder, 1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    FitHeader(bytes);
    LibData lib;
    if (FAILED(DecodeLibrary(bytes, &lib))) {
        return 0;
    }
    // What was read is written again byte for byte.
    std::string again;
    if (FAILED(EncodeLibrary(lib, &again)) || again != bytes) {
        std::abort();
    }
    vr::ComPtr<ITypeLib> loaded;
    if (FAILED(MakeLoadedLibrary(std::move(lib), loaded.Put()))) {
        return 0;
    }
    for (UINT k = 0; k < loaded->GetTypeInfoCount(); ++k) {
        vr::ComPtr<ITypeInfo> info;
        if (SUCCEEDED(loaded->GetTypeInfo(k, info.Put()))) {
            WalkType(info.Get());
        }
    }
    return 0;
}
