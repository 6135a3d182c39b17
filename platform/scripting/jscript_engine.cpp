// The JScript engine: state, named items, parsing and running code, errors handed to the site.
#include "platform/scripting/jscript_engine.h"

#include "platform/com/bstr.h"
#include "platform/com/errorinfo.h"
#include "platform/scripting/safe_call.h"
#include "platform/scripting/script_error_object.h"

#include <set>

namespace vr::script {
namespace {

constexpr const char* kItemNameKey = DUK_HIDDEN_SYMBOL("vrItemName");

// Defines name on the global object as value, read-only from then on.
void DefineGlobalValue(duk_context* ctx, const std::u16string& name) {
    duk_push_global_object(ctx);
    PushText(ctx, name);
    duk_dup(ctx, -3);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE | DUK_DEFPROP_FORCE);
    duk_pop(ctx);
}

// The getter of a named item's global property: asks the site for the object on first use and keeps it.
duk_ret_t ResolveItemOnFirstUse(duk_context* ctx) {
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kItemNameKey);
    std::u16string name = TextAt(ctx, -1);
    duk_pop_2(ctx);
    RuntimeOwner* owner = Runtime::Of(ctx).Owner();
    ComPtr<IDispatch> object;
    HRESULT hr = owner ? owner->ResolveNamedItem(name, object.Put()) : E_UNEXPECTED;
    if (FAILED(hr)) {
        // The site's error information says why; raised with it here, the error names the line that used
        // the name. A site that gave none has said why in its own way: the error adds no text then.
        ThrowHResult(ctx, hr, TakeErrorDescription(), true);
    }
    PushHostObject(ctx, object.Get());
    DefineGlobalValue(ctx, name);
    return 1;
}

// Makes each of names a global accessor that reads and writes the member of the object `item`.
constexpr const char* kGlobalMembersHelper = "(function (global, item, names) {"
                                             "  names.forEach(function (name) {"
                                             "    if (name in global) { return; }"
                                             "    Object.defineProperty(global, name, {"
                                             "      get: function () { return item[name]; },"
                                             "      set: function (value) { item[name] = value; },"
                                             "      enumerable: false, configurable: true });"
                                             "  });"
                                             "})";

// The member names an object's type information lists (functions and properties).
std::vector<std::u16string> MemberNames(IDispatch* object) {
    std::vector<std::u16string> names;
    ComPtr<ITypeInfo> info;
    UINT count = 0;
    if (FAILED(object->GetTypeInfoCount(&count)) || count == 0 ||
        FAILED(object->GetTypeInfo(0, 0, info.Put())) || !info) {
        return names;
    }
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || !attr) {
        return names;
    }
    std::set<std::u16string> seen;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) {
            continue;
        }
        BSTR name = nullptr;
        UINT got = 0;
        if (SUCCEEDED(info->GetNames(desc->memid, &name, 1, &got)) && got == 1) {
            std::u16string text(BstrView(name));
            if (seen.insert(text).second) {
                names.push_back(text);
            }
        }
        SysFreeString(name);
        info->ReleaseFuncDesc(desc);
    }
    info->ReleaseTypeAttr(attr);
    return names;
}

} // namespace

void JScriptEngine::FinalRelease() {
    (void)Close();
}

bool JScriptEngine::Usable() const {
    SCRIPTSTATE state = state_.load();
    return runtime_ && state != SCRIPTSTATE_CLOSED && state != SCRIPTSTATE_UNINITIALIZED;
}

void JScriptEngine::ChangeState(SCRIPTSTATE state) {
    if (state_.exchange(state) != state && site_) {
        (void)site_->OnStateChange(state);
    }
}

// ---- IActiveScript ----

HRESULT JScriptEngine::SetScriptSite(IActiveScriptSite* site) {
    if (!site) {
        return E_POINTER;
    }
    if (site_) {
        return E_UNEXPECTED;
    }
    site_ = site;
    return S_OK;
}

HRESULT JScriptEngine::GetScriptSite(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    return site_ ? site_->QueryInterface(riid, ppv) : S_FALSE;
}

HRESULT JScriptEngine::SetScriptState(SCRIPTSTATE state) {
    if (!Usable()) {
        return E_UNEXPECTED;
    }
    switch (state) {
    case SCRIPTSTATE_INITIALIZED:
    case SCRIPTSTATE_STARTED:
    case SCRIPTSTATE_CONNECTED:
    case SCRIPTSTATE_DISCONNECTED:
        ChangeState(state);
        return S_OK;
    case SCRIPTSTATE_CLOSED:
        return Close();
    default:
        return E_INVALIDARG;
    }
}

HRESULT JScriptEngine::GetScriptState(SCRIPTSTATE* state) {
    if (!state) {
        return E_POINTER;
    }
    *state = state_.load();
    return S_OK;
}

HRESULT JScriptEngine::Close() {
    if (runtime_ && runtime_->EntryDepth() > 0) {
        return E_UNEXPECTED; // not from inside the script's own calls
    }
    if (runtime_) {
        std::shared_ptr<Runtime> runtime = std::move(runtime_);
        runtime->Detach();
        runtime->Shutdown();
    }
    items_.clear();
    if (state_.load() != SCRIPTSTATE_UNINITIALIZED) {
        ChangeState(SCRIPTSTATE_CLOSED);
    }
    site_ = nullptr;
    return S_OK;
}

HRESULT JScriptEngine::AddNamedItem(LPCOLESTR name, DWORD flags) {
    if (!name || !*name) {
        return E_INVALIDARG;
    }
    if (state_.load() == SCRIPTSTATE_CLOSED) {
        return E_UNEXPECTED;
    }
    items_.push_back(NamedItem{name, flags});
    if (runtime_) {
        InstallItem(items_.back());
    }
    return S_OK;
}

HRESULT JScriptEngine::AddTypeLib(REFGUID, DWORD, DWORD, DWORD) {
    return E_NOTIMPL;
}

HRESULT JScriptEngine::GetScriptDispatch(LPCOLESTR, IDispatch** dispatch) {
    if (!dispatch) {
        return E_POINTER;
    }
    *dispatch = nullptr;
    if (!Usable()) {
        return E_UNEXPECTED;
    }
    InstallItems();
    duk_context* ctx = runtime_->Context();
    duk_push_global_object(ctx);
    HRESULT hr = WrapScriptObject(*runtime_, -1, dispatch);
    duk_pop(ctx);
    return hr;
}

HRESULT JScriptEngine::GetCurrentScriptThreadID(SCRIPTTHREADID* id) {
    if (!id) {
        return E_POINTER;
    }
    *id = SCRIPTTHREADID_BASE;
    return S_OK;
}

HRESULT JScriptEngine::GetScriptThreadID(DWORD, SCRIPTTHREADID* id) {
    return GetCurrentScriptThreadID(id);
}

HRESULT JScriptEngine::GetScriptThreadState(SCRIPTTHREADID, SCRIPTTHREADSTATE* state) {
    if (!state) {
        return E_POINTER;
    }
    *state = SCRIPTTHREADSTATE_NOTINSCRIPT;
    return S_OK;
}

HRESULT JScriptEngine::InterruptScriptThread(SCRIPTTHREADID, const EXCEPINFO*, DWORD) {
    interrupt_->store(true, std::memory_order_release);
    return S_OK;
}

HRESULT JScriptEngine::Clone(IActiveScript** copy) {
    if (copy) {
        *copy = nullptr;
    }
    return E_NOTIMPL;
}

// ---- IActiveScriptParse ----

HRESULT JScriptEngine::InitNew() {
    if (runtime_ || state_.load() == SCRIPTSTATE_CLOSED) {
        return E_UNEXPECTED;
    }
    runtime_ = Runtime::Create(this, interrupt_);
    if (!runtime_) {
        return E_OUTOFMEMORY;
    }
    ChangeState(SCRIPTSTATE_INITIALIZED);
    for (NamedItem& item : items_) {
        InstallItem(item);
    }
    return S_OK;
}

HRESULT JScriptEngine::AddScriptlet(LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR, LPCOLESTR,
                                    DWORD_PTR, ULONG, DWORD, BSTR* name, EXCEPINFO*) {
    if (name) {
        *name = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT JScriptEngine::ParseScriptText(LPCOLESTR code, LPCOLESTR, IUnknown*, LPCOLESTR,
                                       DWORD_PTR sourceContextCookie, ULONG startingLineNumber, DWORD flags,
                                       VARIANT* result, EXCEPINFO* excep) {
    if (result) {
        VariantInit(result);
    }
    if (excep) {
        *excep = EXCEPINFO{};
    }
    if (!Usable()) {
        return E_UNEXPECTED;
    }
    InstallItems();
    ChunkHold chunk(runtime_, ScriptChunk{code ? code : u"", startingLineNumber, sourceContextCookie});
    return RunChunk(chunk.Index(), (flags & SCRIPTTEXT_ISEXPRESSION) != 0, result, excep);
}

HRESULT JScriptEngine::RunChunk(int chunk, bool expression, VARIANT* result, EXCEPINFO* excep) {
    std::shared_ptr<Runtime> runtime = runtime_; // a host call may close the engine meanwhile
    duk_context* ctx = runtime->Context();
    ScriptEntry entry(*runtime);
    PushText(ctx, runtime->Chunk(chunk)->text);
    std::string fileName = Runtime::ChunkFileName(chunk);
    duk_push_lstring(ctx, fileName.data(), fileName.size());
    bool compiled = duk_pcompile(ctx, DUK_COMPILE_EVAL) == 0;
    if (!compiled || duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) {
        ScriptErrorInfo error = DescribeScriptError(*runtime, -1, compiled ? -1 : chunk);
        duk_pop(ctx);
        if (excep) {
            FillExcepInfo(error, excep);
        }
        if (entry.Outermost() && site_) {
            ReportScriptError(error);
            return SCRIPT_E_REPORTED;
        }
        return DISP_E_EXCEPTION;
    }
    HRESULT hr = expression && result ? ValueToVariant(ctx, -1, result) : S_OK;
    duk_pop(ctx);
    return hr;
}

// ---- Named items ----

void JScriptEngine::InstallItems() {
    for (NamedItem& item : items_) {
        InstallItem(item);
    }
}

void JScriptEngine::InstallItem(NamedItem& item) {
    if (!item.installed && (item.flags & SCRIPTITEM_ISVISIBLE)) {
        duk_context* ctx = runtime_->Context();
        duk_push_global_object(ctx);
        PushText(ctx, item.name);
        duk_push_c_function(ctx, &ResolveItemOnFirstUse, 0);
        PushText(ctx, item.name);
        duk_put_prop_string(ctx, -2, kItemNameKey);
        duk_def_prop(ctx, -3,
                     DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_CONFIGURABLE | DUK_DEFPROP_SET_ENUMERABLE |
                         DUK_DEFPROP_FORCE);
        duk_pop(ctx);
        item.installed = true;
    }
    if (!item.membersInstalled && (item.flags & SCRIPTITEM_GLOBALMEMBERS) && site_) {
        InstallGlobalMembers(item);
    }
}

// The item's members become global names; tried again on the next run while the site cannot give it yet.
void JScriptEngine::InstallGlobalMembers(NamedItem& item) {
    ComPtr<IDispatch> object;
    if (FAILED(ResolveNamedItem(item.name, object.Put()))) {
        (void)SetErrorInfo(0, nullptr); // tried again on the next run; its reason is not this call's failure
        return;
    }
    std::vector<std::u16string> names = MemberNames(object.Get());
    duk_context* ctx = runtime_->Context();
    bool ok = SafeRun(ctx, 0, [&](duk_context* c) {
        duk_eval_string(c, kGlobalMembersHelper);
        duk_push_global_object(c);
        PushHostObject(c, object.Get());
        duk_push_array(c);
        for (size_t i = 0; i < names.size(); ++i) {
            PushText(c, names[i]);
            duk_put_prop_index(c, -2, static_cast<duk_uarridx_t>(i));
        }
        duk_call(c, 3);
    });
    duk_pop(ctx);
    item.membersInstalled = ok;
}

HRESULT JScriptEngine::ResolveNamedItem(const std::u16string& name, IDispatch** item) {
    *item = nullptr;
    if (!site_) {
        return E_UNEXPECTED;
    }
    ComPtr<IUnknown> unknown;
    HRESULT hr = site_->GetItemInfo(name.c_str(), SCRIPTINFO_IUNKNOWN, unknown.Put(), nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    return unknown ? unknown->QueryInterface(item) : E_NOINTERFACE;
}

void JScriptEngine::ReportScriptError(const ScriptErrorInfo& error) {
    if (!site_) {
        return;
    }
    vr::ComObjectPtr<ScriptErrorObject> report;
    if (SUCCEEDED(vr::ComObject<ScriptErrorObject>::Create(&report))) {
        report->Set(error);
        ComPtr<IActiveScriptSite> site = site_;
        (void)site->OnScriptError(report.Get());
    }
}

void JScriptEngine::EnterScript() {
    if (site_) {
        (void)site_->OnEnterScript();
    }
}

void JScriptEngine::LeaveScript() {
    if (site_) {
        (void)site_->OnLeaveScript();
    }
}

} // namespace vr::script
