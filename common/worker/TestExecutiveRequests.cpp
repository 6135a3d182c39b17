// The test-execution worker's requests: load, method calls, script text and expressions, and control panels
// run as programs.
#include "TestExecutiveShared.h"
#include "common/comtext/BstrText.h"
#include "common/trace/Trace.h"

#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/com/typeinfo.h"

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace vrcommon {

namespace {

// The control-panel program; it runs a panel file and, in batch mode ("/b"), tells its verdict by its exit
// code: 1 passed, anything else failed.
constexpr const char16_t* kControlPanelProgram = u"C:\\Ostrel\\bin\\Panolix.exe";
constexpr int kPanelPassed = 1;

// Source lines the trace sites of unexpected exceptions name.
constexpr int kLoadExceptionLine = 214;
constexpr int kRequestExceptionLine = 301;

bool IsControlPanel(BSTR language) {
    return vr::EqualsNoCase(vr::BstrView(language), u"ControlPanel");
}

bool Is(BSTR name, std::u16string_view what) {
    return vr::EqualsNoCase(vr::BstrView(name), what);
}

std::u16string DisplayText(const VARIANT* value) {
    BSTR text = VariantToTextBstr(value);
    std::u16string result(vr::BstrView(text));
    SysFreeString(text);
    return result;
}

// Starts the program with its arguments in a process group of its own (the group's id is its process id),
// which ends with the thread that started it: the program and whatever it starts are signalled as one, and a
// parent that dies however it dies (SIGKILL included) leaves none of them running. Its process id, or -1.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls until exec: the parent has other threads.
        (void)setpgid(0, 0);
        (void)prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127); // the parent died before the line above could see it
        }
        execve(program.c_str(), argv.data(), environ);
        _exit(127);
    }
    if (child > 0) {
        (void)setpgid(child, child); // the child's own call may not have run yet; either makes the group
    }
    return child > 0 ? child : -1;
}

// Ends the program's process group: the program and what it started.
void EndProgramGroup(pid_t child) {
    (void)kill(-child, SIGTERM); // cannot fail but for a group already gone, which is fine
}

// Waits until the child has ended without reaping it, so that its process id stays its own (a zombie)
// until ReapProgram; false when it cannot be waited for.
bool AwaitProgramEnd(pid_t child) {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// The ended child's exit code; -1 when it did not exit by itself (a signal ended it).
int ReapProgram(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

void TestExecutiveShared::HandleRequest(BSTR name) {
    bool load = SysStringLen(name) == 0;
    SetTraceMethodName(u"CTestExecutive::ThreadProc()");
    try {
        bool reset = false;
        std::function<void(IVrTestEngine*)> afterwards = std::move(AfterRequest);
        AfterRequest = nullptr; // a moved-from function is left in no stated state
        BeginRequest();
        HRESULT hr = RunRequest(name, &reset);
        EndRequest();
        KeepScriptEngine();
        if (FAILED(hr)) {
            ReportFailure(hr);
        } else if (reset) {
            if (HRESULT ended = Engine->EndExecution(); FAILED(ended)) {
                ReportFailure(ended);
            }
        }
        if (SUCCEEDED(RequestHResult) && afterwards) {
            afterwards(Engine);
        }
    } catch (const _com_error& error) {
        EndRequest();
        DumpComError(error);
        RequestHResult = error.Error() < 0 ? error.Error() : E_FAIL;
        ReplaceBstr(&ErrorText, vr::BstrView(error.Description().GetBSTR()));
    } catch (...) {
        EndRequest();
        SetTraceSiteAt(__FILE__, load ? kLoadExceptionLine : kRequestExceptionLine);
        TraceError(u"Exception");
        RequestHResult = E_FAIL;
        ReplaceBstr(&ErrorText, u"Exception");
    }
}

// A failed call of the request: reported as the COM exception it stands for.
void TestExecutiveShared::ReportFailure(HRESULT hr) {
    _com_error error = ComErrorOf(hr);
    DumpComError(error);
    RequestHResult = hr < 0 ? hr : E_FAIL;
    ReplaceBstr(&ErrorText, vr::BstrView(error.Description().GetBSTR()));
}

HRESULT TestExecutiveShared::RunRequest(BSTR name, bool* reset) {
    if (SysStringLen(name) == 0) {
        return IsControlPanel(Language) ? S_OK : LoadScript();
    }
    if (Is(name, u"_evaluate")) {
        return EvaluateToResult(Arg1);
    }
    if (Is(name, u"_execute")) {
        if (SysStringLen(Arg1) > 0) {
            if (HRESULT hr = ScriptExec->AddScript(Arg1); FAILED(hr)) {
                return hr;
            }
        }
        return SysStringLen(Arg2) > 0 ? EvaluateToResult(Arg2) : S_OK;
    }
    *reset = Is(name, u"Reset");
    if (IsControlPanel(Language)) {
        if (Is(name, u"Test")) {
            RunControlPanel();
        }
        return S_OK;
    }
    return ExecuteMethod(name);
}

HRESULT TestExecutiveShared::LoadScript() {
    if (HRESULT hr = ScriptExec->put_ScriptLanguage(Language); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = ScriptExec->ClearScript(); FAILED(hr)) {
        return hr;
    }
    // The code runs as it is added, so the fresh script engine is made first, with no code, and kept for
    // Stop: a script that loops in its top-level code can be interrupted too.
    BSTR nothing = NewBstr(u"");
    HRESULT made = ScriptExec->AddScript(nothing);
    SysFreeString(nothing);
    if (FAILED(made)) {
        return made;
    }
    KeepScriptEngine();
    if (HRESULT hr = ScriptExec->AddScript(Code); FAILED(hr)) {
        return hr;
    }
    if (SysStringLen(Config) > 0) {
        if (HRESULT hr = ScriptExec->AddScript(Config); FAILED(hr)) {
            return hr;
        }
    }
    vr::OwnedVariant ignored;
    BSTR none = NewBstr(u"");
    HRESULT hr = ScriptExec->Execute(none, ignored.Put());
    SysFreeString(none);
    return hr;
}

HRESULT TestExecutiveShared::EvaluateToResult(BSTR expression) {
    vr::OwnedVariant value;
    if (HRESULT hr = ScriptExec->Evaluate(expression, value.Put()); FAILED(hr)) {
        return hr;
    }
    ReplaceBstr(&ResultText, DisplayText(&value.Get()));
    return S_OK;
}

// A method the script does not define is no failure: the result stays empty.
HRESULT TestExecutiveShared::ExecuteMethod(BSTR name) {
    VARIANT_BOOL available = VARIANT_FALSE;
    if (HRESULT hr = ScriptExec->IsMethodAvailable(name, &available); FAILED(hr)) {
        return hr;
    }
    if (available != VARIANT_TRUE) {
        return S_OK;
    }
    vr::OwnedVariant value;
    if (HRESULT hr = ScriptExec->Execute(name, value.Put()); FAILED(hr)) {
        return hr;
    }
    ReplaceBstr(&ResultText, DisplayText(&value.Get()));
    return S_OK;
}

// The panel file goes to the program as one argument, so a path with blanks stays whole.
void TestExecutiveShared::RunControlPanel() {
    std::string program = vr::MapWindowsPath(std::string(vr::ToUtf8(kControlPanelProgram)));
    std::string panel = vr::MapWindowsPath(vr::BstrToUtf8(CodeFile));
    pid_t child = StartProgram(program, {panel, "/b"});
    int exitCode = -1;
    if (child > 0) {
        {
            std::lock_guard lock(scriptMutex);
            panelProgram = child;
            if (interruptRequested) {
                EndProgramGroup(child);
            }
        }
        bool ended = AwaitProgramEnd(child);
        {
            std::lock_guard lock(scriptMutex);
            panelProgram = 0; // no Stop signals it from here on, so reaping cannot free its id under one
        }
        exitCode = ended ? ReapProgram(child) : -1;
    }
    ReplaceBstr(&ResultText, exitCode == kPanelPassed ? u"true" : u"false");
}

// The engine of the script now loaded, kept for Stop to interrupt from the window thread; an interrupt that
// came while the request ran and before this engine was made reaches it now.
void TestExecutiveShared::KeepScriptEngine() {
    vr::ComPtr<IUnknown> unknown;
    vr::ComPtr<IActiveScript> engine;
    if (SUCCEEDED(ScriptExec->get_ScriptEngine(unknown.Put())) && unknown) {
        (void)unknown.As(&engine);
    }
    std::lock_guard lock(scriptMutex);
    if (script.Get() != engine.Get()) {
        script = engine;
        if (script && requestRunning && interruptRequested) {
            (void)script->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0); // it only sets a flag
        }
    }
}

void TestExecutiveShared::BeginRequest() {
    std::lock_guard lock(scriptMutex);
    requestRunning = true;
    interruptRequested = false;
}

void TestExecutiveShared::EndRequest() {
    std::lock_guard lock(scriptMutex);
    requestRunning = false;
}

void TestExecutiveShared::InterruptRunningScript() {
    std::lock_guard lock(scriptMutex);
    if (!requestRunning) {
        return;
    }
    interruptRequested = true;
    if (panelProgram > 0) {
        // A panel's own refresh loop may never end; the operator's Stop ends the program and what it started,
        // which fails the test.
        EndProgramGroup(panelProgram);
    }
    if (script) {
        (void)script->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0); // it only sets a flag
    }
}

} // namespace vrcommon
