// The control panel's main dialog without widgets: opening, loading, saving and resetting a panel, its main
// script's Preset and Reset, the refresh (on request and on the auto-refresh timer), the batch verdict and
// closing. The Qt dialog is a thin view over it.
//
// One request at a time: the worker serves one request, and the dialog waits for it while serving its
// window's events, so a timer tick, a command or a close may arrive during any wait (a refresh, Preset,
// Reset, or a panel object's Set or Initialize). The run state (vrcommon::RunState: idle, loading, running,
// closing) is kept here: while an operation runs (RunOperation, Load, and every request), a timer tick starts
// nothing, commands are refused, a second request is refused, and a close is only noted and carried out when
// the last operation has ended, so neither the worker nor a panel object is taken away under a wait.
//
// Threads: the window thread only.
#pragma once

#include "VrDev/Panolix/PanelFile.h"
#include "VrDev/Panolix/PanolixCommandLine.h"
#include "common/worker/RunState.h"
#include "platform/com/hresult.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CTestExecutive;

namespace panolix {

inline constexpr const char* kPanelTitle = "Ostrel Control Panel";

// What the window shows besides the status line.
struct PanelState {
    std::string title = kPanelTitle;
    bool loaded = false;      // Refresh, Save, the auto-refresh box and the period are enabled
    bool autoRefresh = false; // the auto-refresh box
    int refreshPeriod = 1;    // seconds
    bool processingShown = false;
};

// The window as the logic sees it; the dialog implements it.
class PanelView {
public:
    virtual ~PanelView() = default;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowState(const PanelState& state) = 0;
    // A message box with the error icon (offscreen: a line on standard error, nobody could answer it).
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // The Script Language dialog: the chosen language, or none on Cancel.
    virtual std::optional<std::string> AskLanguage(const std::vector<std::string>& languages) = 0;
    // Sizes the window to its objects.
    virtual void FitToObjects() = 0;
    // Serves the window's pending events once, then waits briefly (less when the worker has news).
    virtual void PumpMessages() = 0;
    // Asks the window to close once its event loop runs again (the close comes back through RequestClose).
    virtual void PostClose() = 0;
};

// The test-execution worker and its engine as the panel uses them.
class PanelWorker {
public:
    enum State : int { kIdle = 0, kPosted = 1, kDone = 2 };
    virtual ~PanelWorker() = default;
    // The language and code of the next load request (the empty request name).
    virtual void SetCode(const std::string& language, const std::string& code) = 0;
    virtual void Request(const std::string& name, const std::string& first, const std::string& second) = 0;
    // A kDone is reported once and turned back into kIdle.
    virtual int GetState() = 0;
    // The last request's HRESULT, with its error text when it failed (else its result).
    virtual void GetResult(std::string* text, HRESULT* hr) = 0;
    // The engine's next output line; false when none waits.
    virtual bool GetOutput(int32_t* status, std::string* text) = 0;
    virtual void PutOption(const std::string& name, const std::string& value) = 0;
    virtual bool IsOptionEnabled(const std::string& name) = 0;
    virtual void PutIdentity(const std::string& serialNumber, const std::string& session) = 0;
    // The languages the script executive lists; false when they cannot be had (*error says why).
    virtual bool ScriptLanguages(std::vector<std::string>* languages, std::string* error) = 0;
    // An event set when the worker has news (an output line or the request's end), for the window's wait;
    // null when there is none (the window then waits its usual step).
    virtual HANDLE ProgressEvent() { return nullptr; }
    // The worker itself, which the panel objects run their own requests on; null when there is none.
    virtual CTestExecutive* Executive() { return nullptr; }
};

// The panel objects of the open panel as the dialog's logic uses them (the object collection).
class PanelContent {
public:
    virtual ~PanelContent() = default;
    // Makes the panel objects of the file's /panel/objects; on failure none stay.
    virtual HRESULT LoadAll(CXmlFile& file) = 0;
    virtual HRESULT SaveAll(CXmlFile& file) = 0;
    virtual void Clear() = 0;
    // Appends every object's refresh script.
    virtual HRESULT ComposeRefreshScripts(std::u16string* script) = 0;
    // Every object shows its value; false when one could not be read.
    virtual bool ShowValues() = 0;
    virtual void SetRefreshRunning(bool running) = 0;
};

class PanelRunModel {
public:
    // Status texts the logic shows.
    static constexpr const char* kReady = "Ready";
    static constexpr const char* kRunTimeError = "Run-Time Error.";

    // batch: the /b switch. unattended: nobody can answer or close the window (offscreen), so where the
    // window would wait for the user it ends instead, with the result as it stands.
    PanelRunModel(PanelView& view, PanelWorker& worker, PanelContent& content, bool batch, bool unattended);

    const PanelState& State() const { return state_; }
    // The process exit code: kExitPassed after a successful batch run, else kExitNotPassed.
    int Result() const { return result_; }
    bool IsLoaded() const { return state_.loaded; }
    // An operation or a request runs: commands are refused meanwhile.
    bool IsBusy() const { return runState_.Busy(); }
    vrcommon::RunPhase Phase() const { return runState_.Phase(); }
    const std::string& LastErrorText() const { return lastError_; }
    const std::string& PanelPath() const { return path_; }
    const std::string& Language() const { return settings_.language; }
    const std::string& MainScript() const { return settings_.mainScript; }
    void SetMainScript(const std::string& script) { settings_.mainScript = script; }

    // The panel loaded on the next timer tick.
    void SetPendingFile(const std::string& path) { pendingFile_ = path; }
    bool Load(const std::string& path);
    // The Open command after the file dialog: loads an existing panel, or makes a new one (".pnx" appended
    // when missing) from the blank panel of the language asked for, then loads it. Refused while busy.
    bool Open(const std::string& chosenPath);
    bool Save();
    // Runs the main script's Reset (when a panel is loaded) and empties the panel.
    void Reset(bool showProcessing);
    // The Refresh command and the auto-refresh loop's step; nothing when no panel is loaded or while busy.
    void Refresh();
    // Every 200 ms.
    void OnTimerTick();
    // The user clicked the auto-refresh box.
    void OnAutoRefreshClicked(bool checked);
    void SetRefreshPeriod(int seconds);
    // A close of the window: true when it may close now (the panel is then reset); false while an operation
    // runs: the close is carried out when the last one has ended.
    bool RequestClose();

    // Runs one worker request and waits for it (the wait shared by the dialog and the panel objects). A
    // failure shows the worker's error text in a "Run-Time Error" box, sets failureStatus (when not empty)
    // and answers false; so does a request made while another one waits, which is refused (status
    // kWorkerBusy, no box). result: the request's result text when wanted.
    static constexpr const char* kWorkerBusy = "Another request is still running.";
    bool RunRequest(const std::string& name, const std::string& first, const std::string& second,
                    const std::string& failureStatus, std::string* result = nullptr);
    // Runs work as one operation: a close or a timer tick meanwhile waits for its end.
    void RunOperation(const std::function<void()>& work);
    // An object of the loaded panel could not load what it shows: its batch run is not passed.
    void NoteObjectFault() { objectFault_ = true; }

private:
    enum class RefreshOutcome { None, Ready, Failed };

    // An operation: the running phase, or loading.
    class OperationScope : public vrcommon::RunState::Scope {
    public:
        explicit OperationScope(PanelRunModel& model, vrcommon::RunPhase phase = vrcommon::RunPhase::Running)
            : Scope(model.runState_, phase) {}
    };

    bool LoadSteps(const std::string& path, bool* quiet, std::string* unreadable);
    bool CheckLanguage(bool* quiet);
    bool Preset();
    bool RefreshSteps();
    bool WaitForWorker(const std::string& failureStatus, std::string* result);
    void DrainOutput();
    void StopAutoRefresh();
    void AfterLoopStopped();
    void EndUnattended();
    void ClearPanel(bool showProcessing);
    void Status(const std::string& text) { view_.ShowStatus(text); }
    void Show() { view_.ShowState(state_); }

    PanelView& view_; // window thread, as every member
    PanelWorker& worker_;
    PanelContent& content_;
    const bool batch_;
    const bool unattended_;
    PanelState state_;
    PanelSettings settings_; // of the loaded panel; the main script and language
    PanelDocument document_;
    std::string path_;
    std::string pendingFile_;
    std::string lastError_;
    int result_ = kExitNotPassed;
    bool objectFault_ = false; // an object of the loaded panel could not load what it shows
    vrcommon::RunState runState_{u"Panolix"};
    bool waiting_ = false;     // a request is with the worker
    bool loopRan_ = false;     // the last refresh was started by the auto-refresh loop
    bool userToggled_ = false; // the user clicked the auto-refresh box since the last loop refresh
    int tickCount_ = 0;
    HRESULT lastRequestHr_ = S_OK;
    RefreshOutcome lastRefresh_ = RefreshOutcome::None;
};

} // namespace panolix
