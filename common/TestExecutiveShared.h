// What the test-execution worker and its owner share: the request, its results, the worker's interfaces,
// and the signals between the two threads. Held by both, so it outlives whichever of them ends first.
#pragma once

#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scripvane/include/scripvane.h"
#include "platform/com/comptr.h"
#include "platform/com/stream.h"
#include "platform/scripting/activscp.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

class _com_error;

namespace vrcommon {

// The failure as an exception object, with the calling thread's error information (taken).
_com_error ComErrorOf(HRESULT hr);

// Threads: the request fields follow the hand-off written in TestExecutive.h; the startup and end fields are
// guarded by `mutex`; the script engine pointer by `scriptMutex`.
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

    // Signalled by Request and by the destructor, so the waiting worker looks at once.
    HANDLE wake = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    bool startupDone = false; // streams made, or the startup failed
    HRESULT startupResult = S_OK;
    std::u16string startupError;
    bool workerEnded = false;

    // The script engine of the loaded script, for interrupting it from the window thread.
    std::mutex scriptMutex;
    vr::ComPtr<IActiveScript> script;
    std::atomic<bool> inScriptCall{false};

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
    void ReportFailure(HRESULT hr);
    void FinishStartup(HRESULT hr, const std::u16string& error);
};

} // namespace vrcommon
