// vrattrowner: an owner program in its own process. "set <settings>" applies an option string to its
// collection and releases it (which saves); "show" creates the collection again and prints what its members
// received. Prints the members as "Speed=... Mode=..." or the failure as "failed 0x<hresult>".
#include "tests/attributes/attribute_owner.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"

#include <cstdio>
#include <cstring>

namespace {

int Fail(HRESULT hr) {
    std::printf("failed 0x%08X\n", static_cast<unsigned>(hr));
    return 1;
}

int Run(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[1], "set") == 0 && argc < 3)) {
        std::printf("usage: vrattrowner set <settings> | show\n");
        return 2;
    }
    attrtest::AttributeOwner owner;
    if (HRESULT hr = owner.Create(); FAILED(hr)) {
        return Fail(hr);
    }
    if (std::strcmp(argv[1], "set") == 0) {
        _bstr_t settings(argv[2]);
        if (HRESULT hr = owner.Collection()->SetAttributes(settings); FAILED(hr)) {
            return Fail(hr);
        }
    }
    std::printf("%s\n", owner.Describe().c_str());
    owner.Release();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (FAILED(CoInitialize(nullptr))) {
        return 3;
    }
    int code = Run(argc, argv);
    CoUninitialize();
    return code;
}
