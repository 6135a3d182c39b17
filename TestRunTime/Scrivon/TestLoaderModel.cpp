// The script executive window's logic: scripts in and out of files, the language, and the run with its
// verdict.
#include "TestRunTime/Scrivon/TestLoaderModel.h"

#include "TestRunTime/Corvant/include/corvant.h"
#include "TestRunTime/Scrivon/RunVerdict.h"
#include "TestRunTime/Scrivon/ScriptFileName.h"
#include "common/config/VrConfigData.h"
#include "common/trace/Trace.h"
#include "platform/base/file_read.h"
#include "platform/base/file_write.h"
#include "platform/base/paths.h"
#include "platform/com/comutil.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace scrivon {
namespace {

constexpr const char* kBeginLine =
    "-------------------------------------------- BEGIN ------------------------------------------\n";
constexpr const char* kEndLine =
    "--------------------------------------------- END -------------------------------------------\n";
// The output status of the line that says a named script file does not exist: 7, an error (red).
constexpr int32_t kMissingFileStatus = 7;

// Anything at the path, also what is no regular file: loading it then says why it cannot be read.
bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

// The blank script of a language, from the configuration item ScriptBlankFile ("%1" = the language); a
// relative name is taken in the program folder.
std::string BlankFileFor(const std::string& language) {
    BSTR item = nullptr;
    std::string blank;
    if (CVrConfigData().GetItem("ScriptBlankFile", &item, true)) {
        blank = _bstr_t(item, false).utf8();
    }
    for (size_t at = blank.find("%1"); at != std::string::npos; at = blank.find("%1", at + language.size())) {
        blank.replace(at, 2, language);
    }
    if (blank.empty()) {
        return blank;
    }
    std::string mapped = vr::MapWindowsPath(blank);
    // A bare name (the built-in default) lies in the program folder, never in whatever folder is current.
    return mapped.front() == '/' ? mapped : vr::ProgramFolder() + "/" + mapped;
}

// Copies the blank file to a new script (an empty one without a blank); never overwrites an existing file,
// nor makes one through a link in its place.
// 0 when the script file is there, else the error number of what failed.
int CreateScriptFile(const std::string& blank, const std::string& path) {
    std::string text;
    if (!FileExists(blank)) {
        if (FileExists(path)) {
            return 0;
        }
    } else if (!vr::ReadInputFile(blank, &text)) {
        return errno != 0 ? errno : EIO;
    }
    return vr::WriteFileWhole(path, text, {vr::FileWriteMode::CreateNew, {}}).error;
}

} // namespace

TestLoaderModel::TestLoaderModel(TestLoaderView& view, TestRunWorker& worker,
                                 std::vector<std::string> languages, std::chrono::milliseconds clientTurn)
    : view_(view), worker_(worker), languages_(std::move(languages)), clientTurn_(clientTurn),
      serialNumber_("SN", kSerialNumberOptions) {
    std::sort(languages_.begin(), languages_.end());
    if (std::find(languages_.begin(), languages_.end(), "JScript") != languages_.end()) {
        state_.language = "JScript";
    }
    serialNumberEditor_ = std::make_unique<AttrValueEditorModel>(serialNumber_, "");
    Show();
}

bool TestLoaderModel::SettleLanguage(const std::string& path, bool askAllowed) {
    if (std::optional<std::string> part = LanguagePart(path, languages_)) {
        state_.language = *part;
        return true;
    }
    if (!askAllowed) {
        return false;
    }
    std::optional<std::string> chosen = view_.AskLanguage(path);
    if (!chosen) {
        return false;
    }
    state_.language = *chosen;
    return true;
}

// The run state's answer to a request, with the client's turn for a Load or Run: a refusal is kept and
// traced. A refusal of a call nested in a run is its own: it never reaches the run's caller.
bool TestLoaderModel::Admits(vrcommon::RunRequest request, Caller caller, ClientId client,
                             std::string* refusal) {
    std::string why;
    if (runState_.Takes(request, &why)) {
        why = HeldByOther(caller, client);
        if (why.empty()) {
            return true;
        }
    }
    SetTraceMethodName(u"TestLoaderModel::Admits()");
    SetTraceSite();
    TraceInfo(u"Refused: %hs", why.c_str());
    if (refusal) {
        *refusal = why;
    }
    return false;
}

std::string TestLoaderModel::HeldByOther(Caller caller, ClientId client) const {
    if (!ClientTurnHeld() || (caller == Caller::Client && client == turnHolder_)) {
        return "";
    }
    std::string holder = turnHolder_ > 0 ? " (process " + std::to_string(turnHolder_) + ")" : "";
    return "Another client" + holder +
           " holds the script executive for its run: nothing else can be loaded, run or given a serial "
           "number until it has read its verdict.";
}

bool TestLoaderModel::Load(const std::string& path, Caller caller, std::string* refusal, ClientId client) {
    if (!Admits(vrcommon::RunRequest::Load, caller, client, refusal)) {
        return false;
    }
    vrcommon::RunState::Scope loading(runState_, vrcommon::RunPhase::Loading);
    bool loaded = LoadFile(path);
    if (loaded && caller == Caller::Client) {
        HoldClientTurn(client);
    }
    return loaded;
}

bool TestLoaderModel::TakeSerialNumber(ClientId client, std::string* refusal) {
    if (runState_.Busy()) {
        *refusal = "A run is in progress: the serial number can't change until it has ended.";
        SetTraceMethodName(u"TestLoaderModel::TakeSerialNumber()");
        SetTraceSite();
        TraceInfo(u"Refused: %hs", refusal->c_str());
        return false;
    }
    if (!Admits(vrcommon::RunRequest::Load, Caller::Client, client, refusal)) {
        return false;
    }
    HoldClientTurn(client);
    serialNumberGiver_ = client;
    return true;
}

bool TestLoaderModel::LoadFile(const std::string& path) {
    if (FileExists(path) && SettleLanguage(path, true)) {
        std::string text;
        vr::FileReadResult read = vr::ReadInputFile(path, &text);
        if (read) {
            view_.SetSourceText(text);
            state_.scriptPath = path;
            view_.ClearOutput();
            state_.runEnabled = true;
            state_.saveEnabled = false;
            state_.status = "Ready";
            Show();
            return true;
        }
        view_.ShowError("File Access Error", "Couldn't open source file: " + read.reason);
    }
    state_.scriptPath.clear();
    state_.returnValue.clear(); // the last run's, of a script no longer loaded
    view_.ClearOutput();
    if (!path.empty() && !FileExists(path)) {
        // Whoever named the file (a client, the command line) learns here why nothing was loaded.
        view_.AppendOutput("Couldn't open source file: '" + path + "' does not exist.\n", kMissingFileStatus);
    }
    state_.runEnabled = false;
    state_.saveEnabled = false;
    state_.status = "No Code Loaded";
    Show();
    return false;
}

bool TestLoaderModel::OpenOrCreate(const std::string& chosenPath) {
    std::string refusal;
    if (!Admits(vrcommon::RunRequest::Load, Caller::Operator, 0, &refusal)) {
        view_.ShowError("Error", refusal);
        return false;
    }
    vrcommon::RunState::Scope loading(runState_, vrcommon::RunPhase::Loading);
    if (FileExists(chosenPath)) {
        state_.scriptPath = chosenPath;
        return LoadFile(chosenPath);
    }
    std::string path = WithScriptExtension(chosenPath);
    if (!SettleLanguage(path, true)) {
        return false;
    }
    path = ScriptPathFor(path, state_.language, languages_, true, true);
    state_.scriptPath = path;
    Show();
    if (int error = CreateScriptFile(BlankFileFor(state_.language), path); error != 0) {
        SetTraceMethodName(u"TestLoaderModel::OpenOrCreate()");
        SetTraceSite();
        TraceError(u"Couldn't create file '%hs'. GetLastError() returns '%d'.", path.c_str(), error);
        view_.ShowError("Error", "Couldn't create file '" + path + "'");
        return false;
    }
    return LoadFile(path);
}

void TestLoaderModel::SelectLanguage(const std::string& language) {
    std::string previous = state_.scriptPath;
    if (!previous.empty() && LanguagePart(previous, languages_)) {
        state_.scriptPath = ScriptPathFor(previous, language, languages_, false, false);
    }
    state_.language = language;
    Show();
}

void TestLoaderModel::SourceEdited() {
    state_.saveEnabled = true;
    Show();
}

void TestLoaderModel::Save() {
    if (state_.scriptPath.empty()) {
        return;
    }
    // Replaced whole (platform/base/file_write.h): a failed save leaves the file as it was.
    vr::FileWriteResult saved = vr::WriteFileWhole(state_.scriptPath, view_.SourceText());
    if (!saved) {
        view_.ShowError("File Access Error", "Couldn't save file: " + saved.why);
        return;
    }
    state_.saveEnabled = false;
    Show();
}

void TestLoaderModel::Stop() {
    std::string nothing;
    if (!runState_.Takes(vrcommon::RunRequest::Stop, &nothing)) {
        return; // no script runs: an interruption now would fail the next run instead
    }
    runState_.MoveTo(vrcommon::RunPhase::Stopping);
    worker_.Stop("");
    state_.stopEnabled = false; // a stopping run takes no second Stop
    Show();
}

bool TestLoaderModel::RequestClose() {
    // A second close finds the run stopped already: its Reset must run.
    bool running = runState_.Phase() == vrcommon::RunPhase::Running;
    if (runState_.RequestClose(kClosePatience)) {
        return true;
    }
    if (running) {
        worker_.Stop(""); // as Stop: the script ends at its next engine call, then Reset runs
    }
    state_.status = "Closing ...";
    Show();
    return false;
}

bool TestLoaderModel::ClientTurnHeld() const {
    return clientTurnEnds_ && std::chrono::steady_clock::now() < *clientTurnEnds_;
}

void TestLoaderModel::HoldClientTurn(ClientId client) {
    bool began = !clientTurnEnds_;
    clientTurnEnds_ = std::chrono::steady_clock::now() + clientTurn_;
    turnHolder_ = client;
    if (began) {
        Show(); // the field is the client's now
    }
}

void TestLoaderModel::EndClientTurn(ClientId client) {
    if (clientTurnEnds_ && client == turnHolder_) {
        clientTurnEnds_.reset();
        Show();
    }
}

void TestLoaderModel::ExpireClientTurn() {
    // A client's run holds the window however long it takes; its turn is renewed as the run ends.
    if (clientTurnEnds_ && !ClientTurnHeld() && !runState_.Busy()) {
        clientTurnEnds_.reset();
        Show();
    }
}

int32_t TestLoaderModel::TakeVerdict(ClientId client) {
    if (auto own = unreadVerdicts_.find(client); own != unreadVerdicts_.end()) {
        int32_t verdict = own->second;
        unreadVerdicts_.erase(own);
        EndClientTurn(client);
        return verdict;
    }
    if (!HeldByOther(Caller::Client, client).empty()) {
        return 0; // another client's verdict stays its own
    }
    EndClientTurn(client);
    return lastVerdict_;
}

void TestLoaderModel::KeepVerdictFor(ClientId client) {
    // Clients that never read their verdict leave theirs here: the lowest process id's goes first.
    if (unreadVerdicts_.size() >= kUnreadVerdicts && !unreadVerdicts_.contains(client)) {
        unreadVerdicts_.erase(unreadVerdicts_.begin());
    }
    unreadVerdicts_[client] = lastVerdict_;
}

void TestLoaderModel::Show() {
    state_.serialNumberEnabled = !clientTurnEnds_;
    view_.ShowState(state_);
}

void TestLoaderModel::DrainOutput() {
    int32_t status = 0;
    std::string text;
    while (worker_.GetOutput(&status, &text)) {
        view_.AppendOutput(text, status);
    }
}

// While closing the window is going or gone: the failure is traced, not shown in a box nobody would see.
void TestLoaderModel::ReportError(const std::string& caption, const std::string& text) {
    if (runState_.Phase() == vrcommon::RunPhase::Closing) {
        SetTraceMethodName(u"TestLoaderModel::ReportError()");
        SetTraceSite();
        TraceError(u"%hs: %hs", caption.c_str(), text.c_str());
        return;
    }
    view_.ShowError(caption, text);
}

// A Stop (or a close) came before the request could start: it is not made, as the engine would have
// interrupted it.
bool TestLoaderModel::Interrupted() {
    lastError_ = "Test '" + TestIdOf(state_.scriptPath) + "' is interrupted by the User.";
    ReportError("Run-Time Error", lastError_);
    worker_.Stop("continue"); // as after a failed request: Reset still runs
    return false;
}

bool TestLoaderModel::SubmitAndWait(const std::string& method, std::string* result) {
    if (abandoned_) {
        return false;
    }
    if (runState_.Phase() != vrcommon::RunPhase::Running && method != "Reset") {
        return Interrupted();
    }
    if (!worker_.Request(method)) {
        lastError_ = "The test execution thread is still busy with another request.";
        ReportError("Run-Time Error", lastError_);
        return false;
    }
    for (;;) {
        DrainOutput();
        if (worker_.GetState() == 2) {
            break;
        }
        if (runState_.CloseOverdue()) {
            // The script does not end: the window closes without it, and nothing more is asked of the worker.
            abandoned_ = true;
            lastError_ = "The script didn't end after the window was closed; it was left running.";
            ReportError("Run-Time Error", lastError_);
            return false;
        }
        view_.PumpMessages();
    }
    std::string text;
    HRESULT hr = S_OK;
    worker_.GetResult(&text, &hr);
    if (SUCCEEDED(hr)) {
        if (result) {
            *result = text;
        }
        return true;
    }
    lastError_ = text;
    if (int line = ErrorLineOf(text); line - 1 >= 0) {
        view_.SelectSourceLine(line);
    }
    ReportError("Run-Time Error", text);
    // The failure is reported: a Stop that caused it no longer holds, so Reset still runs and the run's
    // result row is still stored.
    worker_.Stop("continue");
    return false;
}

void TestLoaderModel::EngineOutput(const char* line) {
    _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
    // A frame line the engine refuses (an interrupted engine) costs the run nothing.
    (void)worker_.Engine()->Output(_bstr_t(line), missing);
}

bool TestLoaderModel::Run(Caller caller, std::string* refusal, ClientId client) {
    if (!Admits(vrcommon::RunRequest::Run, caller, client, refusal)) {
        return false; // the run in progress keeps its verdict
    }
    if (caller == Caller::Operator) {
        serialNumberGiver_ = 0; // the operator's run has the field as the operator sees it
    } else if (serialNumberGiver_ != 0 && serialNumberGiver_ != client) {
        // Its rows would be filed under a device another client tested.
        *refusal = "The serial number in the SN field was given by another client (process " +
                   std::to_string(serialNumberGiver_) + "): give this run's own serial number first.";
        SetTraceMethodName(u"TestLoaderModel::Run()");
        SetTraceSite();
        TraceInfo(u"Refused: %hs", refusal->c_str());
        return false;
    }
    // Nothing loaded: an empty source never counts as a passed test.
    lastVerdict_ = 0;
    if (caller == Caller::Client) {
        unreadVerdicts_.erase(client); // an earlier run's verdict is not this one's
    }
    if (!state_.runEnabled) {
        return false;
    }
    vrcommon::RunState::Scope running(runState_, vrcommon::RunPhase::Running);
    abandoned_ = false;
    unclaimed_ = false;
    lastError_.clear();
    // The row keeps no recent value by itself (NotAutoSetRecentValue, as it stores on every keystroke): the
    // serial number a run starts with is the one that joins them.
    if (SUCCEEDED(serialNumberEditor_->Store().hr) &&
        serialNumberEditor_->Combo().CurrentText() != CAttrValue::kUndefined) {
        serialNumberEditor_->Combo().AddRecentValue();
    }
    state_.runEnabled = false;
    state_.openEnabled = false;
    state_.stopEnabled = true;
    state_.returnValue.clear();
    state_.status = "Processing ...";
    Show();

    bool completed = RunSteps();
    DrainOutput();
    state_.runEnabled = true;
    state_.openEnabled = true;
    state_.stopEnabled = false;
    if (!completed) {
        state_.returnValue = "Error";
    }
    state_.status = runState_.Phase() == vrcommon::RunPhase::Closing ? "Closing ..." : "Ready";
    Show();
    StoreVerdict(completed);
    if (caller == Caller::Client) {
        HoldClientTurn(client); // for the verdict the client reads next
        KeepVerdictFor(client);
    }
    return completed;
}

// The load, Preset, Test and Reset with the engine prepared for them; true when the run completed.
bool TestLoaderModel::RunSteps() {
    IVrTestEngine* engine = worker_.Engine();
    if (state_.language.empty() || !engine) {
        return false;
    }
    worker_.SetCode(state_.language, view_.SourceText());
    std::string error;
    if (FAILED(worker_.BeginTest(serialNumber_.GetValueText(), TestIdOf(state_.scriptPath), &error))) {
        // Rows stored under the run before's identity would be misfiled: the run ends here.
        lastError_ = error;
        ReportError("Run-Time Error", error);
        return false;
    }
    if (!SubmitAndWait("", nullptr)) {
        return false;
    }
    VARIANT_BOOL framed = VARIANT_FALSE;
    // An option that cannot be read leaves the run unframed.
    (void)engine->IsOptionEnabled(_bstr_t(u"EngineOutput"), &framed);
    if (framed) {
        EngineOutput(kBeginLine);
    }
    std::string claimError;
    // A Stop that failed the claim ends the run as a Stop does; its verdict row claims the session as it is
    // stored.
    unclaimed_ =
        FAILED(worker_.ClaimSession(&claimError)) && runState_.Phase() == vrcommon::RunPhase::Running;
    if (unclaimed_) {
        // Its rows would carry no session: the script runs no further.
        lastError_ =
            "The session of '" + TestIdOf(state_.scriptPath) + "' couldn't be claimed: " + claimError;
        ReportError("Run-Time Error", lastError_);
    }
    bool completed = false;
    std::string returned;
    if (!unclaimed_ && SubmitAndWait("Preset", nullptr)) {
        bool tested = SubmitAndWait("Test", &returned);
        if (tested) {
            state_.returnValue = returned;
        }
        bool reset = SubmitAndWait("Reset", nullptr);
        completed = tested && reset;
    }
    if (framed) {
        EngineOutput(kEndLine);
    }
    return completed;
}

// A row that cannot be stored is an error of the run, shown as one: it is never dropped silently.
void TestLoaderModel::StoreVerdict(bool completed) {
    int32_t verdict = VerdictOf(completed, state_.returnValue);
    lastVerdict_ = verdict;
    if (!worker_.Engine()) {
        return; // the worker never started: there is no engine and no database to store in
    }
    if (unclaimed_) {
        lastVerdict_ = 7;
        return; // the reason is shown; a row without its session would be misfiled
    }
    std::string error;
    if (abandoned_) {
        error = "the script is still running.";
    } else if (SUCCEEDED(worker_.StoreVerdictRow(state_.returnValue, verdict == 7 ? lastError_ : "", verdict,
                                                 &error))) {
        return;
    }
    lastVerdict_ = 7;
    ReportError("Error", "The verdict of '" + TestIdOf(state_.scriptPath) + "' couldn't be stored: " + error);
}

} // namespace scrivon
