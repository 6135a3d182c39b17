// What the test-execution worker and its owner share: the request, its results, the worker's interfaces,
// and the signals between the two threads. Held by both, so it outlives whichever of them ends first.
#pragma once

#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scripvane/include/scripvane.h"
#include "platform/com/apartment.h"
#include "platform/com/comptr.h"
#include "platform/com/stream.h"
#include "platform/scripting/activscp.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

class _com_error;

namespace vrcommon {

// The failure as an exception object, with the calling thread's error information (taken).
_com_error ComErrorOf(HRESULT hr);

// Threads: the request fields follow the hand-off written in TestExecutive.h; the startup and end fields are
// guarded by `mutex`; the script engine and the running request's stop state by `scriptMutex`; the engine's
// monitor by `monitorMutex`.
struct TestExecutiveShared {
    TestExecutiveShared();
    ~TestExecutiveShared();
    TestExecutiveShared(const TestExecutiveShared&) = delete;
    TestExecutiveShared& operator=(const TestExecutiveShared&) = delete;

    // The worker's body (the thread routine runs it with its own reference to the block).
    void ThreadProc();

    BSTR Code = nullptr;
    BSTR Language = nullptr;
    BSTR CodeFile = nullptr;
    BSTR Config = nullptr;
    BSTR Arg1 = nullptr;
    BSTR Arg2 = nullptr;
    std::atomic<LONG> State{0};
    IVrTestEngine* Engine = nullptr;
    IStream* EngineStream = nullptr;
    IScrivon* ScriptExec = nullptr;
    IStream* ScriptExecStream = nullptr;
    HRESULT RequestHResult = S_OK;
    BSTR ErrorText = nullptr;
    BSTR ResultText = nullptr;
    SAFEARRAY* Languages = nullptr; // locked while held
    std::atomic<bool> StopFlag{false};
    std::atomic<BSTR> RequestName{nullptr};
    // Engine calls the worker makes after the request when it succeeded (empty: none); a request field.
    std::function<void(IVrTestEngine*)> AfterRequest;

    // Signalled by Request and by the destructor, so the waiting worker looks at once.
    HANDLE wake = nullptr;
    // Auto-reset; set by the worker when a request is done and by the engine (through its monitor) when it
    // queues an output line, so that the window thread can sleep until there is something to read.
    HANDLE progress = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    bool startupDone = false; // streams made, or the startup failed
    HRESULT startupResult = S_OK;
    std::u16string startupError;
    bool workerEnded = false;

    // The script engine of the loaded script, for interrupting it from the window thread.
    std::mutex scriptMutex;
    vr::ComPtr<IActiveScript> script;
    bool requestRunning = false;     // the worker is inside a request
    bool interruptRequested = false; // an interrupting Stop came during the running request
    pid_t panelProgram = 0;          // the control-panel program a request waits for (0: none), not reaped

    // The engine's members that any thread may call (null when the engine does not offer them); released by
    // the worker as it ends, under the lock, so the window thread never calls a released one.
    std::mutex monitorMutex;
    vr::ComPtr<IVrTestEngineMonitor> monitor;

    // The worker's apartment, for Stop words that reach an engine without a monitor; set before
    // startupDone and not changed after.
    vr::ApartmentRef apartment;

    // Window thread: interrupts the script of the running request, now and, when its engine is not made yet,
    // as soon as it is; an interrupt while no request runs would stop the next one, so it is dropped then.
    void InterruptRunningScript();
    // Worker thread: the engine's Stop with the words, for a Stop the window thread posted.
    void StopEngine(const std::u16string& words);

private:
    bool Startup();
    void Shutdown();
    void RunLoop();
    void HandleRequest(BSTR name);
    HRESULT RunRequest(BSTR name, bool* reset);
    HRESULT LoadScript();
    HRESULT EvaluateToResult(BSTR expression);
    HRESULT ExecuteMethod(BSTR name);
    void RunControlPanel();
    void KeepScriptEngine();
    void BeginRequest();
    void EndRequest();
    void ReportFailure(HRESULT hr);
    void FinishStartup(HRESULT hr, const std::u16string& error);
};

} // namespace vrcommon
