// Active Scripting: the interfaces between a script engine and its host, their flags and identifiers.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/typeinfo.h"

#include <cstdint>

using DWORD_PTR = uintptr_t;
using SCRIPTTHREADID = DWORD;

enum SCRIPTSTATE : int32_t {
    SCRIPTSTATE_UNINITIALIZED = 0,
    SCRIPTSTATE_INITIALIZED = 5,
    SCRIPTSTATE_STARTED = 1,
    SCRIPTSTATE_CONNECTED = 2,
    SCRIPTSTATE_DISCONNECTED = 3,
    SCRIPTSTATE_CLOSED = 4,
};

enum SCRIPTTHREADSTATE : int32_t {
    SCRIPTTHREADSTATE_NOTINSCRIPT = 0,
    SCRIPTTHREADSTATE_RUNNING = 1,
};

// AddNamedItem flags.
inline constexpr DWORD SCRIPTITEM_ISVISIBLE = 0x00000002;
inline constexpr DWORD SCRIPTITEM_ISSOURCE = 0x00000004;
inline constexpr DWORD SCRIPTITEM_GLOBALMEMBERS = 0x00000008;
inline constexpr DWORD SCRIPTITEM_ISPERSISTENT = 0x00000040;
inline constexpr DWORD SCRIPTITEM_CODEONLY = 0x00000200;
inline constexpr DWORD SCRIPTITEM_NOCODE = 0x00000400;

// GetItemInfo masks.
inline constexpr DWORD SCRIPTINFO_IUNKNOWN = 0x00000001;
inline constexpr DWORD SCRIPTINFO_ITYPEINFO = 0x00000002;

// ParseScriptText flags.
inline constexpr DWORD SCRIPTTEXT_DELAYEXECUTION = 0x00000001;
inline constexpr DWORD SCRIPTTEXT_ISVISIBLE = 0x00000002;
inline constexpr DWORD SCRIPTTEXT_ISEXPRESSION = 0x00000020;
inline constexpr DWORD SCRIPTTEXT_ISPERSISTENT = 0x00000040;

// InterruptScriptThread's thread ids and flags.
inline constexpr SCRIPTTHREADID SCRIPTTHREADID_CURRENT = 0xFFFFFFFD;
inline constexpr SCRIPTTHREADID SCRIPTTHREADID_BASE = 0xFFFFFFFE;
inline constexpr SCRIPTTHREADID SCRIPTTHREADID_ALL = 0xFFFFFFFF;
inline constexpr DWORD SCRIPTINTERRUPT_DEBUG = 0x00000001;
inline constexpr DWORD SCRIPTINTERRUPT_RAISEEXCEPTION = 0x00000002;

// Results of the engine: a script error already handed to the site's OnScriptError.
inline constexpr HRESULT SCRIPT_E_REPORTED = static_cast<HRESULT>(0x80020101);

// Status codes of script errors (facility 0x0A, as scripts read them from an error's `number`).
inline constexpr HRESULT JSERR_SYNTAX = static_cast<HRESULT>(0x800A03EA);
inline constexpr HRESULT JSERR_OBJECT_EXPECTED = static_cast<HRESULT>(0x800A138F);
inline constexpr HRESULT JSERR_UNDEFINED = static_cast<HRESULT>(0x800A1391);
inline constexpr HRESULT JSERR_RANGE = static_cast<HRESULT>(0x800A1396);
inline constexpr HRESULT JSERR_NOT_A_FUNCTION = static_cast<HRESULT>(0x800A138A);
inline constexpr HRESULT JSERR_UNCAUGHT_EXCEPTION = static_cast<HRESULT>(0x800A139E);
inline constexpr HRESULT JSERR_CANT_CREATE_OBJECT = static_cast<HRESULT>(0x800A01AD);
inline constexpr HRESULT JSERR_VBARRAY_EXPECTED = static_cast<HRESULT>(0x800A1395);
inline constexpr HRESULT JSERR_NOT_A_COLLECTION = static_cast<HRESULT>(0x800A01C3);
// A script stopped by InterruptScriptThread.
inline constexpr HRESULT JSERR_INTERRUPTED = E_ABORT;

struct IActiveScriptError;
struct IActiveScriptSite;

// The engine. Thread contract: every method runs on the thread that owns the engine (its apartment), except
// InterruptScriptThread, GetScriptState and GetScriptThreadState, which any thread may call at any time.
struct IActiveScript : IUnknown {
    [[nodiscard]] virtual HRESULT SetScriptSite(IActiveScriptSite* site) = 0;
    [[nodiscard]] virtual HRESULT GetScriptSite(REFIID riid, void** ppv) = 0;
    [[nodiscard]] virtual HRESULT SetScriptState(SCRIPTSTATE state) = 0;
    [[nodiscard]] virtual HRESULT GetScriptState(SCRIPTSTATE* state) = 0;
    [[nodiscard]] virtual HRESULT Close() = 0;
    [[nodiscard]] virtual HRESULT AddNamedItem(LPCOLESTR name, DWORD flags) = 0;
    [[nodiscard]] virtual HRESULT AddTypeLib(REFGUID libId, DWORD major, DWORD minor, DWORD flags) = 0;
    [[nodiscard]] virtual HRESULT GetScriptDispatch(LPCOLESTR itemName, IDispatch** dispatch) = 0;
    [[nodiscard]] virtual HRESULT GetCurrentScriptThreadID(SCRIPTTHREADID* id) = 0;
    [[nodiscard]] virtual HRESULT GetScriptThreadID(DWORD systemThreadId, SCRIPTTHREADID* id) = 0;
    [[nodiscard]] virtual HRESULT GetScriptThreadState(SCRIPTTHREADID id, SCRIPTTHREADSTATE* state) = 0;
    [[nodiscard]] virtual HRESULT InterruptScriptThread(SCRIPTTHREADID id, const EXCEPINFO* excep,
                                                        DWORD flags) = 0;
    [[nodiscard]] virtual HRESULT Clone(IActiveScript** copy) = 0;

protected:
    ~IActiveScript() = default;
};
VR_DECLARE_INTERFACE_ID(IActiveScript, "BB1A2AE1-A4F9-11CF-8F20-00805F2CD064")

struct IActiveScriptParse : IUnknown {
    [[nodiscard]] virtual HRESULT InitNew() = 0;
    [[nodiscard]] virtual HRESULT AddScriptlet(LPCOLESTR defaultName, LPCOLESTR code, LPCOLESTR itemName,
                                               LPCOLESTR subItemName, LPCOLESTR eventName,
                                               LPCOLESTR delimiter, DWORD_PTR sourceContextCookie,
                                               ULONG startingLineNumber, DWORD flags, BSTR* name,
                                               EXCEPINFO* excep) = 0;
    [[nodiscard]] virtual HRESULT ParseScriptText(LPCOLESTR code, LPCOLESTR itemName, IUnknown* context,
                                                  LPCOLESTR delimiter, DWORD_PTR sourceContextCookie,
                                                  ULONG startingLineNumber, DWORD flags, VARIANT* result,
                                                  EXCEPINFO* excep) = 0;

protected:
    ~IActiveScriptParse() = default;
};
VR_DECLARE_INTERFACE_ID(IActiveScriptParse, "C7EF7658-E1EE-480E-97EA-D52CB4D76D17")

// What the engine tells about one script error. Lines count from the starting line the host gave with the
// text (1 when it gave 1); the character position is 1-based within that line.
struct IActiveScriptError : IUnknown {
    [[nodiscard]] virtual HRESULT GetExceptionInfo(EXCEPINFO* excep) = 0;
    [[nodiscard]] virtual HRESULT GetSourcePosition(DWORD* sourceContext, ULONG* lineNumber,
                                                    LONG* characterPosition) = 0;
    [[nodiscard]] virtual HRESULT GetSourceLineText(BSTR* sourceLine) = 0;

protected:
    ~IActiveScriptError() = default;
};
VR_DECLARE_INTERFACE_ID(IActiveScriptError, "EAE1BA61-A4ED-11CF-8F20-00805F2CD064")

// The host, as the engine sees it. The engine calls it on the engine's thread only.
struct IActiveScriptSite : IUnknown {
    [[nodiscard]] virtual HRESULT GetLCID(LCID* lcid) = 0;
    [[nodiscard]] virtual HRESULT GetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item,
                                              ITypeInfo** typeInfo) = 0;
    [[nodiscard]] virtual HRESULT GetDocVersionString(BSTR* version) = 0;
    [[nodiscard]] virtual HRESULT OnScriptTerminate(const VARIANT* result, const EXCEPINFO* excep) = 0;
    [[nodiscard]] virtual HRESULT OnStateChange(SCRIPTSTATE state) = 0;
    [[nodiscard]] virtual HRESULT OnScriptError(IActiveScriptError* error) = 0;
    [[nodiscard]] virtual HRESULT OnEnterScript() = 0;
    [[nodiscard]] virtual HRESULT OnLeaveScript() = 0;

protected:
    ~IActiveScriptSite() = default;
};
VR_DECLARE_INTERFACE_ID(IActiveScriptSite, "DB01A1E3-A42B-11CF-8F20-00805F2CD064")

// Component categories of script engines.
inline constexpr GUID CATID_ActiveScript = vr::MakeGuid("F0B7A1A1-9847-11CF-8F20-00805F2CD064");
inline constexpr GUID CATID_ActiveScriptParse = vr::MakeGuid("F0B7A1A2-9847-11CF-8F20-00805F2CD064");

// The JScript engine of this platform (ProgID "JScript").
inline constexpr CLSID CLSID_JScript = vr::MakeGuid("F414C260-6AC0-11CF-B6D1-00AA00BBBB58");
