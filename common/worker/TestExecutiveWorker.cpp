// The test-execution worker's thread: its startup in its own apartment, the request loop, and its end.
#include "TestExecutiveShared.h"
#include "common/comtext/BstrText.h"
#include "common/trace/Trace.h"

#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/comutil.h"
#include "platform/com/marshal.h"
#include "platform/com/waithandle.h"

namespace vrcommon {

namespace {

// The contexts the worker creates its servers in: in-process server and handler, local and remote server.
constexpr DWORD kServerContexts = 0x17;
// How long the idle worker waits for a request before it looks at its stop flag again.
constexpr DWORD kIdleWaitMs = 10;
// The source line the trace site of a language list that cannot be read names.
constexpr int kLanguagesFailureLine = 166;

} // namespace

_com_error ComErrorOf(HRESULT hr) {
    vr::ComPtr<IErrorInfo> info;
    (void)GetErrorInfo(0, info.Put());
    return _com_error(hr, info.Get());
}

TestExecutiveShared::TestExecutiveShared()
    : wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      progress(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

TestExecutiveShared::~TestExecutiveShared() {
    for (BSTR* text : {&Code, &Language, &CodeFile, &Config, &Arg1, &Arg2, &ErrorText, &ResultText}) {
        SysFreeString(*text);
    }
    SysFreeString(RequestName.exchange(nullptr));
    if (Languages) {
        (void)SafeArrayUnlock(Languages);
        (void)SafeArrayDestroy(Languages);
    }
    // Streams nobody took (a constructor that gave up) hold references of their own.
    for (IStream* stream : {EngineStream, ScriptExecStream}) {
        if (stream) {
            stream->Release();
        }
    }
    for (HANDLE event : {wake, progress}) {
        if (event) {
            CloseHandle(event);
        }
    }
}

void TestExecutiveShared::ThreadProc() {
    if (FAILED(CoInitialize(nullptr))) {
        FinishStartup(CO_E_NOTINITIALIZED, u"Couldn't initialize COM on the test execution thread.");
        std::lock_guard lock(mutex);
        workerEnded = true;
        changed.notify_all();
        return;
    }
    TraceFunction(u"CTestExecutive::ThreadProc()", 1);
    if (Startup()) {
        RunLoop();
    }
    Shutdown();
    TraceFunction(u"CTestExecutive::ThreadProc()", -1);
    CoUninitialize();
    std::lock_guard lock(mutex);
    workerEnded = true;
    changed.notify_all();
}

void TestExecutiveShared::FinishStartup(HRESULT hr, const std::u16string& error) {
    std::lock_guard lock(mutex);
    startupResult = hr;
    startupError = error;
    startupDone = true;
    changed.notify_all();
}

// Creates the engine and the script executive, reads the languages and marshals both interfaces for the
// window thread. A failure ends the constructor's wait with its message.
bool TestExecutiveShared::Startup() {
    SetTraceMethodName(u"CTestExecutive::ThreadProc()");
    HRESULT hr = CoCreateInstance(CLSID_TestEngine, nullptr, kServerContexts, vr::uuidof<IVrTestEngine>(),
                                  reinterpret_cast<void**>(&Engine));
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't create the Test Engine.");
        FinishStartup(hr, LastErrorText());
        return false;
    }
    {
        // An engine in another process has no monitor: Stop and GetOutput then go through its proxy.
        std::lock_guard lock(monitorMutex);
        if (SUCCEEDED(Engine->QueryInterface(vr::uuidof<IVrTestEngineMonitor>(), monitor.PutVoid())) &&
            progress) {
            (void)monitor->SetOutputSignal(progress); // it only keeps the handle
        }
    }
    apartment = vr::ThisApartment();
    vr::ComPtr<IUnknown> unknown;
    hr = CoCreateInstance(CLSID_TestScriptExecutive, nullptr, kServerContexts, IID_IUnknown,
                          unknown.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = unknown->QueryInterface(vr::uuidof<IScrivon>(), reinterpret_cast<void**>(&ScriptExec));
    }
    if (SUCCEEDED(hr)) {
        hr = ScriptExec->Init(Engine);
    }
    if (FAILED(hr)) {
        std::u16string reason(vr::U16View(ComErrorOf(hr).Description().GetBSTR()));
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't create the Script Executive. %s", reason.c_str());
        FinishStartup(hr, LastErrorText());
        return false;
    }
    VARIANT languages;
    VariantInit(&languages);
    if (SUCCEEDED(ScriptExec->get_ScriptLanguages(&languages)) && languages.vt == (VT_ARRAY | VT_VARIANT) &&
        SUCCEEDED(SafeArrayCopy(languages.parray, &Languages))) {
        (void)SafeArrayLock(Languages);
    } else {
        SetTraceSiteAt("TestExecutive", kLanguagesFailureLine);
        TraceError(u"Vornic Error: A%d (%hs)", kLanguagesFailureLine, "TestExecutive");
    }
    (void)VariantClear(&languages);
    hr = CoMarshalInterThreadInterfaceInStream(vr::uuidof<IVrTestEngine>(), Engine, &EngineStream);
    if (SUCCEEDED(hr)) {
        hr = CoMarshalInterThreadInterfaceInStream(vr::uuidof<IScrivon>(), ScriptExec, &ScriptExecStream);
    }
    if (FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr,
                          u"Couldn't hand the Test Engine and the Script Executive to the window thread.");
        FinishStartup(hr, LastErrorText());
        return false;
    }
    FinishStartup(S_OK, u"");
    return true;
}

void TestExecutiveShared::Shutdown() {
    {
        std::lock_guard lock(scriptMutex);
        script = nullptr;
    }
    {
        std::lock_guard lock(monitorMutex);
        if (monitor) {
            // The engine may outlive this block (a script kept it): it must not set the event closed with it.
            (void)monitor->SetOutputSignal(nullptr); // it only drops the handle
        }
        monitor = nullptr;
    }
    if (ScriptExec) {
        (void)ScriptExec->Close();
        ScriptExec->Release();
        ScriptExec = nullptr;
    }
    if (Engine) {
        Engine->Release();
        Engine = nullptr;
    }
}

// Waits for requests, serving the calls that come through the two proxies meanwhile.
void TestExecutiveShared::RunLoop() {
    while (!StopFlag.load(std::memory_order_acquire)) {
        BSTR name = RequestName.load(std::memory_order_acquire);
        if (!name) {
            DWORD index = 0;
            // Any of one handle: the plain wait, which claims without looking first.
            (void)CoWaitForMultipleHandles(COWAIT_DEFAULT, kIdleWaitMs, 1, &wake, &index);
            continue;
        }
        // Calls queued before the request (Stop words among them) run before it, and those queued while it
        // ran before it is reported done, so the engine's state always follows the window thread's order.
        (void)vr::PumpMessages(); // the number of calls run does not matter
        HandleRequest(name);
        (void)vr::PumpMessages(); // as above
        SysFreeString(RequestName.exchange(nullptr, std::memory_order_acq_rel));
        State.store(2, std::memory_order_release);
        (void)SetEvent(progress); // a missing event leaves the window thread its time limit
    }
}

void TestExecutiveShared::StopEngine(const std::u16string& words) {
    if (!Engine) {
        return; // the worker has ended: there is nothing left to stop
    }
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = NewBstr(words);
    (void)Engine->Stop(text); // as the blocking call through the proxy did, its outcome is not reported
    (void)VariantClear(&text);
}

} // namespace vrcommon
