// libFuzzer target: arbitrary registration scripts, registered into a registry of the run's own (on tmpfs,
// so that the registry's flushes cost nothing), registered again and unregistered.
// Oracle: a refused script says why, with the line of the fault, and has written nothing; a script that
// registers registers again, and unregistering it leaves nothing behind unless it marked a key NoRemove.
//
// CI runs it for a bounded time through ctest (test "regscript_fuzz", built when clang++ is at hand and the
// build is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/regscript_fuzz fuzz-corpus <source>/platform/com/fuzz/seeds -max_len=2048 -max_total_time=600
// A crash leaves its input in the working folder (crash-*); replay it with bin/regscript_fuzz crash-<hash>.
#include "platform/base/text.h"
#include "platform/com/registration_script.h"
#include "platform/registry/registry.h"
#include "tests/support/fuzz_folder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using vr::registration::ScriptVariable;

constexpr ScriptVariable kVariables[] = {{u"MODULE", u"/opt/vornic/bin/libdevice.so"}};
const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

void Check(bool holds, const char* what, const std::string& script, const std::u16string& error = u"") {
    if (!holds) {
        std::fprintf(stderr, "regscript_fuzz: %s (%s) for:\n%s\n", what, vr::ToUtf8(error).c_str(),
                     script.c_str());
        std::abort();
    }
}

std::vector<std::u16string> KeysUnder(HKEY root) {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        OLECHAR name[512] = {};
        DWORD length = sizeof name / sizeof name[0];
        if (RegEnumKeyEx(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name, length);
    }
}

bool RegistryEmpty() {
    for (HKEY root : kRoots) {
        if (!KeysUnder(root).empty()) {
            return false;
        }
    }
    return true;
}

// Back to an empty registry for the next input.
void Empty() {
    for (HKEY root : kRoots) {
        for (const std::u16string& name : KeysUnder(root)) {
            (void)RegDeleteTree(root, name.c_str()); // what cannot be deleted shows in the next check
        }
    }
}

bool MarksNoRemove(const std::string& script) {
    std::string lower;
    for (char c : script) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return lower.find("noremove") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrtest::MakeFuzzFolder("regscript-fuzz");
    setenv("VORNIC_REGISTRY", vrtest::FuzzFolder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string script(reinterpret_cast<const char*>(data), size);
    Check(RegistryEmpty(), "the registry was not empty before the script", script);
    std::u16string error;
    HRESULT hr = vr::registration::RegisterScript(script, kVariables, &error);
    if (hr == HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)) {
        Check(error.rfind(u"line ", 0) == 0, "a refusal does not name its line", script, error);
        Check(RegistryEmpty(), "a refused script wrote keys", script, error);
        return 0;
    }
    if (FAILED(hr)) {
        Check(!error.empty(), "a failed registration does not say why", script);
        Empty();
        return 0;
    }
    Check(SUCCEEDED(vr::registration::RegisterScript(script, kVariables, &error)),
          "a registered script does not register again", script, error);
    Check(SUCCEEDED(vr::registration::UnregisterScript(script, kVariables, &error)),
          "a registered script does not unregister", script, error);
    Check(MarksNoRemove(script) || RegistryEmpty(), "unregistering left keys behind", script);
    Empty();
    return 0;
}
