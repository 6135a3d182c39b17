// scrivon-drive: has a running script executive load a script and run it through its automation object, as
// any automation client would, and tells whether the run completed (exit code 0) or not (1); 2 when no
// script executive could be reached.
#include "TestRunTime/Scrivon/include/vrtestloader.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/rot.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

HRESULT Call(IDispatch* loader, DISPID member, VARIANT* argument, VARIANT* result) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    return loader->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

// The running instance's object; it may still be starting, so it is looked for a while.
vr::ComPtr<IDispatch> FindLoader(std::chrono::seconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        vr::ComPtr<IUnknown> active;
        vr::ComPtr<IDispatch> loader;
        if (SUCCEEDED(GetActiveObject(CLSID_VrTestLoader, nullptr, active.Put())) &&
            SUCCEEDED(active->QueryInterface(IID_IDispatch, loader.PutVoid()))) {
            return loader;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

int Drive(const std::string& script) {
    vr::ComPtr<IDispatch> loader = FindLoader(std::chrono::seconds(30));
    if (!loader) {
        std::fprintf(stderr, "scrivon-drive: no running script executive was found\n");
        return 2;
    }
    _variant_t file(_bstr_t(script.c_str()));
    _variant_t loaded;
    HRESULT hr = Call(loader.Get(), DISPID_TestLoaderLoad, &file, &loaded);
    if (FAILED(hr) || loaded.vt != VT_BOOL || !loaded.boolVal) {
        std::fprintf(stderr, "scrivon-drive: the script executive did not load %s (0x%08X)\n", script.c_str(),
                     static_cast<unsigned>(hr));
        return 1;
    }
    _variant_t completed;
    hr = Call(loader.Get(), DISPID_TestLoaderRun, nullptr, &completed);
    bool done = SUCCEEDED(hr) && completed.vt == VT_BOOL && completed.boolVal;
    std::printf("scrivon-drive: the run %s\n", done ? "completed" : "did not complete");
    return done ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scrivon-drive <script file>\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) {
        return 2;
    }
    int result = Drive(std::filesystem::absolute(argv[1]).string());
    CoUninitialize();
    return result;
}
