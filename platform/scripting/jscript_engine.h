// The JScript engine: IActiveScript and IActiveScriptParse over one Duktape heap.
#pragma once

#include "platform/com/object.h"
#include "platform/scripting/activscp.h"
#include "platform/scripting/runtime.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace vr::script {

// Code given to ParseScriptText runs at once (in any state from initialized on); the script state only
// records what the host set. Named items become global properties resolved through the site on first use;
// the members of GLOBALMEMBERS items are read from their type information and become global names too (an
// object without type information lends no global names: it is reached through its item name only).
//
// Thread contract: apartment threaded. InterruptScriptThread and GetScriptState may be called from any
// thread: an interrupt stops the code running now (it ends with JSERR_INTERRUPTED), or the next run when
// none does.
class JScriptEngine : public vr::ObjectRoot,
                      public vr::CoClass<JScriptEngine>,
                      public IActiveScript,
                      public IActiveScriptParse,
                      private RuntimeOwner {
public:
    using Interfaces = vr::InterfaceList<IActiveScript, IActiveScriptParse>;
    static constexpr bool kAggregatable = false;

    void FinalRelease();

    // IActiveScript
    HRESULT SetScriptSite(IActiveScriptSite* site) override;
    HRESULT GetScriptSite(REFIID riid, void** ppv) override;
    HRESULT SetScriptState(SCRIPTSTATE state) override;
    HRESULT GetScriptState(SCRIPTSTATE* state) override;
    HRESULT Close() override;
    HRESULT AddNamedItem(LPCOLESTR name, DWORD flags) override;
    HRESULT AddTypeLib(REFGUID libId, DWORD major, DWORD minor, DWORD flags) override;
    HRESULT GetScriptDispatch(LPCOLESTR itemName, IDispatch** dispatch) override;
    HRESULT GetCurrentScriptThreadID(SCRIPTTHREADID* id) override;
    HRESULT GetScriptThreadID(DWORD systemThreadId, SCRIPTTHREADID* id) override;
    HRESULT GetScriptThreadState(SCRIPTTHREADID id, SCRIPTTHREADSTATE* state) override;
    HRESULT InterruptScriptThread(SCRIPTTHREADID id, const EXCEPINFO* excep, DWORD flags) override;
    HRESULT Clone(IActiveScript** copy) override;

    // IActiveScriptParse
    HRESULT InitNew() override;
    HRESULT AddScriptlet(LPCOLESTR defaultName, LPCOLESTR code, LPCOLESTR itemName, LPCOLESTR subItemName,
                         LPCOLESTR eventName, LPCOLESTR delimiter, DWORD_PTR sourceContextCookie,
                         ULONG startingLineNumber, DWORD flags, BSTR* name, EXCEPINFO* excep) override;
    HRESULT ParseScriptText(LPCOLESTR code, LPCOLESTR itemName, IUnknown* context, LPCOLESTR delimiter,
                            DWORD_PTR sourceContextCookie, ULONG startingLineNumber, DWORD flags,
                            VARIANT* result, EXCEPINFO* excep) override;

private:
    struct NamedItem {
        std::u16string name;
        DWORD flags = 0;
        bool installed = false;        // its global property is defined
        bool membersInstalled = false; // its members are global names
    };

    // RuntimeOwner
    HRESULT ResolveNamedItem(const std::u16string& name, IDispatch** item) override;
    void ReportScriptError(const ScriptErrorInfo& error) override;
    void EnterScript() override;
    void LeaveScript() override;

    bool Usable() const;
    void ChangeState(SCRIPTSTATE state);
    void InstallItems();
    void InstallItem(NamedItem& item);
    void InstallGlobalMembers(NamedItem& item);
    HRESULT RunChunk(int chunk, bool expression, VARIANT* result, EXCEPINFO* excep);

    ComPtr<IActiveScriptSite> site_;
    std::shared_ptr<Runtime> runtime_;
    std::shared_ptr<std::atomic<bool>> interrupt_ = std::make_shared<std::atomic<bool>>(false);
    std::atomic<SCRIPTSTATE> state_{SCRIPTSTATE_UNINITIALIZED};
    std::vector<NamedItem> items_;
};

} // namespace vr::script
