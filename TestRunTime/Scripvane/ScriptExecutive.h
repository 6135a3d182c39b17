// CTestScriptExecutive: the Active Scripting host that runs a test script with the hardware manager's
// connections and sockets and the test engine as named objects.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scripvane/include/scripvane.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/scripting/activscp.h"
#include "platform/scripting/comcat.h"

#include <map>
#include <optional>
#include <string>

namespace scripvane {

class ScriptSite;

// Threads: apartment-threaded. The executive, its script engine and the test engine live on one thread;
// other threads reach it through a marshalled proxy. Nothing is locked.
//
// The script engine holds the executive's site, so the site is a small object of its own that points back
// without a reference: the executive's release is never held up by the engine it owns.
class CTestScriptExecutive : public vr::ObjectRoot,
                             public vr::CoClass<CTestScriptExecutive>,
                             public vr::DispatchImpl<CTestScriptExecutive, IScrivon>,
                             public vr::SupportErrorInfoImpl<IScrivon> {
public:
    using Interfaces = vr::InterfaceList<IScrivon, IDispatch, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CTestScriptExecutive>& GetDispatchTable();

    HRESULT FinalConstruct();
    void FinalRelease();

    // IScrivon
    HRESULT Execute(BSTR bsMethod, VARIANT* vReturn) override;
    HRESULT Close() override;
    HRESULT get_ScriptLanguage(BSTR* pVal) override;
    HRESULT put_ScriptLanguage(BSTR newVal) override;
    HRESULT AddScript(BSTR bstrScriptText) override;
    HRESULT get_ScriptLanguages(VARIANT* pVal) override;
    HRESULT ClearScript() override;
    HRESULT ClearAll() override;
    HRESULT Init(IUnknown* pTestEngine) override;
    HRESULT IsMethodAvailable(BSTR bsMethod, VARIANT_BOOL* pvbMethodAvailable) override;
    HRESULT Evaluate(BSTR bsScriptExpression, VARIANT* vReturn) override;
    HRESULT get_ScriptEngine(IUnknown** ppEngine) override;
    HRESULT GetProperty(BSTR bsProperty, VARIANT* pvValue) override;

    // The site's work (ScriptSite forwards here).
    HRESULT SiteGetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item, ITypeInfo** typeInfo);
    HRESULT SiteOnScriptError(IActiveScriptError* error);

private:
    // The object made for a record, and the record as the store described it then: a record changed since
    // (its file edited while the hardware manager runs) gets a new object at the next run's first use.
    struct RecordItem {
        vr::ComPtr<IUnknown> object;
        std::u16string madeFrom;
    };
    using ItemMap = std::map<std::u16string, RecordItem>;

    // Each traces its failure; the public method adds the rich error information.
    HRESULT SetUpEngine();
    HRESULT CreateEngine();
    HRESULT AddNamedItems(const char16_t* recordType);
    HRESULT AddNamedItemsFrom(const char16_t* recordType, SAFEARRAY* names);
    HRESULT AddOneNamedItem(const char16_t* recordType, const VARIANT& element);
    HRESULT CloseEngine();
    HRESULT InitEngineExecution();
    HRESULT RequireEngine() const;
    HRESULT ConnectScript();
    HRESULT GetScriptDispatch(vr::ComPtr<IDispatch>* dispatch);
    HRESULT InvokeMethod(BSTR method, VARIANT* result);
    HRESULT ReportHeldScriptError();
    HRESULT ItemFromRecord(const std::u16string& name, IUnknown** item);
    HRESULT CreateRecordObject(bool connection, const std::u16string& name, vr::ComPtr<IUnknown>* object);
    std::optional<std::u16string> RecordDescription(bool connection, const std::u16string& name);
    void CollectLanguages(ICatInformation* categories, const std::u16string& excluded, SAFEARRAY** result,
                          std::u16string* all);
    HRESULT Fail(HRESULT hr);
    void TraceResult(const VARIANT* value);

    vr::ComPtr<IActiveScriptParse> parse_;
    vr::ComPtr<IActiveScript> engine_;
    std::u16string language_;
    IVrTestEngine* testEngine_ = nullptr; // not owned: the caller of Init keeps it alive
    vr::ComPtr<IVrRigmont> hardware_;
    ItemMap connections_;
    ItemMap sockets_;
    std::optional<std::u16string> scriptErrorText_;
    HRESULT scriptErrorCode_ = S_OK;
    vr::ComPtr<vr::ComObject<ScriptSite>> site_;
};

// The executive's IActiveScriptSite, as the script engine holds it.
class ScriptSite : public vr::ObjectRoot, public IActiveScriptSite {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptSite>;
    static constexpr bool kAggregatable = false;

    // The owner answers until it detaches (its release); afterwards the site answers as an empty host.
    void Attach(CTestScriptExecutive* owner) { owner_ = owner; }

    HRESULT GetLCID(LCID* lcid) override;
    HRESULT GetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item, ITypeInfo** typeInfo) override;
    HRESULT GetDocVersionString(BSTR* version) override;
    HRESULT OnScriptTerminate(const VARIANT* result, const EXCEPINFO* excep) override;
    HRESULT OnStateChange(SCRIPTSTATE state) override;
    HRESULT OnScriptError(IActiveScriptError* error) override;
    HRESULT OnEnterScript() override;
    HRESULT OnLeaveScript() override;

private:
    CTestScriptExecutive* owner_ = nullptr;
};

} // namespace scripvane
