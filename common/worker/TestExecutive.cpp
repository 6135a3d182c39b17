// CTestExecutive on the window thread: construction and end, posting requests, reading their results, the
// engine's output, Stop and AddScriptNow; and PumpMessages.
#include "TestExecutive.h"

#include "StopWords.h"
#include "TestExecutiveShared.h"
#include "common/comtext/BstrText.h"
#include "common/trace/Trace.h"

#include "platform/base/text.h"
#include "platform/com/apartment.h"
#include "platform/com/comutil.h"
#include "platform/com/marshal.h"
#include "platform/com/waithandle.h"

#include <chrono>

using vrcommon::NewBstr;
using vrcommon::ReplaceBstr;

namespace {

constexpr int kWorkerEndWaitMs = 4000;
constexpr auto kPumpStep = std::chrono::milliseconds(8);

// Line of the trace site of an unexpected exception in AddScriptNow.
constexpr int kAddScriptNowExceptionLine = 110;

} // namespace

void PumpMessages(DWORD milliseconds) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        vr::PumpMessages(); // the calls queued now; calls they queue wait for the next step
        if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(milliseconds)) {
            return;
        }
        std::this_thread::sleep_for(kPumpStep);
    }
}

CTestExecutive::CTestExecutive()
    : shared_(std::make_shared<vrcommon::TestExecutiveShared>()), Code(shared_->Code),
      Language(shared_->Language), CodeFile(shared_->CodeFile), Config(shared_->Config), Arg1(shared_->Arg1),
      Arg2(shared_->Arg2), State(shared_->State), Engine(shared_->Engine),
      EngineStream(shared_->EngineStream), ScriptExec(shared_->ScriptExec),
      ScriptExecStream(shared_->ScriptExecStream), RequestHResult(shared_->RequestHResult),
      ErrorText(shared_->ErrorText), ResultText(shared_->ResultText), Languages(shared_->Languages),
      StopFlag(shared_->StopFlag), RequestName(shared_->RequestName) {
    TraceFunction(u"CTestExecutive::CTestExecutive()", 1);
    StartWorker();
    WaitForProxies();
}

void CTestExecutive::StartWorker() {
    // The thread holds the shared block for as long as it runs, whatever happens to this object.
    std::shared_ptr<vrcommon::TestExecutiveShared> shared = shared_;
    thread_ = std::thread([shared] { shared->ThreadProc(); });
    ThreadId = thread_.get_id();
}

void CTestExecutive::WaitForProxies() {
    HRESULT startup = S_OK;
    std::u16string error;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->changed.wait(lock, [&] { return shared_->startupDone; });
        startup = shared_->startupResult;
        error = shared_->startupError;
    }
    if (SUCCEEDED(startup)) {
        IStream* engineStream = std::exchange(EngineStream, nullptr);
        IStream* scriptStream = std::exchange(ScriptExecStream, nullptr);
        startup = CoGetInterfaceAndReleaseStream(engineStream, vr::uuidof<IVrTestEngine>(),
                                                 reinterpret_cast<void**>(&EngineProxy));
        HRESULT script = CoGetInterfaceAndReleaseStream(scriptStream, vr::uuidof<IScrivon>(),
                                                        reinterpret_cast<void**>(&ScriptExecProxy));
        startup = FAILED(startup) ? startup : script;
        if (FAILED(startup)) {
            SetTraceSite();
            TraceHResultError(startup, u"Couldn't reach the Test Engine and the Script Executive.");
            error = LastErrorText();
        }
    }
    if (FAILED(startup)) {
        FinishAtOnce(startup, error.c_str());
    }
}

// The object is unusable: the failure stands as the result of a request that is already done.
void CTestExecutive::FinishAtOnce(HRESULT hr, const OLECHAR* text) {
    RequestHResult = hr;
    ReplaceBstr(&ErrorText, vr::U16View(text));
    ReplaceBstr(&ResultText, u"");
    State.store(kDone, std::memory_order_release);
}

CTestExecutive::~CTestExecutive() {
    StopFlag.store(true, std::memory_order_release);
    SetEvent(shared_->wake);
    if (!WaitForWorker(kWorkerEndWaitMs)) {
        // A script that never returns keeps the worker: interrupt it, and give it the same time again.
        std::lock_guard lock(shared_->scriptMutex);
        if (shared_->script) {
            (void)shared_->script->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
        }
    }
    if (WaitForWorker(kWorkerEndWaitMs)) {
        thread_.join();
    } else {
        SetTraceSite();
        TraceError(u"The test execution thread didn't end; it is left to end on its own.");
        thread_.detach();
    }
    TraceFunction(u"CTestExecutive::CTestExecutive()", -1);
    if (ScriptExecProxy) {
        ScriptExecProxy->Release();
    }
    if (EngineProxy) {
        EngineProxy->Release();
    }
}

bool CTestExecutive::WaitForWorker(int milliseconds) {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                     [&] { return shared_->workerEnded; });
}

bool CTestExecutive::Request(BSTR name, BSTR first, BSTR second) {
    return Request(name, first, second, nullptr);
}

bool CTestExecutive::Request(BSTR name, BSTR first, BSTR second,
                             std::function<void(IVrTestEngine*)> afterwards) {
    bool workerReady = EngineProxy && ScriptExecProxy;
    if (State.load(std::memory_order_acquire) == kPosted) {
        // The worker may be reading the pending request's name and arguments, and its caller waits for its
        // end: a second request would take both away from them.
        SetTraceMethodName(u"CTestExecutive::Request()");
        SetTraceSite();
        TraceError(u"The request '%s' came while another one is still running; it is refused.",
                   name ? name : u"");
        SysFreeString(name);
        SysFreeString(first);
        SysFreeString(second);
        return false;
    }
    State.store(kPosted, std::memory_order_relaxed);
    if (!workerReady) {
        // No worker to run it: the request ends at once with the failure that made the object unusable.
        std::lock_guard lock(shared_->mutex);
        FinishAtOnce(FAILED(shared_->startupResult) ? shared_->startupResult : E_FAIL,
                     shared_->startupError.c_str());
    } else {
        RequestHResult = S_OK;
        ReplaceBstr(&ResultText, u"");
        ReplaceBstr(&ErrorText, u"");
        ReplaceBstr(&Arg1, vr::BstrView(first));
        ReplaceBstr(&Arg2, vr::BstrView(second));
        shared_->AfterRequest = std::move(afterwards);
        // Last: the name publishes the request (a non-null BSTR, also for the empty load request).
        BSTR previous = RequestName.exchange(NewBstr(vr::BstrView(name)), std::memory_order_acq_rel);
        SysFreeString(previous); // null: the worker clears the name before it reports a request done
        SetEvent(shared_->wake);
    }
    SysFreeString(name);
    SysFreeString(first);
    SysFreeString(second);
    return true;
}

LONG CTestExecutive::GetState() {
    LONG state = State.load(std::memory_order_acquire);
    if (state == kDone) {
        State.store(kIdle, std::memory_order_relaxed);
    }
    return state;
}

void CTestExecutive::GetResult(BSTR* out) {
    if (out) {
        *out = NewBstr(vr::BstrView(ResultText));
    }
}

void CTestExecutive::GetError(BSTR* text, HRESULT* hr) {
    if (text) {
        *text = NewBstr(vr::BstrView(ErrorText));
    }
    if (hr) {
        *hr = RequestHResult;
    }
}

bool CTestExecutive::GetOutput(LONG* status, BSTR* text) {
    if (!text) {
        return false;
    }
    *text = nullptr;
    LONG lineStatus = 0;
    HRESULT hr = S_FALSE;
    bool monitored = false;
    {
        std::lock_guard lock(shared_->monitorMutex);
        if (shared_->monitor) {
            monitored = true;
            hr = shared_->monitor->TakeOutput(&lineStatus, text);
        }
    }
    if (!monitored) {
        hr = GetOutputThroughProxy(&lineStatus, text);
    }
    if (hr != S_OK) {
        SysFreeString(*text);
        *text = nullptr;
        return false;
    }
    if (status) {
        *status = lineStatus;
    }
    return true;
}

HANDLE CTestExecutive::ProgressEvent() const {
    return shared_->progress;
}

void CTestExecutive::WaitForProgress(DWORD milliseconds) {
    HANDLE event = shared_->progress;
    if (!event) {
        PumpMessages(milliseconds);
        return;
    }
    DWORD index = 0;
    // RPC_S_CALLPENDING (the time passed) and S_OK both mean: look again.
    (void)CoWaitForMultipleHandles(COWAIT_DEFAULT, milliseconds, 1, &event, &index);
}

// Waits while the worker is busy in a script that serves no calls: only for an engine without a monitor.
HRESULT CTestExecutive::GetOutputThroughProxy(LONG* status, BSTR* text) {
    if (!EngineProxy) {
        return E_FAIL;
    }
    VARIANT lineStatus;
    VariantInit(&lineStatus);
    HRESULT hr = EngineProxy->GetOutput(&lineStatus, text);
    if (hr == S_OK) {
        VARIANT number;
        VariantInit(&number);
        *status = SUCCEEDED(VariantChangeType(&number, &lineStatus, 0, VT_I4)) ? number.lVal : 0;
    }
    (void)VariantClear(&lineStatus);
    return hr;
}

void CTestExecutive::Stop(BSTR param) {
    if (vrcommon::StopWordOf(vr::BstrView(param)) == vrcommon::StopWord::Interrupt) {
        shared_->InterruptRunningScript();
    }
    {
        std::lock_guard lock(shared_->monitorMutex);
        if (shared_->monitor) {
            (void)shared_->monitor->RequestStop(param); // it only sets the engine's flags
            return;
        }
    }
    // An engine without a monitor is reached only through its thread: the words wait there for its next
    // pump (at the latest when the request ends), and this thread goes on at once.
    if (shared_->apartment) {
        std::shared_ptr<vrcommon::TestExecutiveShared> shared = shared_;
        std::u16string words(vr::BstrView(param));
        (void)shared_->apartment->Post([shared, words] { shared->StopEngine(words); });
    }
}

bool CTestExecutive::PostToEngine(std::function<void(IVrTestEngine*)> work) {
    if (!shared_->apartment) {
        return false; // the worker never started its apartment
    }
    std::shared_ptr<vrcommon::TestExecutiveShared> shared = shared_;
    return shared_->apartment->Post([shared, work = std::move(work)] {
        if (shared->Engine) {
            work(shared->Engine);
        }
    });
}

HRESULT CTestExecutive::CallOnEngine(const std::function<HRESULT(IVrTestEngine*)>& work) {
    if (!shared_->apartment) {
        return RPC_E_DISCONNECTED;
    }
    std::shared_ptr<vrcommon::TestExecutiveShared> shared = shared_;
    return shared_->apartment->Call(
        [&shared, &work] { return shared->Engine ? work(shared->Engine) : E_POINTER; });
}

bool CTestExecutive::AddScriptNow(BSTR text) {
    if (State.load(std::memory_order_acquire) == kPosted) {
        // As Request: the pending request's result stays its own.
        SetTraceMethodName(u"CTestExecutive::AddScriptNow()");
        SetTraceSite();
        TraceError(u"Script text came while a request is still running; it is refused.");
        SysFreeString(text);
        return false;
    }
    RequestHResult = S_OK;
    ReplaceBstr(&ResultText, u"");
    ReplaceBstr(&ErrorText, u"");
    State.store(kDone, std::memory_order_release);
    try {
        HRESULT hr = ScriptExecProxy ? ScriptExecProxy->AddScript(text) : E_FAIL;
        if (FAILED(hr)) {
            _com_error error = vrcommon::ComErrorOf(hr);
            DumpComError(error);
            RequestHResult = hr;
            ReplaceBstr(&ErrorText, vr::BstrView(error.Description().GetBSTR()));
        }
    } catch (...) {
        SetTraceSiteAt(__FILE__, kAddScriptNowExceptionLine);
        TraceError(u"Exception");
        RequestHResult = E_FAIL;
        ReplaceBstr(&ErrorText, u"Exception");
    }
    SysFreeString(text);
    return true;
}
