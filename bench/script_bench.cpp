// A JScript engine with named items for the script-loop benchmarks, and the loop that calls its functions.
#include "bench/script_bench.h"

#include "platform/com/activation.h"
#include "platform/com/object.h"

#include <cstdio>
#include <cstdlib>

namespace vrbench {
namespace {

// The script's host: it answers for each named item with its object.
class BenchSite : public vr::ObjectRoot, public IActiveScriptSite {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptSite>;
    std::vector<ScriptItem> items; // main thread only

    HRESULT GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        for (const ScriptItem& named : items) {
            if (named.name == name) {
                return (mask & SCRIPTINFO_IUNKNOWN) ? named.object.CopyTo(item) : S_OK;
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError*) override { return S_OK; }
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }
};

} // namespace

ScriptBench::~ScriptBench() {
    globals_ = nullptr;
    if (script_) {
        (void)script_->Close(); // the run is over either way
    }
}

bool ScriptBench::Start(std::vector<ScriptItem> items, const char16_t* text) {
    vr::ComPtr<IActiveScriptParse> parse;
    if (FAILED(CoCreateInstance(CLSID_JScript, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IActiveScript>(),
                                script_.PutVoid())) ||
        FAILED(script_->QueryInterface(parse.Put()))) {
        std::fprintf(stderr, "JScript is not registered in %s.\n", getenv("VORNIC_REGISTRY"));
        return false;
    }
    vr::ComObjectPtr<BenchSite> site;
    if (FAILED(vr::ComObject<BenchSite>::Create(&site))) {
        return false;
    }
    site->items = std::move(items);
    bool started = SUCCEEDED(script_->SetScriptSite(site.Get())) && SUCCEEDED(parse->InitNew());
    for (const ScriptItem& item : site->items) {
        started = started && SUCCEEDED(script_->AddNamedItem(item.name.c_str(), item.flags));
    }
    started = started &&
              SUCCEEDED(parse->ParseScriptText(text, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISVISIBLE,
                                               nullptr, nullptr)) &&
              SUCCEEDED(script_->GetScriptDispatch(nullptr, globals_.Put()));
    if (!started) {
        std::fprintf(stderr, "The benchmark's script did not start.\n");
        globals_ = nullptr;
    }
    return started;
}

void RunScriptFunction(benchmark::State& state, IDispatch* script, const char16_t* function, LONG count,
                       const char* failure) {
    LPOLESTR name = const_cast<LPOLESTR>(function);
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(script->GetIDsOfNames(IID_NULL, &name, 1, 0, &id))) {
        state.SkipWithError("the script has no such function");
        return;
    }
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = count;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    for (auto _ : state) {
        if (FAILED(script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr))) {
            state.SkipWithError(failure);
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

} // namespace vrbench
