// The test engine server's public contract (type library Corvant 1.0): the run-time companion of every test
// script, reached by scripts as `engine` and by the programs through the test-execution worker.
#pragma once

#include "platform/com/dispatch.h"

// Test statuses carried with output lines and stored (as words) with result rows.
enum TestStatus : int32_t {
    TestStatusUnknown = 0,
    TestStatusPassed = 1,
    TestStatusFailed = 2,
    TestStatusWarning = 3,
    TestStatusInterrupted = 4,
    TestStatusProcessing = 5,
    TestStatusOncoming = 6,
    TestStatusError = 7,
};

// One test execution's output queue, options, specifications, identity and results (dual; DISPIDs 1 to 24 in
// type-library order, a property's get and put sharing one). VARIANT arguments marked optional may be missing
// (VT_ERROR, DISP_E_PARAMNOTFOUND). Apartment-threaded: other threads call it through a marshalled proxy.
struct IVrTestEngine : IDispatch {
    // [1] Appends (text, status) to the output queue.
    [[nodiscard]] virtual HRESULT Output(BSTR bsText, VARIANT vTestStatus) = 0;
    // [2] The engine's attribute collection.
    [[nodiscard]] virtual HRESULT get_attributes(IDispatch** ppAttributes) = 0;
    // [3] Takes the oldest queued line: S_OK while one was waiting, S_FALSE when the queue is empty.
    // pvTestStatus may be null (optional out).
    [[nodiscard]] virtual HRESULT GetOutput(VARIANT* pvTestStatus, BSTR* pbsText) = 0;
    // [4] Output of the text followed by "\n".
    [[nodiscard]] virtual HRESULT OutputLn(BSTR bsText, VARIANT vTestStatus) = 0;
    // [5] A named specification.
    [[nodiscard]] virtual HRESULT get_spec(BSTR bsSpecID, VARIANT* pvSpec) = 0;
    [[nodiscard]] virtual HRESULT put_spec(BSTR bsSpecID, VARIANT vSpec) = 0;
    // [6] Checks a value against a specification, stores the result and reports the verdict.
    [[nodiscard]] virtual HRESULT IsValid(VARIANT vValue, BSTR bsSpecID, VARIANT vDescription,
                                          VARIANT_BOOL* pvbValid) = 0;
    // [7] Stores one result row.
    [[nodiscard]] virtual HRESULT SaveResult(VARIANT vValue, BSTR bsTestResultID, VARIANT vDescription,
                                             VARIANT vTestStatus, VARIANT vSpecValue) = 0;
    // [8]
    [[nodiscard]] virtual HRESULT InitExecution() = 0;
    // [9] - [15] Identity of the test.
    [[nodiscard]] virtual HRESULT get_PEC(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_PEC(BSTR newVal) = 0;
    [[nodiscard]] virtual HRESULT get_Release(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_Release(BSTR newVal) = 0;
    [[nodiscard]] virtual HRESULT get_SN(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_SN(BSTR newVal) = 0;
    [[nodiscard]] virtual HRESULT get_TestID(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_TestID(BSTR newVal) = 0;
    [[nodiscard]] virtual HRESULT get_TestPlanID(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_TestPlanID(BSTR newVal) = 0;
    [[nodiscard]] virtual HRESULT get_TestPlanVariantID(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_TestPlanVariantID(BSTR newVal) = 0;
    [[nodiscard]] virtual HRESULT get_TestExecSession(BSTR* pVal) = 0;
    [[nodiscard]] virtual HRESULT put_TestExecSession(BSTR newVal) = 0;
    // [16] Advances TestExecSession from the results database.
    [[nodiscard]] virtual HRESULT SetNextTestExecSession() = 0;
    // [17] Waits msec milliseconds, serving the thread's queued calls.
    [[nodiscard]] virtual HRESULT Delay(uint32_t msec) = 0;
    // [18] "continue", "loop", "exit" or anything else (interrupt); optional.
    [[nodiscard]] virtual HRESULT Stop(VARIANT vParam) = 0;
    // [19] The graph control.
    [[nodiscard]] virtual HRESULT get_graph(IDispatch** ppGraph) = 0;
    [[nodiscard]] virtual HRESULT put_graph(IDispatch* pGraph) = 0;
    // [20] The engine's CSV file object.
    [[nodiscard]] virtual HRESULT get_csv(IDispatch** ppCsv) = 0;
    // [21]
    [[nodiscard]] virtual HRESULT EndExecution() = 0;
    // [22] A named option.
    [[nodiscard]] virtual HRESULT get_option(BSTR bsName, VARIANT* pvValue) = 0;
    [[nodiscard]] virtual HRESULT put_option(BSTR bsName, VARIANT vValue) = 0;
    // [23]
    [[nodiscard]] virtual HRESULT IsOptionEnabled(BSTR bsName, VARIANT_BOOL* pvbVal) = 0;
    // [24] Sets options from an option string.
    [[nodiscard]] virtual HRESULT SetOptions(BSTR bsOptions) = 0;

protected:
    ~IVrTestEngine() = default;
};
VR_DECLARE_INTERFACE_ID(IVrTestEngine, "460521C9-7CFE-4E95-B80D-48AF8E1E1B86")

// What a program's window thread may ask of the test engine while the engine's own thread is busy in a script
// that serves no calls (a long computation, an endless loop). Threads: any thread of the engine's process may
// call these at any time, and neither waits for the engine's thread. In-process only: the engine's proxies do
// not offer it, so a caller that cannot have it uses Stop and GetOutput of IVrTestEngine instead.
struct IVrTestEngineMonitor : IUnknown {
    // Stop with these words, as IVrTestEngine::Stop reads them: "continue" clears the interruption flag and
    // any word other than "loop" and "exit" sets it, at once, so that the script's next engine call fails;
    // "loop" and "exit" put StopLoop or StopExit to "true" before the engine next reads or writes an option.
    [[nodiscard]] virtual HRESULT RequestStop(BSTR words) = 0;
    // GetOutput: takes the oldest queued line and its status; S_FALSE (both left untouched) when none waits;
    // E_POINTER for a null text.
    [[nodiscard]] virtual HRESULT TakeOutput(LONG* status, BSTR* text) = 0;
    // The event (from CreateEventW) the engine sets each time it queues a line, so that a reader can sleep
    // until there is output instead of asking again and again; null for none (the start). The engine does not
    // own it: the caller keeps it open until it has put another one or null here.
    [[nodiscard]] virtual HRESULT SetOutputSignal(HANDLE event) = 0;

protected:
    ~IVrTestEngineMonitor() = default;
};
VR_DECLARE_INTERFACE_ID(IVrTestEngineMonitor, "2E7B4C1A-5F0D-4B8E-9A63-C41D7E08B2F5")

inline constexpr CLSID CLSID_TestEngine = vr::MakeGuid("FEA06D1D-3B21-4624-9748-D477B7D60E1D");
inline constexpr GUID LIBID_Corvant = vr::MakeGuid("3F14BE50-6169-49F8-A37C-5B88F071FE16");
// The outside class the engine creates when no graph control is running.
inline constexpr CLSID CLSID_GraphHost = vr::MakeGuid("80909451-243D-4DCA-AF78-020A12F07AC7");

inline constexpr const char16_t* kTestEngineProgId = u"Vornic.TestEngine.1";
inline constexpr const char16_t* kTestEngineIndependentProgId = u"Vornic.TestEngine";
