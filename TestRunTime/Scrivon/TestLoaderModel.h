// The script executive window's logic without widgets: opening, creating, loading and saving a script,
// renaming its language, and running Preset, Test and Reset through the test-execution worker with the
// verdict stored as a result row. The Qt dialog is a thin view over it. Called only on the window thread.
//
// The run state (vrcommon::RunState: idle, loading, running, stopping, closing) is kept here, and every entry
// point asks it: the window's buttons and timer (the operator's) and the automation object's Load and Run (a
// client's, forwarded starts among them). A Load or Run that the state cannot take is refused with a reason
// (its refusal) and changes nothing: a run never nests in another. A client's serial number, Load and Run
// hold the window for that client (its turn) until it reads the verdict (TakeVerdict), a little while at most
// between two calls, so that nobody else (another client, the operator) gives a serial number, replaces the
// script or runs it between them, nor takes the verdict: the rows of a client's run carry the serial number
// that client gave. Clients are told apart by ClientId (the calling process). Stop interrupts only a
// running script; a close during a run stops it and lets the window close once it has ended, or once the
// close has waited kClosePatience, after which no more requests are made.
#pragma once

#include "common/attrvalues/AttrValue.h"
#include "common/attrvalues/AttrValueEditorModel.h"
#include "common/worker/RunState.h"
#include "platform/com/hresult.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct IVrTestEngine;

namespace scrivon {

// What the window shows.
struct TestLoaderState {
    std::string status = "No Code Loaded";
    std::string returnValue;
    std::string scriptPath;
    std::string language; // the selected language, "" when none
    bool runEnabled = false;
    bool openEnabled = true;
    bool stopEnabled = false;
    bool saveEnabled = false;
    bool serialNumberEnabled = true; // false during a client's turn: the operator's typing would misfile
};

// The window as the logic sees it; the dialog implements it, tests fake it.
class TestLoaderView {
public:
    virtual ~TestLoaderView() = default;
    virtual void ShowState(const TestLoaderState& state) = 0;
    // Appends engine output at the end of the output pane, coloured by its status.
    virtual void AppendOutput(const std::string& text, int32_t status) = 0;
    virtual void ClearOutput() = 0;
    virtual std::string SourceText() = 0;
    virtual void SetSourceText(const std::string& text) = 0;
    // Selects line (1-based) of the source pane, when it has that line, and makes it visible.
    virtual void SelectSourceLine(int line) = 0;
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // The Script Language dialog for the script at scriptPath: the chosen language, or none on Cancel.
    virtual std::optional<std::string> AskLanguage(const std::string& scriptPath) = 0;
    // Serves the window's events and queued calls once, then waits briefly (less when the worker has news).
    virtual void PumpMessages() = 0;
};

// The test-execution worker as the window uses it.
class TestRunWorker {
public:
    virtual ~TestRunWorker() = default;
    virtual void SetCode(const std::string& language, const std::string& code) = 0;
    // Gives the engine the test's identity (serial number, test id, an empty session) after ending an
    // interruption left from before; the failure with its description.
    virtual HRESULT BeginTest(const std::string& sn, const std::string& testId, std::string* error) = 0;
    // Claims the test's session unless the engine holds one already (the script may set its own as it
    // loads); the failure with its description.
    virtual HRESULT ClaimSession(std::string* error) = 0;
    // Starts a request: "" loads the code, otherwise the script method of that name. False when the worker
    // refused it (another request is pending).
    virtual bool Request(const std::string& method) = 0;
    // 0 idle, 1 pending, 2 finished (reading 2 resets it to 0).
    virtual int GetState() = 0;
    virtual void GetResult(std::string* text, HRESULT* hr) = 0;
    // The next engine output line; false when none waits.
    virtual bool GetOutput(int32_t* status, std::string* text) = 0;
    virtual void Stop(const std::string& words) = 0;
    // Stores the verdict's result row (value, description, status), also after a Stop came; the failure with
    // its description.
    virtual HRESULT StoreVerdictRow(const std::string& value, const std::string& description, int32_t status,
                                    std::string* error) = 0;
    // The engine, usable on the window thread.
    virtual IVrTestEngine* Engine() = 0;
    // An event set when the worker has news (an output line or the request's end), for the window's wait
    // between two looks; null when the worker offers none (the window then waits its usual step).
    virtual HANDLE ProgressEvent() { return nullptr; }
};

class TestLoaderModel {
public:
    static constexpr const char* kSerialNumberOptions =
        "ShowUndefined,ShowNameAsStandardStatic,DynamicallyStoreAttrValue,NotAutoSetRecentValue,"
        "MaxNumOfRecentValues=10,RegistryVarNameForRecentValues='TestLoaderSN',EditChangeDelay=0";
    // How long a close waits for a stopped run to end (its Reset included).
    static constexpr std::chrono::seconds kClosePatience{10};
    // How long a client's Load holds the script for its Run, and its Run the verdict for it to read.
    static constexpr std::chrono::seconds kClientTurn{10};
    // How many clients' verdicts are kept for them at most (clients that never read theirs).
    static constexpr size_t kUnreadVerdicts = 64;

    // Who asks: the operator (the window's buttons and timer) or an automation client.
    enum class Caller { Operator, Client };
    // Which client asks: its process id (0: this process's own clients).
    using ClientId = int64_t;

    // languages: what the script executive lists; "JScript" is selected when it is among them. clientTurn:
    // how long a client's turn waits for its next call (kClientTurn but in tests).
    TestLoaderModel(TestLoaderView& view, TestRunWorker& worker, std::vector<std::string> languages,
                    std::chrono::milliseconds clientTurn = kClientTurn);

    const TestLoaderState& State() const { return state_; }
    const std::vector<std::string>& Languages() const { return languages_; }
    AttrValueEditorModel& SerialNumberEditor() { return *serialNumberEditor_; }
    const std::string& LastErrorText() const { return lastError_; }
    // The verdict of the last run (1 passed, 2 failed, 7 error); 0 before the first run, and after a Run
    // that ran nothing.
    int32_t LastVerdict() const { return lastVerdict_; }
    vrcommon::RunPhase Phase() const { return runState_.Phase(); }

    // Loads an existing script whose language is known or asked for; otherwise clears the script path.
    // Refused (false, *refusal says why when given, nothing changed; else refusal stays as it was) unless
    // the program is idle and no client's script waits for its run.
    bool Load(const std::string& path, Caller caller = Caller::Operator, std::string* refusal = nullptr,
              ClientId client = 0);
    // The Open command after the file dialog: loads an existing file, or creates the script from the blank
    // file of its language (asked for when the name carries none) and loads it. Refused as Load is.
    bool OpenOrCreate(const std::string& chosenPath);
    // Runs Preset, Test and Reset; true when the run completed. The verdict is stored as a result row before
    // Run returns. With no script loaded nothing runs and the answer is false; while another run is in
    // progress the Run is refused (*refusal says why, as for Load).
    bool Run(Caller caller = Caller::Operator, std::string* refusal = nullptr, ClientId client = 0);
    // A client gives the serial number of its run: true when it may (the caller then types it into the
    // field), and its turn begins; refused (false, *refusal says why) during a run or another client's turn.
    bool TakeSerialNumber(ClientId client, std::string* refusal);
    // The verdict a client reads after its Run: the client's turn ends. A client's run keeps its verdict for
    // that client until it reads it, also when its turn lapsed and another client's run came meanwhile; a
    // client without a run of its own reads 0 during another client's turn, else the last verdict.
    int32_t TakeVerdict(ClientId client = 0);
    // A client is done without a run (a forwarded start brings the window up): its turn ends.
    void EndClientTurn(ClientId client = 0);
    // The window's timer: a turn whose client has not come back in time ends.
    void ExpireClientTurn();
    // Interrupts the running script; nothing while no script runs.
    void Stop();
    // Closing the window: true when it may close now. During a run the run is stopped, and the close action
    // (SetCloseAction) runs once it has ended: the window closes then.
    bool RequestClose();
    void SetCloseAction(std::function<void()> close) { runState_.SetCloseAction(std::move(close)); }
    // Writes the source pane to the script path.
    void Save();
    void SelectLanguage(const std::string& language);
    // The source pane changed.
    void SourceEdited();

private:
    bool Admits(vrcommon::RunRequest request, Caller caller, ClientId client, std::string* refusal);
    // Another client's turn (or any client's, for the operator) holds the window: why, else empty.
    std::string HeldByOther(Caller caller, ClientId client) const;
    bool LoadFile(const std::string& path);
    bool SettleLanguage(const std::string& path, bool askAllowed);
    bool RunSteps();
    bool SubmitAndWait(const std::string& method, std::string* result);
    bool Interrupted();
    void ReportError(const std::string& caption, const std::string& text);
    void DrainOutput();
    void EngineOutput(const char* line);
    void StoreVerdict(bool completed);
    bool ClientTurnHeld() const;
    void HoldClientTurn(ClientId client);
    void KeepVerdictFor(ClientId client);
    void Show();

    TestLoaderView& view_; // window thread, as every member
    TestRunWorker& worker_;
    std::vector<std::string> languages_;
    TestLoaderState state_;
    vrcommon::RunState runState_{u"Scrivon"};
    std::string lastError_;
    int32_t lastVerdict_ = 0;
    bool abandoned_ = false; // the run gave up waiting for a request after a close: no request follows
    bool unclaimed_ = false; // the run's session couldn't be claimed: it stores no row
    std::optional<std::chrono::steady_clock::time_point> clientTurnEnds_;
    ClientId turnHolder_ = 0; // whose turn clientTurnEnds_ is, while it is set
    std::chrono::milliseconds clientTurn_;
    std::map<ClientId, int32_t> unreadVerdicts_; // each client's run's verdict, until that client reads it
    // Who gave the serial number the field holds: a client's process, or 0 for the operator's (typed, or
    // the command line's). A client's run never takes a serial number another client gave.
    ClientId serialNumberGiver_ = 0;
    CAttrValue serialNumber_;
    std::unique_ptr<AttrValueEditorModel> serialNumberEditor_;
};

} // namespace scrivon
