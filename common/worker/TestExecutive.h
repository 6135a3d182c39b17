// CTestExecutive: the worker thread on which a program runs its tests, and PumpMessages, the window
// thread's wait.
//
// The worker initialises its own single-threaded apartment, creates the test engine and the script
// executive there and hands both to the constructing (window) thread as marshalled proxies, then runs the
// requests that thread posts: load a script, call a script method, run script text, evaluate an expression,
// or run a control panel as a program and turn its exit code into a verdict.
//
// Threads: two threads share the object, with no lock. The window thread (the constructing one) calls every
// member function and uses EngineProxy and ScriptExecProxy; the worker uses Engine and ScriptExec. The
// hand-off: the window thread writes a request's arguments first and publishes it by storing RequestName
// (release); the worker reads the arguments only after it has seen RequestName (acquire), writes its results,
// clears RequestName and last stores State 2 (release); the window thread reads the results only after
// GetState has seen 2 (acquire). A new request may be posted only while State is 0 or 2. Stop and GetOutput
// reach an engine of this process through its monitor (IVrTestEngineMonitor), which any thread may call, so
// neither waits for a worker busy in a script that serves no calls.
//
// Lifetime: what the worker uses lives in a block that the worker holds too. The destructor waits up to 4000
// ms for the worker, then interrupts the script that keeps it and waits as long again; a worker that is still
// busy after that is left to finish on its own and frees the block when it ends, so nothing it uses is freed
// under it. The programs may read the members below as the names say; the worker-side ones are references
// into that block.
#pragma once

#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scripvane/include/scripvane.h"
#include "platform/com/stream.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace vrcommon {
struct TestExecutiveShared;
} // namespace vrcommon

// The waiting window thread's pump: runs the calls queued for the thread's apartment, again every 8 ms,
// until the milliseconds have passed since the call began; with 0 it empties the queue once.
void PumpMessages(DWORD milliseconds);

// The test's session, on the engine's thread: claimed from the results database (SetNextTestExecSession)
// unless the engine holds one already (a script may set its own as it loads). A failure (the database's,
// or the engine's interruption) is returned; with error given, its description lands there (the thread's
// error information is consumed), else the error information stays for the caller's caller.
[[nodiscard]] HRESULT ClaimTestSession(IVrTestEngine* engine, std::u16string* error = nullptr);

class CTestExecutive {
public:
    // The State word.
    static constexpr LONG kIdle = 0;
    static constexpr LONG kPosted = 1;
    static constexpr LONG kDone = 2;

    // Returns when both proxies are ready, or when the worker could not make them: then the object is
    // unusable, State is 2 and GetError tells why; every later request ends at once with that failure.
    CTestExecutive();
    virtual ~CTestExecutive();
    CTestExecutive(const CTestExecutive&) = delete;
    CTestExecutive& operator=(const CTestExecutive&) = delete;

    // Posts a request; takes ownership of the three strings. Returns at once: true when posted; false, with
    // nothing changed, while another request is still pending (one request at a time: its caller's wait
    // still waits for it), which is traced.
    bool Request(BSTR name, BSTR first, BSTR second);
    // The same, and when the request succeeds the worker makes the engine calls of afterwards on its thread
    // before it reports the request done: calls that must follow the request and precede anything the window
    // thread does after it, at no round trip of their own. Their failures are theirs to handle.
    bool Request(BSTR name, BSTR first, BSTR second, std::function<void(IVrTestEngine*)> afterwards);
    // State; a 2 is reported once and turned back into 0.
    LONG GetState();
    // A copy of ResultText.
    void GetResult(BSTR* out);
    // A copy of ErrorText and RequestHResult.
    void GetError(BSTR* text, HRESULT* hr);
    // The engine's next output line and its status; false when none was waiting (or the call failed). It
    // does not wait for a busy worker when the engine is in this process (see IVrTestEngineMonitor).
    bool GetOutput(LONG* status, BSTR* text);
    // An auto-reset event that is set when a request is done and when the engine queues an output line, for
    // the window thread's wait between looking at GetOutput and GetState: it may sleep on it rather than ask
    // again and again. The lines of an engine in another process do not set it, so every wait on it has a
    // time limit. Null when it could not be made. Owned by the object.
    HANDLE ProgressEvent() const;
    // The wait of a window thread without an event loop of its own: until ProgressEvent is set or the
    // milliseconds have passed, running the calls queued for the thread's apartment meanwhile.
    void WaitForProgress(DWORD milliseconds);
    // The engine's Stop with the words (borrowed). Never waits for the worker: "continue", "loop" and "exit"
    // only set the engine's flag or option (the script sees StopLoop and StopExit at its next option call);
    // any other word also interrupts the script that the running request runs, loading included.
    void Stop(BSTR param);
    // Prepares the next test; takes ownership of the four strings. The engine learns the test's identity on
    // the worker's thread in one round trip, done when Set returns.
    [[nodiscard]] HRESULT Set(BSTR language, BSTR code, BSTR config, BSTR parameters);
    // The same, with engine calls that the worker makes first in that round trip (the end of the test
    // before, the start of this one): they see the engine as the test before left it.
    [[nodiscard]] HRESULT Set(BSTR language, BSTR code, BSTR config, BSTR parameters,
                              const std::function<void(IVrTestEngine*)>& first);
    // Adds script text through the script executive's proxy, on the calling thread; takes ownership. False,
    // with nothing changed, while a request is pending (as Request).
    bool AddScriptNow(BSTR text);
    // Gives the engine the next test's identity on the worker's thread, in one round trip: an interruption
    // left over from before (a Stop that came after the last script ended, a script's own Stop) is ended,
    // then SN is put (when sn is given), TestID and an empty TestExecSession. The first failure is returned,
    // with its description in *error; the properties put before it stay.
    [[nodiscard]] HRESULT BeginTest(const std::u16string* sn, std::u16string_view testId,
                                    std::u16string* error);
    // Stores a verdict's result row (SaveResult with an empty result id and no specification) on the worker's
    // thread: the verdict is decided, so an interruption that came after it is ended first and cannot keep
    // the row out. A test that holds no session yet (its load failed, or a Stop came before its claim) claims
    // one first (ClaimTestSession): no verdict row is stored without one. The failure is returned with its
    // description in *error.
    [[nodiscard]] HRESULT StoreVerdictRow(std::u16string_view value, std::u16string_view description,
                                          LONG status, std::u16string* error);
    // Has the worker thread run work on its engine without waiting for it: after the calls queued for the
    // worker before (EngineProxy's among them) and before the next request, so for engine calls whose answers
    // the caller does not need, at no round trip each. False, and work is dropped, when the worker has ended.
    bool PostToEngine(std::function<void(IVrTestEngine*)> work);
    // Runs work on the worker thread's engine and returns its result: several engine calls for one round
    // trip. Every work posted before has run when it returns. RPC_E_DISCONNECTED when the worker has ended,
    // E_POINTER when it has no engine.
    [[nodiscard]] HRESULT CallOnEngine(const std::function<HRESULT(IVrTestEngine*)>& work);

private:
    std::shared_ptr<vrcommon::TestExecutiveShared> shared_;

public:
    BSTR& Code;
    BSTR& Language;
    BSTR& CodeFile;
    BSTR& Config;
    BSTR& Arg1;
    BSTR& Arg2;
    std::atomic<LONG>& State;
    IVrTestEngine* EngineProxy = nullptr;
    IVrTestEngine*& Engine;
    IStream*& EngineStream;
    IScrivon* ScriptExecProxy = nullptr;
    IScrivon*& ScriptExec;
    IStream*& ScriptExecStream;
    HRESULT& RequestHResult;
    BSTR& ErrorText;
    BSTR& ResultText;
    SAFEARRAY*& Languages;
    std::thread::id ThreadId;
    std::atomic<bool>& StopFlag;
    std::atomic<BSTR>& RequestName;

private:
    void StartWorker();
    void WaitForProxies();
    bool WaitForWorker(int milliseconds);
    void FinishAtOnce(HRESULT hr, const OLECHAR* text);
    HRESULT GetOutputThroughProxy(LONG* status, BSTR* text);
    HRESULT FailSet(int line, BSTR message);
    HRESULT ReadCodeFile();
    bool IsKnownLanguage() const;
    HRESULT PrepareEngine(BSTR parameters, const std::function<void(IVrTestEngine*)>& first);
    HRESULT CallOnEngineFor(const std::function<HRESULT(IVrTestEngine*)>& work, std::u16string* error);

    std::thread thread_;
};
