// The script executive server's public contract (type library Scripvane 1.0): the Active Scripting host that
// loads a test script with the hardware manager's instruments and the test engine as named objects.
#pragma once

#include "platform/com/dispatch.h"

// Runs a test script in an installed scripting language (dual; DISPIDs 1 to 12 in this order, a property's
// get and put sharing one). Apartment-threaded: the worker thread owns it; other threads use a proxy.
struct IScrivon : IDispatch {
    // [1] Runs the script's method bsMethod without arguments.
    [[nodiscard]] virtual HRESULT Execute(BSTR bsMethod, VARIANT* vReturn) = 0;
    // [2] Closes and drops the script engine.
    [[nodiscard]] virtual HRESULT Close() = 0;
    // [3] The language ProgID; the put loads that script engine.
    [[nodiscard]] virtual HRESULT get_ScriptLanguage(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_ScriptLanguage(BSTR newVal) = 0;
    // [4] Parses script code into the engine.
    [[nodiscard]] virtual HRESULT AddScript(BSTR bstrScriptText) = 0;
    // [5] The usable languages: a VARIANT holding a SAFEARRAY of VT_VARIANT strings.
    [[nodiscard]] virtual HRESULT get_ScriptLanguages(VARIANT* pVal) = 0;
    // [6] Close, then the test engine's InitExecution.
    [[nodiscard]] virtual HRESULT ClearScript() = 0;
    // [7] Forgets named objects and the language, then ClearScript.
    [[nodiscard]] virtual HRESULT ClearAll() = 0;
    // [8] Takes the test engine (kept without a reference of its own).
    [[nodiscard]] virtual HRESULT Init(IUnknown* pTestEngine) = 0;
    // [9]
    [[nodiscard]] virtual HRESULT IsMethodAvailable(BSTR bsMethod, VARIANT_BOOL* pvbMethodAvailable) = 0;
    // [10]
    [[nodiscard]] virtual HRESULT Evaluate(BSTR bsScriptExpression, VARIANT* vReturn) = 0;
    // [11] The script engine's IActiveScript.
    [[nodiscard]] virtual HRESULT get_ScriptEngine(IUnknown** ppEngine) = 0;
    // [12] A global variable of the loaded script.
    [[nodiscard]] virtual HRESULT GetProperty(BSTR bsProperty, VARIANT* pvValue) = 0;

protected:
    ~IScrivon() = default;
};
VR_DECLARE_INTERFACE_ID(IScrivon, "D7A0C5E6-BFD0-4FDB-8A20-40FDBFA551C7")

// The executive's event interface; no members.
struct _IScrivonEvents : IDispatch {
protected:
    ~_IScrivonEvents() = default;
};
VR_DECLARE_INTERFACE_ID(_IScrivonEvents, "9858CB59-1361-481E-BEB9-0DED77FC63D7")

inline constexpr CLSID CLSID_TestScriptExecutive = vr::MakeGuid("2219E768-E092-4F3B-9EEB-15DD09F12FAE");
inline constexpr GUID LIBID_Scripvane = vr::MakeGuid("8DD61B82-1113-4345-A069-6171602DA44C");

inline constexpr const char16_t* kTestScriptExecutiveProgId = u"Vornic.TestScriptExecutive.1";
inline constexpr const char16_t* kTestScriptExecutiveIndependentProgId = u"Vornic.TestScriptExecutive";
